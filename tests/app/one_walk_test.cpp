// A single run, and a start whose first pass follows at once, read each
// listing and each file's state once; the file-time table is written only
// when a state in it changed.

#include "backup_run_fixture.h"
#include "running_instance.h"

#include <QThread>
#include <csignal>
#include <sys/stat.h>
#include <tuple>

namespace fernhold::test {

namespace {

class OneWalkTest : public BackupRunTest
{
protected:
    OneWalkTest() { m_settings.CompressData = 0; }

    [[nodiscard]] QString table() const
    {
        return m_home.appData() + QStringLiteral("filetimes.txt");
    }

    // Inode, modification time and size: a table written again, even with the
    // same lines, gets a new inode (it is replaced through a rename).
    [[nodiscard]] std::tuple<ino_t, time_t, long, off_t> tableIdentity() const
    {
        struct stat info = {};
        EXPECT_EQ(::stat(QFile::encodeName(table()).constData(), &info), 0);
        return {info.st_ino, info.st_mtim.tv_sec, info.st_mtim.tv_nsec, info.st_size};
    }

    // Files in two folders below the source, saved by a first run.
    void savedTree()
    {
        for (int i = 0; i < 6; ++i) {
            source(QStringLiteral("walked-%1.txt").arg(i), "top");
            source(QStringLiteral("inner/walked-in-%1.txt").arg(i), "inner");
        }
        const RunResult r = once(false);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        ASSERT_EQ(filesBelow(m_target).size(), 12);
        QThread::msleep(1100);
    }

