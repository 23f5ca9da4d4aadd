#include "core/text_table.h"
#include "platform/named_lock.h"
#include "platform/registry_file.h"
#include "run_program.h"
#include "running_instance.h"
#include "temp_home.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <gtest/gtest.h>

using namespace fernhold;
using namespace fernhold::test;

namespace {

class InstanceTest : public ::testing::Test
{
protected:
    void writeSettings(const QByteArray& lines) const
    {
        home.writeFile(QStringLiteral(".config/fernhold/fernhold.ini"), lines);
    }
    QString status() const
    {
        const RunResult r = RunFernhold({QStringLiteral("--status")});
        return QString::fromUtf8(r.out).trimmed();
    }
    bool running() const
    {
        return NamedLock::isHeldElsewhere(home.runtimeDir(), QStringLiteral("Fernhold"));
    }
    QString logText() const
    {
        return QString::fromUtf8(
            TempHome::readFile(home.appData() + QStringLiteral("fernhold.log")));
    }

    TempHome home;
};

} // namespace

TEST_F(InstanceTest, PublishesItsStatusWhileRunningAndUndefinedAfterTerm)
{
    writeSettings("ProgrammStatus = 1\r\nLogfileActive = 1\r\n");
    RunningInstance instance;
    ASSERT_TRUE(instance.started());
    ASSERT_TRUE(WaitUntil([&] { return status() == QStringLiteral("2 active"); }));
    EXPECT_TRUE(logText().contains(QStringLiteral("\t\t\t") + Text(QStringLiteral("TXT00157"))));

    EXPECT_EQ(instance.terminate(), 0);
    EXPECT_EQ(status(), QStringLiteral("0 undefined"));
    const QString log = logText();
    const qsizetype end = log.indexOf(Text(QStringLiteral("TXT00158")));
    const qsizetype start = log.indexOf(Text(QStringLiteral("TXT00157")));
    ASSERT_GE(end, 0);
    ASSERT_GE(start, 0);
    EXPECT_LT(end, start) << "newest line first";
    EXPECT_TRUE(QFileInfo::exists(home.appData() + QStringLiteral("fernhold.ini")));
}

TEST_F(InstanceTest, SecondStartSaysSoAndLeavesTheFirstAlone)
{
    writeSettings("ProgrammStatus = 0\r\n");
    RunningInstance first;
    ASSERT_TRUE(WaitUntil([&] { return status() == QStringLiteral("1 inactive"); }));
    const RunResult second = RunFernhold({QStringLiteral("--headless")});
    ASSERT_TRUE(second.finished);
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_TRUE(QString::fromUtf8(second.err).contains(Text(QStringLiteral("TXT00041"))));
    EXPECT_TRUE(running());
    EXPECT_EQ(status(), QStringLiteral("1 inactive"));
    EXPECT_EQ(first.terminate(), 0);
}

TEST_F(InstanceTest, SignalSwitchesARunningInstanceWithinOneTurn)
{
    writeSettings("ProgrammStatus = 1\r\n");
    RunningInstance instance;
    ASSERT_TRUE(WaitUntil([&] { return status() == QStringLiteral("2 active"); }));
    const RunResult signal = RunFernhold({QStringLiteral("--signal"), QStringLiteral("inactive")});
    EXPECT_EQ(signal.exitCode, 0);
    // The lock is held 7 s and a turn is 3 s, so the switch is visible by now.
    EXPECT_EQ(status(), QStringLiteral("1 inactive"));
    const RunResult back = RunFernhold({QStringLiteral("--signal"), QStringLiteral("active")});
    EXPECT_EQ(back.exitCode, 0);
    EXPECT_EQ(status(), QStringLiteral("2 active"));
    EXPECT_EQ(instance.terminate(), 0);
}

TEST_F(InstanceTest, SignalWithoutInstanceOrWithUnknownWordFails)
{
    const RunResult none = RunFernhold({QStringLiteral("--signal"), QStringLiteral("now")});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.err.contains("no running"));
    const RunResult bad = RunFernhold({QStringLiteral("--signal"), QStringLiteral("sometimes")});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.err.contains("usage"));
    EXPECT_EQ(RunFernhold({QStringLiteral("--signal")}).exitCode, 2);
}

