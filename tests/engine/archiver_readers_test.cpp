#include "archiver_fixture.h"
#include "engine/archiver.h"

#include <QDateTime>
#include <QFile>
#include <gtest/gtest.h>

using namespace fernhold;
using fernhold::test::ArchiverTest;
using fernhold::test::RunSystemTool;
using fernhold::test::ToolOutput;

namespace {

// Reads the one entry of a zip with Python's zipfile: argv archive, name,
// password ("" for none); the bytes on standard output.
const char* const kPythonReader = R"(import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
if z.namelist() != [sys.argv[2]]:
    sys.exit(3)
pwd = sys.argv[3].encode() if sys.argv[3] else None
sys.stdout.buffer.write(z.read(sys.argv[2], pwd=pwd))
)";

struct Form
{
    const char* name;
    std::optional<ZipMethod> method; // no value: unencrypted
    const char* listed;              // how "7za l -slt" shows the method
    bool unzipReads;                 // Info-ZIP's unzip knows no AES
    bool pythonReads;                // neither does Python's zipfile
};

const Form kForms[] = {
    {"plain", std::nullopt, "Deflate", true, true},
    {"ZipCrypto", ZipMethod::ZipCrypto, "ZipCrypto Deflate", true, true},
    {"AES128", ZipMethod::Aes128, "AES-128 Deflate", false, false},
    {"AES256", ZipMethod::Aes256, "AES-256 Deflate", false, false},
};

ToolOutput sevenZipRead(const QString& archive, const QString& password)
{
    return RunSystemTool(QStringLiteral("7za"),
                         {QStringLiteral("e"), QStringLiteral("-so"),
                          QStringLiteral("-p") + password, QStringLiteral("--"), archive});
}

ToolOutput unzipRead(const QString& archive, const QString& password)
{
    return RunSystemTool(QStringLiteral("unzip"),
                         {QStringLiteral("-p"), QStringLiteral("-P"), password, archive});
}

ToolOutput pythonRead(const QString& archive, const QString& name, const QString& password)
{
    return RunSystemTool(
        QStringLiteral("python3"),
        {QStringLiteral("-c"), QString::fromLatin1(kPythonReader), archive, name, password});
}

} // namespace

// Each form of version Fernhold writes opens in 7za, unzip and Python's
// zipfile (as far as each knows the method) with the right password, and
// only with it; 7za sees one deflated entry named as the file, with its time.
TEST_F(ArchiverTest, EveryFormOpensInIndependentReadersWithTheRightPasswordOnly)
{
    const QString name = QStringLiteral("Bericht März 2024.odt");
    const QByteArray content = test::randomBytes(40000) + QByteArray(60000, 'r');
    const QString file = writeSource(name, content);
    const QDateTime saved(QDate(2023, 6, 1), QTime(12, 34, 56));
    {
        QFile source(file);
        ASSERT_TRUE(source.open(QIODevice::ReadWrite));
        ASSERT_TRUE(source.setFileTime(saved, QFileDevice::FileModificationTime));
    }
    const QString password = QStringLiteral("Right-pw 42!");
    const Archiver zip = archiver();
    for (const Form& form : kForms) {
        SCOPED_TRACE(form.name);
        const QString archive = zipPath(QString::fromLatin1(form.name) + QStringLiteral(".zip"));
        std::optional<ZipEncryption> encryption;
        if (form.method) {
            encryption = ZipEncryption{*form.method, password};
        }
        ASSERT_EQ(packAndVerify(zip, file, archive, encryption), 1);

        const ToolOutput listing =
            sevenZip({QStringLiteral("l"), QStringLiteral("-slt"), QStringLiteral("--"), archive});
        ASSERT_EQ(listing.exitCode, 0);
        EXPECT_EQ(listing.out.count("\nPath = "), 2); // the archive and its one entry
        EXPECT_TRUE(listing.out.contains("\nPath = " + name.toUtf8() + '\n'));
        EXPECT_EQ(listedMethods(archive), QStringList{QString::fromLatin1(form.listed)});
        EXPECT_TRUE(listing.out.contains("\nModified = 2023-06-01 12:34:56"))
            << listing.out.toStdString();

        const QString right = form.method ? password : QString();
        const ToolOutput seven = sevenZipRead(archive, right);
        EXPECT_EQ(seven.exitCode, 0);
        EXPECT_EQ(seven.out, content);
        if (form.unzipReads) {
            const ToolOutput unzip = unzipRead(archive, right);
            EXPECT_EQ(unzip.exitCode, 0) << unzip.err.toStdString();
            EXPECT_EQ(unzip.out, content);
        }
        if (form.pythonReads) {
            const ToolOutput python = pythonRead(archive, name, right);
            EXPECT_EQ(python.exitCode, 0) << python.err.toStdString();
            EXPECT_EQ(python.out, content);
        }
        if (!form.method) {
            continue;
        }
        for (const QString& wrong :
             {QString(), QStringLiteral("Right-pw 43!"), QStringLiteral("right-pw 42!")}) {
            SCOPED_TRACE(wrong.toStdString());
            const ToolOutput seven = sevenZipRead(archive, wrong);
            EXPECT_NE(seven.exitCode, 0);
            EXPECT_NE(seven.out, content);
            if (form.unzipReads) {
                const ToolOutput unzip = unzipRead(archive, wrong);
                EXPECT_NE(unzip.exitCode, 0);
                EXPECT_NE(unzip.out, content);
            }
            if (form.pythonReads) {
                const ToolOutput python = pythonRead(archive, name, wrong);
                EXPECT_NE(python.exitCode, 0);
                EXPECT_NE(python.out, content);
            }
        }
    }
}

