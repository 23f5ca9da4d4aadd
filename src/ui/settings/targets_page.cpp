#include "ui/settings/targets_page.h"

#include "core/job_settings.h"
#include "core/settings_fields.h"
#include "core/slot_job.h"
#include "core/target_choice.h"
#include "core/text_table.h"
#include "runtime/app_paths.h"
#include "runtime/program_shell.h"
#include "targets/ftp_probe.h"
#include "targets/ftp_target.h"
#include "ui/qt_user_interface.h"
#include "ui/settings/cloud_folder_window.h"
#include "ui/settings/setting_controls.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStorageInfo>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace fernhold {

namespace {

const QString kBreak = QStringLiteral("\r\n");
const std::array<QString, 3> kTypeValues{QString(), QStringLiteral("WIN"), QStringLiteral("FTP")};

// Port numbers only: a digit that would pass 65535 is not taken.
class PortValidator : public QIntValidator
{
public:
    explicit PortValidator(QObject* parent) : QIntValidator(1, 65535, parent) {}
    State validate(QString& input, int& pos) const override
    {
        const State state = QIntValidator::validate(input, pos);
        if (state == Intermediate && input.toInt() > top()) {
            return Invalid;
        }
        return state;
    }
};

} // namespace

TargetsPage::TargetsPage(SettingsContext& context, QWidget* parent) : SettingsPage(context, parent)
{
    const auto help = [this](const char* key) {
        return HelpIcon(Text(key), m_context.showStatus, this);
    };
    QString used = FrameMnemonics();
    m_chooser = new QComboBox(this);
    m_chooser->setObjectName(QStringLiteral("TargetChooser"));
    m_chooser->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_chooser->setMinimumContentsLength(30);
    m_number = new QLabel(this);
    QFont big = m_number->font();
    big.setPointSizeF(big.pointSizeF() * 2.5);
    big.setBold(true);
    m_number->setFont(big);
    m_number->setObjectName(QStringLiteral("TargetNumber"));
    connect(m_chooser, &QComboBox::activated, this,
            [this](int index) { m_context.chooseTarget(index + 1); });

    const std::array<const char*, 3> typeKeys{"GAD00176", "GAD00093", "GAD00094"};
    auto* typeRow = new QHBoxLayout;
    auto* typeGroup = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        m_types.at(i) = new QRadioButton(Text(typeKeys.at(i)), this);
        typeRow->addWidget(m_types.at(i));
        typeGroup->addButton(m_types.at(i));
        connect(m_types.at(i), &QRadioButton::toggled, this, &TargetsPage::typeChanged);
    }
    m_types.at(0)->setObjectName(QStringLiteral("TargetType"));
    typeRow->addStretch(1);
    typeRow->addWidget(help("HLP00011"));

    auto* top = new QGridLayout;
    top->addWidget(Caption(Text("GAD00092"), m_chooser, this), 0, 0);
    top->addWidget(m_chooser, 0, 1);
    top->addWidget(m_number, 0, 2, 2, 1, Qt::AlignRight | Qt::AlignVCenter);
    top->addLayout(typeRow, 1, 0, 1, 2);
    top->setColumnStretch(1, 1);

    // Folder target
    auto* folderBox = new QGroupBox(Text("GAD00093"), this);
    m_folder = SettingEdit(QStringLiteral("TargetDir"), this);
    m_browse = new QPushButton(WithMnemonic(Text("GAD00095"), used), this);
    m_check = new QPushButton(WithMnemonic(Text("GAD00096"), used), this);
    m_open = new QPushButton(WithMnemonic(Text("GAD00095a"), used), this);
    m_free = new QPushButton(WithMnemonic(Text("GAD00097"), used), this);
    auto* cloud = LinkText(
        WithMnemonic(Text("GAD00190"), used), [this] { openCloudFolders(); }, this);
    auto* folderGrid = new QGridLayout(folderBox);
    auto* folderCaption = Caption(Text("GAD00083"), m_folder, this);
    folderGrid->addWidget(folderCaption, 0, 0);
    folderGrid->addWidget(m_folder, 0, 1, 1, 4);
    folderGrid->addWidget(help("HLP00012"), 0, 5);
    auto* folderButtons = new QHBoxLayout;
    for (QPushButton* b : {m_browse, m_check, m_open, m_free}) {
        folderButtons->addWidget(b);
    }
    folderButtons->addStretch(1);
    folderButtons->addWidget(cloud);
    folderGrid->addLayout(folderButtons, 1, 1, 1, 4);
    folderGrid->setColumnStretch(1, 1);
    m_folderControls = {m_folder, folderCaption, m_browse, m_check, m_open, m_free, cloud};
    connect(m_browse, &QPushButton::clicked, this, &TargetsPage::browse);
    connect(m_check, &QPushButton::clicked, this, &TargetsPage::checkFolder);
    connect(m_open, &QPushButton::clicked, this, &TargetsPage::openFolder);
    connect(m_free, &QPushButton::clicked, this, &TargetsPage::freeSpace);

    // FTP target
    auto* ftpBox = new QGroupBox(Text("GAD00094"), this);
    m_server = SettingEdit(QStringLiteral("FTPServerName"), this);
    m_port = SettingEdit(QStringLiteral("FTPServerPort"), this);
    m_port->setValidator(new PortValidator(m_port));
    m_port->setMaxLength(5);
    m_user = SettingEdit(QStringLiteral("FTPUserName"), this);
    m_password = SettingEdit(QStringLiteral("FTPPassword"), this);
    m_password->setEchoMode(QLineEdit::Password);
    m_subFolder = SettingEdit(QStringLiteral("FTPSubDir"), this);
    m_test = new QPushButton(WithMnemonic(Text("GAD00101"), used), this);
    m_unicode =
        SettingCheck(QStringLiteral("FTPUnicode"), WithMnemonic(Text("GAD00182"), used), this);
    auto* ftpGrid = new QGridLayout(ftpBox);
    const QList<std::pair<QString, QLineEdit*>> rows{
        {Text("GAD00098"), m_server},    {QStringLiteral("Port (default 21):"), m_port},
        {Text("GAD00099"), m_user},      {Text("GAD00100"), m_password},
        {Text("GAD00083"), m_subFolder},
    };
    int row = 0;
    for (const auto& [caption, edit] : rows) {
        QLabel* label = Caption(caption, edit, this);
        ftpGrid->addWidget(label, row, 0);
        ftpGrid->addWidget(edit, row, 1);
        m_ftpControls << label << edit;
        ++row;
    }
    ftpGrid->addWidget(help("HLP00026"), 0, 2);
    ftpGrid->addWidget(m_test, row, 0);
    ftpGrid->addWidget(m_unicode, row, 1);
    ftpGrid->setColumnStretch(1, 1);
    m_ftpControls << m_test << m_unicode;
    connect(m_test, &QPushButton::clicked, this, &TargetsPage::testConnection);
    connect(m_unicode, &QCheckBox::clicked, this, &TargetsPage::unicodeClicked);

    m_checkPermanent =
        SettingCheck(QStringLiteral("TargetDirCheckPermanent"), Text("GAD00165"), this);
    auto* permanentRow = new QHBoxLayout;
    permanentRow->addWidget(m_checkPermanent, 1);
    permanentRow->addWidget(help("HLP00024"));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(folderBox);
    layout->addWidget(ftpBox);
    layout->addLayout(permanentRow);
    layout->addStretch(1);

    m_poll = new QTimer(this);
    m_poll->setInterval(20);
    connect(m_poll, &QTimer::timeout, this, &TargetsPage::stepJob);
}

