#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace fernhold {

// The one worker thread of the program: an index scan, a backup pass or a
// manual clean-up, never two at once. Only the main thread starts jobs and
// reaps them; a job's `done` part runs on the main thread after it ended, so
// results go back without locks.
class WorkerSlot
{
public:
    using Job = std::function<void()>;
    using Done = std::function<void()>;

    WorkerSlot() = default;
    // A job still running at destruction is left to end with the process.
    ~WorkerSlot();
    WorkerSlot(const WorkerSlot&) = delete;
    WorkerSlot& operator=(const WorkerSlot&) = delete;

    // Starts `job` when the slot is free (a finished job is reaped first).
    // With `lowerPriority` the thread runs at idle CPU and I/O priority.
    // Gives 1 when started, 0 when the slot is taken.
    [[nodiscard]] int start(Job job, Done done = {}, bool lowerPriority = false);

    // True while a job runs or has ended without being reaped.
    [[nodiscard]] bool isBusy() const;

    // Joins a finished job and runs its `done` part. Gives 1 when one was reaped.
    int reap();

    // Waits up to `milliseconds` for the running job to end and reaps it.
    // Gives 1 when the slot is free afterwards.
    [[nodiscard]] int waitForEnd(int milliseconds);

private:
    std::thread m_thread;
    Done m_done;
    mutable std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_running = false;
};

} // namespace fernhold
