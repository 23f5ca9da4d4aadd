#pragma once

#include "core/step_job.h"
#include "restore/folder_restore_run.h"
#include "restore/folder_search.h"
#include "restore/restore_version.h"

#include <QDate>
#include <QList>
#include <QString>
#include <memory>

namespace fernhold {

struct JobSettings;

enum class FolderRestoreState
{
    Idle, // opened, nothing searched yet (or a search found nothing)
    Searching,
    Results, // a search found rows: the restore can start
    Restoring,
    Finished,  // the summary was shown; a new search can start
    Cancelled, // a phase was stopped: the window can only be closed
    Closed,
};

// The model of the folder restore window: all files of a folder of the
// selected folder target, optionally with its sub-folders, each restored in
// its newest or oldest version within a range of days. The search and the
// restore run as step jobs: the desktop window calls step() from a timer
// and draws the state after each step, the command line calls it in a loop.
// Questions, the folder picker and the summary go through the port.
class FolderRestoreWindow : public StepJob
{
public:
    // `folder` is the browser's current folder (relative to the target's
    // root, not empty); `password` the restore page's password field;
    // `today` the initial from and to date.
    FolderRestoreWindow(const JobSettings& settings, RestoreServices services, QString folder,
                        QString password, const QDate& today,
                        RegisterRestored registerRestored = {});
    ~FolderRestoreWindow() override;
    FolderRestoreWindow(const FolderRestoreWindow&) = delete;
    FolderRestoreWindow& operator=(const FolderRestoreWindow&) = delete;

    // The window's fields, read when a phase starts.
    [[nodiscard]] FolderSearchOptions& options() { return m_options; }
    void setPassword(const QString& password) { m_password = password; }
    [[nodiscard]] const QString& password() const { return m_password; }
    [[nodiscard]] const QString& folder() const { return m_folder; }
    void setChecked(int row, bool checked);

    // GAD00212: starts the search.
    void search();
    // GAD00213 (to the source folders) and GAD00214 (below a picked
    // folder): asks, then starts the restore of the checked rows.
    void restore(bool toPickedFolder);
    // GAD00215: stops the running phase; when none runs, closes the window.
    void cancel();
    // The window's close box: closes, also while a phase runs.
    void close();
    // One unit of the running phase. False when no phase runs.
    bool step() override;

    [[nodiscard]] FolderRestoreState state() const { return m_state; }
    [[nodiscard]] const QList<FolderRestoreRow>& rows() const { return m_rows; }
    [[nodiscard]] bool searchEnabled() const; // GAD00212
    [[nodiscard]] bool restoreEnabled() const { return m_state == FolderRestoreState::Results; }
    [[nodiscard]] bool activityVisible() const { return m_state == FolderRestoreState::Searching; }
    [[nodiscard]] int progress() const { return m_progress; }
    [[nodiscard]] const QString& counterText() const { return m_counter; }
    // Rows the restore has handled so far; row rowsDone() - 1 was the last.
    [[nodiscard]] int rowsDone() const { return m_rowsDone; }
    [[nodiscard]] const FolderRestoreCounts& counts() const { return m_counts; }
    [[nodiscard]] const QString& summary() const { return m_summary; }
    // Folders of the last search that could not be read.
    [[nodiscard]] const QStringList& unreadableFolders() const { return m_unreadable; }

private:
    [[nodiscard]] QString targetRoot() const;
    void searchOver();
    void restoreOver();

    const JobSettings& m_settings;
    RestoreServices m_services;
    QString m_folder;
    QString m_password;
    RegisterRestored m_register;
    FolderSearchOptions m_options;
    FolderRestoreState m_state = FolderRestoreState::Idle;
    QList<FolderRestoreRow> m_rows;
    std::unique_ptr<FolderSearch> m_search;
    std::unique_ptr<FolderRestoreRun> m_run;
    int m_progress = 0;
    int m_rowsDone = 0;
    QString m_counter = QStringLiteral("0/0");
    FolderRestoreCounts m_counts;
    QString m_summary;
    QStringList m_unreadable;
};

} // namespace fernhold