// Versions that earlier releases made with 7za restore as before: found to
// be one-file archives, unpacked with their time, and only with the password.
TEST_F(ArchiverTest, ArchivesMadeBy7zaUnpackAsBefore)
{
    const QString name = QStringLiteral("Größe façade.txt");
    const QString password = QStringLiteral("old-pw");
    const QDateTime saved(QDate(2022, 2, 3), QTime(4, 5, 6));
    const Archiver zip = archiver();
    // 7za deflates what shrinks and stores what does not (AES entries then
    // carry no CRC at all).
    const QByteArray contents[] = {test::randomBytes(30000) + QByteArray(30000, 's'),
                                   test::randomBytes(70000)};
    for (const QByteArray& content : contents)
        for (const char* method : {"", "ZipCrypto", "AES128", "AES256"}) {
            SCOPED_TRACE(method);
            SCOPED_TRACE(content.size());
            const QString file = writeSource(name, content);
            {
                QFile source(file);
                ASSERT_TRUE(source.open(QIODevice::ReadWrite));
                ASSERT_TRUE(source.setFileTime(saved, QFileDevice::FileModificationTime));
            }
            const QString archive = m_source + QStringLiteral("made-by-7za.zip");
            QFile::remove(archive);
            QStringList arguments{QStringLiteral("a"),         QStringLiteral("-ssw"),
                                  QStringLiteral("-tzip"),     QStringLiteral("-mmt=off"),
                                  QStringLiteral("-sccUTF-8"), QStringLiteral("-spd")};
            const bool encrypted = *method != '\0';
            if (encrypted) {
                arguments << QStringLiteral("-mem=") + QString::fromLatin1(method)
                          << QStringLiteral("-p") + password;
            }
            arguments << QStringLiteral("--") << archive << file;
            const ToolOutput made = sevenZip(arguments);
            ASSERT_EQ(made.exitCode, 0) << made.out.toStdString() << made.err.toStdString();

            EXPECT_EQ(zip.isOneFileArchive(archive, name), 1);
            const QString unpacked = m_output + name;
            if (encrypted) {
                EXPECT_EQ(zip.UnpackFile(archive, m_output, name), 0);
                EXPECT_EQ(zip.UnpackFile(archive, m_output, name, QStringLiteral("old-pW")), 0);
                EXPECT_FALSE(QFileInfo::exists(unpacked));
            }
            ASSERT_EQ(zip.UnpackFile(archive, m_output, name, encrypted ? password : QString()), 1);
            EXPECT_EQ(test::TempHome::readFile(unpacked), content);
            EXPECT_EQ(QFileInfo(unpacked).lastModified(), saved);
            QFile::remove(unpacked);

            // A flipped byte in the data is caught (CRC or authentication code).
            QByteArray bytes = test::TempHome::readFile(archive);
            bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x01);
            const QString damaged = m_home.writeFile(QStringLiteral("damaged-7za.zip"), bytes);
            EXPECT_EQ(zip.UnpackFile(damaged, m_output, name, encrypted ? password : QString()), 0);
            EXPECT_FALSE(QFileInfo::exists(unpacked));
        }
}

