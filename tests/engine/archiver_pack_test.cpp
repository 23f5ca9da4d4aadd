#include "archiver_fixture.h"
#include "engine/archiver.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

using namespace fernhold;
using fernhold::test::ArchiverTest;
using fernhold::test::randomBytes;

namespace {

struct MethodCase
{
    ZipMethod method;
    const char* listed; // how "7za l -slt" begins the method
};

} // namespace

TEST_F(ArchiverTest, PlainZipRoundTripIsByteIdentical)
{
    const QByteArray content = randomBytes(70000) + QByteArray(50000, 'a');
    const QString file = writeSource(QStringLiteral("report.docx"), content);
    const Archiver zip = archiver();

    ASSERT_EQ(packAndVerify(zip, file, zipPath()), 1);
    EXPECT_EQ(listedMethods(zipPath()), QStringList{QStringLiteral("Deflate")});

    ASSERT_EQ(zip.UnpackFile(zipPath(), m_output, QStringLiteral("report.docx")), 1);
    EXPECT_EQ(test::TempHome::readFile(m_output + QStringLiteral("report.docx")), content);
}

TEST_F(ArchiverTest, EmptyFileRoundTrip)
{
    const QString file = writeSource(QStringLiteral("empty"), QByteArray());
    const Archiver zip = archiver();
    ASSERT_EQ(packAndVerify(zip, file, zipPath()), 1);
    ASSERT_EQ(zip.UnpackFile(zipPath(), m_output, QStringLiteral("empty")), 1);
    EXPECT_EQ(QFileInfo(m_output + QStringLiteral("empty")).size(), 0);
}

TEST_F(ArchiverTest, EachMethodEncryptsAndOpensOnlyWithItsPassword)
{
    const QByteArray content = randomBytes(20000);
    const QString file = writeSource(QStringLiteral("secret.txt"), content);
    const QString password = QStringLiteral("Tr0ub4dor & \"3\" 'x' $HOME ~@ ");
    const Archiver zip = archiver();
    const MethodCase cases[] = {{ZipMethod::ZipCrypto, "ZipCrypto "},
                                {ZipMethod::Aes128, "AES-128 "},
                                {ZipMethod::Aes256, "AES-256 "}};
    for (const MethodCase& c : cases) {
        SCOPED_TRACE(c.listed);
        const QString archive = zipPath(QStringLiteral("method.zip"));
        QFile::remove(archive);
        PackedSource packed;
        ASSERT_EQ(zip.PackFile(file, archive, ZipEncryption{c.method, password}, packed), 1);
        const QStringList methods = listedMethods(archive);
        ASSERT_EQ(methods.size(), 1);
        EXPECT_TRUE(methods[0].startsWith(QString::fromLatin1(c.listed)))
            << methods[0].toStdString();
        // The check after packing reads the entry back with the password.
        EXPECT_EQ(packed.size, content.size());
        EXPECT_EQ(zip.VerifyArchive(archive, QStringLiteral("secret.txt"), packed, file), 1);
        PackedSource wrongPassword = packed;
        wrongPassword.password = QStringLiteral("Tr0ub4dor");
        EXPECT_EQ(zip.VerifyArchive(archive, QStringLiteral("secret.txt"), wrongPassword, file), 0);

        const QString unpacked = m_output + QStringLiteral("secret.txt");
        EXPECT_EQ(zip.UnpackFile(archive, m_output, QStringLiteral("secret.txt")), 0);
        EXPECT_FALSE(QFileInfo::exists(unpacked));
        EXPECT_EQ(zip.UnpackFile(archive, m_output, QStringLiteral("secret.txt"),
                                 QStringLiteral("Tr0ub4dor")),
                  0);
        EXPECT_FALSE(QFileInfo::exists(unpacked));
        ASSERT_EQ(zip.UnpackFile(archive, m_output, QStringLiteral("secret.txt"), password), 1);
        EXPECT_EQ(test::TempHome::readFile(unpacked), content);
        QFile::remove(unpacked);
    }
}

TEST_F(ArchiverTest, EncryptionWithoutPasswordMakesAPlainZip)
{
    const QString file = writeSource(QStringLiteral("a.txt"), "plain");
    const Archiver zip = archiver();
    ASSERT_EQ(zip.PackFile(file, zipPath(), ZipEncryption{ZipMethod::Aes256, QString()}), 1);
    const QStringList methods = listedMethods(zipPath());
    ASSERT_EQ(methods.size(), 1);
    // Five bytes do not shrink: stored or deflated, but never encrypted.
    EXPECT_FALSE(methods[0].contains(QStringLiteral("AES")) ||
                 methods[0].contains(QStringLiteral("ZipCrypto")))
        << methods[0].toStdString();
    ASSERT_EQ(zip.UnpackFile(zipPath(), m_output, QStringLiteral("a.txt")), 1);
    EXPECT_EQ(test::TempHome::readFile(m_output + QStringLiteral("a.txt")), "plain");
}

