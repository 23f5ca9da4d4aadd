#include "ui/settings/restore_page.h"

#include "core/job_settings.h"
#include "core/slot_job.h"
#include "core/target_choice.h"
#include "core/text_table.h"
#include "engine/archiver.h"
#include "platform/file_name.h"
#include "platform/folders.h"
#include "restore/backup_browser.h"
#include "restore/restore_version.h"
#include "runtime/app_paths.h"
#include "runtime/program_shell.h"
#include "runtime/restore_session.h"
#include "ui/qt_user_interface.h"
#include "ui/settings/folder_restore_dialog.h"
#include "ui/settings/setting_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace fernhold {

RestorePage::RestorePage(SettingsContext& context, QWidget* parent)
    : SettingsPage(context, parent), m_cancel(std::make_shared<std::atomic<bool>>(false))
{
    FtpSessionOptions ftp;
    ftp.stopRequested = [cancel = m_cancel] { return cancel->load(); };
    m_browser = std::make_unique<BackupBrowser>(context.control.settings(), context.ui, ftp);

    QString used = FrameMnemonics();
    m_chooser = new QComboBox(this);
    m_chooser->setObjectName(QStringLiteral("RestoreTargetChooser"));
    m_chooser->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_chooser->setMinimumContentsLength(30);
    m_home = new QToolButton(this);
    m_home->setObjectName(QStringLiteral("RestoreHome"));
    m_home->setIcon(style()->standardIcon(QStyle::SP_DirHomeIcon));
    m_up = new QToolButton(this);
    m_up->setObjectName(QStringLiteral("RestoreUp"));
    m_up->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    auto* top = new QHBoxLayout;
    top->addWidget(Caption(Text("GAD00103"), m_chooser, this));
    top->addWidget(m_chooser, 1);
    top->addWidget(m_home);
    top->addWidget(m_up);

    m_path = new QLineEdit(this);
    m_path->setObjectName(QStringLiteral("RestorePath"));
    m_path->setReadOnly(true);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("RestoreList"));
    m_list->setColumnCount(3);
    m_list->setHeaderLabels({Text("GAD00104"), Text("GAD00105"), Text("GAD00106")});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    // The date and note columns keep their width while a folder holds no versions.
    const int pad = 3 * fontMetrics().horizontalAdvance(u'0');
    m_list->header()->setSectionResizeMode(1, QHeaderView::Fixed);
    m_list->header()->setSectionResizeMode(2, QHeaderView::Fixed);
    m_list->header()->resizeSection(
        1, fontMetrics().horizontalAdvance(QStringLiteral("0000/00/00   00:00:00")) + pad);
    m_list->header()->resizeSection(2, std::max(fontMetrics().horizontalAdvance(Text("TXT00004")),
                                                fontMetrics().horizontalAdvance(Text("GAD00106"))) +
                                           pad);
    m_list->header()->setStretchLastSection(false);
    m_list->viewport()->installEventFilter(this);
    m_list->installEventFilter(this);

    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("RestorePassword"));
    m_password->setEchoMode(QLineEdit::Password);
    auto* passwordCaption = Caption(Text("GAD00100"), m_password, this);
    passwordCaption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_toSource = new QPushButton(WithMnemonic(Text("GAD00107"), used), this);
    m_toFolder = new QPushButton(WithMnemonic(Text("GAD00108"), used), this);
    m_byDate = new QPushButton(WithMnemonic(Text("GAD00200"), used), this);
    m_stop = new QPushButton(WithMnemonic(Text("GAD00028"), used), this);
    m_stop->setEnabled(false);
    auto* actions = new QGridLayout;
    actions->addWidget(passwordCaption, 0, 0);
    actions->addWidget(m_password, 0, 1);
    actions->addWidget(m_toSource, 0, 2);
    actions->addWidget(m_toFolder, 0, 3);
    actions->addWidget(m_byDate, 1, 2, 1, 2);
    actions->addWidget(m_stop, 1, 0);
    actions->setColumnStretch(1, 1);

    auto* filter = new QGroupBox(Text("GAD00129"), this);
    m_nameBox = new QCheckBox(WithMnemonic(Text("GAD00130"), used), filter);
    m_name = new QLineEdit(filter);
    m_name->setObjectName(QStringLiteral("RestoreNameFilter"));
    m_dateBox = new QCheckBox(WithMnemonic(Text("GAD00131"), used), filter);
    m_date = new QDateEdit(filter);
    m_date->setObjectName(QStringLiteral("DatePicker"));
    m_date->setCalendarPopup(true);
    m_date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_listAgain = new QPushButton(WithMnemonic(Text("GAD00132"), used), filter);
    auto* filterRow = new QHBoxLayout(filter);
    filterRow->addWidget(m_nameBox);
    filterRow->addWidget(m_name, 1);
    filterRow->addWidget(m_dateBox);
    filterRow->addWidget(m_date);
    filterRow->addWidget(m_listAgain);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_path);
    layout->addWidget(m_list, 1);
    layout->addLayout(actions);
    layout->addWidget(filter);

    connect(m_chooser, &QComboBox::activated, this, [this](int index) {
        if (working()) {
            // The list still belongs to the target being read.
            m_chooser->setCurrentIndex(m_browser->target() - 1);
            return;
        }
        if (index + 1 == m_browser->target()) {
            return;
        }
        m_context.chooseTarget(index + 1);
        list([this] { m_browser->goHome(); });
    });
    connect(m_home, &QToolButton::clicked, this, [this] { list([this] { m_browser->goHome(); }); });
    connect(m_up, &QToolButton::clicked, this, [this] { list([this] { m_browser->goUp(); }); });
    connect(m_listAgain, &QPushButton::clicked, this,
            [this] { list([this] { m_browser->listAgain(); }); });
    connect(m_list, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { clicked(m_list->indexOfTopLevelItem(item), false); });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { clicked(m_list->indexOfTopLevelItem(item), true); });
    connect(m_toSource, &QPushButton::clicked, this, [this] { restoreVersion(false); });
    connect(m_toFolder, &QPushButton::clicked, this, [this] { restoreVersion(true); });
    connect(m_byDate, &QPushButton::clicked, this, &RestorePage::openFolderRestore);
    connect(m_stop, &QPushButton::clicked, this, [this] {
        *m_cancel = true;
        if (m_job) {
            m_job->cancel();
        }
    });
    connect(m_nameBox, &QCheckBox::toggled, m_name, &QWidget::setEnabled);
    connect(m_dateBox, &QCheckBox::toggled, m_date, &QWidget::setEnabled);
    connect(&m_context.ui, &QtUserInterface::restorePathShown, m_path, &QLineEdit::setText);
    connect(&m_context.ui, &QtUserInterface::restorePasswordFocusAsked, this, [this] {
        m_password->setFocus();
        m_password->selectAll();
    });
    m_stepTimer = new QTimer(this);
    m_stepTimer->setInterval(20);
    connect(m_stepTimer, &QTimer::timeout, this, &RestorePage::step);
    m_nameBox->setChecked(false);
    m_name->setEnabled(false);
    m_dateBox->setChecked(false);
    m_date->setEnabled(false);
    showButtons();
}