// The check after packing goes by the bytes: an archive whose entry holds
// fewer bytes than were packed (a stand-in writer), or a source written to
// while it is packed, is not verified.
TEST_F(ArchiverTest, VerifyCatchesShortEntriesAndSourcesWrittenWhilePacked)
{
    const QByteArray content = test::randomBytes(300000);
    const QString file = writeSource(QStringLiteral("data.bin"), content);
    PackedSource packed;
    ASSERT_EQ(archiver().PackFile(file, zipPath(), {}, packed), 1);
    ASSERT_EQ(archiver().VerifyArchive(zipPath(), QStringLiteral("data.bin"), packed, file), 1);

    // The same entry, short by a block, written by Info-ZIP's zip.
    const QString shortCopy =
        m_home.writeFile(QStringLiteral("short/data.bin"), content.left(content.size() - 4096));
    const QString standIn = m_work + QStringLiteral("stand-in.zip");
    ASSERT_EQ(RunSystemTool(QStringLiteral("zip"),
                            {QStringLiteral("-j"), QStringLiteral("-q"), standIn, shortCopy})
                  .exitCode,
              0);
    EXPECT_EQ(archiver().isOneFileArchive(standIn, QStringLiteral("data.bin")), 1);
    EXPECT_EQ(archiver().VerifyArchive(standIn, QStringLiteral("data.bin"), packed, file), 0);

    // Appended to while it is read: whatever the archive holds, it is no
    // state the file had from start to end.
    int polls = 0;
    const Archiver appending = archiver([&] {
        if (++polls == 3) {
            QFile source(file);
            EXPECT_TRUE(source.open(QIODevice::Append));
            source.write("appended while packed");
        }
        return false;
    });
    PackedSource racing;
    ASSERT_EQ(appending.PackFile(file, zipPath(), {}, racing), 1);
    ASSERT_GE(polls, 3);
    EXPECT_EQ(appending.VerifyArchive(zipPath(), QStringLiteral("data.bin"), racing, file), 0);

    // Rewritten in place between packing and the check, size unchanged.
    PackedSource before;
    ASSERT_EQ(archiver().PackFile(file, zipPath(), {}, before), 1);
    {
        QFile source(file);
        ASSERT_TRUE(source.open(QIODevice::ReadWrite));
        source.write("X");
    }
    EXPECT_EQ(archiver().VerifyArchive(zipPath(), QStringLiteral("data.bin"), before, file), 0);
}

// A flipped byte in the data of an encrypted archive is caught by each
// method's own check (the CRC, or AES's authentication code): nothing is
// unpacked.
TEST_F(ArchiverTest, DamagedEncryptedArchivesDoNotUnpack)
{
    const QByteArray content = test::randomBytes(50000);
    const QString file = writeSource(QStringLiteral("d.bin"), content);
    for (const ZipMethod method : {ZipMethod::ZipCrypto, ZipMethod::Aes128, ZipMethod::Aes256}) {
        SCOPED_TRACE(ZipMethodText(method).toStdString());
        ASSERT_EQ(archiver().PackFile(file, zipPath(), ZipEncryption{method, QStringLiteral("pw")}),
                  1);
        QByteArray bytes = test::TempHome::readFile(zipPath());
        bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x01);
        const QString damaged = m_home.writeFile(QStringLiteral("damaged.zip"), bytes);
        EXPECT_EQ(
            archiver().UnpackFile(damaged, m_output, QStringLiteral("d.bin"), QStringLiteral("pw")),
            0);
        EXPECT_FALSE(QFileInfo::exists(m_output + QStringLiteral("d.bin")));
        ASSERT_EQ(archiver().UnpackFile(zipPath(), m_output, QStringLiteral("d.bin"),
                                        QStringLiteral("pw")),
                  1);
        QFile::remove(m_output + QStringLiteral("d.bin"));
    }
}
