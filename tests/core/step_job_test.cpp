#include "core/slot_job.h"
#include "core/step_job.h"
#include "core/worker_slot.h"
#include "fake_user_interface.h"

#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <thread>

namespace fernhold::test {

namespace {

// Counts down: `units` steps of work, then over.
class CountDown : public StepJob
{
public:
    explicit CountDown(int units) : m_left(units) {}
    bool step() override
    {
        ++calls;
        if (m_left == 0) {
            return false;
        }
        --m_left;
        return true;
    }
    int calls = 0;

private:
    int m_left;
};

} // namespace

TEST(StepJob, RunStepsGoesToTheEndOrStopsBetweenSteps)
{
    CountDown whole(4);
    EXPECT_EQ(RunSteps(whole), 4);
    EXPECT_EQ(whole.calls, 5); // the last call tells that it is over

    CountDown stopped(10);
    int asked = 0;
    EXPECT_EQ(RunSteps(stopped, [&asked] { return ++asked > 3; }), 3);
    EXPECT_EQ(stopped.calls, 3);

    CountDown never(10);
    EXPECT_EQ(RunSteps(never, [] { return true; }), 0);
    EXPECT_EQ(never.calls, 0);
}

// The call runs on the worker while each step returns at once, with the busy
// pointer on for exactly as long as the call runs.
TEST(SlotJob, RunsOnTheWorkerAndStepsDoNotWaitForIt)
{
    WorkerSlot slot;
    FakeUserInterface ui;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> onOtherThread{false};
    const auto mainThread = std::this_thread::get_id();
    SlotJob job(slot, ui, [&](const std::function<bool()>&) {
        onOtherThread = std::this_thread::get_id() != mainThread;
        released.wait();
    });

    EXPECT_FALSE(ui.busy());
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(job.step());
    }
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_TRUE(job.started());
    EXPECT_FALSE(job.finished());
    EXPECT_TRUE(ui.busy());

    release.set_value();
    while (job.step()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(job.finished());
    EXPECT_TRUE(onOtherThread.load());
    EXPECT_FALSE(ui.busy());
    EXPECT_FALSE(slot.isBusy());
    EXPECT_FALSE(job.step());
}

TEST(SlotJob, CancelReachesTheCallsStopCheck)
{
    WorkerSlot slot;
    FakeUserInterface ui;
    std::atomic<int> rounds{0};
    SlotJob job(
        slot, ui,
        [&](const std::function<bool()>& stop) {
            while (!stop()) {
                ++rounds;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        },
        10);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(job.step());
    }
    job.cancel();
    EXPECT_TRUE(job.cancelled());
    EXPECT_LT(RunSteps(job), 100);
    EXPECT_TRUE(job.finished());
    EXPECT_GT(rounds.load(), 0);
    EXPECT_FALSE(ui.busy());
}

// One worker at a time: a job waits while a backup pass holds the slot.
TEST(SlotJob, WaitsForItsTurnWhileTheSlotIsTaken)
{
    WorkerSlot slot;
    FakeUserInterface ui;
    std::promise<void> passEnds;
    std::shared_future<void> ended = passEnds.get_future().share();
    ASSERT_EQ(slot.start([ended] { ended.wait(); }), 1);

    bool ran = false;
    SlotJob job(
        slot, ui, [&ran](const std::function<bool()>&) { ran = true; }, 5);
    EXPECT_TRUE(job.step());
    EXPECT_TRUE(job.step());
    EXPECT_FALSE(job.started());
    EXPECT_FALSE(ui.busy());

    passEnds.set_value();
    (void)RunSteps(job);
    EXPECT_TRUE(ran);
    EXPECT_TRUE(job.finished());

    // Cancelled before its turn, it never runs.
    bool ranLate = false;
    SlotJob late(slot, ui, [&ranLate](const std::function<bool()>&) { ranLate = true; });
    late.cancel();
    EXPECT_FALSE(late.step());
    EXPECT_FALSE(ranLate);
}

// A job dropped while its call runs (a window closed) stops and waits for it,
// since the call uses the caller's objects.
TEST(SlotJob, DestroyingARunningJobStopsAndWaits)
{
    WorkerSlot slot;
    FakeUserInterface ui;
    std::atomic<bool> callOver{false};
    {
        SlotJob job(slot, ui, [&](const std::function<bool()>& stop) {
            while (!stop()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            callOver = true;
        });
        ASSERT_TRUE(job.step());
        ASSERT_TRUE(job.started());
    }
    EXPECT_TRUE(callOver.load());
    EXPECT_FALSE(slot.isBusy());
    EXPECT_FALSE(ui.busy());
}

} // namespace fernhold::test
