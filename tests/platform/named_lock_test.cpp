#include "platform/named_lock.h"
#include "temp_home.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

using namespace fernhold;
using namespace fernhold::test;

TEST(NamedLock, OneHolderAtATimeAndProbingNeverTakesIt)
{
    TempHome home;
    ASSERT_EQ(NamedLock::ensureRuntimeDir(home.runtimeDir()), 1);
    NamedLock first(home.runtimeDir(), QStringLiteral("Fernhold"));
    NamedLock second(home.runtimeDir(), QStringLiteral("Fernhold"));
    EXPECT_FALSE(NamedLock::isHeldElsewhere(home.runtimeDir(), QStringLiteral("Fernhold")));
    ASSERT_EQ(first.tryLock(), 1);
    EXPECT_TRUE(NamedLock::isHeldElsewhere(home.runtimeDir(), QStringLiteral("Fernhold")));
    EXPECT_EQ(second.tryLock(), 0);
    EXPECT_EQ(first.tryLock(), 1);
    first.unlock();
    EXPECT_FALSE(NamedLock::isHeldElsewhere(home.runtimeDir(), QStringLiteral("Fernhold")));
    EXPECT_EQ(second.tryLock(), 1);
}

TEST(NamedLock, LockOfAKilledProcessIsFreeAgain)
{
    TempHome home;
    ASSERT_EQ(NamedLock::ensureRuntimeDir(home.runtimeDir()), 1);
    const QString path = home.runtimeDir() + QStringLiteral("Fernhold.lock");
    // flock(1) takes a BSD lock, which does not conflict with ours, so a small
    // Python child takes an open-file-description lock instead (F_OFD_SETLK = 37).
    QProcess child;
    child.start(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import fcntl,struct,sys,time\n"
                        "f=open(sys.argv[1],'a+')\n"
                        "fcntl.fcntl(f, 37, struct.pack('hhqqi', fcntl.F_WRLCK, 0, 0, 0, 0))\n"
                        "print('locked', flush=True)\n"
                        "time.sleep(60)\n"),
         path});
    ASSERT_TRUE(child.waitForStarted());
    ASSERT_TRUE(child.waitForReadyRead(10000));
    EXPECT_TRUE(NamedLock::isHeldElsewhere(home.runtimeDir(), QStringLiteral("Fernhold")));
    NamedLock mine(home.runtimeDir(), QStringLiteral("Fernhold"));
    EXPECT_EQ(mine.tryLock(), 0);
    child.kill();
    child.waitForFinished();
    EXPECT_EQ(mine.tryLock(), 1);
}

TEST(NamedLock, LockFileThatIsASymbolicLinkIsNotFollowed)
{
    TempHome home;
    ASSERT_EQ(NamedLock::ensureRuntimeDir(home.runtimeDir()), 1);
    const QString target = home.writeFile(QStringLiteral("victim"), "keep");
    ASSERT_TRUE(QFile::link(target, home.runtimeDir() + QStringLiteral("Fernhold.lock")));
    NamedLock lock(home.runtimeDir(), QStringLiteral("Fernhold"));
    EXPECT_EQ(lock.tryLock(), 0);
    EXPECT_EQ(TempHome::readFile(target), QByteArray("keep"));
}
