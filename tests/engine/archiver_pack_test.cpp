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
    const char* listed; // how "l -slt" begins the method
};

// The "Method = ..." lines of the technical listing of `archive`.
QStringList listedMethods(const Archiver& archiver, const QString& archive)
{
    QStringList methods;
    const ArchiverRun run = archiver.RunArchiver(
        {QStringLiteral("l"), QStringLiteral("-slt"), QStringLiteral("--"), archive}, std::nullopt,
        [&methods](const QString& line) {
            if (line.startsWith(QStringLiteral("Method = "))) {
                methods.append(line.mid(9));
            }
        });
    EXPECT_TRUE(run.succeeded());
    return methods;
}

} // namespace

TEST_F(ArchiverTest, PlainZipRoundTripIsByteIdentical)
{
    const QByteArray content = randomBytes(70000) + QByteArray(50000, 'a');
    const QString file = writeSource(QStringLiteral("report.docx"), content);
    const Archiver zip = archiver();

    ASSERT_EQ(zip.PackFile(file, zipPath()), 1);
    EXPECT_EQ(zip.VerifyArchive(zipPath(), QStringLiteral("report.docx"), content.size()), 1);
    EXPECT_EQ(listedMethods(zip, zipPath()), QStringList{QStringLiteral("Deflate")});

    ASSERT_EQ(zip.UnpackFile(zipPath(), m_output, QStringLiteral("report.docx")), 1);
    EXPECT_EQ(test::TempHome::readFile(m_output + QStringLiteral("report.docx")), content);
}

TEST_F(ArchiverTest, EmptyFileRoundTrip)
{
    const QString file = writeSource(QStringLiteral("empty"), QByteArray());
    const Archiver zip = archiver();
    ASSERT_EQ(zip.PackFile(file, zipPath()), 1);
    EXPECT_EQ(zip.VerifyArchive(zipPath(), QStringLiteral("empty"), 0), 1);
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
        ASSERT_EQ(zip.PackFile(file, archive, ZipEncryption{c.method, password}), 1);
        const QStringList methods = listedMethods(zip, archive);
        ASSERT_EQ(methods.size(), 1);
        EXPECT_TRUE(methods[0].startsWith(QString::fromLatin1(c.listed)))
            << methods[0].toStdString();
        // Listing a zip needs no password, so the check after packing works.
        EXPECT_EQ(zip.VerifyArchive(archive, QStringLiteral("secret.txt"), content.size()), 1);

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
    EXPECT_EQ(listedMethods(zip, zipPath()), QStringList{QStringLiteral("Store")});
    ASSERT_EQ(zip.UnpackFile(zipPath(), m_output, QStringLiteral("a.txt")), 1);
    EXPECT_EQ(test::TempHome::readFile(m_output + QStringLiteral("a.txt")), "plain");
}

TEST_F(ArchiverTest, EncryptedArchiveWithoutPasswordFailsAtOnce)
{
    const QString file = writeSource(QStringLiteral("a.txt"), "secret content");
    ASSERT_EQ(archiver().PackFile(file, zipPath(),
                                  ZipEncryption{ZipMethod::ZipCrypto, QStringLiteral("pw")}),
              1);
    // Were standard input left open, 7-Zip would wait there for a password;
    // the deadline only keeps a failing test from hanging.
    bool deadlineHit = false;
    const QDeadlineTimer deadline(60000);
    const Archiver zip = archiver([&] { return deadlineHit = deadline.hasExpired(); });
    EXPECT_EQ(zip.UnpackFile(zipPath(), m_output, QStringLiteral("a.txt")), 0);
    EXPECT_FALSE(deadlineHit);
    EXPECT_FALSE(QFileInfo::exists(m_output + QStringLiteral("a.txt")));

    const ArchiverRun run = zip.RunArchiver({QStringLiteral("t"), QStringLiteral("--"), zipPath()});
    EXPECT_EQ(run.started, 1);
    EXPECT_EQ(run.stopped, 0);
    EXPECT_NE(run.exitCode, 0);
}

TEST_F(ArchiverTest, PasswordsThatCannotBeUsedFailThePacking)
{
    const QString file = writeSource(QStringLiteral("a.txt"), "x");
    const Archiver zip = archiver();
    // 7-Zip takes only ASCII for zip passwords.
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
    // Cut at the line break, the password would open the archive.
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
        ASSERT_EQ(
            zip.PackFile(file, archive, ZipEncryption{ZipMethod::Aes128, QStringLiteral("pw")}), 1);
        EXPECT_EQ(zip.VerifyArchive(archive, name, content.size()), 1);
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
    EXPECT_EQ(zip.PackFile(file, zipPath()), 1);
    EXPECT_EQ(zip.VerifyArchive(zipPath(), QStringLiteral("open.db"), content.size()), 1);
    EXPECT_EQ(zip.UnpackFile(zipPath(), m_output, QStringLiteral("open.db")), 1);
    EXPECT_EQ(test::TempHome::readFile(m_output + QStringLiteral("open.db")), content);

    holder.closeWriteChannel();
    EXPECT_TRUE(holder.waitForFinished(-1));
}

TEST_F(ArchiverTest, MissingSourceFileFails)
{
    const Archiver zip = archiver();
    EXPECT_EQ(zip.PackFile(m_source + QStringLiteral("gone.txt"), zipPath()), 0);
    EXPECT_EQ(zip.VerifyArchive(zipPath(), QStringLiteral("gone.txt"), 0), 0);
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
