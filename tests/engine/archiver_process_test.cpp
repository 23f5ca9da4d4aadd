#include "archiver_fixture.h"
#include "core/run_state.h"
#include "engine/archiver.h"
#include "engine/archiver_program.h"

#include <QDeadlineTimer>
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

QStringList commandLineOf(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QStringList arguments;
    for (const QByteArray& part : file.readAll().split('\0')) {
        if (!part.isEmpty()) {
            arguments.append(QString::fromUtf8(part));
        }
    }
    return arguments;
}

QString makeFifo(const QString& path)
{
    EXPECT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    return path;
}

QString writeScript(const QString& path, const QByteArray& text)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    file.close();
    EXPECT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ExeOwner));
    return path;
}

} // namespace

// Reading a FIFO that no one writes blocks 7-Zip for ever: a run that only
// the stop check can end.
TEST_F(ArchiverTest, StopCheckKillsAHangingRunAndLeavesNoChild)
{
    const QString fifo = makeFifo(m_source + QStringLiteral("never-written"));
    ASSERT_TRUE(childPids().isEmpty());
    QSet<qint64> seen;
    int polls = 0;
    const Archiver zip = archiver([&] {
        seen.unite(childPids());
        return ++polls >= 3;
    });
    EXPECT_EQ(zip.PackFile(fifo, zipPath()), 0);
    EXPECT_EQ(polls, 3);
    EXPECT_EQ(seen.size(), 1);
    EXPECT_TRUE(childPids().isEmpty());
    for (const qint64 pid : std::as_const(seen)) {
        EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)));
    }

    const QDeadlineTimer soon(300);
    const ArchiverRun run = archiver([&soon] { return soon.hasExpired(); })
                                .RunArchiver({QStringLiteral("a"), QStringLiteral("-tzip"),
                                              QStringLiteral("--"), zipPath(), fifo});
    EXPECT_EQ(run.started, 1);
    EXPECT_EQ(run.stopped, 1);
    EXPECT_EQ(run.exitCode, -1);
    EXPECT_FALSE(run.succeeded());
    EXPECT_TRUE(childPids().isEmpty());
}

// As in the program: a worker thread packs, the main thread sets the
// program-end flag, and the worker's archiver is killed.
TEST_F(ArchiverTest, ProgramEndFlagStopsAWorkersRun)
{
    const QString fifo = makeFifo(m_source + QStringLiteral("stuck"));
    RunState run;
    std::atomic<int> packed{-1};
    std::unique_ptr<QThread> worker(QThread::create([&] {
        const Archiver zip = archiver([&run] { return run.Ending.load() >= 1; });
        packed = zip.PackFile(fifo, zipPath());
    }));
    worker->start();
    const QDeadlineTimer deadline(30000);
    while (childPids().isEmpty() && !deadline.hasExpired()) {
        QThread::msleep(5);
    }
    ASSERT_EQ(childPids().size(), 1);
    run.Ending = 1;
    ASSERT_TRUE(worker->wait(QDeadlineTimer(30000)));
    EXPECT_EQ(packed.load(), 0);
    EXPECT_TRUE(childPids().isEmpty());
}

TEST_F(ArchiverTest, StopBeforeStartRunsNothing)
{
    const QString file = writeSource(QStringLiteral("a.txt"), "x");
    int polls = 0;
    const Archiver zip = archiver([&] {
        ++polls;
        return true;
    });
    const ArchiverRun run = zip.RunArchiver({QStringLiteral("a"), zipPath(), file});
    EXPECT_EQ(run.started, 0);
    EXPECT_EQ(run.stopped, 1);
    EXPECT_EQ(polls, 1);
    EXPECT_FALSE(QFileInfo::exists(zipPath()));
}

namespace {

// The arguments and environment of the one child running while the stop
// check is polled; the check stops the run once it has seen them.
struct ChildSpy
{
    QStringList arguments;
    QByteArray environment;

    StopCheck check()
    {
        return [this] {
            for (const qint64 pid : childPids()) {
                arguments = commandLineOf(pid);
                QFile env(QStringLiteral("/proc/%1/environ").arg(pid));
                if (env.open(QIODevice::ReadOnly)) {
                    environment = env.readAll();
                }
            }
            return !arguments.isEmpty();
        };
    }
};

} // namespace

