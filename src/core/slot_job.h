#pragma once

#include "core/step_job.h"

#include <atomic>
#include <functional>

namespace fernhold {

class UserInterface;
class WorkerSlot;

// One long call that can wait on the network or the disk (an FTP
// listing, a single-version restore) as a step job: it runs on the worker
// slot while each step() only looks whether it has ended, so the GUI thread
// stays live. The busy pointer is on from the start until the end. The call
// reads `stopRequested()` (FTP and archiver stop checks) to be cancelled.
class SlotJob : public StepJob
{
public:
    using Call = std::function<void(const std::function<bool()>& stopRequested)>;

    // `pollMilliseconds` is how long a step waits for the call to end: 0 for
    // a window's timer, more for a command-line loop that has nothing else to do.
    SlotJob(WorkerSlot& slot, UserInterface& ui, Call call, int pollMilliseconds = 0);
    // A call still running is waited for: it uses the caller's objects.
    ~SlotJob() override;
    SlotJob(const SlotJob&) = delete;
    SlotJob& operator=(const SlotJob&) = delete;

    // Starts the call once the slot is free (a backup pass may hold it), then
    // polls it. False once the call has ended and was reaped.
    [[nodiscard]] bool step() override;

    // Asks the running call to stop; it ends at its next stop check.
    void cancel() { m_cancelled = true; }
    [[nodiscard]] bool cancelled() const { return m_cancelled.load(); }
    [[nodiscard]] bool started() const { return m_started; }
    [[nodiscard]] bool finished() const { return m_finished; }

private:
    void end();

    WorkerSlot& m_slot;
    UserInterface& m_ui;
    Call m_call;
    int m_pollMilliseconds = 0;
    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_callEnded{false};
    bool m_started = false;
    bool m_finished = false;
};

} // namespace fernhold
