#include "core/job_settings.h"
#include "core/periodic_section.h"
#include "core/program_status.h"
#include "core/run_state.h"
#include "core/status_line.h"
#include "core/text_table.h"
#include "core/worker_slot.h"
#include "fake_user_interface.h"
#include "manual_clock.h"
#include "platform/named_lock.h"
#include "platform/registry_file.h"
#include "temp_home.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace fernhold;
using namespace fernhold::test;

namespace {

class PeriodicSectionTest : public ::testing::Test
{
protected:
    PeriodicSectionTest()
    {
        // 2024-03-04 is a Monday.
        clock.setNow(QDateTime(QDate(2024, 3, 4), QTime(12, 0, 0)));
        run.Status = 1;
        hooks.startIndexScan = [this] {
            ++scans;
            return 1;
        };
        hooks.startBackupPass = [this] {
            ++passes;
            return slot.start([this] { blockUntilReleased(); });
        };
        hooks.emptySourceIndex = [this] { ++emptied; };
        hooks.archiverUsable = [this] { return archiverOk; };
        hooks.archiverMissing = [this] { ++archiverFailures; };
        hooks.remoteRequested = [this](const QString& name) {
            return NamedLock::isHeldElsewhere(home.runtimeDir(), name);
        };
    }
    ~PeriodicSectionTest() override
    {
        release = true;
        (void)slot.waitForEnd(5000);
    }

