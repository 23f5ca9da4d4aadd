#include "core/worker_slot.h"

#include "platform/thread_priority.h"

#include <chrono>

namespace fernhold {

WorkerSlot::~WorkerSlot()
{
    bool running = false;
    {
        std::lock_guard lock(m_mutex);
        running = m_running;
    }
    if (m_thread.joinable()) {
        if (running) {
            m_thread.detach();
        } else {
            m_thread.join();
        }
    }
}

int WorkerSlot::start(Job job, Done done, bool lowerPriority)
{
    reap();
    if (isBusy()) {
        return 0;
    }
    {
        std::lock_guard lock(m_mutex);
        m_running = true;
    }
    m_done = std::move(done);
    m_thread = std::thread([this, job = std::move(job), lowerPriority] {
        if (lowerPriority) {
            (void)LowerCurrentThreadPriority();
        }
        job();
        std::lock_guard lock(m_mutex);
        m_running = false;
        m_ended.notify_all();
    });
    return 1;
}

bool WorkerSlot::isBusy() const
{
    return m_thread.joinable();
}

int WorkerSlot::reap()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_running || !m_thread.joinable()) {
            return 0;
        }
    }
    m_thread.join();
    Done done = std::move(m_done);
    m_done = nullptr;
    if (done) {
        done();
    }
    return 1;
}

int WorkerSlot::waitForEnd(int milliseconds)
{
    {
        std::unique_lock lock(m_mutex);
        m_ended.wait_for(lock, std::chrono::milliseconds(milliseconds),
                         [this] { return !m_running; });
    }
    reap();
    return isBusy() ? 0 : 1;
}

} // namespace fernhold