TEST_F(ArchiverTest, EncryptedArchiveWithoutPasswordFailsAtOnce)
{
    const QString file = writeSource(QStringLiteral("a.txt"), "secret content");
    ASSERT_EQ(archiver().PackFile(file, zipPath(),
                                  ZipEncryption{ZipMethod::ZipCrypto, QStringLiteral("pw")}),
              1);
    // Nothing may wait for a password that never comes; the deadline only
    // keeps a failing test from hanging.
    bool deadlineHit = false;
    const QDeadlineTimer deadline(60000);
    const Archiver zip = archiver([&] { return deadlineHit = deadline.hasExpired(); });
    EXPECT_EQ(zip.UnpackFile(zipPath(), m_output, QStringLiteral("a.txt")), 0);
    EXPECT_FALSE(deadlineHit);
    EXPECT_FALSE(QFileInfo::exists(m_output + QStringLiteral("a.txt")));

    // 7za, too, finds the entry encrypted: its test fails without a password.
    const test::ToolOutput run =
        sevenZip({QStringLiteral("t"), QStringLiteral("-p"), QStringLiteral("--"), zipPath()});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.exitCode, -1);
}

TEST_F(ArchiverTest, PasswordsThatCannotBeUsedFailThePacking)
{
    const QString file = writeSource(QStringLiteral("a.txt"), "x");
    const Archiver zip = archiver();
    // Other zip readers take only ASCII for zip passwords.
    EXPECT_EQ(zip.PackFile(file, zipPath(),
                           ZipEncryption{ZipMethod::ZipCrypto, QStringLiteral("Kennwort-ä")}),
              0);
    QFile::remove(zipPath());
    EXPECT_EQ(zip.PackFile(file, zipPath(),
                           ZipEncryption{ZipMethod::Aes256, QStringLiteral("first\nsecond")}),
              0);
    EXPECT_FALSE(QFileInfo::exists(zipPath()));
    ASSERT_EQ(
        zip.PackFile(file, zipPath(), ZipEncryption{ZipMethod::Aes256, QStringLiteral("first")}),
        1);
    // Cut at the line break, the password would open the archive: it must not.
    EXPECT_EQ(zip.UnpackFile(zipPath(), m_output, QStringLiteral("a.txt"),
                             QStringLiteral("first\r\nsecond")),
              0);
}

TEST_F(ArchiverTest, AwkwardNamesWorkBothWays)
{
    const QStringList names{QStringLiteral("name with  blanks .txt"),
                            QStringLiteral("\"quoted\" and 'single'.doc"),
                            QStringLiteral("report.docx@20240305~140709.docx"),
                            QStringLiteral("~lock file©2024.odt"),
                            QStringLiteral("Größe Ärger façade ünïcødé Ωμέγα файл.txt"),
                            QStringLiteral("-starts-with-dash"),
                            QStringLiteral("@starts-with-at"),
                            QStringLiteral("wild*card?.txt"),
                            QStringLiteral(" leading blank"),
                            QStringLiteral("semi;colon & dollar$HOME `tick`")};
    const Archiver zip = archiver();
    int n = 0;
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray content = "content of " + name.toUtf8() + QByteArray::number(++n);
        const QString file = writeSource(name, content);
        const QString archive = zipPath(name + QStringLiteral("@20240305~140709©.zip"));
        ASSERT_EQ(packAndVerify(zip, file, archive,
                                ZipEncryption{ZipMethod::Aes128, QStringLiteral("pw")}),
                  1);
        EXPECT_EQ(zip.isOneFileArchive(archive, name), 1);
        ASSERT_EQ(zip.UnpackFile(archive, m_output, name, QStringLiteral("pw")), 1);
        EXPECT_EQ(test::TempHome::readFile(m_output + name), content);
    }
    // Nothing but the named files came out: no wildcard matched a neighbour.
    EXPECT_EQ(QDir(m_output).entryList(QDir::Files | QDir::Hidden).size(), names.size());
}

TEST_F(ArchiverTest, WildcardNameDoesNotPackItsNeighbours)
{
    writeSource(QStringLiteral("aXb.txt"), "neighbour");
    const QString file = writeSource(QStringLiteral("a*b.txt"), "star");
    const Archiver zip = archiver();
    ASSERT_EQ(zip.PackFile(file, zipPath()), 1);
    EXPECT_EQ(zip.isOneFileArchive(zipPath(), QStringLiteral("a*b.txt")), 1);
}

