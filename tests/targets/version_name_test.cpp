#include "targets/version_name.h"

#include <gtest/gtest.h>

namespace fernhold {

namespace {

std::optional<VersionName> parse(const char* name)
{
    return ParseVersionName(QString::fromUtf8(name));
}

} // namespace

TEST(VersionName, SplitsAtTheLastMark)
{
    const auto plain = parse("report.docx@20240305~140709.docx");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->baseName, QStringLiteral("report.docx"));
    EXPECT_EQ(plain->dateText, QStringLiteral("20240305"));

    const auto twoMarks = parse("me@home.txt@20240305~140709©.zip");
    ASSERT_TRUE(twoMarks);
    EXPECT_EQ(twoMarks->baseName, QStringLiteral("me@home.txt"));
    EXPECT_EQ(twoMarks->dateText, QStringLiteral("20240305"));

    // Exactly eight characters may end the name.
    const auto bare = parse("a@20240305");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->baseName, QStringLiteral("a"));

    const auto noBase = parse("@20240305~140709.txt");
    ASSERT_TRUE(noBase);
    EXPECT_TRUE(noBase->baseName.isEmpty());
}

TEST(VersionName, RefusesWhatIsNoDate)
{
    for (const char* name : {
             "report.txt",                      // no mark
             "report.txt@",                     // nothing after it
             "report.txt@2024030",              // cut short
             "report.txt@2024O305~140709.txt",  // a letter
             "report.txt@02024030~1.txt",       // leading zero
             "report.txt@+2024030~1.txt",       // sign
             "report.txt@ 2024030~1.txt",       // blank
             "report.txt@2024-03-05.txt",       // separators
             "report.txt@２０２４０３０５.txt", // digits of another script
             "a@20240305~1.txt@later.txt",      // only the last mark counts
         }) {
        EXPECT_FALSE(parse(name)) << name;
    }
    EXPECT_TRUE(IsVersionDateText(u"10000000"));
    EXPECT_FALSE(IsVersionDateText(u"00000001"));
    EXPECT_FALSE(IsVersionDateText(u"123456789"));
}

TEST(VersionName, CutOffIsNowMinusWholeDays)
{
    const QDateTime now(QDate(2024, 3, 5), QTime(14, 7, 9));
    EXPECT_EQ(CutOffDateText(now, 14), QStringLiteral("20240220"));
    EXPECT_EQ(CutOffDateText(now, 0), QStringLiteral("20240305"));
    EXPECT_EQ(CutOffDateText(now, 366), QStringLiteral("20230305"));
    // A negative count never moves the cut-off into the future.
    EXPECT_EQ(CutOffDateText(now, -30), QStringLiteral("20240305"));

    // The cut-off day itself is not older; "11111111" and below stay out of
    // the age rule.
    EXPECT_FALSE(IsOlderThanCutOff(QStringLiteral("20240220"), QStringLiteral("20240220")));
    EXPECT_TRUE(IsOlderThanCutOff(QStringLiteral("20240219"), QStringLiteral("20240220")));
    EXPECT_FALSE(IsAboveOldestDate(QStringLiteral("11111111")));
    EXPECT_FALSE(IsAboveOldestDate(QStringLiteral("10000000")));
    EXPECT_TRUE(IsAboveOldestDate(QStringLiteral("11111112")));
}

TEST(VersionName, HugeDayCountsMakeNothingOld)
{
    const QDateTime now(QDate(2024, 3, 5), QTime(14, 7, 9));
    for (const qint64 days : {qint64(2147483647), qint64(9223372036854775807LL)}) {
        const QString cutOff = CutOffDateText(now, days);
        EXPECT_FALSE(IsOlderThanCutOff(QStringLiteral("10000001"), cutOff)) << cutOff.toStdString();
    }
}

} // namespace fernhold
