#include "targets/version_name.h"

#include <gtest/gtest.h>

namespace fernhold {

namespace {

std::optional<VersionParts> parse(const char* name)
{
    return ParseVersionName(QString::fromUtf8(name), VersionRule::Cleanup);
}

const QString kCopy = QString(QChar(0x00A9));

std::optional<VersionParts> restoreForm(const QString& name)
{
    return ParseVersionName(name, VersionRule::Restore);
}

} // namespace

TEST(VersionName, SplitsAtTheLastMark)
{
    const auto plain = parse("report.docx@20240305~140709.docx");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->fileName, QStringLiteral("report.docx"));
    EXPECT_EQ(plain->dateText, QStringLiteral("20240305"));

    const auto twoMarks = parse("me@home.txt@20240305~140709©.zip");
    ASSERT_TRUE(twoMarks);
    EXPECT_EQ(twoMarks->fileName, QStringLiteral("me@home.txt"));
    EXPECT_EQ(twoMarks->dateText, QStringLiteral("20240305"));

    // Exactly eight characters may end the name.
    const auto bare = parse("a@20240305");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->fileName, QStringLiteral("a"));

    const auto noBase = parse("@20240305~140709.txt");
    ASSERT_TRUE(noBase);
    EXPECT_TRUE(noBase->fileName.isEmpty());
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

TEST(RestoredVersionName, ReadsTheThreeForms)
{
    const auto plain = restoreForm(QStringLiteral("report.docx@20230115~093000.docx"));
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(plain->fileName, QStringLiteral("report.docx"));
    EXPECT_EQ(plain->stamp, QStringLiteral("20230115~093000"));
    EXPECT_EQ(plain->date(), QStringLiteral("20230115"));
    EXPECT_FALSE(plain->encrypted);

    const auto zip = restoreForm(QStringLiteral("report.docx@20230115~093000.zip"));
    ASSERT_TRUE(zip.has_value());
    EXPECT_FALSE(zip->encrypted);

    const auto crypt =
        restoreForm(QStringLiteral("x.doc@20230115~093000") + kCopy + QStringLiteral(".zip"));
    ASSERT_TRUE(crypt.has_value());
    EXPECT_EQ(crypt->fileName, QStringLiteral("x.doc"));
    EXPECT_TRUE(crypt->encrypted);

    // A file without extension keeps a lone ".".
    const auto bare = restoreForm(QStringLiteral("Makefile@20230115~093000."));
    ASSERT_TRUE(bare.has_value());
    EXPECT_EQ(bare->fileName, QStringLiteral("Makefile"));
}

TEST(RestoredVersionName, TakesTheLastAtAndCopyrightOnlyRightAfterTheStamp)
{
    const auto twoAts = restoreForm(QStringLiteral("ann@home@20230115~093000.txt"));
    ASSERT_TRUE(twoAts.has_value());
    EXPECT_EQ(twoAts->fileName, QStringLiteral("ann@home"));

    // "©" inside the file name or later in the suffix does not make it encrypted.
    const auto inName = restoreForm(kCopy + QStringLiteral("a.txt@20230115~093000.txt"));
    ASSERT_TRUE(inName.has_value());
    EXPECT_FALSE(inName->encrypted);
    const auto late = restoreForm(QStringLiteral("a@20230115~093000.") + kCopy);
    ASSERT_TRUE(late.has_value());
    EXPECT_FALSE(late->encrypted);
    // "©" in place of the stamp's "~" is no version at all.
    EXPECT_FALSE(restoreForm(QStringLiteral("a@20230115") + kCopy + QStringLiteral("093000.zip")));
}

TEST(RestoredVersionName, RefusesNamesThatAreNoVersions)
{
    for (const QString& name : {
             QStringLiteral("report.docx"),                // no "@"
             QStringLiteral("report@2023.txt"),            // "@" near the end
             QStringLiteral("report@20230115"),            // nothing after the date
             QStringLiteral("report@20230115~0930"),       // time cut short
             QStringLiteral("report@20230115-093000.txt"), // "~" missing
             QStringLiteral("report@2023011~5093000.txt"), // "~" one place early
             QStringLiteral("report@2023o115~093000.txt"), // a letter in the date
             QStringLiteral("report@20230115~09:300.txt"), // a colon in the time
             QStringLiteral("@20230115~093000.txt"),       // no file name
             QStringLiteral("..@20230115~093000.txt"),     // a name that leads up
             QStringLiteral(".@20230115~093000.txt"),
             QStringLiteral("a/b@20230115~093000.txt"),       // a name with a folder
             QStringLiteral("a@20230115~093000.txt/../../x"), // a suffix with a path
             QStringLiteral("a") + QChar(0) + QStringLiteral("b@20230115~093000.txt"),
         }) {
        EXPECT_FALSE(restoreForm(name).has_value()) << name.toStdString();
    }
}

TEST(RestoredVersionName, SafeNamesAndFolders)
{
    EXPECT_TRUE(IsSafeName(QStringLiteral("a b.txt")));
    EXPECT_TRUE(IsSafeName(QStringLiteral("...")));
    EXPECT_FALSE(IsSafeName(QString()));
    EXPECT_FALSE(IsSafeName(QStringLiteral("..")));
    EXPECT_FALSE(IsSafeName(QStringLiteral("x/y")));

    EXPECT_TRUE(IsSafeRelativeFolder(QString()));
    EXPECT_TRUE(IsSafeRelativeFolder(QStringLiteral("home/ann/Docs/")));
    EXPECT_TRUE(IsSafeRelativeFolder(QStringLiteral("home/ann/Docs")));
    EXPECT_TRUE(IsSafeRelativeFolder(QStringLiteral("C") + QChar(0x00A6) + QStringLiteral("/x/")));
    EXPECT_FALSE(IsSafeRelativeFolder(QStringLiteral("/home/ann/")));
    EXPECT_FALSE(IsSafeRelativeFolder(QStringLiteral("home/../etc/")));
    EXPECT_FALSE(IsSafeRelativeFolder(QStringLiteral("home//ann/")));
    EXPECT_FALSE(IsSafeRelativeFolder(QStringLiteral("./home/")));
}

// One reading of the name; the rules only differ in what they refuse.
TEST(VersionName, BothRulesReadTheSameParts)
{
    const QString name =
        QStringLiteral("me@home.txt@20240305~140709") + kCopy + QStringLiteral(".zip");
    const auto cleanup = ParseVersionName(name, VersionRule::Cleanup);
    const auto restore = restoreForm(name);
    ASSERT_TRUE(cleanup && restore);
    EXPECT_EQ(cleanup->fileName, restore->fileName);
    EXPECT_EQ(cleanup->dateText, restore->dateText);
    EXPECT_EQ(cleanup->stamp, QStringLiteral("20240305~140709"));
    EXPECT_TRUE(cleanup->encrypted && restore->encrypted);

    // Counted (and so deleted) by the clean-up, but never a restore's source.
    EXPECT_TRUE(parse("@20240305~140709.txt"));
    EXPECT_FALSE(restoreForm(QStringLiteral("@20240305~140709.txt")));
    EXPECT_TRUE(parse("a@20240305"));
    EXPECT_FALSE(restoreForm(QStringLiteral("a@20240305")));
    // A leading zero is no date text for the clean-up, which then leaves the file alone.
    EXPECT_FALSE(parse("a@02024030~140709.txt"));
    EXPECT_TRUE(restoreForm(QStringLiteral("a@02024030~140709.txt")));
}

} // namespace fernhold
