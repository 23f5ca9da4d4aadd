#include "run_program.h"
#include "running_instance.h"
#include "temp_home.h"

#include <QFile>
#include <QProcess>
#include <csignal>

#include <gtest/gtest.h>

using namespace fernhold::test;

namespace {

QByteArray mapsOf(qint64 pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    return maps.open(QIODevice::ReadOnly) ? maps.readAll() : QByteArray();
}

// True once the process handles SIGTERM itself: it is set up and running.
bool handlesTerm(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return false;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:")) {
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) & (1ULL << (SIGTERM - 1))) != 0;
        }
    }
    return false;
}

} // namespace

// A headless instance never maps the desktop's libraries: they are loaded
// for a desktop start only, which keeps servers' memory small.
TEST(DesktopModule, AHeadlessInstanceRunsWithoutTheDesktopLibraries)
{
    TempHome home;
    RunningInstance instance;
    ASSERT_TRUE(instance.started());
    ASSERT_TRUE(WaitUntil([&] { return handlesTerm(instance.pid()); }));
    const QByteArray maps = mapsOf(instance.pid());
    ASSERT_TRUE(maps.contains("libQt6Core"));
    EXPECT_FALSE(maps.contains("libQt6Gui")) << maps.toStdString();
    EXPECT_FALSE(maps.contains("libQt6Widgets"));
    EXPECT_FALSE(maps.contains("fernhold_desktop"));
    EXPECT_EQ(instance.terminate(), 0);
}

// A program copied away from its desktop module says what is missing and
// how to run without it, instead of failing silently or crashing.
TEST(DesktopModule, AMissingModuleIsReportedWithTheHeadlessWayOut)
{
    TempHome home;
    const QString alone = home.path() + QStringLiteral("bin/fernhold");
    ASSERT_TRUE(QDir().mkpath(home.path() + QStringLiteral("bin")));
    ASSERT_TRUE(QFile::copy(FernholdProgram(), alone));
    QProcess program;
    program.start(alone, {});
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("desktop part cannot be loaded"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("fernhold --headless"))) << err.toStdString();

    // Commands need no desktop: the lone program still does its work.
    QProcess version;
    version.start(alone, {QStringLiteral("--version")});
    ASSERT_TRUE(version.waitForFinished(60000));
    EXPECT_EQ(version.exitCode(), 0);
}
