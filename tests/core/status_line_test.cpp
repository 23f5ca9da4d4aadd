#include "fake_user_interface.h"
#include "manual_clock.h"
#include "run_state.h"
#include "status_line.h"

#include <gtest/gtest.h>

using namespace fernhold;
using namespace fernhold::test;

TEST(StatusLine, ShowsTimeNextPassAndRepeatsTheLastText)
{
    FakeUserInterface ui;
    ManualClock clock(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)));
    RunState run;
    run.LastPassStartTime = QDateTime(QDate(2024, 3, 5), QTime(14, 0, 0)).toSecsSinceEpoch();
    StatusLine line(ui, clock, run);
    line.setBackupCycle(15);

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

TEST(StatusLine, TheNextPassTimeFollowsEachNewPassStart)
{
    FakeUserInterface ui;
    ManualClock clock(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)));
    RunState run;
    run.LastPassStartTime = QDateTime(QDate(2024, 3, 5), QTime(14, 0, 0)).toSecsSinceEpoch();
    StatusLine line(ui, clock, run);
    line.setBackupCycle(15);

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
