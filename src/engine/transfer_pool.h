#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace fernhold {

// A few threads that do the transfers of a backup pass while the pass thread
// walks on. What each transfer found is taken back on the pass thread in the
// order the transfers were queued, so the log and the index see the walk's
// order; at most `depth` transfers wait or run at a time, so memory stays
// flat however many files the walk finds.
class TransferPool
{
public:
    // Runs on a pool thread; `slot` (0 .. threads-1) tells which, for names
    // of work files that two transfers must not share.
    using Work = std::function<void(int slot)>;
    // Runs on the queueing thread; `ran` is false when a stop came first and
    // the work was never started.
    using Finish = std::function<void(bool ran)>;

    // The threads start with the first transfer; with `lowerPriority` each
    // lowers its own priority as the pass thread does. `mustStop` is asked
    // before each work starts.
    TransferPool(int threads, int depth, bool lowerPriority, std::function<bool()> mustStop);
    // Finishes what is queued, then ends the threads.
    ~TransferPool();
    TransferPool(const TransferPool&) = delete;
    TransferPool& operator=(const TransferPool&) = delete;

    // Queues a transfer; while `depth` are pending, first finishes the oldest.
    void submit(Work work, Finish finish);
    // Waits for every queued transfer and finishes them all, in order.
    void drain();

    [[nodiscard]] int threads() const { return m_threadCount; }

private:
    enum class TaskState
    {
        Queued,
        Running,
        Ran,
        Skipped,
    };
    struct Task
    {
        Work work;
        Finish finish;
        TaskState state = TaskState::Queued;
    };

    void startThreads();
    void runThread(int slot);
    void finishOldest();

    const int m_threadCount;
    const int m_depth;
    const bool m_lowerPriority;
    const std::function<bool()> m_mustStop;

    std::mutex m_mutex;
    std::condition_variable m_workQueued;
    std::condition_variable m_workEnded;
    // Every task not yet finished, oldest first.
    std::deque<std::unique_ptr<Task>> m_pending;
    // The tasks of m_pending no thread has taken yet, oldest first.
    std::deque<Task*> m_queue;
    bool m_closing = false;
    std::vector<std::thread> m_threads;
};

// The threads a pass gives its transfers: two to four, by the cores there
// are.
[[nodiscard]] int TransferThreads();

} // namespace fernhold
