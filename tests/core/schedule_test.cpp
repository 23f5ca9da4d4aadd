#include "core/schedule.h"

#include <QDateTime>
#include <gtest/gtest.h>

using namespace fernhold;

namespace {

const QString kWorkdays = QStringLiteral("8,0,17,30,0,1,1,1,1,1,0;") +
                          QString(QStringLiteral("0,0,0,0,0,0,0,0,0,0,0;")).repeated(6);

// 2024-03-04 is a Monday, 2024-03-09 a Saturday, 2024-03-10 a Sunday.
QDateTime at(int day, int h, int m, int s)
{
    return QDateTime(QDate(2024, 3, day), QTime(h, m, s));
}

} // namespace

TEST(Schedule, InsideWindowsModeAllowsWorkdayHoursInclusive)
{
    EXPECT_EQ(ScheduleAllows(1, kWorkdays, at(4, 8, 0, 0), false), 1);
    EXPECT_EQ(ScheduleAllows(1, kWorkdays, at(4, 12, 0, 0), false), 1);
    EXPECT_EQ(ScheduleAllows(1, kWorkdays, at(8, 17, 30, 0), false), 1);
    EXPECT_EQ(ScheduleAllows(1, kWorkdays, at(8, 17, 30, 1), false), 0);
    EXPECT_EQ(ScheduleAllows(1, kWorkdays, at(4, 7, 59, 59), false), 0);
    EXPECT_EQ(ScheduleAllows(1, kWorkdays, at(9, 12, 0, 0), false), 0);  // Saturday
    EXPECT_EQ(ScheduleAllows(1, kWorkdays, at(10, 12, 0, 0), false), 0); // Sunday
}

TEST(Schedule, OutsideWindowsModeIsTheOpposite)
{
    EXPECT_EQ(ScheduleAllows(2, kWorkdays, at(4, 12, 0, 0), false), 0);
    EXPECT_EQ(ScheduleAllows(2, kWorkdays, at(4, 17, 30, 1), false), 1);
    EXPECT_EQ(ScheduleAllows(2, kWorkdays, at(10, 12, 0, 0), false), 1);
}

TEST(Schedule, WindowAcrossMidnightNeverMatches)
{
    const QString night = QStringLiteral("22,0,6,0,1,1,1,1,1,1,1;");
    EXPECT_EQ(ScheduleAllows(1, night, at(4, 23, 0, 0), false), 0);
    EXPECT_EQ(ScheduleAllows(1, night, at(4, 3, 0, 0), false), 0);
    EXPECT_EQ(ScheduleAllows(2, night, at(4, 23, 0, 0), false), 1);
}

TEST(Schedule, BackupNowAndOtherModesAlwaysAllow)
{
    EXPECT_EQ(ScheduleAllows(1, kWorkdays, at(10, 3, 0, 0), true), 1);
    EXPECT_EQ(ScheduleAllows(2, kWorkdays, at(4, 12, 0, 0), true), 1);
    EXPECT_EQ(ScheduleAllows(0, kWorkdays, at(10, 3, 0, 0), false), 1);
    EXPECT_EQ(ScheduleAllows(7, kWorkdays, at(10, 3, 0, 0), false), 1);
}

TEST(Schedule, DefaultScheduleNeverMatches)
{
    const QString none = QString(QStringLiteral("0,0,0,0,0,0,0,0,0,0,0;")).repeated(7);
    EXPECT_EQ(ScheduleAllows(1, none, at(4, 0, 0, 0), false), 0);
    EXPECT_EQ(ScheduleAllows(2, none, at(4, 0, 0, 0), false), 1);
}

TEST(Schedule, MalformedEntriesAreReadLenientlyWithoutMatchingByAccident)
{
    const QDateTime monday = at(4, 12, 0, 0);
    // Missing weekday fields read as "" and never match.
    EXPECT_EQ(ScheduleAllows(1, QStringLiteral("8,0,17,30;"), monday, false), 0);
    // " 1" is not "1".
    EXPECT_EQ(ScheduleAllows(1, QStringLiteral("8,0,17,30,0, 1;"), monday, false), 0);
    // Garbage times read as 0: 0..17:30 still contains noon.
    EXPECT_EQ(ScheduleAllows(1, QStringLiteral("x,y,17,30,1,1,1,1,1,1,1;"), monday, false), 1);
    // Extra fields and extra entries beyond seven are ignored.
    EXPECT_EQ(ScheduleAllows(1, QStringLiteral("8,0,17,30,0,1,1,1,1,1,0,9,9,9;"), monday, false),
              1);
    const QString eightEntries =
        QString(QStringLiteral(";")).repeated(7) + QStringLiteral("0,0,23,59,1,1,1,1,1,1,1;");
    EXPECT_EQ(ScheduleAllows(1, eightEntries, monday, false), 0);
    for (const char* junk : {"", ";;;;;;;", ",,,,,,,,,,,,,,", "\xff\xfe", "99999999999,1,2;",
                             "-5,-5,-1,-1,1,1,1,1,1,1,1;"}) {
        EXPECT_NO_FATAL_FAILURE((void)ScheduleAllows(1, QString::fromLatin1(junk), monday, false));
    }
}