TargetsPage::~TargetsPage()
{
    closing();
}

void TargetsPage::fill(const JobSettings& settings)
{
    ShowControl(settings, m_checkPermanent);
    m_shownTarget = 0;
    showTarget(settings);
}

void TargetsPage::showTarget(const JobSettings& settings)
{
    const int current = std::clamp(settings.SelectedTarget, 1, kTargetCount);
    m_chooser->clear();
    for (int t = 1; t <= kTargetCount; ++t) {
        m_chooser->addItem(TargetChooserItem(settings, t));
    }
    m_chooser->setCurrentIndex(current - 1);
    m_number->setText(QString::number(current));
    if (current == m_shownTarget) {
        return;
    }
    m_shownTarget = current;
    const TargetEntry& t = settings.target(current);
    const int type = t.TargetType == kTypeValues[1] ? 1 : t.TargetType == kTypeValues[2] ? 2 : 0;
    m_types.at(type)->setChecked(true);
    for (QWidget* edit : {static_cast<QWidget*>(m_folder), static_cast<QWidget*>(m_server),
                          static_cast<QWidget*>(m_port), static_cast<QWidget*>(m_user),
                          static_cast<QWidget*>(m_password), static_cast<QWidget*>(m_subFolder),
                          static_cast<QWidget*>(m_unicode)}) {
        ShowControl(settings, edit, TargetKey(edit->objectName().toLatin1().constData(), current));
    }
    typeChanged();
}