// A FIFO that nobody writes keeps the child waiting, so its arguments can be
// read while it runs: as the file to pack, and as the archive to unpack.
TEST_F(ArchiverTest, PasswordNeverAppearsInTheChildsArguments)
{
    const QString password = QStringLiteral("pw-Nobody-May-Read-7");
    const QString fifo = makeFifo(m_source + QStringLiteral("held"));

    ChildSpy packing;
    EXPECT_EQ(archiver(packing.check())
                  .PackFile(fifo, zipPath(), ZipEncryption{ZipMethod::Aes256, password}),
              0);
    ASSERT_FALSE(packing.arguments.isEmpty());
    EXPECT_TRUE(packing.arguments.contains(QStringLiteral("-p")));
    EXPECT_TRUE(packing.arguments.contains(QStringLiteral("-mem=AES256")));
    EXPECT_TRUE(packing.arguments.contains(fifo));

    ChildSpy unpacking;
    EXPECT_EQ(
        archiver(unpacking.check()).UnpackFile(fifo, m_output, QStringLiteral("a.txt"), password),
        0);
    ASSERT_FALSE(unpacking.arguments.isEmpty());
    // Extraction reads the password from standard input without any "-p".
    for (const QString& argument : std::as_const(unpacking.arguments)) {
        EXPECT_FALSE(argument.startsWith(QStringLiteral("-p")));
    }
    EXPECT_TRUE(unpacking.arguments.contains(QStringLiteral("a.txt")));

    for (const ChildSpy* spy : {&packing, &unpacking}) {
        for (const QString& argument : spy->arguments) {
            EXPECT_FALSE(argument.contains(QStringLiteral("Nobody"))) << argument.toStdString();
        }
        EXPECT_FALSE(spy->environment.isEmpty());
        EXPECT_FALSE(spy->environment.contains("Nobody"));
    }
    EXPECT_TRUE(childPids().isEmpty());

    // And the password given that way is the one the archive gets.
    const QString file = writeSource(QStringLiteral("a.txt"), "payload");
    const QString archive = zipPath(QStringLiteral("a.zip"));
    ASSERT_EQ(archiver().PackFile(file, archive, ZipEncryption{ZipMethod::Aes256, password}), 1);
    const ArchiverRun test = archiver().RunArchiver(
        {QStringLiteral("t"), QStringLiteral("-p") + password, QStringLiteral("--"), archive});
    EXPECT_TRUE(test.succeeded());
}

TEST_F(ArchiverTest, ProgramThatCannotStartIsAFailure)
{
    const QString file = writeSource(QStringLiteral("a.txt"), "x");
    const Archiver missing(m_source + QStringLiteral("no-such-7za"), m_work);
    const ArchiverRun run = missing.RunArchiver({QStringLiteral("a"), zipPath(), file});
    EXPECT_EQ(run.started, 0);
    EXPECT_EQ(run.stopped, 0);
    EXPECT_EQ(missing.PackFile(file, zipPath()), 0);
    EXPECT_EQ(missing.VerifyArchive(zipPath(), QStringLiteral("a.txt"), 1), 0);
    EXPECT_EQ(missing.UnpackFile(zipPath(), m_output, QStringLiteral("a.txt")), 0);

    // The work folder is the child's current folder; without it no start.
    const Archiver homeless(m_program.program, m_home.path() + QStringLiteral("no-work/"));
    EXPECT_EQ(homeless.RunArchiver({}).started, 0);
    EXPECT_EQ(homeless.PackFile(file, zipPath()), 0);
    EXPECT_TRUE(childPids().isEmpty());
}

TEST_F(ArchiverTest, RunsInTheWorkFolder)
{
    // A relative archive name lands in the current folder of the run.
    const QString file = writeSource(QStringLiteral("a.txt"), "x");
    ASSERT_EQ(archiver().PackFile(file, QStringLiteral("relative.zip")), 1);
    EXPECT_TRUE(QFileInfo::exists(m_work + QStringLiteral("relative.zip")));
}

TEST_F(ArchiverTest, StartUpCheckFindsTheSystemArchiver)
{
    EXPECT_TRUE(m_program.named.endsWith(QStringLiteral("/7za")));
    EXPECT_TRUE(QFileInfo(m_program.program).isExecutable());
    // The Debian wrapper script is skipped: what runs is no script.
    QFile program(m_program.program);
    ASSERT_TRUE(program.open(QIODevice::ReadOnly));
    EXPECT_NE(program.read(2), "#!");
    EXPECT_EQ(InstallArchiver(ArchiverCheck::BeforePass, m_program, m_work), 1);
}