RestorePage::~RestorePage()
{
    *m_cancel = true;
    if (m_job) {
        m_job->cancel();
    }
}

void RestorePage::fill(const JobSettings& /*settings*/) {}

void RestorePage::read(JobSettings& /*settings*/) {}

void RestorePage::entered()
{
    m_shown = true;
    // The filters start off each time the page is opened.
    m_nameBox->setChecked(false);
    m_dateBox->setChecked(false);
    m_date->setDate(QDate::currentDate());
    if (working()) {
        return;
    }
    run([this] { m_browser->openPage(); }, [this] { listed(); });
}

void RestorePage::left()
{
    m_shown = false;
    if (working()) {
        return;
    }
    m_browser->leavePage();
    showRows();
}

void RestorePage::showTarget(const JobSettings& settings)
{
    m_chooser->clear();
    for (int t = 1; t <= kTargetCount; ++t) {
        m_chooser->addItem(TargetChooserItem(settings, t));
    }
    m_chooser->setCurrentIndex(std::clamp(settings.SelectedTarget, 1, kTargetCount) - 1);
}

void RestorePage::closing()
{
    *m_cancel = true;
    if (m_job) {
        m_job->cancel();
    }
}

void RestorePage::list(std::function<void()> navigate)
{
    if (working()) {
        return;
    }
    m_browser->setNameFilter(m_nameBox->isChecked(), m_name->text());
    m_browser->setDateFilter(m_dateBox->isChecked(), m_date->date());
    run(std::move(navigate), [this] { listed(); });
}

void RestorePage::listed()
{
    showRows();
    // A failed FTP listing would pass for an empty folder; a stop is no failure.
    const JobSettings& settings = m_context.control.settings();
    const int number = m_browser->target();
    if (m_browser->lastOutcome() == ListingOutcome::Unreadable && !m_cancel->load() &&
        number >= 1 && number <= kTargetCount &&
        settings.target(number).TargetType == QStringLiteral("FTP")) {
        m_context.ui.showMessage(Text("TXT00001"),
                                 Text("TXT00417") + QStringLiteral("\r\n") +
                                     DisplayFileName(u'/' + m_browser->currentFolder()),
                                 MessageIcon::Warning);
    }
}

