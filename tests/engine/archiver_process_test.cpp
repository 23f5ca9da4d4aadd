#include "archiver_fixture.h"
#include "core/job_settings.h"
#include "core/run_state.h"
#include "engine/archiver.h"
#include "engine/archiver_check.h"

#include <QDeadlineTimer>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <utility>

using namespace fernhold;
using fernhold::test::ArchiverTest;
using fernhold::test::childPids;

namespace {

QString makeFifo(const QString& path)
{
    EXPECT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    return path;
}

// A file of `size` bytes that takes no disk space: long to pack, quick to make.
QString makeSparse(const QString& path, qint64 size)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    EXPECT_TRUE(file.resize(size));
    return path;
}

// Every file below `folder` whose bytes contain `secret`.
QStringList filesHolding(const QString& folder, const QByteArray& secret)
{
    QStringList holding;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (fernhold::test::TempHome::readFile(path).contains(secret)) {
            holding.append(path);
        }
    }
    return holding;
}

} // namespace

// Packing runs in this process: a stop ends it between blocks, and neither
// the archive nor a half-written temporary file is left.
TEST_F(ArchiverTest, StopCheckEndsAPackingRunAndLeavesNothing)
{
    const QString big = makeSparse(m_source + QStringLiteral("big.img"), 1LL << 30);
    QSet<qint64> seen;
    int polls = 0;
    const Archiver zip = archiver([&] {
        seen.unite(childPids());
        return ++polls >= 3;
    });
    EXPECT_EQ(zip.PackFile(big, zipPath()), 0);
    EXPECT_EQ(polls, 3);
    EXPECT_TRUE(seen.isEmpty());
    EXPECT_TRUE(QDir(m_work).entryList(QDir::Files | QDir::Hidden).isEmpty());

    // Unpacking stops the same way and leaves no part of the file.
    const QString file = writeSource(QStringLiteral("a.bin"), test::randomBytes(300000));
    ASSERT_EQ(archiver().PackFile(file, zipPath()), 1);
    int unpackPolls = 0;
    EXPECT_EQ(archiver([&] {
                  return ++unpackPolls >= 2;
              }).UnpackFile(zipPath(), m_output, QStringLiteral("a.bin")),
              0);
    EXPECT_EQ(unpackPolls, 2);
    EXPECT_FALSE(QFileInfo::exists(m_output + QStringLiteral("a.bin")));
}

// A FIFO that nobody writes would block a reader for ever: it is no file to
// pack, and the run says so at once.
TEST_F(ArchiverTest, FifoSourceFailsAtOnceInsteadOfHanging)
{
    const QString fifo = makeFifo(m_source + QStringLiteral("never-written"));
    const QDeadlineTimer deadline(20000);
    bool deadlineHit = false;
    const Archiver zip = archiver([&] { return deadlineHit = deadline.hasExpired(); });
    EXPECT_EQ(zip.PackFile(fifo, zipPath()), 0);
    EXPECT_FALSE(deadlineHit);
    EXPECT_FALSE(QFileInfo::exists(zipPath()));
    EXPECT_EQ(zip.UnpackFile(fifo, m_output, QStringLiteral("a.txt")), 0);
    EXPECT_FALSE(deadlineHit);
}

// As in the program: a worker thread packs, the main thread sets the
// program-end flag, and the worker's packing ends.
TEST_F(ArchiverTest, ProgramEndFlagStopsAWorkersRun)
{
    const QString big = makeSparse(m_source + QStringLiteral("stuck.img"), 8LL << 30);
    RunState run;
    std::atomic<int> polls{0};
    std::atomic<int> packed{-1};
    std::unique_ptr<QThread> worker(QThread::create([&] {
        const Archiver zip = archiver([&] {
            ++polls;
            return run.Ending.load() >= 1;
        });
        packed = zip.PackFile(big, zipPath());
    }));
    worker->start();
    const QDeadlineTimer deadline(30000);
    while (polls.load() < 5 && !deadline.hasExpired()) {
        QThread::msleep(2);
    }
    ASSERT_GE(polls.load(), 5);
    run.Ending = 1;
    ASSERT_TRUE(worker->wait(QDeadlineTimer(30000)));
    EXPECT_EQ(packed.load(), 0);
    EXPECT_FALSE(QFileInfo::exists(zipPath()));
}

TEST_F(ArchiverTest, StopBeforeStartRunsNothing)
{
    const QString file = writeSource(QStringLiteral("a.txt"), "x");
    int polls = 0;
    const Archiver zip = archiver([&] {
        ++polls;
        return true;
    });
    EXPECT_EQ(zip.PackFile(file, zipPath()), 0);
    EXPECT_EQ(polls, 1);
    EXPECT_FALSE(QFileInfo::exists(zipPath()));
}