TEST_F(ArchiverTest, FileHeldOpenForWritingIsPacked)
{
    const QByteArray content = randomBytes(30000);
    const QString file = writeSource(QStringLiteral("open.db"), content);
    // Another process opens the file for writing, takes an exclusive lock on
    // it and keeps both until its standard input closes.
    QProcess holder;
    holder.start(QStringLiteral("python3"), {QStringLiteral("-c"),
                                             QStringLiteral("import fcntl, sys\n"
                                                            "f = open(sys.argv[1], 'r+b')\n"
                                                            "fcntl.lockf(f, fcntl.LOCK_EX)\n"
                                                            "print('ready', flush=True)\n"
                                                            "sys.stdin.read()\n"),
                                             file});
    ASSERT_TRUE(holder.waitForStarted(-1));
    while (!holder.canReadLine() && holder.state() == QProcess::Running) {
        holder.waitForReadyRead(-1);
    }
    ASSERT_EQ(holder.readLine().trimmed(), "ready");

    const Archiver zip = archiver();
    EXPECT_EQ(packAndVerify(zip, file, zipPath()), 1);
    EXPECT_EQ(zip.UnpackFile(zipPath(), m_output, QStringLiteral("open.db")), 1);
    EXPECT_EQ(test::TempHome::readFile(m_output + QStringLiteral("open.db")), content);

    holder.closeWriteChannel();
    EXPECT_TRUE(holder.waitForFinished(-1));
}

TEST_F(ArchiverTest, MissingSourceFileFails)
{
    const Archiver zip = archiver();
    const QString gone = m_source + QStringLiteral("gone.txt");
    PackedSource packed;
    EXPECT_EQ(zip.PackFile(gone, zipPath(), {}, packed), 0);
    EXPECT_FALSE(QFileInfo::exists(zipPath()));
    EXPECT_EQ(zip.VerifyArchive(zipPath(), QStringLiteral("gone.txt"), packed, gone), 0);
    // A folder is no file to pack either.
    EXPECT_EQ(zip.PackFile(m_source, zipPath()), 0);
}

TEST_F(ArchiverTest, UnpackingFailuresLeaveNothingBehind)
{
    const QString file = writeSource(QStringLiteral("a.txt"), "new");
    const Archiver zip = archiver();
    ASSERT_EQ(zip.PackFile(file, zipPath()), 1);
    // A stale file of the name wanted must not pass for the unpacked one.
    const QString stale = m_home.writeFile(QStringLiteral("output/b.txt"), "stale");
    EXPECT_EQ(zip.UnpackFile(zipPath(), m_output, QStringLiteral("b.txt")), 0);
    EXPECT_FALSE(QFileInfo::exists(stale));
    EXPECT_EQ(
        zip.UnpackFile(m_source + QStringLiteral("none.zip"), m_output, QStringLiteral("a.txt")),
        0);
    // An existing file of the same name is replaced.
    m_home.writeFile(QStringLiteral("output/a.txt"), "older and longer");
    ASSERT_EQ(zip.UnpackFile(zipPath(), m_output, QStringLiteral("a.txt")), 1);
    EXPECT_EQ(test::TempHome::readFile(m_output + QStringLiteral("a.txt")), "new");
}

// Small files are packed in memory: the bytes make the same archive as
// one packed to a file, their check catches damage, and a file longer
// than the limit fails instead of filling memory.
TEST_F(ArchiverTest, AnArchiveMadeInMemoryIsTheSameAndItsCheckCatchesDamage)
{
    const QByteArray content = randomBytes(30000);
    const QString file = writeSource(QStringLiteral("memo.txt"), content);
    const QString password = QStringLiteral("in-memory pw");
    const Archiver zip = archiver();
    PackedSource packed;
    QByteArray bytes;
    ASSERT_EQ(zip.PackFileToMemory(file, ZipEncryption{ZipMethod::Aes256, password}, packed, bytes,
                                   1024 * 1024),
              1);
    EXPECT_EQ(packed.size, content.size());
    EXPECT_EQ(zip.VerifyArchiveBytes(bytes, QStringLiteral("memo.txt"), packed, file), 1);

    const QString archive = zipPath(QStringLiteral("memo.zip"));
    QFile out(archive);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    ASSERT_EQ(out.write(bytes), bytes.size());
    out.close();
    const QStringList methods = listedMethods(archive);
    ASSERT_EQ(methods.size(), 1);
    EXPECT_TRUE(methods[0].startsWith(QStringLiteral("AES-256 "))) << methods[0].toStdString();
    ASSERT_EQ(zip.UnpackFile(archive, m_output, QStringLiteral("memo.txt"), password), 1);
    EXPECT_EQ(test::TempHome::readFile(m_output + QStringLiteral("memo.txt")), content);

    PackedSource wrongPassword = packed;
    wrongPassword.password = QStringLiteral("other");
    EXPECT_EQ(zip.VerifyArchiveBytes(bytes, QStringLiteral("memo.txt"), wrongPassword, file), 0);
    QByteArray damaged = bytes;
    damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 0x20);
    EXPECT_EQ(zip.VerifyArchiveBytes(damaged, QStringLiteral("memo.txt"), packed, file), 0);
    EXPECT_EQ(zip.VerifyArchiveBytes(bytes.first(bytes.size() - 10), QStringLiteral("memo.txt"),
                                     packed, file),
              0);

    QByteArray cut;
    EXPECT_EQ(zip.PackFileToMemory(file, std::nullopt, packed, cut, 20000), 0);
    EXPECT_TRUE(cut.isEmpty());
}
