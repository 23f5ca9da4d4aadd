#include "targets/ftp_listing.h"

#include <gtest/gtest.h>

namespace fernhold {

namespace {

const QDateTime kNow(QDate(2024, 3, 10), QTime(12, 0), Qt::UTC);

QList<FtpListedEntry> parse(const QByteArray& data, FtpListingFormat format)
{
    return ParseFtpListing(data, format, kNow);
}

} // namespace

TEST(FtpListingTest, ReadsMlsdFacts)
{
    const QList<FtpListedEntry> entries =
        parse("type=cdir;modify=20240305140709; /pub\r\n"
              "type=pdir;modify=20240305140709; ..\r\n"
              "type=dir;modify=20240305140709;perm=el; Docs and more\r\n"
              "Type=File;Size=3221225472;Modify=20240305140709.123; big @ file.zip\r\n"
              "type=OS.unix=slink:/etc/passwd;size=11; link\r\n"
              "type=OS.unix=blk;size=0; device\r\n"
              "size=5; no type\r\n"
              "type=file;size=-5; negative\r\n"
              "type=file;size=99999999999999999999; overflow\r\n"
              "no facts at all\r\n"
              "type=file;size=1;  two blanks\n",
              FtpListingFormat::Mlsd);
    ASSERT_EQ(entries.size(), 5);
    EXPECT_EQ(entries[0].name, QByteArray("Docs and more"));
    EXPECT_EQ(entries[0].attributes, kFtpFolder);
    EXPECT_EQ(entries[1].name, QByteArray("big @ file.zip"));
    EXPECT_EQ(entries[1].attributes, kFtpFile);
    EXPECT_EQ(entries[1].size, 3221225472LL);
    EXPECT_EQ(entries[1].modified, QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9), Qt::UTC));
    EXPECT_EQ(entries[2].attributes, kFtpLink | kFtpFile);
    EXPECT_EQ(entries[3].attributes, 0u);
    EXPECT_EQ(entries[4].name, QByteArray(" two blanks"));
}

TEST(FtpListingTest, ReadsUnixListings)
{
    const QList<FtpListedEntry> entries =
        parse("total 16\r\n"
              "drwxr-xr-x    2 0        0            4096 Mar 05 14:07 folder one\r\n"
              "-rw-r--r--    1 1000     1000   3221225472 Jun 30  2023 huge.bin\r\n"
              "-rw-r--r--    1 ann      staff          12 Dec 24 18:30 christmas.txt\r\n"
              "-rw-r--r--    1 ann               7 Mar  9 08:00 no group\r\n"
              "lrwxrwxrwx    1 0        0               7 Mar 05 14:07 latest -> v2/file\r\n"
              "crw-rw-rw-    1 0        0          1,   3 Mar 05 14:07 null\r\n"
              "prw-r--r--    1 0        0               0 Mar 05 14:07 pipe\r\n"
              "-rw-r--r--    1 0        0               1 Mar 05 14:07  leading blank\r\n"
              "-rw-r--r--    1 0        0               1 Foo 05 14:07 bad month\r\n"
              "-rw-r--r--    1 0        0               1 Mar 45 14:07 bad day\r\n"
              "-rw-r--r--    1 0        0               1 Mar 05 14:07\r\n"
              "drwxr-xr-x    2 0        0            4096 Mar 05 14:07 .\r\n"
              "drwxr-xr-x    2 0        0            4096 Mar 05 14:07 ..\r\n",
              FtpListingFormat::List);
    ASSERT_EQ(entries.size(), 8);
    EXPECT_EQ(entries[0].name, QByteArray("folder one"));
    EXPECT_EQ(entries[0].attributes, kFtpFolder);
    EXPECT_EQ(entries[0].modified, QDateTime(QDate(2024, 3, 5), QTime(14, 7), Qt::UTC));
    EXPECT_EQ(entries[1].size, 3221225472LL);
    EXPECT_EQ(entries[1].modified, QDateTime(QDate(2023, 6, 30), QTime(0, 0), Qt::UTC));
    // A time without a year that would lie in the future is last year's.
    EXPECT_EQ(entries[2].modified, QDateTime(QDate(2023, 12, 24), QTime(18, 30), Qt::UTC));
    EXPECT_EQ(entries[3].name, QByteArray("no group"));
    EXPECT_EQ(entries[3].size, 7);
    EXPECT_EQ(entries[4].name, QByteArray("latest"));
    EXPECT_EQ(entries[4].attributes, kFtpLink | kFtpFile);
    EXPECT_EQ(entries[5].name, QByteArray("null"));
    EXPECT_EQ(entries[5].attributes, 0u);
    EXPECT_EQ(entries[6].attributes, 0u);
    EXPECT_EQ(entries[7].name, QByteArray(" leading blank"));
}

