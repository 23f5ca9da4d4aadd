// A single run reads each listing and each file's state once, and writes the
// file-time table only when a state in it changed.

#include "backup_run_fixture.h"

#include <QThread>
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

    const QList<QByteArray> calls = fileBytes(trace).split('\n');
    const auto count = [&calls](const QByteArray& call, const QByteArray& name) {
        return std::count_if(calls.cbegin(), calls.cend(), [&](const QByteArray& line) {
            return line.contains(call) && line.contains(name);
        });
    };
    // Unchanged files: one state each. The changed one is saved, which reads
    // it, so only its walk's statx counts.
    for (int i = 0; i < 5; ++i) {
        const QByteArray top = QStringLiteral("\"walked-%1.txt\"").arg(i).toUtf8();
        const QByteArray inner = QStringLiteral("\"walked-in-%1.txt\"").arg(i).toUtf8();
        EXPECT_EQ(count("statx(", top) + count("newfstatat(", top), 1) << top.constData();
        EXPECT_EQ(count("statx(", inner) + count("newfstatat(", inner), 1) << inner.constData();
    }
    const QByteArray inner = QFile::encodeName(m_source + QStringLiteral("inner/"));
    EXPECT_EQ(count("O_DIRECTORY", "\"" + inner + "\""), 1);
}

} // namespace fernhold::test
