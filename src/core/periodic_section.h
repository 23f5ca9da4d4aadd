#pragma once

#include <QString>
#include <functional>

namespace fernhold {

class Clock;
class StatusLine;
class StatusRecorder;
class UserInterface;
class WorkerSlot;
struct JobSettings;
struct RunState;

// What the periodic section starts or asks; the application wires these to
// the index scan, the backup pass and the archiver.
struct PeriodicHooks
{
    std::function<int()> startIndexScan;  // gives 1 when started on the worker slot
    std::function<int()> startBackupPass; // gives 1 when started on the worker slot
    std::function<void()> emptySourceIndex;
    std::function<bool()> archiverUsable;                // the check before every pass
    std::function<void()> archiverMissing;               // reports it and ends the program at once
    std::function<bool(const QString&)> remoteRequested; // another program holds this lock
};

// Runs after every event of the main loop (at least every 3 seconds) and
// decides what the worker does next: remote control, repeated full backups,
// index rebuilds, backup passes within the time windows, and the tray icon.
class PeriodicSection
{
public:
    PeriodicSection(JobSettings& settings, RunState& run, const Clock& clock, UserInterface& ui,
                    StatusRecorder& recorder, StatusLine& statusLine, WorkerSlot& slot,
                    PeriodicHooks hooks);

    void RunPeriodicSection();

    // The status changes of the menu and the remote control.
    void setStatus(int status, const QString& statusLineKey);
    void requestBackupNow();

private:
    void remoteControl();
    void repeatedFullBackup();
    void indexRebuild();
    void backupPass();
    void icon();
    [[nodiscard]] bool workerFree();

    JobSettings& m_settings;
    RunState& m_run;
    const Clock& m_clock;
    UserInterface& m_ui;
    StatusRecorder& m_recorder;
    StatusLine& m_statusLine;
    WorkerSlot& m_slot;
    PeriodicHooks m_hooks;
};

} // namespace fernhold
