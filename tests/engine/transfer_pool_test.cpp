#include "engine/transfer_pool.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fernhold::test {

namespace {

int threadNice()
{
    return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
}

} // namespace

// Transfers run side by side on distinct slots, never more than the depth
// wait or run at once, and each is finished on the queueing thread in the
// order it was queued.
TEST(TransferPoolTest, RunsSideBySideAndFinishesInQueueOrder)
{
    constexpr int kThreads = 3;
    constexpr int kDepth = 6;
    constexpr int kTasks = 200;
    std::mutex mutex;
    std::condition_variable changed;
    std::set<int> busySlots;
    bool slotShared = false;
    int mostAtOnce = 0;
    int started = 0;
    std::vector<int> finished;
    std::size_t mostPending = 0;
    const auto queuer = std::this_thread::get_id();
    {
        TransferPool pool(kThreads, kDepth, false, {});
        for (int i = 0; i < kTasks; ++i) {
            pool.submit(
                [&, i](int slot) {
                    std::unique_lock lock(mutex);
                    slotShared = slotShared || slot < 0 || slot >= kThreads ||
                                 !busySlots.insert(slot).second;
                    mostAtOnce = std::max(mostAtOnce, static_cast<int>(busySlots.size()));
                    ++started;
                    changed.notify_all();
                    // The first transfer waits until another one has started beside it.
                    if (i == 0) {
                        changed.wait_for(lock, std::chrono::seconds(10),
                                         [&] { return started >= 2; });
                    }
                    lock.unlock();
                    std::this_thread::sleep_for(std::chrono::microseconds(100 * (i % 5)));
                    lock.lock();
                    busySlots.erase(slot);
                },
                [&, i](bool ran) {
                    EXPECT_TRUE(ran);
                    EXPECT_EQ(std::this_thread::get_id(), queuer);
                    finished.push_back(i);
                });
            mostPending = std::max(mostPending, static_cast<std::size_t>(i + 1) - finished.size());
        }
        pool.drain();
        EXPECT_EQ(finished.size(), static_cast<std::size_t>(kTasks));
    }
    EXPECT_FALSE(slotShared);
    EXPECT_GE(mostAtOnce, 2);
    EXPECT_LE(mostPending, static_cast<std::size_t>(kDepth));
    ASSERT_EQ(finished.size(), static_cast<std::size_t>(kTasks));
    for (int i = 0; i < kTasks; ++i) {
        EXPECT_EQ(finished[static_cast<std::size_t>(i)], i);
    }
}

// After a stop no queued transfer starts; each is still finished, told it
// did not run, in order, also when the pool ends without a drain.
TEST(TransferPoolTest, AStopDropsTheQueuedTransfers)
{
    std::atomic<bool> stop{false};
    std::vector<int> ran;
    std::vector<std::pair<int, bool>> finished;
    {
        TransferPool pool(1, 8, false, [&stop] { return stop.load(); });
        for (int i = 0; i < 20; ++i) {
            pool.submit(
                [&, i](int /*slot*/) {
                    ran.push_back(i);
                    if (i == 3) {
                        stop = true;
                    }
                },
                [&, i](bool didRun) { finished.emplace_back(i, didRun); });
        }
    }
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2, 3}));
    ASSERT_EQ(finished.size(), 20U);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(finished[static_cast<std::size_t>(i)], std::make_pair(i, i <= 3));
    }
}

// The pool's threads lower their priority only when asked to, as the pass
// thread does; the queueing thread keeps its own.
TEST(TransferPoolTest, ThreadsLowerTheirPriorityWhenAsked)
{
    const int own = threadNice();
    ASSERT_LT(own, 19) << "the test needs a thread above the lowest priority";
    for (const bool lower : {false, true}) {
        std::mutex mutex;
        std::vector<int> seen;
        {
            TransferPool pool(2, 4, lower, {});
            for (int i = 0; i < 8; ++i) {
                pool.submit(
                    [&](int /*slot*/) {
                        const int nice = threadNice();
                        std::lock_guard lock(mutex);
                        seen.push_back(nice);
                    },
                    {});
            }
        }
        ASSERT_EQ(seen.size(), 8U);
        for (const int nice : seen) {
            EXPECT_EQ(nice, lower ? 19 : own) << "lower " << lower;
        }
    }
    EXPECT_EQ(threadNice(), own);
}

} // namespace fernhold::test