void TargetsPage::read(JobSettings& settings)
{
    const Clock& clock = m_context.control.clock();
    StoreControl(settings, m_checkPermanent, clock);
    if (m_shownTarget < 1) {
        return;
    }
    const int n = m_shownTarget;
    for (int i = 0; i < 3; ++i) {
        if (m_types.at(i)->isChecked()) {
            (void)StoreSetting(settings, TargetKey("TargetType", n), kTypeValues.at(i), clock);
        }
    }
    for (QWidget* edit : {static_cast<QWidget*>(m_folder), static_cast<QWidget*>(m_server),
                          static_cast<QWidget*>(m_port), static_cast<QWidget*>(m_user),
                          static_cast<QWidget*>(m_password), static_cast<QWidget*>(m_subFolder),
                          static_cast<QWidget*>(m_unicode)}) {
        StoreControl(settings, edit, clock,
                     TargetKey(edit->objectName().toLatin1().constData(), n));
    }
}

void TargetsPage::typeChanged()
{
    for (QWidget* w : m_folderControls) {
        w->setEnabled(m_types[1]->isChecked());
    }
    for (QWidget* w : m_ftpControls) {
        w->setEnabled(m_types[2]->isChecked() && !probing());
    }
}

bool TargetsPage::folderExists() const
{
    return QFileInfo(m_folder->text().trimmed()).isDir();
}

void TargetsPage::browse()
{
    const QString field = m_folder->text().trimmed();
    const QString start =
        QFileInfo(field).isDir() ? field : m_context.control.paths().folders.drives;
    const QString picked = m_context.ui.pickFolder(Text("TXT00088"), start);
    if (!picked.isEmpty()) {
        m_folder->setText(picked);
    }
}

void TargetsPage::checkFolder()
{
    m_context.ui.showMessage(Text("TXT00013"),
                             folderExists() ? Text("TXT00086a") : Text("TXT00086"),
                             MessageIcon::Information);
}

void TargetsPage::openFolder()
{
    if (!folderExists()) {
        m_context.ui.showMessage(Text("TXT00013"), Text("TXT00086"), MessageIcon::Information);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(m_folder->text().trimmed()));
}

QString TargetsPage::megabytes(qint64 bytes)
{
    // "#####'##0": digits fill from the right, "'" stays as the thousands mark.
    const QString digits = QString::number(bytes / (1024 * 1024));
    const QString mask = QStringLiteral("#####'##0");
    QString out;
    qsizetype d = digits.size() - 1;
    for (qsizetype i = mask.size() - 1; i >= 0; --i) {
        const QChar m = mask[i];
        if (m == u'\'') {
            out.prepend(u'\'');
        } else if (d >= 0) {
            out.prepend(digits[d--]);
        } else {
            out.prepend(m == u'0' ? u'0' : u' ');
        }
    }
    // Digits beyond the mask are not lost.
    if (d >= 0) {
        out.prepend(digits.left(d + 1));
    }
    return out + QStringLiteral(" MB  ");
}

