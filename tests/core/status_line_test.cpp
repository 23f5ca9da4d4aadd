#include "core/run_state.h"
#include "core/status_line.h"
#include "fake_user_interface.h"
#include "manual_clock.h"

#include <gtest/gtest.h>

using namespace fernhold;
using namespace fernhold::test;

namespace {

// Now is 5 March 2024 14:07:09; the last pass started at 14:00, every 15 minutes.
class StatusLineTest : public ::testing::Test
{
protected:
    StatusLineTest()
    {
        run.LastPassStartTime = QDateTime(QDate(2024, 3, 5), QTime(14, 0, 0)).toSecsSinceEpoch();
        line.setBackupCycle(15);
    }

    FakeUserInterface ui;
    ManualClock clock{QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9))};
    RunState run;
    StatusLine line{ui, clock, run};
};

} // namespace

TEST_F(StatusLineTest, ShowsTimeNextPassAndRepeatsTheLastText)
{
    line.ShowStatusLine(QStringLiteral("Backing up"));
    line.ShowStatusLine(QString(), 1);
    line.setBackupCycle(0);
    line.ShowStatusLine(QStringLiteral("Idle"));
    const QStringList shown = ui.statusLines();
    ASSERT_EQ(shown.size(), 3);
    EXPECT_EQ(shown[0], QStringLiteral("05.03.2024 14:07:09          ... 14:15:00\r\nBacking up"));
    EXPECT_EQ(shown[1], QStringLiteral("05.03.2024 14:07:09\r\nBacking up"));
    EXPECT_EQ(shown[2], QStringLiteral("05.03.2024 14:07:09\r\nIdle"));
    EXPECT_EQ(line.lastText(), QStringLiteral("Idle"));
}

TEST_F(StatusLineTest, TheTimeFollowsTheClockAcrossSecondsAndDays)
{
    line.setBackupCycle(0);
    line.ShowStatusLine(QStringLiteral("a"));
    line.ShowStatusLine(QStringLiteral("b"));
    clock.advanceSeconds(1);
    line.ShowStatusLine(QStringLiteral("c"));
    clock.setNow(QDateTime(QDate(2024, 3, 6), QTime(0, 0, 0)));
    line.ShowStatusLine(QStringLiteral("d"));
    clock.setNow(QDateTime(QDate(2024, 3, 5), QTime(23, 59, 59)));
    line.ShowStatusLine(QStringLiteral("e"));
    EXPECT_EQ(ui.statusLines(), (QStringList{QStringLiteral("05.03.2024 14:07:09\r\na"),
                                             QStringLiteral("05.03.2024 14:07:09\r\nb"),
                                             QStringLiteral("05.03.2024 14:07:10\r\nc"),
                                             QStringLiteral("06.03.2024 00:00:00\r\nd"),
                                             QStringLiteral("05.03.2024 23:59:59\r\ne")}));
}

TEST_F(StatusLineTest, TheNextPassTimeFollowsEachNewPassStart)
{
    line.ShowStatusLine(QStringLiteral("a"));
    run.LastPassStartTime = QDateTime(QDate(2024, 3, 5), QTime(14, 15, 30)).toSecsSinceEpoch();
    line.ShowStatusLine(QStringLiteral("b"));
    line.setBackupCycle(60);
    line.ShowStatusLine(QStringLiteral("c"));
    const QStringList shown = ui.statusLines();
    ASSERT_EQ(shown.size(), 3);
    EXPECT_TRUE(shown[0].endsWith(QStringLiteral("... 14:15:00\r\na")));
    EXPECT_TRUE(shown[1].endsWith(QStringLiteral("... 14:30:30\r\nb")));
    EXPECT_TRUE(shown[2].endsWith(QStringLiteral("... 15:15:30\r\nc")));
}
