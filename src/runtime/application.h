#pragma once

#include "core/clock.h"
#include "core/job_settings.h"
#include "core/program_status.h"
#include "core/run_state.h"
#include "core/settings_store.h"
#include "core/status_line.h"
#include "core/worker_slot.h"
#include "engine/archiver_check.h"
#include "engine/backup_context.h"
#include "engine/backup_state.h"
#include "engine/log_book.h"
#include "engine/source_index.h"
#include "platform/named_lock.h"
#include "runtime/app_paths.h"
#include "runtime/program_shell.h"
#include "targets/target_services.h"

#include <memory>
#include <optional>

class QCoreApplication;

namespace fernhold {

class PeriodicSection;
class TerminationWatch;
class UserInterface;

// One run of Fernhold: start-up, the main loop with its periodic section, and
// the orderly program end (also on SIGTERM/SIGINT). The caller picks the
// interface (headless or windows) and makes the event loop (QCoreApplication
// or QApplication); both outlive this object.
class Application : public ProgramControl
{
public:
    struct Options
    {
        bool headless = false;
        bool once = false; // one back-up-now pass, then end
        bool full = false; // with once: an initial full backup
    };

    Application(Options options, UserInterface& ui, QCoreApplication& eventLoop);
    ~Application() override;
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The desktop's icon and windows; without one the run is headless.
    void setShell(ProgramShell& shell) { m_shell = &shell; }

    // Runs the whole life of the program; gives the process exit code.
    [[nodiscard]] int run();

    // ProgramControl
    [[nodiscard]] JobSettings& settings() override { return m_settings; }
    [[nodiscard]] int status() const override { return m_run.Status.load(); }
    void switchStatus(int status, const QString& statusLine) override;
    void backUpNow() override;
    void saveSettings() override;
    void showStatusLine(const QString& text) override;
    [[nodiscard]] QString logFilePath() const override;
    [[nodiscard]] QString programPath() const override { return m_paths.programPath; }
    void quit() override;
    [[nodiscard]] RunState& runState() override { return m_run; }
    [[nodiscard]] WorkerSlot& workerSlot() override { return m_slot; }
    [[nodiscard]] const Clock& clock() const override { return m_clock; }
    [[nodiscard]] const AppPaths& paths() const override { return m_paths; }
    void requestFullBackup() override;
    void requestIndexRebuild() override;
    void writeAutostart() override;
    int clearLogFile() override;
    void registerRestoredFiles(const QStringList& files) override;

private:
    // Gives an exit code when the program must end without running.
    [[nodiscard]] std::optional<int> startUp();
    void offerCrashReport();
    void startDelay();
    void mainLoop();
    void runOnce();
    void programEnd();
    [[nodiscard]] int onceExitCode() const;
    void comparisonMade();
    // Settings read from the file that cannot work as they stand.
    void reportSettingProblems();
    [[nodiscard]] QString fileTimePath() const;
    // Where this run writes the file-time table: "" when the settings could
    // not be read, so the last good run's table stays for the next start.
    [[nodiscard]] QString tableWritePath() const;
    void readTables();
    void requestFullSave();
    // Registers the restored files that waited for the worker slot, when it is free.
    void applyRestoredFiles();

    [[nodiscard]] int startIndexScan();
    [[nodiscard]] int startBackupPass();
    [[nodiscard]] bool archiverUsable();
    [[noreturn]] void archiverMissing();
    [[nodiscard]] QString ftpTempPath() const;

    Options m_options;
    AppPaths m_paths;
    UserInterface& m_ui;
    QCoreApplication& m_eventLoop;
    SystemClock m_clock;
    RunState m_run;
    JobSettings m_settings;
    SettingsStore m_store;
    StatusRecorder m_recorder;
    StatusLine m_statusLine;
    WorkerSlot m_slot;
    LogBook m_log;
    SourceIndex m_index;
    QStringList m_restoredFiles; // restored while the slot was taken
    BackupState m_state;
    bool m_settingsTrusted = true; // both settings files could be read
    bool m_compareWithTable = false;
    bool m_indexInPass = false; // the passes index the sources in their walk
    EngineTimes m_times;
    std::unique_ptr<TargetServices> m_targets;
    int m_passesRun = 0;
    int m_lastPassReadyTargets = 0;
    int m_lastPassFailedFiles = 0;
    bool m_lastPassStopped = false;
    NamedLock m_instanceLock;
    NamedLock m_presenceLock;
    std::unique_ptr<PeriodicSection> m_periodic;
    std::unique_ptr<TerminationWatch> m_termination;
    bool m_started = false;
    bool m_quitRequested = false;
    ProgramShell* m_shell = nullptr; // not owned; null when headless
};

} // namespace fernhold
