// The automatic clean-up of a program started for one pass at a time (a timer
// running `fernhold --once`): it runs when its interval has passed since the
// last clean-up of that target, also in an earlier process, and by default it
// never deletes the newest version of a file.

#include "backup_run_fixture.h"

namespace fernhold::test {

namespace {

class AutomaticCleanupTest : public BackupRunTest
{
protected:
    AutomaticCleanupTest()
    {
        // The clean-up settings of a fresh configuration.
        m_settings.NoAutomaticCleaning = 0;
        m_settings.CompressData = 0;
    }

    // A version of `name` as a pass `days` ago would have left it.
    QString oldVersion(const QString& name, int days)
    {
        const QString stamp =
            QDateTime::currentDateTime().addDays(-days).toString(QStringLiteral("yyyyMMdd~120000"));
        return m_home.writeFile(
            (mirror() + name + u'@' + stamp + QStringLiteral(".txt")).mid(m_home.path().size()),
            "old");
    }

    [[nodiscard]] qsizetype cleanupLines() const
    {
        return logTexts().filter(QStringLiteral("\t\t") + text("TXT00155")).size();
    }
};

} // namespace

TEST_F(AutomaticCleanupTest, SingleRunsCleanUpOncePerIntervalAndKeepTheNewestVersion)
{
    const QString older = oldVersion(QStringLiteral("report.txt"), 30);
    const QString newer = oldVersion(QStringLiteral("report.txt"), 20);
    const QString lone = oldVersion(QStringLiteral("stable.txt"), 40);

    RunResult r = once(false);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(cleanupLines(), 1) << logTexts().join(u'\n').toStdString();
    EXPECT_FALSE(QFile::exists(older));
    // The newest version of each file stays, however old: an unchanged file
    // is never saved again, so it would have none left.
    EXPECT_TRUE(QFile::exists(newer));
    EXPECT_TRUE(QFile::exists(lone));

    // Within the interval the next process does not clean up again.
    const QString later = oldVersion(QStringLiteral("report.txt"), 25);
    r = once(false);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(cleanupLines(), 1);
    EXPECT_TRUE(QFile::exists(later));

    // Once the interval has passed it does.
    m_settings.MaxCleanUpEachMinutes = 0;
    r = once(false);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(cleanupLines(), 2);
    EXPECT_FALSE(QFile::exists(later));
    EXPECT_TRUE(QFile::exists(newer));
}

TEST_F(AutomaticCleanupTest, KeepingTheNewestVersionIsTheDefaultAndTurningItOffWarns)
{
    RunResult r = RunFernhold(
        {QStringLiteral("config"), QStringLiteral("get"), QStringLiteral("BackupKeepLatest")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.trimmed(), QByteArray("1"));

    r = RunFernhold({QStringLiteral("config"), QStringLiteral("set"),
                     QStringLiteral("BackupKeepLatest"), QStringLiteral("0")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(text("TXT00434"))) << r.err.toStdString();
    r = RunFernhold(
        {QStringLiteral("config"), QStringLiteral("get"), QStringLiteral("BackupKeepLatest")});
    EXPECT_EQ(r.out.trimmed(), QByteArray("0")); // a stored value keeps its meaning

    r = RunFernhold({QStringLiteral("config"), QStringLiteral("set"),
                     QStringLiteral("BackupKeepLatest"), QStringLiteral("1")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_FALSE(QString::fromUtf8(r.err).contains(text("TXT00434")));
}

} // namespace fernhold::test
