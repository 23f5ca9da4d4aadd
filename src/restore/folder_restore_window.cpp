#include "restore/folder_restore_window.h"

#include "core/job_settings.h"
#include "core/text_table.h"
#include "core/user_interface.h"
#include "platform/file_name.h"
#include "platform/folders.h"

namespace fernhold {

namespace {

const QString kBreak = QStringLiteral("\r\n");

} // namespace

FolderRestoreWindow::FolderRestoreWindow(const JobSettings& settings, RestoreServices services,
                                         QString folder, QString password, const QDate& today,
                                         RegisterRestored registerRestored)
    : m_settings(settings), m_services(std::move(services)), m_folder(std::move(folder)),
      m_password(std::move(password)), m_register(std::move(registerRestored))
{
    if (!m_folder.isEmpty() && !m_folder.endsWith(u'/')) {
        m_folder.append(u'/');
    }
    m_options.from = today;
    m_options.to = today;
}

FolderRestoreWindow::~FolderRestoreWindow() = default;

QString FolderRestoreWindow::targetRoot() const
{
    const int number = m_settings.SelectedTarget;
    if (number < 1 || number > kTargetCount ||
        m_settings.target(number).TargetType != QStringLiteral("WIN")) {
        return {};
    }
    return m_settings.target(number).TargetDir;
}

bool FolderRestoreWindow::searchEnabled() const
{
    return m_state == FolderRestoreState::Idle || m_state == FolderRestoreState::Results ||
           m_state == FolderRestoreState::Finished;
}

void FolderRestoreWindow::setChecked(int row, bool checked)
{
    if (row >= 0 && row < m_rows.size() && m_state != FolderRestoreState::Restoring) {
        m_rows[row].checked = checked;
    }
}

void FolderRestoreWindow::search()
{
    if (!searchEnabled()) {
        return;
    }
    m_run.reset();
    m_rows.clear();
    m_unreadable.clear();
    m_progress = 0;
    m_rowsDone = 0;
    m_counter = QStringLiteral("0/0");
    m_counts = {};
    m_summary.clear();
    // The root of the target is never searched as a whole.
    m_search = std::make_unique<FolderSearch>(m_folder.isEmpty() ? QString() : targetRoot(),
                                              m_folder, m_options, !m_password.isEmpty(), m_rows);
    m_state = FolderRestoreState::Searching;
}

void FolderRestoreWindow::restore(bool toPickedFolder)
{
    if (!restoreEnabled()) {
        return;
    }
    UserInterface& ui = m_services.ui;
    QString destination;
    if (toPickedFolder) {
        const QString picked = ui.pickFolder(Text("TXT00054"), m_services.documentsFolder);
        if (picked.isEmpty()) {
            return;
        }
        if (!picked.startsWith(u'/')) {
            ui.showMessage(Text("TXT00013"), Text("TXT00055"), MessageIcon::Information);
            return;
        }
        destination = WithSlash(picked);
    }
    const QString question =
        destination.isEmpty()
            ? Text("TXT00125")
            : Text("TXT00126") + kBreak + DisplayFileName(destination) + kBreak + Text("TXT00127");
    if (!ui.askYesNo(Text("TXT00124"), question, MessageIcon::None, false)) {
        return;
    }
    m_counts = {};
    m_progress = 0;
    m_rowsDone = 0;
    m_counter = QStringLiteral("0/0");
    m_run = std::make_unique<FolderRestoreRun>(m_rows, targetRoot(), destination, m_password,
                                               m_services.archiver, m_register);
    m_state = FolderRestoreState::Restoring;
}

bool FolderRestoreWindow::step()
{
    if (m_state == FolderRestoreState::Searching && m_search) {
        if (!m_search->step() || m_search->isOver()) {
            searchOver();
        }
        return true;
    }
    if (m_state == FolderRestoreState::Restoring && m_run) {
        const bool worked = m_run->step();
        m_progress = m_run->progress();
        m_counter = m_run->counterText();
        m_rowsDone = m_run->row();
        m_counts = m_run->counts();
        m_services.ui.showProgress(m_run->row(), m_run->total());
        if (!worked || m_run->isOver()) {
            m_services.ui.showProgress(0, 0);
            restoreOver();
        }
        return true;
    }
    return false;
}

void FolderRestoreWindow::searchOver()
{
    m_unreadable = m_search->unreadableFolders();
    m_search.reset();
    m_state = m_rows.isEmpty() ? FolderRestoreState::Idle : FolderRestoreState::Results;
    if (!m_unreadable.isEmpty()) {
        m_services.ui.showMessage(Text("TXT00001"),
                                  Text("TXT00412") + kBreak +
                                      DisplayFileName(m_unreadable.join(kBreak)),
                                  MessageIcon::Warning);
    }
}

void FolderRestoreWindow::restoreOver()
{
    if (!m_run->refusedVersions().isEmpty()) {
        m_services.ui.showMessage(Text("TXT00001"),
                                  Text("TXT00492") + kBreak + m_run->refusedVersions().join(kBreak),
                                  MessageIcon::Warning);
    }
    m_summary = m_run->summaryText();
    m_run.reset();
    m_state = FolderRestoreState::Finished;
    m_services.ui.showMessage(Text("TXT00124"), m_summary, MessageIcon::None);
}

void FolderRestoreWindow::cancel()
{
    if (m_state == FolderRestoreState::Searching || m_state == FolderRestoreState::Restoring) {
        // Nothing is rolled back; a stopped restore registers nothing.
        m_search.reset();
        m_run.reset();
        m_state = FolderRestoreState::Cancelled;
        return;
    }
    close();
}

void FolderRestoreWindow::close()
{
    m_search.reset();
    m_run.reset();
    m_rows.clear();
    m_state = FolderRestoreState::Closed;
}

} // namespace fernhold