TEST_F(InstanceTest, KilledInstanceDoesNotBlockTheNextStart)
{
    writeSettings("ProgrammStatus = 1\r\n");
    {
        RunningInstance killed;
        ASSERT_TRUE(WaitUntil([&] { return running(); }));
        killed.kill9();
    }
    EXPECT_FALSE(running());
    RunningInstance next;
    ASSERT_TRUE(WaitUntil([&] { return running(); }));
    EXPECT_EQ(next.terminate(), 0);
}

TEST_F(InstanceTest, AutostartEntryFollowsTheSetting)
{
    const QString entry = home.configHome() + QStringLiteral("autostart/fernhold.desktop");
    writeSettings("LoadOnWindowsStart = 1\r\n");
    {
        RunningInstance instance;
        ASSERT_TRUE(WaitUntil([&] { return running(); }));
        EXPECT_EQ(instance.terminate(), 0);
    }
    const QString text = QString::fromUtf8(TempHome::readFile(entry));
    EXPECT_TRUE(
        text.contains(QStringLiteral("Exec=") + QFileInfo(FernholdProgram()).canonicalFilePath()))
        << text.toStdString();

    writeSettings("LoadOnWindowsStart = 0\r\n");
    RunningInstance instance;
    ASSERT_TRUE(WaitUntil([&] { return running(); }));
    EXPECT_EQ(instance.terminate(), 0);
    EXPECT_FALSE(QFileInfo::exists(entry));
}

TEST_F(InstanceTest, CrashWritesAReportThatTheNextStartOffers)
{
    {
        RunningInstance instance;
        ASSERT_TRUE(WaitUntil([&] { return running(); }));
        EXPECT_EQ(instance.signalAndWait(SIGSEGV), 1);
        EXPECT_TRUE(instance.standardError().contains("SIGSEGV"));
    }
    const QString report =
        QString::fromUtf8(TempHome::readFile(home.appData() + QStringLiteral("crash-report.txt")));
    EXPECT_TRUE(report.startsWith(Text(QStringLiteral("TXT00020"))));
    EXPECT_TRUE(
        report.contains(QStringLiteral("Fernhold ") + Text(QStringLiteral("Version_Name"))));

    RunningInstance next;
    ASSERT_TRUE(WaitUntil([&] { return running(); }));
    EXPECT_EQ(next.terminate(), 0);
    const QString err = QString::fromUtf8(next.standardError());
    EXPECT_TRUE(err.contains(Text(QStringLiteral("TXT00025"))));
    EXPECT_TRUE(err.contains(QStringLiteral("SIGSEGV")));
    EXPECT_FALSE(QFileInfo::exists(home.appData() + QStringLiteral("crash-report.txt")));
}

TEST_F(InstanceTest, FirstScanWaitsForTheStartDelay)
{
    home.writeFile(QStringLiteral("data/a.txt"), "a");
    writeSettings("StartWaitSeconds = 2\r\n");
    home.writeFile(QStringLiteral(".config/fernhold/sources.ini"),
                   (QStringLiteral("SourceDirCount = 1\r\nSourceDirPfad1 = ") + home.path() +
                    QStringLiteral("data/\r\n"))
                       .toUtf8());
    QElapsedTimer since;
    since.start();
    RunningInstance instance({QStringLiteral("--headless"), QStringLiteral("--verbose")});
    const QByteArray scanned = Text(QStringLiteral("TXT00062")).toUtf8();
    ASSERT_TRUE(WaitUntil([&] { return instance.standardError().contains(scanned); }));
    EXPECT_GE(since.elapsed(), 2000);
    const QByteArray err = instance.standardError();
    const qsizetype waiting = err.indexOf(Text(QStringLiteral("TXT00161")).toUtf8());
    ASSERT_GE(waiting, 0);
    EXPECT_LT(waiting, err.indexOf(scanned));
    EXPECT_TRUE(err.contains((QStringLiteral(", 1 ") + Text(QStringLiteral("TXT00064"))).toUtf8()))
        << "the scan counted the one file";
    EXPECT_EQ(instance.terminate(), 0);
}

TEST_F(InstanceTest, UnsafePrivateFolderIsRefused)
{
    QFile::link(home.path(), home.cacheHome() + QStringLiteral("fernhold"));
    const RunResult r = RunFernhold({QStringLiteral("--headless")});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(Text(QStringLiteral("TXT00371"))));
    EXPECT_FALSE(running());
}