    // How often the traced run opened `name` as a folder and read the state
    // of each of `files`.
    static void expectOneRead(const QString& trace, const QStringList& files, const QString& name)
    {
        const QList<QByteArray> calls = fileBytes(trace).split('\n');
        const auto count = [&calls](const QByteArray& call, const QByteArray& what) {
            return std::count_if(calls.cbegin(), calls.cend(), [&](const QByteArray& line) {
                return line.contains(call) && line.contains(what);
            });
        };
        for (const QString& file : files) {
            const QByteArray quoted = '"' + QFile::encodeName(file) + '"';
            EXPECT_EQ(count("statx(", quoted) + count("newfstatat(", quoted), 1)
                << quoted.constData();
        }
        EXPECT_EQ(count("O_DIRECTORY", '"' + QFile::encodeName(name) + '"'), 1);
    }
};

} // namespace

TEST_F(OneWalkTest, ARunThatFindsNothingChangedSavesNothingAndLeavesTheTable)
{
    savedTree();
    const auto before = tableIdentity();
    const QByteArray content = fileBytes(table());
    ASSERT_TRUE(content.startsWith("12\r\n"));

    for (int run = 0; run < 2; ++run) {
        const RunResult r = once(false);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(filesBelow(m_target).size(), 12);
        EXPECT_EQ(tableIdentity(), before);
    }

    // A changed file is saved by the next run, which writes the table once more.
    source(QStringLiteral("inner/walked-in-3.txt"), "changed");
    const RunResult r = once(false);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(fileBytes(versionOf(QStringLiteral("inner/walked-in-3.txt"), QStringLiteral(".txt"))),
              QByteArray("changed"));
    EXPECT_EQ(filesBelow(m_target).size(), 13);
    EXPECT_NE(tableIdentity(), before);
    EXPECT_NE(fileBytes(table()), content);
    EXPECT_TRUE(fileBytes(table()).startsWith("12\r\n"));

    // And the run after it leaves that table alone again.
    const auto rewritten = tableIdentity();
    QThread::msleep(1100);
    ASSERT_EQ(once(false).exitCode, 0);
    EXPECT_EQ(filesBelow(m_target).size(), 13);
    EXPECT_EQ(tableIdentity(), rewritten);
}

TEST_F(OneWalkTest, EachStateAndEachListingIsReadOnce)
{
    savedTree();
    source(QStringLiteral("inner/walked-in-5.txt"), "changed");
    const QString trace = m_home.path() + QStringLiteral("trace.txt");
    const ToolResult r =
        // The leak check cannot run under a tracer.
        onceThrough({QStringLiteral("env"), QStringLiteral("ASAN_OPTIONS=detect_leaks=0"),
                     QStringLiteral("strace"), QStringLiteral("-f"), QStringLiteral("-qq"),
                     QStringLiteral("-e"), QStringLiteral("trace=statx,newfstatat,openat"),
                     QStringLiteral("-o"), trace, QStringLiteral("--")},
                    false);
    if (r.exitCode == -1) {
        GTEST_SKIP() << "strace cannot trace here";
    }
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_FALSE(
        versionOf(QStringLiteral("inner/walked-in-5.txt"), QStringLiteral(".txt")).isEmpty());

    // Unchanged files: one state each. The changed one is saved, which reads
    // it, so only its walk's statx counts.
    QStringList unchanged;
    for (int i = 0; i < 5; ++i) {
        unchanged << QStringLiteral("walked-%1.txt").arg(i)
                  << QStringLiteral("walked-in-%1.txt").arg(i);
    }
    expectOneRead(trace, unchanged, m_source + QStringLiteral("inner/"));
}

TEST_F(OneWalkTest, AStartWithANewSourceReadsEachStateOnceBeforeItsFirstPassEnds)
{
    // A new source owes its target every file, so the first pass comes at
    // once; it indexes the source in its own walk instead of after a scan.
    QStringList names;
    for (int i = 0; i < 4; ++i) {
        names << QStringLiteral("new-%1.txt").arg(i) << QStringLiteral("new-in-%1.txt").arg(i);
        source(names[names.size() - 2], "top");
        source(QStringLiteral("inner/") + names.last(), "inner");
    }
    save();
    const QString trace = m_home.path() + QStringLiteral("trace.txt");
    QProcess tracer;
    tracer.start(QStringLiteral("env"),
                 {QStringLiteral("ASAN_OPTIONS=detect_leaks=0"), QStringLiteral("strace"),
                  QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-e"),
                  QStringLiteral("trace=statx,newfstatat,openat"), QStringLiteral("-o"), trace,
                  QStringLiteral("--"), FernholdProgram(), QStringLiteral("--headless"),
                  QStringLiteral("--verbose")});
    ASSERT_TRUE(tracer.waitForStarted(10000));
    QByteArray err;
    const QByteArray passEnd = text("TXT00078").toUtf8();
    const bool passed = WaitUntil([&] {
        tracer.waitForReadyRead(100);
        err += tracer.readAllStandardError();
        return err.contains(passEnd) || tracer.state() == QProcess::NotRunning;
    });
    // The traced program is strace's child; it ends in order on SIGTERM.
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(tracer.processId()));
    if (children.open(QIODevice::ReadOnly)) {
        for (const QByteArray& pid : children.readAll().split(' ')) {
            if (pid.toInt() > 0) {
                ::kill(pid.toInt(), SIGTERM);
            }
        }
    }
    ASSERT_TRUE(tracer.waitForFinished(30000));
    err += tracer.readAllStandardError();
    if (!QFileInfo::exists(trace)) {
        GTEST_SKIP() << "strace cannot trace here";
    }
    ASSERT_TRUE(passed) << err.toStdString();
    EXPECT_EQ(tracer.exitCode(), 0) << err.toStdString();
    EXPECT_FALSE(err.contains(text("TXT00061").toUtf8())) << "no separate scan";
    EXPECT_EQ(filesBelow(m_target).size(), 8);
    expectOneRead(trace, names, m_source + QStringLiteral("inner/"));

    // The next start of the saved source has nothing owed: it scans, and its
    // passes find nothing to save.
    RunningInstance next({QStringLiteral("--headless"), QStringLiteral("--verbose")});
    ASSERT_TRUE(WaitUntil([&] { return next.standardError().contains(text("TXT00062").toUtf8()); }));
    EXPECT_EQ(next.terminate(), 0);
    EXPECT_EQ(filesBelow(m_target).size(), 8);
}

} // namespace fernhold::test