TEST(FtpListingTest, ReadsDosListings)
{
    const QList<FtpListedEntry> entries =
        parse("03-05-24  02:07PM       <DIR>          Reports 2024\r\n"
              "12-31-1999  11:59PM           3221225472 old.zip\r\n"
              "03-05-24  12:15AM                   10 midnight.txt\r\n"
              "03-05-24  13:15PM                   10 bad hour.txt\r\n"
              "03-05-24  02:07PM       <DIR>          ..\r\n",
              FtpListingFormat::List);
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0].name, QByteArray("Reports 2024"));
    EXPECT_EQ(entries[0].attributes, kFtpFolder);
    EXPECT_EQ(entries[0].modified, QDateTime(QDate(2024, 3, 5), QTime(14, 7), Qt::UTC));
    EXPECT_EQ(entries[1].size, 3221225472LL);
    EXPECT_EQ(entries[1].modified, QDateTime(QDate(1999, 12, 31), QTime(23, 59), Qt::UTC));
    EXPECT_EQ(entries[2].modified, QDateTime(QDate(2024, 3, 5), QTime(0, 15), Qt::UTC));
}

TEST(FtpListingTest, DropsNamesThatLeadElsewhere)
{
    EXPECT_FALSE(IsSafeListedName(""));
    EXPECT_FALSE(IsSafeListedName("."));
    EXPECT_FALSE(IsSafeListedName(".."));
    EXPECT_FALSE(IsSafeListedName("../x"));
    EXPECT_FALSE(IsSafeListedName("/etc/passwd"));
    EXPECT_FALSE(IsSafeListedName(QByteArrayView("a\0b", 3)));
    EXPECT_TRUE(IsSafeListedName("..."));
    EXPECT_TRUE(IsSafeListedName(".hidden"));
    EXPECT_TRUE(IsSafeListedName("back\\slash"));

    static const char kHostile[] = "type=file;size=1; ../../etc/passwd\r\n"
                                   "type=file;size=1; /abs\r\n"
                                   "type=file;size=1; nul\0here\r\n"
                                   "type=dir; ..\r\n"
                                   "type=file;size=1; fine\r\n";
    const QList<FtpListedEntry> entries =
        parse(QByteArray(kHostile, sizeof kHostile - 1), FtpListingFormat::Mlsd);
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].name, QByteArray("fine"));
}

TEST(FtpListingTest, SurvivesGarbage)
{
    QByteArray noise;
    for (int i = 0; i < 4096; ++i) {
        noise.append(static_cast<char>((i * 131 + 7) & 0xFF));
    }
    noise.append(QByteArray(100000, 'x'));
    noise.append("\r\n\r\n\n\r");
    EXPECT_TRUE(parse(noise, FtpListingFormat::List).size() < 5);
    EXPECT_TRUE(parse(noise, FtpListingFormat::Mlsd).size() < 5);
    EXPECT_TRUE(parse({}, FtpListingFormat::List).isEmpty());
}

} // namespace fernhold