    void blockUntilReleased()
    {
        while (!release.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    void finishPass()
    {
        release = true;
        ASSERT_EQ(slot.waitForEnd(5000), 1);
        release = false;
    }
    QString registryText() const
    {
        return RegistryFile(home.path() + QStringLiteral("registry.ini"))
            .value(QStringLiteral("Software\\Fernhold"), QStringLiteral("ActualStatusText"))
            .value_or(QString());
    }
    PeriodicSection& section()
    {
        if (!m_section) {
            m_section = std::make_unique<PeriodicSection>(settings, run, clock, ui, recorder,
                                                          statusLine, slot, hooks);
        }
        return *m_section;
    }

    TempHome home;
    JobSettings settings;
    RunState run;
    ManualClock clock;
    FakeUserInterface ui;
    StatusRecorder recorder{home.path() + QStringLiteral("registry.ini")};
    StatusLine statusLine{ui, clock, run};
    WorkerSlot slot;
    PeriodicHooks hooks;
    std::atomic<bool> release{false};
    int scans = 0;
    int passes = 0;
    int emptied = 0;
    int archiverFailures = 0;
    bool archiverOk = true;

private:
    std::unique_ptr<PeriodicSection> m_section;
};

} // namespace

TEST_F(PeriodicSectionTest, PassStartsOnceTheCycleHasPassed)
{
    settings.BackupCycle = 15;
    clock.setMonotonicMs(15 * 60000);
    section().RunPeriodicSection();
    EXPECT_EQ(passes, 0);
    clock.setMonotonicMs(15 * 60000 + 1);
    section().RunPeriodicSection();
    EXPECT_EQ(passes, 1);
    EXPECT_EQ(run.LastPassStartTicks.load(), 15 * 60000 + 1);
    EXPECT_EQ(run.LastPassStartTime.load(), clock.nowSeconds());
}

TEST_F(PeriodicSectionTest, WhileAPassRunsNothingElseStarts)
{
    settings.BackupCycle = 0;
    clock.setMonotonicMs(1);
    section().RunPeriodicSection();
    ASSERT_EQ(passes, 1);
    run.RescanRequested = 1;
    run.BackupNowRequested = 1;
    clock.setMonotonicMs(1000000);
    section().RunPeriodicSection();
    section().RunPeriodicSection();
    EXPECT_EQ(passes, 1);
    EXPECT_EQ(scans, 0);
    EXPECT_EQ(run.BackupNowRequested.load(), 1);
    finishPass();
    section().RunPeriodicSection();
    EXPECT_EQ(scans, 1); // the rebuild goes first, so the pass waits for the next turn
    EXPECT_EQ(run.RescanRequested.load(), 0);
}

TEST_F(PeriodicSectionTest, OutsideTheTimeWindowsADuePassWaitsWithAStatusLine)
{
    settings.ScheduleMode = 1;
    settings.Schedule = QStringLiteral("8,0,17,30,0,1,1,1,1,1,0;") +
                        QString(QStringLiteral("0,0,0,0,0,0,0,0,0,0,0;")).repeated(6);
    settings.BackupCycle = 1;
    clock.setNow(QDateTime(QDate(2024, 3, 4), QTime(17, 30, 1)));
    clock.setMonotonicMs(60001);
    section().RunPeriodicSection();
    section().RunPeriodicSection();
    EXPECT_EQ(passes, 0);
    EXPECT_EQ(run.LastPassStartTicks.load(), 0);
    EXPECT_EQ(statusLine.lastText(), Text(QStringLiteral("TXT00116")));

    clock.setNow(QDateTime(QDate(2024, 3, 5), QTime(8, 0, 0)));
    section().RunPeriodicSection();
    EXPECT_EQ(passes, 1);
}

TEST_F(PeriodicSectionTest, BackUpNowStartsAtOnceEvenWhenInactiveAndOutsideWindows)
{
    run.Status = 0;
    settings.ScheduleMode = 1; // default schedule: no window ever matches
    section().requestBackupNow();
    EXPECT_EQ(run.Status.load(), 1);
    EXPECT_EQ(run.StatusBeforeBackupNow.load(), 0);
    section().RunPeriodicSection();
    EXPECT_EQ(passes, 1);
    EXPECT_EQ(run.BackupNowRequested.load(), 0);
    EXPECT_EQ(registryText(), QStringLiteral("active"));
}

TEST_F(PeriodicSectionTest, RemoteLocksSwitchTheStatusEveryTurnTheyAreHeld)
{
    ASSERT_EQ(NamedLock::ensureRuntimeDir(home.runtimeDir()), 1);
    NamedLock inactive(home.runtimeDir(), QStringLiteral("Fernhold_Inactive"));
    ASSERT_EQ(inactive.tryLock(), 1);
    section().RunPeriodicSection();
    EXPECT_EQ(run.Status.load(), 0);
    EXPECT_EQ(registryText(), QStringLiteral("inactive"));
    EXPECT_EQ(statusLine.lastText(), Text(QStringLiteral("TXT00073")));

    run.Status = 1; // somebody switched it on again; the held lock wins next turn
    section().RunPeriodicSection();
    EXPECT_EQ(run.Status.load(), 0);
    inactive.unlock();

    NamedLock active(home.runtimeDir(), QStringLiteral("Fernhold_Active"));
    ASSERT_EQ(active.tryLock(), 1);
    section().RunPeriodicSection();
    EXPECT_EQ(run.Status.load(), 1);
    EXPECT_EQ(registryText(), QStringLiteral("active"));
}

TEST_F(PeriodicSectionTest, HeldBackUpNowLockKeepsTheStatusToReturnTo)
{
    ASSERT_EQ(NamedLock::ensureRuntimeDir(home.runtimeDir()), 1);
    run.Status = 0;
    NamedLock now(home.runtimeDir(), QStringLiteral("Fernhold_Now"));
    ASSERT_EQ(now.tryLock(), 1);
    section().RunPeriodicSection();
    EXPECT_EQ(passes, 1);
    section().RunPeriodicSection(); // still held: requested again while the pass runs
    section().RunPeriodicSection();
    EXPECT_EQ(run.StatusBeforeBackupNow.load(), 0);
    EXPECT_EQ(run.BackupNowRequested.load(), 1);
}

TEST_F(PeriodicSectionTest, RepeatedFullBackupIsRequestedUpToAMinuteEarly)
{
    settings.InitialRepeater = 1;
    settings.InitialRepeaterTime = 72;
    settings.InitialFullBackupLastStarted = static_cast<int>(clock.nowSeconds() - 72 * 3600 + 61);
    settings.BackupCycle = 9999;
    section().RunPeriodicSection();
    EXPECT_EQ(run.FullBackupRequested.load(), 0);

    settings.InitialFullBackupLastStarted = static_cast<int>(clock.nowSeconds() - 72 * 3600 + 30);
    run.RescanRequested = 1;
    section().RunPeriodicSection();
    EXPECT_EQ(run.FullBackupRequested.load(), 1);
    EXPECT_EQ(run.RescanRequested.load(), 0);
    EXPECT_EQ(emptied, 1);
    EXPECT_EQ(scans, 0);
}

TEST_F(PeriodicSectionTest, NothingStartsUnlessActive)
{
    settings.BackupCycle = 0;
    clock.setMonotonicMs(100);
    for (int status : {-1, 0, 2}) {
        run.Status = static_cast<std::int8_t>(status);
        run.RescanRequested = 1;
        section().RunPeriodicSection();
    }
    EXPECT_EQ(passes, 0);
    EXPECT_EQ(scans, 0);
}

TEST_F(PeriodicSectionTest, MissingArchiverEndsInsteadOfStartingAPass)
{
    archiverOk = false;
    settings.BackupCycle = 0;
    clock.setMonotonicMs(100);
    section().RunPeriodicSection();
    EXPECT_EQ(archiverFailures, 1);
    EXPECT_EQ(passes, 0);
}

TEST_F(PeriodicSectionTest, IconFollowsTheStatusOnlyWhenItChanges)
{
    settings.BackupCycle = 9999;
    section().RunPeriodicSection();
    section().RunPeriodicSection();
    run.Status = 2;
    section().RunPeriodicSection();
    run.ShownStatus = -2; // a redraw was asked for
    section().RunPeriodicSection();
    EXPECT_EQ(ui.programStatuses(), (std::vector<int>{1, 2, 2}));
}
