#include "engine/transfer_pool.h"

#include "platform/thread_priority.h"

#include <algorithm>

namespace fernhold {

int TransferThreads()
{
    // Transfers wait mostly on the disks, so even one or two cores gain from
    // a second reader and writer; more than four gains nothing on one disk.
    const auto cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(cores, 2, 4);
}

TransferPool::TransferPool(int threads, int depth, bool lowerPriority,
                           std::function<bool()> mustStop)
    : m_threadCount(std::max(1, threads)), m_depth(std::max(1, depth)),
      m_lowerPriority(lowerPriority), m_mustStop(std::move(mustStop))
{}

TransferPool::~TransferPool()
{
    drain();
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_workQueued.notify_all();
    for (std::thread& thread : m_threads) {
        thread.join();
    }
}

void TransferPool::startThreads()
{
    m_threads.reserve(static_cast<std::size_t>(m_threadCount));
    for (int slot = 0; slot < m_threadCount; ++slot) {
        m_threads.emplace_back([this, slot] { runThread(slot); });
    }
}

void TransferPool::runThread(int slot)
{
    if (m_lowerPriority) {
        (void)LowerCurrentThreadPriority();
    }
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_workQueued.wait(lock, [this] { return m_closing || !m_queue.empty(); });
        if (m_queue.empty()) {
            return;
        }
        Task* task = m_queue.front();
        m_queue.pop_front();
        task->state = TaskState::Running;
        lock.unlock();
        // Once a stop is asked for, the queued transfers are dropped, not
        // started: the pass ends after those already running.
        const bool stop = m_mustStop && m_mustStop();
        if (!stop) {
            task->work(slot);
        }
        lock.lock();
        task->state = stop ? TaskState::Skipped : TaskState::Ran;
        m_workEnded.notify_all();
    }
}

void TransferPool::submit(Work work, Finish finish)
{
    if (m_threads.empty()) {
        startThreads();
    }
    while (static_cast<int>(m_pending.size()) >= m_depth) {
        finishOldest();
    }
    {
        std::lock_guard lock(m_mutex);
        m_pending.push_back(std::make_unique<Task>(Task{std::move(work), std::move(finish)}));
        m_queue.push_back(m_pending.back().get());
    }
    m_workQueued.notify_one();
}

void TransferPool::finishOldest()
{
    std::unique_ptr<Task> task;
    {
        std::unique_lock lock(m_mutex);
        m_workEnded.wait(lock, [this] {
            const TaskState state = m_pending.front()->state;
            return state == TaskState::Ran || state == TaskState::Skipped;
        });
        task = std::move(m_pending.front());
        m_pending.pop_front();
    }
    if (task->finish) {
        task->finish(task->state == TaskState::Ran);
    }
}

void TransferPool::drain()
{
    while (!m_pending.empty()) {
        finishOldest();
    }
}

} // namespace fernhold
