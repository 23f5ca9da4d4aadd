#include "restore/version_name.h"

#include <gtest/gtest.h>

namespace fernhold::test {

namespace {

const QString kCopy = QString(QChar(0x00A9));

} // namespace

TEST(VersionName, ReadsTheThreeForms)
{
    const auto plain = ParseVersionName(QStringLiteral("report.docx@20230115~093000.docx"));
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(plain->fileName, QStringLiteral("report.docx"));
    EXPECT_EQ(plain->stamp, QStringLiteral("20230115~093000"));
    EXPECT_EQ(plain->date(), QStringLiteral("20230115"));
    EXPECT_FALSE(plain->encrypted);

    const auto zip = ParseVersionName(QStringLiteral("report.docx@20230115~093000.zip"));
    ASSERT_TRUE(zip.has_value());
    EXPECT_FALSE(zip->encrypted);

    const auto crypt =
        ParseVersionName(QStringLiteral("x.doc@20230115~093000") + kCopy + QStringLiteral(".zip"));
    ASSERT_TRUE(crypt.has_value());
    EXPECT_EQ(crypt->fileName, QStringLiteral("x.doc"));
    EXPECT_TRUE(crypt->encrypted);

    // A file without extension keeps a lone ".".
    const auto bare = ParseVersionName(QStringLiteral("Makefile@20230115~093000."));
    ASSERT_TRUE(bare.has_value());
    EXPECT_EQ(bare->fileName, QStringLiteral("Makefile"));
}

TEST(VersionName, TakesTheLastAtAndCopyrightOnlyRightAfterTheStamp)
{
    const auto twoAts = ParseVersionName(QStringLiteral("ann@home@20230115~093000.txt"));
    ASSERT_TRUE(twoAts.has_value());
    EXPECT_EQ(twoAts->fileName, QStringLiteral("ann@home"));

    // "©" inside the file name or later in the suffix does not make it encrypted.
    const auto inName = ParseVersionName(kCopy + QStringLiteral("a.txt@20230115~093000.txt"));
    ASSERT_TRUE(inName.has_value());
    EXPECT_FALSE(inName->encrypted);
    const auto late = ParseVersionName(QStringLiteral("a@20230115~093000.") + kCopy);
    ASSERT_TRUE(late.has_value());
    EXPECT_FALSE(late->encrypted);
    // "©" in place of the stamp's "~" is no version at all.
    EXPECT_FALSE(
        ParseVersionName(QStringLiteral("a@20230115") + kCopy + QStringLiteral("093000.zip")));
}

TEST(VersionName, RefusesNamesThatAreNoVersions)
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
        EXPECT_FALSE(ParseVersionName(name).has_value()) << name.toStdString();
    }
}

TEST(VersionName, SafeNamesAndFolders)
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

TEST(VersionName, RangeCountsBothDaysInFull)
{
    const QDate from(2023, 1, 1);
    const QDate to(2023, 1, 5);
    EXPECT_TRUE(StampInRange(QStringLiteral("20230101~000000"), from, to));
    EXPECT_TRUE(StampInRange(QStringLiteral("20230105~235959"), from, to));
    EXPECT_FALSE(StampInRange(QStringLiteral("20221231~235959"), from, to));
    EXPECT_FALSE(StampInRange(QStringLiteral("20230106~000000"), from, to));
    // A from date after the to date holds nothing.
    EXPECT_FALSE(StampInRange(QStringLiteral("20230103~120000"), to, from));
}

TEST(VersionName, DateTexts)
{
    EXPECT_EQ(BrowserDateText(QStringLiteral("20230115~093000")),
              QStringLiteral("2023/01/15   09:30:00"));
    EXPECT_EQ(RowDateText(QStringLiteral("20230115~093000")), QStringLiteral("2023/01/15 09:30"));
    EXPECT_EQ(StampDate(QDate(2023, 1, 2)), QStringLiteral("20230102"));
}

} // namespace fernhold::test
