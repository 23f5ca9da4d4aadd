#include "core/worker_slot.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace fernhold;

TEST(WorkerSlot, RunsOneJobAtATimeAndReapsOnTheCallingThread)
{
    WorkerSlot slot;
    std::atomic<bool> release{false};
    std::atomic<int> ran{0};
    std::thread::id doneThread;
    ASSERT_EQ(slot.start(
                  [&] {
                      while (!release) {
                          std::this_thread::sleep_for(std::chrono::milliseconds(1));
                      }
                      ++ran;
                  },
                  [&] { doneThread = std::this_thread::get_id(); }),
              1);
    EXPECT_TRUE(slot.isBusy());
    EXPECT_EQ(slot.start([&] { ++ran; }), 0);
    EXPECT_EQ(slot.reap(), 0);
    EXPECT_EQ(slot.waitForEnd(20), 0);
    release = true;
    EXPECT_EQ(slot.waitForEnd(5000), 1);
    EXPECT_FALSE(slot.isBusy());
    EXPECT_EQ(ran.load(), 1);
    EXPECT_EQ(doneThread, std::this_thread::get_id());

    ASSERT_EQ(slot.start([&] { ++ran; }), 1);
    ASSERT_EQ(slot.waitForEnd(5000), 1);
    EXPECT_EQ(ran.load(), 2);
}

TEST(WorkerSlot, FinishedJobIsReapedBeforeTheNextStarts)
{
    WorkerSlot slot;
    std::atomic<bool> finished{false};
    int done = 0;
    ASSERT_EQ(slot.start([&] { finished = true; }, [&] { ++done; }), 1);
    while (!finished) {
        std::this_thread::yield();
    }
    // start() reaps the ended job (running its done part) and takes the slot.
    for (int i = 0; i < 1000 && slot.start([] {}) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(done, 1);
    EXPECT_EQ(slot.waitForEnd(5000), 1);
}