TEST_F(ArchiverTest, MissingOrUnusableArchiverIsReported)
{
    ArchiverProgram found;
    m_env.set("FERNHOLD_7ZA", QFile::encodeName(m_source + QStringLiteral("7za")));
    EXPECT_EQ(InstallArchiver(ArchiverCheck::StartUp, found, m_work), 0);

    // There but not executable.
    const QString copy = m_source + QStringLiteral("7za");
    ASSERT_TRUE(QFile::copy(m_program.program, copy));
    ASSERT_TRUE(QFile::setPermissions(copy, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    EXPECT_EQ(InstallArchiver(ArchiverCheck::StartUp, found, m_work), 0);

    // Executable but no 7-Zip.
    m_env.set("FERNHOLD_7ZA", "/bin/true");
    EXPECT_EQ(InstallArchiver(ArchiverCheck::StartUp, found, m_work), 0);

    // Not on PATH.
    m_env.unset("FERNHOLD_7ZA");
    m_env.set("PATH", QFile::encodeName(m_output));
    EXPECT_EQ(InstallArchiver(ArchiverCheck::StartUp, found, m_work), 0);
    EXPECT_FALSE(locateArchiver().has_value());
}

TEST_F(ArchiverTest, CheckBeforePassNoticesALostArchiver)
{
    const QString copy = m_source + QStringLiteral("my7za");
    ASSERT_TRUE(QFile::copy(m_program.program, copy));
    m_env.set("FERNHOLD_7ZA", QFile::encodeName(copy));
    ArchiverProgram found;
    ASSERT_EQ(InstallArchiver(ArchiverCheck::StartUp, found, m_work), 1);
    EXPECT_EQ(found.program, copy);
    EXPECT_EQ(InstallArchiver(ArchiverCheck::BeforePass, found, m_work), 1);

    ASSERT_TRUE(QFile::setPermissions(copy, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    EXPECT_EQ(InstallArchiver(ArchiverCheck::BeforePass, found, m_work), 0);
    ASSERT_TRUE(QFile::remove(copy));
    EXPECT_EQ(InstallArchiver(ArchiverCheck::BeforePass, found, m_work), 0);
}

TEST_F(ArchiverTest, ArchiverNamedByNameIsLookedUpOnPath)
{
    const QString folder = m_home.path() + QStringLiteral("bin/");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::link(m_program.program, folder + QStringLiteral("seven")));
    m_env.set("PATH", QFile::encodeName(folder));
    m_env.set("FERNHOLD_7ZA", "seven");
    ArchiverProgram found;
    ASSERT_EQ(InstallArchiver(ArchiverCheck::StartUp, found, m_work), 1);
    EXPECT_EQ(found.named, folder + QStringLiteral("seven"));
}

TEST_F(ArchiverTest, WrapperScriptIsResolvedOnlyWhenItDoesNothingElse)
{
    const QString real = m_program.program;
    const QString simple =
        writeScript(m_source + QStringLiteral("simple"),
                    "#! /bin/sh\n# wrapper\nexec " + QFile::encodeName(real) + " \"$@\"\n");
    EXPECT_EQ(resolveWrapperScript(simple), real);
    const QString quoted =
        writeScript(m_source + QStringLiteral("quoted"),
                    "#!/bin/bash\n\nexec \"" + QFile::encodeName(real) + "\" \"$@\"\n");
    EXPECT_EQ(resolveWrapperScript(quoted), real);

    const QString busy =
        writeScript(m_source + QStringLiteral("busy"), "#!/bin/sh\nexport LC_ALL=C.UTF-8\nexec " +
                                                           QFile::encodeName(real) + " \"$@\"\n");
    EXPECT_EQ(resolveWrapperScript(busy), busy);
    const QString fewer = writeScript(m_source + QStringLiteral("fewer"),
                                      "#!/bin/sh\nexec " + QFile::encodeName(real) + " a \"$@\"\n");
    EXPECT_EQ(resolveWrapperScript(fewer), fewer);
    const QString nowhere =
        writeScript(m_source + QStringLiteral("nowhere"), "#!/bin/sh\nexec /no/such/7za \"$@\"\n");
    EXPECT_EQ(resolveWrapperScript(nowhere), nowhere);
    EXPECT_EQ(resolveWrapperScript(real), real);

    // A script that is kept still runs, and packs.
    m_env.set("FERNHOLD_7ZA", QFile::encodeName(busy));
    ArchiverProgram found;
    ASSERT_EQ(InstallArchiver(ArchiverCheck::StartUp, found, m_work), 1);
    EXPECT_EQ(found.program, busy);
    const QString file = writeSource(QStringLiteral("a.txt"), "via script");
    const Archiver zip(found.program, m_work);
    ASSERT_EQ(zip.PackFile(file, zipPath()), 1);
    EXPECT_EQ(zip.VerifyArchive(zipPath(), QStringLiteral("a.txt"), 10), 1);
}

TEST_F(ArchiverTest, CheckBeforePassFollowsAMovedProgram)
{
    const QString first = m_source + QStringLiteral("first7za");
    const QString second = m_source + QStringLiteral("second7za");
    ASSERT_TRUE(QFile::copy(m_program.program, first));
    const QString script = writeScript(m_source + QStringLiteral("7za"),
                                       "#!/bin/sh\nexec " + QFile::encodeName(first) + " \"$@\"\n");
    m_env.set("FERNHOLD_7ZA", QFile::encodeName(script));
    ArchiverProgram found;
    ASSERT_EQ(InstallArchiver(ArchiverCheck::StartUp, found, m_work), 1);
    EXPECT_EQ(found.program, first);

    ASSERT_TRUE(QFile::rename(first, second));
    writeScript(script, "#!/bin/sh\nexec " + QFile::encodeName(second) + " \"$@\"\n");
    EXPECT_EQ(InstallArchiver(ArchiverCheck::BeforePass, found, m_work), 1);
    EXPECT_EQ(found.program, second);
}
