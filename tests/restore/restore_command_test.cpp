#include "platform/named_lock.h"
#include "restore_fixture.h"
#include "run_program.h"
#include "running_instance.h"

namespace fernhold::test {

namespace {

const QString kCopy = QString(QChar(0x00A9));

QStringList lines(const QByteArray& output)
{
    return QString::fromUtf8(output).split(u'\n', Qt::SkipEmptyParts);
}

// The real fernhold program against a folder target in the temporary home.
class RestoreCommandTest : public RestoreTest
{
protected:
    void SetUp() override
    {
        RestoreTest::SetUp();
        writeSettings({});
    }
    void writeSettings(const QByteArray& extra) const
    {
        m_home.writeFile(QStringLiteral(".config/fernhold/fernhold.ini"),
                         "ProgrammStatus = 0\r\nTargetType = WIN\r\nTargetDir = " +
                             m_targetRoot.toUtf8() + "\r\n" + extra);
    }
    static RunResult run(const QStringList& arguments, const QByteArray& input = {})
    {
        RunResult result = RunFernhold(arguments, input);
        EXPECT_TRUE(result.finished);
        return result;
    }
};

} // namespace

TEST_F(RestoreCommandTest, ListPrintsTheRowsWithTabs)
{
    putVersion(QStringLiteral("b.txt@20230101~080000.txt"), "b");
    putVersion(QStringLiteral("a.txt@20230102~090000") + kCopy + QStringLiteral(".zip"), "a");
    ASSERT_TRUE(QDir().mkpath(versionFolder() + QStringLiteral("x")));

    const RunResult all = run({QStringLiteral("restore"), QStringLiteral("list"), relative()});
    EXPECT_EQ(all.exitCode, 0) << all.err.toStdString();
    EXPECT_EQ(
        lines(all.out),
        (QStringList{QStringLiteral("x\t\t\tx/"),
                     QStringLiteral("a.txt\t2023/01/02   09:00:00\t") + text("TXT00004") +
                         QStringLiteral("\ta.txt@20230102~090000") + kCopy + QStringLiteral(".zip"),
                     QStringLiteral("b.txt\t2023/01/01   08:00:00\t\tb.txt@20230101~080000.txt")}));

    // The source folder's own path names the same folder; filters narrow the list.
    const RunResult dated = run({QStringLiteral("restore"), QStringLiteral("list"),
                                 QStringLiteral("--date"), QStringLiteral("2023-01-01"), m_source});
    EXPECT_EQ(dated.exitCode, 0);
    EXPECT_EQ(lines(dated.out).size(), 2); // the folder and b.txt
    const RunResult named = run({QStringLiteral("restore"), QStringLiteral("list"),
                                 QStringLiteral("--name"), QStringLiteral("A.T"), relative()});
    ASSERT_EQ(lines(named.out).size(), 2); // folders are never filtered
    EXPECT_TRUE(lines(named.out).at(1).startsWith(QStringLiteral("a.txt\t")));

    const RunResult root = run({QStringLiteral("restore"), QStringLiteral("list")});
    EXPECT_EQ(root.exitCode, 0);
    EXPECT_EQ(lines(root.out).size(), 1);
}

TEST_F(RestoreCommandTest, ListRefusesBadInputWithExitCodes)
{
    const RunResult missing =
        run({QStringLiteral("restore"), QStringLiteral("list"), QStringLiteral("no/such/")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(missing.err).contains(text("TXT00417")));
    EXPECT_EQ(run({QStringLiteral("restore"), QStringLiteral("list"), QStringLiteral("a/../../")})
                  .exitCode,
              2);
    EXPECT_EQ(run({QStringLiteral("restore"), QStringLiteral("list"), QStringLiteral("--date"),
                   QStringLiteral("2023-13-01")})
                  .exitCode,
              2);
    EXPECT_EQ(run({QStringLiteral("restore"), QStringLiteral("list"), QStringLiteral("--target"),
                   QStringLiteral("10")})
                  .exitCode,
              2);
    EXPECT_EQ(run({QStringLiteral("restore"), QStringLiteral("list"), QStringLiteral("--target"),
                   QStringLiteral("4")})
                  .exitCode,
              1);
    EXPECT_EQ(run({QStringLiteral("restore"), QStringLiteral("undo")}).exitCode, 2);
    EXPECT_EQ(run({QStringLiteral("restore")}).exitCode, 2);
}

TEST_F(RestoreCommandTest, VersionNeedsYesAndWritesTheFile)
{
    ASSERT_TRUE(writeAll(m_source + QStringLiteral("a.txt"), "mine"));
    putVersion(QStringLiteral("a.txt@20230102~090000.txt"), "saved");
    const QStringList restore{QStringLiteral("restore"), QStringLiteral("version"), relative(),
                              QStringLiteral("a.txt@20230102~090000.txt")};

    const RunResult no = run(restore);
    EXPECT_EQ(no.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(no.err).contains(text("TXT00414")));
    EXPECT_EQ(readAll(m_source + QStringLiteral("a.txt")), QByteArray("mine"));

    const RunResult yes = run(restore + QStringList{QStringLiteral("--yes")});
    EXPECT_EQ(yes.exitCode, 0) << yes.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(yes.out).trimmed(), m_source + QStringLiteral("a.txt"));
    EXPECT_EQ(readAll(m_source + QStringLiteral("a.txt")), QByteArray("saved"));

    const RunResult to =
        run(restore + QStringList{QStringLiteral("--yes"), QStringLiteral("--to"), m_picked});
    EXPECT_EQ(to.exitCode, 0);
    EXPECT_EQ(readAll(m_picked + QStringLiteral("a.txt")), QByteArray("saved"));

    const RunResult refused = run({QStringLiteral("restore"), QStringLiteral("version"), relative(),
                                   QStringLiteral("a.txt"), QStringLiteral("--yes")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(refused.err).contains(text("TXT00051")));
    EXPECT_EQ(run({QStringLiteral("restore"), QStringLiteral("version"), relative()}).exitCode, 2);
    EXPECT_TRUE(workFolderEmpty());
}

TEST_F(RestoreCommandTest, VersionReadsThePasswordFromStandardInput)
{
    const QString version =
        QStringLiteral("s.bin@20230102~090000") + kCopy + QStringLiteral(".zip");
    putVersion(version,
               packed(QStringLiteral("s.bin"), "secret data", QStringLiteral("open sesame")));
    const QStringList restore{QStringLiteral("restore"), QStringLiteral("version"),
                              QStringLiteral("--yes"), relative(), version};

    const RunResult noPassword = run(restore);
    EXPECT_EQ(noPassword.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(noPassword.err).contains(text("TXT00057")));
    const RunResult wrong =
        run(restore + QStringList{QStringLiteral("--password-stdin")}, "wrong\n");
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_FALSE(QFileInfo::exists(m_source + QStringLiteral("s.bin")));
    EXPECT_EQ(run(restore + QStringList{QStringLiteral("--password-stdin")}).exitCode, 2);

    const RunResult right =
        run(restore + QStringList{QStringLiteral("--password-stdin")}, "open sesame\n");
    EXPECT_EQ(right.exitCode, 0) << right.err.toStdString();
    EXPECT_EQ(readAll(m_source + QStringLiteral("s.bin")), QByteArray("secret data"));
    EXPECT_TRUE(workFolderEmpty());
}

TEST_F(RestoreCommandTest, FolderRestoresNewestOrOldestInTheRange)
{
    putVersion(QStringLiteral("a.txt@20230101~080000.txt"), "a1");
    putVersion(QStringLiteral("a.txt@20230105~120000.zip"), packed(QStringLiteral("a.txt"), "a5"));
    putVersion(QStringLiteral("a.txt@20230110~090000.txt"), "a10");
    putVersion(QStringLiteral("b.txt@20230105~235959.txt"), "b5", QStringLiteral("sub/"));
    const QStringList restore{QStringLiteral("restore"),
                              QStringLiteral("folder"),
                              QStringLiteral("--from"),
                              QStringLiteral("2023-01-01"),
                              QStringLiteral("--until"),
                              QStringLiteral("2023-01-05"),
                              relative()};

    const RunResult no = run(restore);
    EXPECT_EQ(no.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(no.err).contains(text("TXT00414")));
    EXPECT_FALSE(QFileInfo::exists(m_source + QStringLiteral("a.txt")));

    const RunResult newest = run(restore + QStringList{QStringLiteral("--yes")});
    EXPECT_EQ(newest.exitCode, 0) << newest.err.toStdString();
    EXPECT_EQ(readAll(m_source + QStringLiteral("a.txt")), QByteArray("a5"));
    EXPECT_FALSE(QFileInfo::exists(m_source + QStringLiteral("sub/b.txt")));
    const QString err = QString::fromUtf8(newest.err);
    EXPECT_TRUE(err.contains(QStringLiteral("1/1\t") + text("TXT00120") + u'\t' + m_source +
                             QStringLiteral("a.txt")))
        << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("1 ") + text("TXT00122") + QStringLiteral(" 1 ") +
                             text("TXT00123")));