// The password never leaves the process: no child is started while packing
// or unpacking, and no file but the encrypted archive is written, which does
// not hold it either.
TEST_F(ArchiverTest, PasswordNeverLeavesTheProcess)
{
    const QString password = QStringLiteral("pw-Nobody-May-Read-7");
    const QByteArray secret = password.toUtf8();
    const QString file = writeSource(QStringLiteral("a.txt"), test::randomBytes(200000));
    QSet<qint64> seen;
    QStringList holdersWhileRunning;
    const auto spy = [&] {
        seen.unite(childPids());
        holdersWhileRunning += filesHolding(m_home.path(), secret);
        return false;
    };
    for (const ZipMethod method : {ZipMethod::ZipCrypto, ZipMethod::Aes128, ZipMethod::Aes256}) {
        SCOPED_TRACE(ZipMethodText(method).toStdString());
        const QString archive = zipPath(QStringLiteral("a.zip"));
        ASSERT_EQ(archiver(spy).PackFile(file, archive, ZipEncryption{method, password}), 1);
        ASSERT_EQ(archiver(spy).UnpackFile(archive, m_output, QStringLiteral("a.txt"), password),
                  1);
        EXPECT_FALSE(test::TempHome::readFile(archive).contains(secret));
        // And the password given is the one the archive gets.
        const test::ToolOutput run = sevenZip(
            {QStringLiteral("t"), QStringLiteral("-p") + password, QStringLiteral("--"), archive});
        EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
        QFile::remove(archive);
        QFile::remove(m_output + QStringLiteral("a.txt"));
    }
    EXPECT_TRUE(seen.isEmpty());
    EXPECT_TRUE(holdersWhileRunning.isEmpty()) << holdersWhileRunning.join(u' ').toStdString();
    EXPECT_TRUE(filesHolding(m_home.path(), secret).isEmpty());
}

TEST_F(ArchiverTest, PlacesThatCannotBeWrittenAreFailures)
{
    const QString file = writeSource(QStringLiteral("a.txt"), "x");
    const QString nowhere = m_home.path() + QStringLiteral("no-work/");
    EXPECT_EQ(archiver().PackFile(file, nowhere + QStringLiteral("a.zip")), 0);
    EXPECT_FALSE(QFileInfo::exists(nowhere));
    ASSERT_EQ(archiver().PackFile(file, zipPath()), 1);
    EXPECT_EQ(archiver().UnpackFile(zipPath(), nowhere, QStringLiteral("a.txt")), 0);
    EXPECT_FALSE(QFileInfo::exists(nowhere));
}

TEST_F(ArchiverTest, RunsInTheWorkFolder)
{
    // A relative archive name lies in the work folder.
    const QString file = writeSource(QStringLiteral("a.txt"), "x");
    ASSERT_EQ(archiver().PackFile(file, QStringLiteral("relative.zip")), 1);
    EXPECT_TRUE(QFileInfo::exists(m_work + QStringLiteral("relative.zip")));
    EXPECT_EQ(archiver().isOneFileArchive(QStringLiteral("relative.zip"), QStringLiteral("a.txt")),
              1);
}

// The check at start-up and before each pass asks the zip library for what
// the settings of that moment want; this build's library has it all.
TEST_F(ArchiverTest, StartUpCheckAsksForTheMethodsTheSettingsWant)
{
    EXPECT_EQ(InstallArchiver(ZipUse::Write, AllZipMethods()), 1);
    EXPECT_EQ(InstallArchiver(ZipUse::Read, AllZipMethods()), 1);
    EXPECT_EQ(InstallArchiver(ZipUse::Write, {}), 1);

    JobSettings settings;
    settings.CompressData = 1;
    settings.CryptData = 1;
    settings.CryptPassword = QStringLiteral("pw");
    for (int methode = 0; methode <= 2; ++methode) {
        settings.CryptMethode = methode;
        EXPECT_EQ(WantedZipMethods(settings), QList<ZipMethod>{*ZipMethodFromSetting(methode)});
    }
    // Nothing encrypted, nothing asked.
    settings.CryptMethode = 2;
    settings.CryptPassword.clear();
    EXPECT_TRUE(WantedZipMethods(settings).isEmpty());
    settings.CryptPassword = QStringLiteral("pw");
    settings.CompressData = 0;
    EXPECT_TRUE(WantedZipMethods(settings).isEmpty());
    settings.CompressData = 1;
    settings.CryptData = 0;
    EXPECT_TRUE(WantedZipMethods(settings).isEmpty());
}
