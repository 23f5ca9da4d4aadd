#pragma once

#include <QtGlobal>
#include <atomic>
#include <cstdint>

namespace fernhold {

using Flag = std::atomic<std::int8_t>;

// Run-time state shared by the main thread and the worker thread. The flags
// are written by one side and polled by the other; the main thread is the
// only one that starts workers.
struct RunState
{
    Flag Status{-1};                // -1 not set, 0 inactive, 1 active, 2 paused
    Flag ShownStatus{-1};           // status the tray icon shows; -2 forces a redraw
    Flag StatusBeforeBackupNow{-9}; // status a back-up-now request overrode; -9 none
    Flag BackupNowRequested{0};
    Flag ScheduleAllows{0};
    Flag RescanRequested{0};
    Flag TakeIndexAsReference{0};
    Flag FullBackupRequested{0};
    Flag Ending{0};
    Flag CleanupAbort{0};

    // Written by the main thread when it starts a pass; the status line reads them.
    std::atomic<qint64> LastPassStartTicks{0}; // monotonic ms of the last pass start
    std::atomic<qint64> LastPassStartTime{0};  // seconds since 1970 of the last pass start
};

// The stop test of the backup pass and its walks: the program is ending or
// the status is no longer active.
[[nodiscard]] inline bool PassMustStop(const RunState& run)
{
    return run.Ending.load() >= 1 || run.Status.load() != 1;
}

} // namespace fernhold
