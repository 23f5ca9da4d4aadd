#include "backup_run_fixture.h"
#include "platform/named_lock.h"
#include "running_instance.h"

#include <csignal>
#include <memory>

namespace fernhold::test {

namespace {

// Encryption settings in the file that cannot give encrypted versions.
struct BadEncryption
{
    const char* name;
    const char* password;
    int method;
    const char* why; // the text key that says so
};

class BadEncryptionRun : public BackupRunTest, public ::testing::WithParamInterface<BadEncryption>
{
};

std::string badName(const ::testing::TestParamInfo<BadEncryption>& info)
{
    return info.param.name;
}

// Big files that take the archiver a while, so a signal finds the pass busy.
class StoppedRun : public BackupRunTest
{
protected:
    // fernhold --once --full --verbose in the background.
    [[nodiscard]] std::unique_ptr<QProcess> start()
    {
        save();
        auto process = std::make_unique<QProcess>();
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setReadChannel(QProcess::StandardError);
        process->start(FernholdProgram(), {QStringLiteral("--once"), QStringLiteral("--full"),
                                           QStringLiteral("--verbose")});
        EXPECT_TRUE(process->waitForStarted(10000));
        return process;
    }

    // Reads standard error until `needle` shows; false when the program ended first.
    static bool waitFor(QProcess& process, const QByteArray& needle)
    {
        QByteArray seen;
        while (!seen.contains(needle)) {
            if (!process.waitForReadyRead(30000)) {
                return false;
            }
            seen += process.readAllStandardError();
        }
        return true;
    }

    // SIGTERM, then the exit code of the orderly end.
    static int terminate(QProcess& process)
    {
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
            return -1;
        }
        return process.exitCode();
    }
};

} // namespace

// Once at start-up and once in the pass, the program says why; no file is
// saved, not even unencrypted, and the run does not pass for a success.
TEST_P(BadEncryptionRun, NothingIsSavedTheProgramSaysWhyAndTheExitCodeIsThree)
{
    m_settings.CompressData = 1;
    m_settings.CryptData = 1;
    m_settings.CryptPassword = QString::fromLatin1(GetParam().password);
    m_settings.CryptMethode = static_cast<std::int8_t>(GetParam().method);
    m_settings.WarnFileLocked = 1;
    const QStringList files = {source(QStringLiteral("a.txt"), "a"),
                               source(QStringLiteral("b.txt"), "b"),
                               source(QStringLiteral("sub/c.txt"), "c")};

    const RunResult r = once();

    EXPECT_EQ(r.exitCode, 3) << r.err.toStdString();
    EXPECT_TRUE(filesBelow(m_target).isEmpty());
    const QString why = text(GetParam().why);
    const QString err = QString::fromUtf8(r.err);
    EXPECT_EQ(err.count(text("Program_Name") + QStringLiteral(": ") + why), 2)
        << r.err.toStdString();
    EXPECT_FALSE(err.contains(text("TXT00133"))) << "no file is locked";
    const QStringList log = logTexts();
    EXPECT_EQ(log.count(QStringLiteral("\t\t") + why), 2) << log.join(u'\n').toStdString();
    for (const QString& file : files) {
        EXPECT_TRUE(log.contains(failedLine(file))) << file.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, BadEncryptionRun,
                         ::testing::Values(BadEncryption{"noPassword", "", 2, "TXT00460"},
                                           BadEncryption{"unknownMethod", "pw", 7, "TXT00461"}),
                         badName);

// A version that one reachable target got and another did not: the run
// failed for that file.
TEST_F(BackupRunTest, AFileMissingAtOneReachableTargetGivesExitCodeThree)
{
    const QString two = m_home.path() + QStringLiteral("two/");
    // A file where the mirrored tree's first folder must go.
    m_home.writeFile(QStringLiteral("two/") + m_source.mid(1).section(u'/', 0, 0), "in the way");
    m_settings.target(2).TargetType = QStringLiteral("WIN");
    m_settings.target(2).TargetDir = two;
    m_settings.sources[0].SourceDirTarget = QStringLiteral("1,2");
    m_settings.CompressData = 0;
    const QString file = source(QStringLiteral("a.txt"), QByteArray(2048, 'a'));

    const RunResult r = once();

    EXPECT_EQ(r.exitCode, 3) << r.err.toStdString();
    EXPECT_FALSE(versionOf(QStringLiteral("a.txt"), QStringLiteral(".txt")).isEmpty());
    EXPECT_EQ(filesBelow(two).size(), 1);
    EXPECT_TRUE(
        logTexts().contains(QStringLiteral("0002.0 KB\t2048\t") + file + QStringLiteral(" [1]")))
        << logTexts().join(u'\n').toStdString();

    // Once the way is clear both get it, and the run is a success.
    ASSERT_TRUE(QFile::remove(two + m_source.mid(1).section(u'/', 0, 0)));
    const RunResult again = once();
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(filesBelow(two).size(), 1);
}

TEST_F(BackupRunTest, OnceWhileAnInstanceRunsGivesExitCodeFour)
{
    m_settings.ProgrammStatus = 0;
    save();
    source(QStringLiteral("a.txt"), "a");
    RunningInstance first;
    ASSERT_TRUE(first.started());
    ASSERT_TRUE(WaitUntil([&] {
        return NamedLock::isHeldElsewhere(m_home.runtimeDir(), QStringLiteral("Fernhold"));
    }));

    const RunResult second = RunFernhold({QStringLiteral("--once"), QStringLiteral("--full")});

    EXPECT_EQ(second.exitCode, 4);
    EXPECT_TRUE(QString::fromUtf8(second.err).contains(text("TXT00041")))
        << second.err.toStdString();
    EXPECT_TRUE(filesBelow(m_target).isEmpty());
    EXPECT_TRUE(NamedLock::isHeldElsewhere(m_home.runtimeDir(), QStringLiteral("Fernhold")));
    EXPECT_EQ(first.terminate(), 0);
}

TEST_F(StoppedRun, SigtermDuringThePassOrBeforeItGivesExitCodeFive)
{
    m_settings.CompressData = 1;
    constexpr int kFiles = 6;
    for (int i = 1; i <= kFiles; ++i) {
        source(QStringLiteral("large %1.bin").arg(i), noiseBytes(3 * 1024 * 1024, 40 + i));
    }

    auto during = start();
    ASSERT_TRUE(waitFor(*during, ".bin ...\n")) << "the pass ended before the first file";
    EXPECT_EQ(terminate(*during), 5);
    EXPECT_LT(filesBelow(m_target).size(), kFiles);

    // Stopped in the start delay, before any pass.
    m_settings.StartWaitSeconds = 60;
    auto before = start();
    ASSERT_TRUE(waitFor(*before, text("TXT00161").toUtf8()));
    EXPECT_EQ(terminate(*before), 5);
}

} // namespace fernhold::test