    const RunResult oldest =
        run(restore + QStringList{QStringLiteral("--yes"), QStringLiteral("--oldest"),
                                  QStringLiteral("--subfolders")});
    EXPECT_EQ(oldest.exitCode, 0) << oldest.err.toStdString();
    EXPECT_EQ(readAll(m_source + QStringLiteral("a.txt")), QByteArray("a1"));
    EXPECT_EQ(readAll(m_source + QStringLiteral("sub/b.txt")), QByteArray("b5"));

    const RunResult picked =
        run(restore + QStringList{QStringLiteral("--yes"), QStringLiteral("--to"), m_picked,
                                  QStringLiteral("--filter"), QStringLiteral("A.")});
    EXPECT_EQ(picked.exitCode, 0) << picked.err.toStdString();
    EXPECT_EQ(readAll(m_picked + relative() + QStringLiteral("a.txt")), QByteArray("a5"));
    EXPECT_TRUE(workFolderEmpty());
    // Without an instance the lock is taken only while the command works.
    EXPECT_FALSE(NamedLock::isHeldElsewhere(m_home.runtimeDir(), QStringLiteral("Fernhold")));
    EXPECT_FALSE(err.contains(text("TXT00413")));
}

TEST_F(RestoreCommandTest, FolderRefusesBadInput)
{
    putVersion(QStringLiteral("a.txt@20230105~080000.txt"), "a");
    putVersion(QStringLiteral("z.txt@20230105~080000.zip"), "damaged");
    const QStringList base{QStringLiteral("restore"), QStringLiteral("folder"),
                           QStringLiteral("--yes")};
    const auto days = [](const char* from, const char* until) {
        return QStringList{QStringLiteral("--from"), QString::fromLatin1(from),
                           QStringLiteral("--until"), QString::fromLatin1(until)};
    };

    const RunResult reversed =
        run(base + days("2023-01-06", "2023-01-05") + QStringList{relative()});
    EXPECT_EQ(reversed.exitCode, 2);
    EXPECT_TRUE(QString::fromUtf8(reversed.err).contains(text("TXT00416")));
    EXPECT_EQ(run(base + QStringList{relative()}).exitCode, 2);
    EXPECT_EQ(run(base + days("2023-1-5", "2023-01-05") + QStringList{relative()}).exitCode, 2);
    EXPECT_EQ(run(base + days("2023-01-05", "2023-01-05")).exitCode, 2);
    EXPECT_EQ(
        run(base + days("2023-01-05", "2023-01-05") + QStringList{QStringLiteral("/")}).exitCode,
        2);

    const RunResult none = run(base + days("2022-01-01", "2022-01-05") + QStringList{relative()});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(none.err).contains(text("TXT00415")));

    // One row fails: the others are restored, the exit code tells.
    const RunResult failed = run(base + days("2023-01-05", "2023-01-05") + QStringList{relative()});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(failed.err).contains(text("TXT00130")));
    EXPECT_EQ(readAll(m_source + QStringLiteral("a.txt")), QByteArray("a"));
    EXPECT_FALSE(QFileInfo::exists(m_source + QStringLiteral("z.txt")));

    writeSettings("TargetType2 = FTP\r\nFTPServerName2 = 127.0.0.1\r\n");
    const RunResult ftp =
        run(base + days("2023-01-05", "2023-01-05") +
            QStringList{QStringLiteral("--target"), QStringLiteral("2"), relative()});
    EXPECT_EQ(ftp.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(ftp.err).contains(text("TXT00119")));
    EXPECT_TRUE(workFolderEmpty());
}

TEST_F(RestoreCommandTest, FolderRestoresWithoutRegisteringWhileAnInstanceRuns)
{
    putVersion(QStringLiteral("a.txt@20230105~080000.txt"), "a");
    RunningInstance instance;
    ASSERT_TRUE(instance.started());
    ASSERT_TRUE(WaitUntil([&] {
        return NamedLock::isHeldElsewhere(m_home.runtimeDir(), QStringLiteral("Fernhold"));
    }));
    const RunResult result =
        run({QStringLiteral("restore"), QStringLiteral("folder"), QStringLiteral("--yes"),
             QStringLiteral("--from"), QStringLiteral("2023-01-05"), QStringLiteral("--until"),
             QStringLiteral("2023-01-05"), relative()});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(QString::fromUtf8(result.err).contains(text("TXT00413")));
    EXPECT_EQ(readAll(m_source + QStringLiteral("a.txt")), QByteArray("a"));
    EXPECT_EQ(instance.terminate(), 0);
}

} // namespace fernhold::test
