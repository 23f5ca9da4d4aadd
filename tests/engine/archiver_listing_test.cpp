#include "archiver_fixture.h"
#include "engine/archiver.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace fernhold;
using fernhold::test::ArchiverTest;

namespace {

// Packs the files of `folder` (relative names) into the zip `archive` the way
// a user's own tool would: with their folders.
void makeUsersZip(const QString& folder, const QString& archive)
{
    const test::ToolOutput run = test::RunSystemTool(
        QStringLiteral("7za"), {QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("--"),
                                archive, folder + QStringLiteral("*")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
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

    // 7za sees the same: one entry, the file, with its size.
    const test::ToolOutput listing =
        sevenZip({QStringLiteral("l"), QStringLiteral("-slt"), QStringLiteral("--"), plain});
    ASSERT_EQ(listing.exitCode, 0);
    EXPECT_EQ(listing.out.count("\nPath = report.docx\n"), 1);
    EXPECT_EQ(listing.out.count("\nSize = 17\n"), 1);
    EXPECT_EQ(listing.out.count("\nFolder = -\n"), 1);
}

TEST_F(ArchiverTest, OneFileTestRefusesAUsersOwnZips)
{
    const Archiver zip = archiver();
    // A zip of several files, one of them named like the version's file.
    m_home.writeFile(QStringLiteral("mine/data.zip"), "inner");
    m_home.writeFile(QStringLiteral("mine/notes.txt"), "notes");
    m_home.writeFile(QStringLiteral("mine/sub/deep.txt"), "deep");
    const QString several = m_source + QStringLiteral("data.zip");
    makeUsersZip(m_home.path() + QStringLiteral("mine/"), several);
    EXPECT_EQ(zip.isOneFileArchive(several, QStringLiteral("data.zip")), 0);
    EXPECT_EQ(zip.isOneFileArchive(several, QStringLiteral("notes.txt")), 0);

    // A zip of one file of another name: the archive's own name shows in the
    // listing's header, but no entry has it.
    m_home.writeFile(QStringLiteral("single/readme.txt"), "read me");
    const QString single = m_source + QStringLiteral("single.zip");
    makeUsersZip(m_home.path() + QStringLiteral("single/"), single);
    EXPECT_EQ(zip.isOneFileArchive(single, QStringLiteral("single.zip")), 0);
    EXPECT_EQ(zip.isOneFileArchive(single, QStringLiteral("readme.txt")), 1);

    // One file and a folder is not one of Fernhold's archives either.
    m_home.writeFile(QStringLiteral("withdir/x.txt"), "x");
    QDir().mkpath(m_home.path() + QStringLiteral("withdir/empty"));
    const QString withFolder = m_source + QStringLiteral("withdir.zip");
    makeUsersZip(m_home.path() + QStringLiteral("withdir/"), withFolder);
    EXPECT_EQ(zip.isOneFileArchive(withFolder, QStringLiteral("x.txt")), 0);
}

TEST_F(ArchiverTest, OneFileTestIsNotFooledByAnEntryNamedLikeASummary)
{
    // "a 1 files" ends like the summary line of a one-file archive.
    m_home.writeFile(QStringLiteral("tricky/a 1 files"), "1");
    m_home.writeFile(QStringLiteral("tricky/b.txt"), "2");
    const Archiver zip = archiver();
    const QString archive = m_source + QStringLiteral("tricky.zip");
    makeUsersZip(m_home.path() + QStringLiteral("tricky/"), archive);
    EXPECT_EQ(zip.isOneFileArchive(archive, QStringLiteral("a 1 files")), 0);
    EXPECT_EQ(zip.isOneFileArchive(archive, QStringLiteral("b.txt")), 0);
}

TEST_F(ArchiverTest, OneFileTestRefusesWhatIsNoZip)
{
    const Archiver zip = archiver();
    const QString text = writeSource(QStringLiteral("letter.zip"), "Dear Ann, this is no zip.");
    EXPECT_EQ(zip.isOneFileArchive(text, QStringLiteral("letter.zip")), 0);
    EXPECT_EQ(zip.isOneFileArchive(m_source + QStringLiteral("missing.zip"),
                                   QStringLiteral("missing.zip")),
              0);
    PackedSource packed;
    packed.size = 25;
    EXPECT_EQ(zip.VerifyArchive(text, QStringLiteral("letter.zip"), packed, text), 0);
}

TEST_F(ArchiverTest, VerifyWantsTheExactNameSizeAndCrc)
{
    const QByteArray content(1234, 'z');
    const QString file = writeSource(QStringLiteral("size.bin"), content);
    const Archiver zip = archiver();
    PackedSource packed;
    ASSERT_EQ(zip.PackFile(file, zipPath(), {}, packed), 1);
    EXPECT_EQ(packed.size, 1234);
    EXPECT_EQ(zip.VerifyArchive(zipPath(), QStringLiteral("size.bin"), packed, file), 1);
    EXPECT_EQ(zip.VerifyArchive(zipPath(), QStringLiteral("size"), packed, file), 0);
    EXPECT_EQ(zip.VerifyArchive(zipPath(), QStringLiteral("ize.bin"), packed, file), 0);
    // Bytes other than those read while packing: another count, another CRC.
    for (const auto& change : {std::pair<qint64, quint32>{1, 0}, {-1, 0}, {0, 1}}) {
        PackedSource other = packed;
        other.size += change.first;
        other.crc ^= change.second;
        EXPECT_EQ(zip.VerifyArchive(zipPath(), QStringLiteral("size.bin"), other, file), 0);
    }
}

TEST_F(ArchiverTest, DamagedArchiveDoesNotVerify)
{
    const QByteArray content = test::randomBytes(50000);
    const QString file = writeSource(QStringLiteral("big.bin"), content);
    const Archiver zip = archiver();
    PackedSource packed;
    ASSERT_EQ(zip.PackFile(file, zipPath(), {}, packed), 1);
    const QByteArray whole = test::TempHome::readFile(zipPath());
    // A flipped byte inside the compressed data.
    QByteArray flipped = whole;
    flipped[whole.size() / 2] = static_cast<char>(flipped[whole.size() / 2] ^ 0x40);
    ASSERT_TRUE(m_home.writeFile(QStringLiteral("flipped.zip"), flipped).size() > 0);
    EXPECT_EQ(zip.VerifyArchive(m_home.path() + QStringLiteral("flipped.zip"),
                                QStringLiteral("big.bin"), packed, file),
              0);
    QFile archive(zipPath());
    ASSERT_TRUE(archive.resize(archive.size() / 2));
    EXPECT_EQ(zip.VerifyArchive(zipPath(), QStringLiteral("big.bin"), packed, file), 0);
    EXPECT_EQ(zip.isOneFileArchive(zipPath(), QStringLiteral("big.bin")), 0);
}

// Names that a listing could mistake for sizes or summaries, in archives
// 7za made: the one-file test goes by the entries themselves.
TEST_F(ArchiverTest, OneFileTestTakesOddNamesFrom7zaArchives)
{
    const Archiver zip = archiver();
    const QStringList names{QStringLiteral("  two leading blanks"), QStringLiteral("42  trailing "),
                            QStringLiteral("1 files, 0 folders"),
                            QStringLiteral("Größe Ärger ünïcødé.txt")};
    int n = 0;
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QString folder = QStringLiteral("odd%1/").arg(++n);
        m_home.writeFile(folder + name, "odd");
        const QString archive = m_source + QStringLiteral("odd%1.zip").arg(n);
        makeUsersZip(m_home.path() + folder, archive);
        EXPECT_EQ(zip.isOneFileArchive(archive, name), 1);
        EXPECT_EQ(zip.isOneFileArchive(archive, name.trimmed()), name == name.trimmed() ? 1 : 0);
        ASSERT_EQ(zip.UnpackFile(archive, m_output, name), 1);
        EXPECT_EQ(test::TempHome::readFile(m_output + name), "odd");
    }
    // A zip of nothing but a folder holds no file.
    QDir().mkpath(m_home.path() + QStringLiteral("onlyfolder/inner"));
    const QString folderOnly = m_source + QStringLiteral("folder.zip");
    makeUsersZip(m_home.path() + QStringLiteral("onlyfolder/"), folderOnly);
    EXPECT_EQ(zip.isOneFileArchive(folderOnly, QStringLiteral("inner")), 0);
    EXPECT_EQ(zip.UnpackFile(folderOnly, m_output, QStringLiteral("inner")), 0);
}