void RestorePage::run(std::function<void()> work, std::function<void()> after)
{
    *m_cancel = false;
    m_after = std::move(after);
    m_job = std::make_unique<SlotJob>(
        m_context.control.workerSlot(), m_context.ui,
        [work = std::move(work)](const std::function<bool()>& /*stop*/) { work(); });
    m_stop->setEnabled(true);
    for (QWidget* control : {static_cast<QWidget*>(m_toSource), static_cast<QWidget*>(m_toFolder),
                             static_cast<QWidget*>(m_byDate)}) {
        control->setEnabled(false);
    }
    m_stepTimer->start();
    step();
}

void RestorePage::step()
{
    if (!m_job || m_job->step()) {
        return;
    }
    m_stepTimer->stop();
    m_job.reset();
    m_stop->setEnabled(false);
    auto after = std::move(m_after);
    m_after = {};
    if (after) {
        after();
    }
    showButtons();
}

void RestorePage::showRows()
{
    m_list->clear();
    const QIcon folderIcon = style()->standardIcon(QStyle::SP_DirIcon);
    const QIcon fileIcon = style()->standardIcon(QStyle::SP_FileIcon);
    for (const BrowserRow& row : m_browser->rows()) {
        auto* item = new QTreeWidgetItem(m_list, {row.name, row.saved, row.note});
        item->setIcon(0, row.folder ? folderIcon : fileIcon);
    }
}

void RestorePage::showButtons()
{
    const bool idle = !working();
    m_toSource->setEnabled(idle && m_browser->restoreVersionEnabled());
    m_toFolder->setEnabled(idle && m_browser->restoreVersionEnabled());
    m_byDate->setEnabled(idle && m_browser->restoreFolderEnabled());
}

void RestorePage::clicked(int row, bool doubleClick)
{
    if (working() || row < 0 || row >= m_browser->entries().size()) {
        return;
    }
    if (m_browser->entries().at(row).startsWith(u'd')) {
        // Only a single click opens a folder; the double click's second press
        // would open the row below in the new listing.
        if (!doubleClick) {
            list([this, row] { (void)m_browser->clickRow(row, false); });
        }
        return;
    }
    if (m_browser->clickRow(row, doubleClick) == BrowserClick::RestoreToSource) {
        restoreVersion(false);
        return;
    }
    showButtons();
}

void RestorePage::clickedOutside()
{
    if (working()) {
        return;
    }
    m_list->clearSelection();
    m_browser->clickOutside();
    showButtons();
}

bool RestorePage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        if (m_list->itemAt(press->position().toPoint()) == nullptr) {
            clickedOutside();
        }
    }
    // Without a mouse, Return or Space on the current row acts as a click on
    // it: a folder opens, a version is chosen for the restore buttons.
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) &&
            m_list->currentItem() != nullptr) {
            clicked(m_list->indexOfTopLevelItem(m_list->currentItem()), false);
            return true;
        }
    }
    return SettingsPage::eventFilter(watched, event);
}

void RestorePage::restoreVersion(bool toPickedFolder)
{
    const QString folder = m_browser->currentFolder();
    const QString version = m_browser->selectedVersion();
    if (working() || folder.isEmpty() || version.isEmpty()) {
        return;
    }
    m_lastRestore = 0;
    const JobSettings& settings = m_context.control.settings();
    const Folders& folders = m_context.control.paths().folders;
    UserInterface& ui = m_context.ui;
    const QString password = m_password->text();
    const QString mode = toPickedFolder ? QStringLiteral("1") : QStringLiteral("0");
    auto cancel = m_cancel;
    auto result = std::make_shared<int>(0);
    auto written = std::make_shared<QString>();
    run(
        [&settings, &folders, &ui, folder, version, password, mode, cancel, result, written] {
            if (!RestoreWorkFolderReady(ui, folders.temp)) {
                return;
            }
            const auto stop = [cancel] { return cancel->load(); };
            const Archiver archiver(folders.temp, stop);
            FtpSessionOptions ftp;
            ftp.stopRequested = stop;
            VersionRestore restore(settings, RestoreServices{ui, archiver, folders.documents, ftp});
            *result = restore.RestoreVersion(folder, version, mode, password);
            *written = restore.restoredFile();
        },
        [this, result, written, toPickedFolder] {
            m_lastRestore = *result;
            // A file back in its source folder is no change to save again.
            if (*result == 1 && !toPickedFolder) {
                m_context.control.registerRestoredFiles({*written});
            }
        });
}

} // namespace fernhold

namespace fernhold {

void RestorePage::openFolderRestore()
{
    if (working() || m_dialog || !m_browser->mayRestoreFolder()) {
        return;
    }
    const Folders& folders = m_context.control.paths().folders;
    UserInterface& ui = m_context.ui;
    if (!RestoreWorkFolderReady(ui, folders.temp)) {
        return;
    }
    ProgramControl& control = m_context.control;
    m_dialog = new FolderRestoreDialog(
        control.settings(), ui, folders, m_browser->currentFolder(), m_password->text(),
        [&control](const QStringList& files) { control.registerRestoredFiles(files); }, this);
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_dialog->open();
}

} // namespace fernhold
