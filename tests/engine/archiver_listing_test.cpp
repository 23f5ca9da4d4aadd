#include "archiver_fixture.h"
#include "engine/archive_listing.h"
#include "engine/archiver.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace fernhold;
using fernhold::test::ArchiverTest;

namespace {

// Packs the files of `folder` (relative names) into the zip `archive` the way
// a user's own tool would: with their folders.
void makeUsersZip(const Archiver& archiver, const QString& folder, const QString& archive)
{
    const ArchiverRun run =
        archiver.RunArchiver({QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("--"),
                              archive, folder + QStringLiteral("*")});
    ASSERT_TRUE(run.succeeded());
}

} // namespace

TEST_F(ArchiverTest, OneFileTestRecognisesFernholdsArchive)
{
    const QString file = writeSource(QStringLiteral("report.docx"), "Quarterly figures");
    const Archiver zip = archiver();
    const QString plain = zipPath(QStringLiteral("report.docx@20240305~140709.zip"));
    const QString locked = zipPath(QStringLiteral("report.docx@20240305~140709©.zip"));
    ASSERT_EQ(zip.PackFile(file, plain), 1);
    ASSERT_EQ(zip.PackFile(file, locked, ZipEncryption{ZipMethod::Aes256, QStringLiteral("pw")}),
              1);

    EXPECT_EQ(zip.isOneFileArchive(plain, QStringLiteral("report.docx")), 1);
    EXPECT_EQ(zip.isOneFileArchive(locked, QStringLiteral("report.docx")), 1);
    // The name must be the entry's, not a part of it or of the archive's path.
    EXPECT_EQ(zip.isOneFileArchive(plain, QStringLiteral("report")), 0);
    EXPECT_EQ(zip.isOneFileArchive(plain, QStringLiteral("report.doc")), 0);
    EXPECT_EQ(zip.isOneFileArchive(plain, QStringLiteral("other.docx")), 0);

    const auto listing = zip.listArchive(plain);
    ASSERT_TRUE(listing.has_value());
    EXPECT_EQ(listing->summaryFiles, 1);
    EXPECT_EQ(listing->summaryFolders, 0);
    ASSERT_EQ(listing->entries.size(), 1);
    EXPECT_EQ(listing->entries[0].name, QStringLiteral("report.docx"));
    EXPECT_EQ(listing->entries[0].size, 17);
}

TEST_F(ArchiverTest, OneFileTestRefusesAUsersOwnZips)
{
    const Archiver zip = archiver();
    // A zip of several files, one of them named like the version's file.
    m_home.writeFile(QStringLiteral("mine/data.zip"), "inner");
    m_home.writeFile(QStringLiteral("mine/notes.txt"), "notes");
    m_home.writeFile(QStringLiteral("mine/sub/deep.txt"), "deep");
    const QString several = m_source + QStringLiteral("data.zip");
    makeUsersZip(zip, m_home.path() + QStringLiteral("mine/"), several);
    EXPECT_EQ(zip.isOneFileArchive(several, QStringLiteral("data.zip")), 0);
    const auto listing = zip.listArchive(several);
    ASSERT_TRUE(listing.has_value());
    EXPECT_EQ(listing->summaryFiles, 3);
    EXPECT_EQ(listing->summaryFolders, 1);

    // A zip of one file of another name: the archive's own name shows in the
    // listing's header, but no entry has it.
    m_home.writeFile(QStringLiteral("single/readme.txt"), "read me");
    const QString single = m_source + QStringLiteral("single.zip");
    makeUsersZip(zip, m_home.path() + QStringLiteral("single/"), single);
    EXPECT_EQ(zip.isOneFileArchive(single, QStringLiteral("single.zip")), 0);
    EXPECT_EQ(zip.isOneFileArchive(single, QStringLiteral("readme.txt")), 1);

    // One file and a folder is not one of Fernhold's archives either.
    m_home.writeFile(QStringLiteral("withdir/x.txt"), "x");
    QDir().mkpath(m_home.path() + QStringLiteral("withdir/empty"));
    const QString withFolder = m_source + QStringLiteral("withdir.zip");
    makeUsersZip(zip, m_home.path() + QStringLiteral("withdir/"), withFolder);
    EXPECT_EQ(zip.isOneFileArchive(withFolder, QStringLiteral("x.txt")), 0);
}

TEST_F(ArchiverTest, OneFileTestIsNotFooledByAnEntryNamedLikeASummary)
{
    // "a 1 files" ends like the summary line of a one-file archive.
    m_home.writeFile(QStringLiteral("tricky/a 1 files"), "1");
    m_home.writeFile(QStringLiteral("tricky/b.txt"), "2");
    const Archiver zip = archiver();
    const QString archive = m_source + QStringLiteral("tricky.zip");
    makeUsersZip(zip, m_home.path() + QStringLiteral("tricky/"), archive);
    EXPECT_EQ(zip.isOneFileArchive(archive, QStringLiteral("a 1 files")), 0);
    EXPECT_EQ(zip.isOneFileArchive(archive, QStringLiteral("b.txt")), 0);
}

TEST_F(ArchiverTest, OneFileTestRefusesWhatIsNoZip)
{
    const Archiver zip = archiver();
    const QString text = writeSource(QStringLiteral("letter.zip"), "Dear Ann, this is no zip.");
    EXPECT_EQ(zip.isOneFileArchive(text, QStringLiteral("letter.zip")), 0);
    EXPECT_FALSE(zip.listArchive(text).has_value());
    EXPECT_EQ(zip.isOneFileArchive(m_source + QStringLiteral("missing.zip"),
                                   QStringLiteral("missing.zip")),
              0);
    EXPECT_EQ(zip.VerifyArchive(text, QStringLiteral("letter.zip"), 25), 0);
}

