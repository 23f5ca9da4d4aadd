#include "ui/settings/general_page.h"

#include "core/job_settings.h"
#include "core/text_table.h"
#include "runtime/program_shell.h"
#include "ui/qt_user_interface.h"
#include "ui/settings/setting_controls.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace fernhold {

namespace {

const QString kBreak = QStringLiteral("\r\n");

} // namespace

GeneralPage::GeneralPage(SettingsContext& context, QWidget* parent) : SettingsPage(context, parent)
{
    const auto help = [this](const char* key) {
        return HelpIcon(Text(key), m_context.showStatus, this);
    };
    QString used = FrameMnemonics();

    // Start and work mode
    auto* start = new QGroupBox(this);
    auto* loadOnStart = SettingCheck(QStringLiteral("LoadOnWindowsStart"), Text("GAD00062"), this);
    auto* splash = SettingCheck(QStringLiteral("ShowSplashScreen"), Text("GAD00063"), this);
    m_normal = new QRadioButton(Text("GAD00015"), this);
    m_extended = new QRadioButton(Text("GAD00016"), this);
    m_extended->setObjectName(QStringLiteral("WorkModeExtended"));
    auto* modeGroup = new QButtonGroup(this);
    modeGroup->addButton(m_normal);
    modeGroup->addButton(m_extended);
    auto* startGrid = new QGridLayout(start);
    startGrid->addWidget(loadOnStart, 0, 0);
    startGrid->addWidget(help("HLP00025"), 0, 1);
    startGrid->addWidget(splash, 1, 0);
    startGrid->addWidget(m_normal, 2, 0);
    startGrid->addWidget(help("HLP00001"), 2, 1);
    startGrid->addWidget(m_extended, 3, 0);
    startGrid->setColumnStretch(0, 1);
    // Either work mode builds the index anew, as the rebuild button does.
    for (QRadioButton* mode : {m_normal, m_extended}) {
        connect(mode, &QRadioButton::clicked, this,
                [this] { m_context.control.requestIndexRebuild(); });
    }

    // Versions
    auto* versions = new QGroupBox(this);
    auto* cycle = SettingSpin(QStringLiteral("BackupCycle"), this);
    auto* copies = SettingSpin(QStringLiteral("BackupCopies"), this);
    auto* days = SettingSpin(QStringLiteral("BackupDays"), this);
    auto* keepLatest = SettingCheck(QStringLiteral("BackupKeepLatest"), Text("GAD00143"), this);
    auto* size = SettingSpin(QStringLiteral("BackupSize"), this);
    auto* unit =
        SettingCombo(QStringLiteral("BackupUnit"), {Text("GAD00067"), Text("GAD00068")}, this);
    auto* versionGrid = new QGridLayout(versions);
    versionGrid->addWidget(Caption(Text("GAD00064"), cycle, this), 0, 0);
    versionGrid->addWidget(cycle, 0, 1);
    versionGrid->addWidget(help("HLP00002"), 0, 3);
    versionGrid->addWidget(Caption(Text("GAD00065"), copies, this), 1, 0);
    versionGrid->addWidget(copies, 1, 1);
    versionGrid->addWidget(help("HLP00003"), 1, 3);
    versionGrid->addWidget(Caption(Text("GAD00066"), days, this), 2, 0);
    versionGrid->addWidget(days, 2, 1);
    versionGrid->addWidget(keepLatest, 2, 2);
    versionGrid->addWidget(help("HLP00022"), 2, 3);
    versionGrid->addWidget(Caption(Text("GAD00069"), size, this), 3, 0);
    versionGrid->addWidget(size, 3, 1);
    versionGrid->addWidget(unit, 3, 2, Qt::AlignLeft);
    versionGrid->addWidget(help("HLP00004"), 3, 3);
    versionGrid->setColumnStretch(2, 1);

    // Archives
    auto* archives = new QGroupBox(this);
    m_compress = SettingCheck(QStringLiteral("CompressData"), Text("GAD00070"), this);
    m_encrypt = SettingCheck(QStringLiteral("CryptData"), Text("GAD00071"), this);
    m_password = SettingEdit(QStringLiteral("CryptPassword"), this);
    m_password->setEchoMode(QLineEdit::Password);
    m_passwordCaption = Caption(Text("GAD00072"), m_password, this);
    m_method = SettingCombo(QStringLiteral("CryptMethode"),
                            {QStringLiteral("Standard ZIP 2.0"), QStringLiteral("AES 128 Bit"),
                             QStringLiteral("AES 256 Bit")},
                            this);
    m_methodCaption = Caption(Text("GAD00146"), m_method, this);
    auto* archiveGrid = new QGridLayout(archives);
    archiveGrid->addWidget(m_compress, 0, 0, 1, 2);
    archiveGrid->addWidget(help("HLP00005"), 0, 4);
    archiveGrid->addWidget(m_encrypt, 1, 0, 1, 2);
    archiveGrid->addWidget(help("HLP00006"), 1, 4);
    archiveGrid->addWidget(m_passwordCaption, 2, 0);
    archiveGrid->addWidget(m_password, 2, 1);
    archiveGrid->addWidget(m_methodCaption, 2, 2);
    archiveGrid->addWidget(m_method, 2, 3);
    archiveGrid->setColumnStretch(1, 1);
    connect(m_compress, &QCheckBox::toggled, this, &GeneralPage::applyLinks);
    connect(m_encrypt, &QCheckBox::toggled, this, &GeneralPage::applyLinks);
    connect(m_password, &QLineEdit::textChanged, this, &GeneralPage::passwordEdited);

    // Initial full backup and index
    auto* full = new QGroupBox(this);
    auto* repeater = SettingCheck(QStringLiteral("InitialRepeater"), Text("GAD00180"), this);
    auto* repeaterTime = SettingSpin(QStringLiteral("InitialRepeaterTime"), this);
    m_fullBackup = new QPushButton(WithMnemonic(Text("GAD00141"), used), this);
    m_rebuild = new QPushButton(WithMnemonic(Text("GAD00074"), used), this);
    auto* fullGrid = new QGridLayout(full);
    fullGrid->addWidget(new QLabel(Text("GAD00142"), this), 0, 0);
    fullGrid->addWidget(m_fullBackup, 0, 1);
    fullGrid->addWidget(help("HLP00021"), 0, 3);
    fullGrid->addWidget(repeater, 1, 0);
    fullGrid->addWidget(repeaterTime, 1, 1);
    fullGrid->addWidget(new QLabel(Text("GAD00075"), this), 2, 0);
    fullGrid->addWidget(m_rebuild, 2, 1);
    fullGrid->addWidget(help("HLP00007"), 2, 3);
    fullGrid->setColumnStretch(2, 1);
    connect(m_fullBackup, &QPushButton::clicked, this, &GeneralPage::askFullBackup);
    connect(m_rebuild, &QPushButton::clicked, this, &GeneralPage::rebuildIndex);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(start);
    layout->addWidget(versions);
    layout->addWidget(archives);
    layout->addWidget(full);
    layout->addStretch(1);

    m_bound = {loadOnStart, splash,     cycle,      copies,    days,     keepLatest, size,
               unit,        m_compress, m_password, m_encrypt, m_method, repeater,   repeaterTime};
}