void TargetsPage::freeSpace()
{
    if (!folderExists()) {
        m_context.ui.showMessage(Text("TXT00013"), Text("TXT00086"), MessageIcon::Information);
        return;
    }
    const QStorageInfo drive(m_folder->text().trimmed());
    const qint64 total = drive.bytesTotal();
    const qint64 free = drive.bytesAvailable();
    m_context.ui.showMessage(Text("TXT00013"),
                             Text("TXT00089") + kBreak + kBreak + Text("TXT00090") + u' ' +
                                 megabytes(total) + kBreak + Text("TXT00091") + u' ' +
                                 megabytes(total - drive.bytesFree()) + kBreak + Text("TXT00092") +
                                 u' ' + megabytes(free),
                             MessageIcon::Information);
}

void TargetsPage::runOnSlot(std::function<void(const std::function<bool()>&)> call,
                            std::function<void()> done)
{
    if (m_job) {
        return;
    }
    m_job =
        std::make_unique<SlotJob>(m_context.control.workerSlot(), m_context.ui, std::move(call));
    m_jobDone = std::move(done);
    typeChanged();
    m_poll->start();
}

void TargetsPage::stepJob()
{
    if (m_job && m_job->step()) {
        return;
    }
    m_poll->stop();
    m_job.reset();
    if (m_jobDone) {
        auto done = std::move(m_jobDone);
        m_jobDone = nullptr;
        done();
    }
    typeChanged();
}

void TargetsPage::testConnection()
{
    const int n = m_shownTarget;
    JobSettings copy = m_context.control.settings();
    read(copy);
    const FtpServerFields fields{m_server->text().trimmed(), m_port->text().trimmed(),
                                 m_user->text().trimmed(), m_password->text()};
    const QString folder = m_subFolder->text().trimmed();
    auto result = std::make_shared<QString>(folder);
    UserInterface& ui = m_context.ui;
    runOnSlot(
        [copy, n, fields, folder, result, &ui](const std::function<bool()>& stop) {
            FtpSessionOptions options;
            options.stopRequested = stop;
            *result = FtpTestConnection(ui, fields, folder, FtpTargetOptions(copy, n, options));
        },
        [this, result] { m_subFolder->setText(*result); });
}

void TargetsPage::unicodeClicked(bool on)
{
    if (!on) {
        return;
    }
    JobSettings copy = m_context.control.settings();
    read(copy);
    const int n = m_shownTarget;
    const FtpServerFields fields{m_server->text().trimmed(), m_port->text().trimmed(),
                                 m_user->text().trimmed(), m_password->text()};
    auto accepted = std::make_shared<bool>(false);
    UserInterface& ui = m_context.ui;
    runOnSlot(
        [copy, n, fields, accepted, &ui](const std::function<bool()>& stop) {
            FtpSessionOptions options;
            options.stopRequested = stop;
            *accepted = FtpAcceptUtf8Mode(ui, fields, FtpTargetOptions(copy, n, options));
        },
        [this, accepted] { m_unicode->setChecked(*accepted); });
}

void TargetsPage::closing()
{
    // A probe still running is stopped; its result is dropped.
    if (m_job) {
        m_job->cancel();
        m_jobDone = nullptr;
        while (m_job->step()) {
        }
        m_job.reset();
        m_poll->stop();
    }
}

void TargetsPage::openCloudFolders()
{
    const QString picked = CloudFolderWindow::choose(m_context, this);
    if (!picked.isEmpty()) {
        m_folder->setText(picked);
    }
}

} // namespace fernhold