TEST_F(ArchiverTest, VerifyWantsTheExactNameAndSize)
{
    const QByteArray content(1234, 'z');
    const QString file = writeSource(QStringLiteral("size.bin"), content);
    const Archiver zip = archiver();
    ASSERT_EQ(zip.PackFile(file, zipPath()), 1);
    EXPECT_EQ(zip.VerifyArchive(zipPath(), QStringLiteral("size.bin"), 1234), 1);
    // A size that merely occurs in the line (packed size, date) is no match.
    EXPECT_EQ(zip.VerifyArchive(zipPath(), QStringLiteral("size.bin"), 123), 0);
    EXPECT_EQ(zip.VerifyArchive(zipPath(), QStringLiteral("size.bin"), 1235), 0);
    EXPECT_EQ(zip.VerifyArchive(zipPath(), QStringLiteral("size"), 1234), 0);
    EXPECT_EQ(zip.VerifyArchive(zipPath(), QStringLiteral("ize.bin"), 1234), 0);
}

TEST_F(ArchiverTest, DamagedArchiveDoesNotVerify)
{
    const QByteArray content = test::randomBytes(50000);
    const QString file = writeSource(QStringLiteral("big.bin"), content);
    const Archiver zip = archiver();
    ASSERT_EQ(zip.PackFile(file, zipPath()), 1);
    QFile archive(zipPath());
    ASSERT_TRUE(archive.resize(archive.size() / 2));
    EXPECT_EQ(zip.VerifyArchive(zipPath(), QStringLiteral("big.bin"), content.size()), 0);
    EXPECT_EQ(zip.isOneFileArchive(zipPath(), QStringLiteral("big.bin")), 0);
}

// The older 7-Zip summary, which the installed one no longer prints.
TEST(ArchiveListing, ReadsTheOlderSummaryLine)
{
    const QStringList lines{
        QString(),
        QStringLiteral("7-Zip (A) 9.20  Copyright (c) 1999-2010 Igor Pavlov  2010-11-18"),
        QString(),
        QStringLiteral("Listing archive: report.docx@20240305~140709.zip"),
        QString(),
        QStringLiteral("--"),
        QStringLiteral("Path = report.docx@20240305~140709.zip"),
        QStringLiteral("Type = zip"),
        QStringLiteral("Physical Size = 165"),
        QString(),
        QStringLiteral("   Date      Time    Attr         Size   Compressed  Name"),
        QStringLiteral(
            "------------------- ----- ------------ ------------  ------------------------"),
        QStringLiteral("2024-03-05 14:07:09 ....A           17           19  report.docx"),
        QStringLiteral(
            "------------------- ----- ------------ ------------  ------------------------"),
        QStringLiteral("                                    17           19  1 files, 0 folders"),
    };
    const ArchiveListing listing = parseArchiveListing(lines);
    EXPECT_EQ(listing.summaryFiles, 1);
    EXPECT_EQ(listing.summaryFolders, 0);
    ASSERT_EQ(listing.entries.size(), 1);
    EXPECT_EQ(listing.entries[0].name, QStringLiteral("report.docx"));
    EXPECT_EQ(listing.entries[0].size, 17);
    EXPECT_FALSE(listing.entries[0].folder);
}

TEST(ArchiveListing, NumbersWiderThanTheirColumnsAndOddNames)
{
    const QStringList lines{
        QStringLiteral(
            "------------------- ----- ------------ ------------  ------------------------"),
        QStringLiteral("2024-03-05 14:07:09 ..... 1234567890123 1234567890000  huge.img"),
        QStringLiteral("2024-03-05 14:07:09 .....            5            7    two leading blanks"),
        QStringLiteral("2024-03-05 14:07:09 .....            5            7  42  trailing "),
        QStringLiteral("2024-03-05 14:07:09 D....            0            0  folder"),
        QStringLiteral(
            "------------------- ----- ------------ ------------  ------------------------"),
        QStringLiteral("2024-03-05 14:07:09       1234567890133 1234567890014  3 files, 1 folders"),
        QStringLiteral("a line after the table"),
    };
    const ArchiveListing listing = parseArchiveListing(lines);
    ASSERT_EQ(listing.entries.size(), 4);
    EXPECT_EQ(listing.entries[0].name, QStringLiteral("huge.img"));
    EXPECT_EQ(listing.entries[0].size, 1234567890123LL);
    EXPECT_EQ(listing.entries[1].name, QStringLiteral("  two leading blanks"));
    EXPECT_EQ(listing.entries[2].name, QStringLiteral("42  trailing "));
    EXPECT_TRUE(listing.entries[3].folder);
    EXPECT_EQ(listing.summaryFiles, 3);
    EXPECT_EQ(listing.summaryFolders, 1);
}

TEST(ArchiveListing, NoTableNoSummary)
{
    const ArchiveListing listing = parseArchiveListing(
        {QStringLiteral("ERROR: letter.zip"), QStringLiteral("Can not open the file as archive"),
         QStringLiteral("1 files")});
    EXPECT_TRUE(listing.entries.isEmpty());
    EXPECT_EQ(listing.summaryFiles, -1);
}