void GeneralPage::fill(const JobSettings& settings)
{
    for (QWidget* control : m_bound) {
        ShowControl(settings, control);
    }
    m_extended->setChecked(settings.WorkModeExtended != 0);
    m_normal->setChecked(settings.WorkModeExtended == 0);
    applyLinks();
}

void GeneralPage::read(JobSettings& settings)
{
    // The password before the encryption flag: encryption needs one.
    for (QWidget* control : m_bound) {
        StoreControl(settings, control, m_context.control.clock());
    }
    (void)StoreSetting(settings, QStringLiteral("WorkModeExtended"),
                       m_extended->isChecked() ? QStringLiteral("1") : QStringLiteral("0"),
                       m_context.control.clock());
    if (settings.CryptPassword.trimmed().isEmpty()) {
        settings.CryptData = 0;
    }
}

void GeneralPage::applyLinks()
{
    if (!m_compress->isChecked()) {
        m_encrypt->setChecked(false);
    }
    m_encrypt->setEnabled(m_compress->isChecked());
    const bool crypt = m_compress->isChecked() && m_encrypt->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(m_password), static_cast<QWidget*>(m_passwordCaption),
                       static_cast<QWidget*>(m_methodCaption), static_cast<QWidget*>(m_method)}) {
        w->setEnabled(crypt);
    }
}

void GeneralPage::passwordEdited(const QString& text)
{
    // Only characters every keyboard can type; control characters would not
    // be stored either.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c > 126 || c < 32) {
            m_password->setText(text.left(i));
            m_context.ui.showMessage(Text("TXT00013"),
                                     Text("TXT00180") + kBreak + Text("TXT00181") + kBreak +
                                         kBreak + Text("TXT00182"),
                                     MessageIcon::Warning);
            return;
        }
    }
}

void GeneralPage::askFullBackup()
{
    if (m_context.ui.askYesNo(Text("TXT00052"),
                              Text("TXT00113") + kBreak + Text("TXT00114") + kBreak +
                                  Text("TXT00115"),
                              MessageIcon::Question, false)) {
        m_context.control.requestFullBackup();
    }
}

void GeneralPage::rebuildIndex()
{
    m_context.control.requestIndexRebuild();
    m_context.ui.showMessage(Text("TXT00013"), Text("TXT00083"), MessageIcon::Information);
}

} // namespace fernhold
