#include "cleanup_test_helpers.h"
#include "core/run_state.h"
#include "fake_user_interface.h"
#include "manual_clock.h"
#include "targets/folder_version_walk.h"
#include "targets/version_cleanup.h"
#include "temp_home.h"

#include <QDateTime>
#include <QFile>
#include <gtest/gtest.h>

namespace fernhold::test {

namespace {

// Now is 5 March 2024 14:07:09; with BackupDays 14 the cut-off is 20 February.
class FolderCleanup : public ::testing::Test
{
protected:
    FolderCleanup()
        : m_target(m_home.path() + QStringLiteral("target/")),
          m_docs(m_target + QStringLiteral("home/ann/Docs/")),
          m_settings(folderTargetSettings(1, m_target))
    {
        m_run.Status = 1;
        m_settings.BackupDays = 14;
        m_settings.BackupCopies = 100;
        m_settings.BackupKeepLatest = 0;
        QDir().mkpath(m_docs);
    }

    CleanupCount clean(int target = 1)
    {
        return CleanTargetVersions(m_settings, m_run, m_clock, m_ui,
                                   m_settings.target(target).TargetDir, target);
    }

    void plant(const QString& folder, const QStringList& names)
    {
        for (const QString& name : names) {
            plantFile(folder + name);
        }
    }

    TempHome m_home;
    QString m_target;
    QString m_docs;
    JobSettings m_settings;
    RunState m_run;
    ManualClock m_clock;
    FakeUserInterface m_ui;
};

} // namespace

TEST_F(FolderCleanup, AgeAndCountRulesInEveryFolder)
{
    m_settings.BackupCopies = 3;
    const QString deep = m_docs + QStringLiteral("deeper/still/");
    const QStringList kept = {
        QStringLiteral("report.txt"),                                       // no mark
        QStringLiteral("x.txt@2024O101~000000.txt"),                        // a letter
        QStringLiteral("x.txt@02024010~000000.txt"),                        // leading zero
        QStringLiteral("x.txt@2024010"),                                    // cut short
        versionName(QStringLiteral("cut.txt"), QStringLiteral("20240220")), // cut-off day
        versionName(QStringLiteral("five.txt"), QStringLiteral("20240303")),
        versionName(QStringLiteral("five.txt"), QStringLiteral("20240304")),
        versionName(QStringLiteral("five.txt"), QStringLiteral("20240305")),
    };
    const QStringList gone = {
        QStringLiteral("me@home.txt@20240101~000000.txt"),                  // two marks, old
        versionName(QStringLiteral("old.txt"), QStringLiteral("20240214")), // only version, 20 days
        versionName(QStringLiteral("five.txt"), QStringLiteral("20240301")),
        versionName(QStringLiteral("five.txt"), QStringLiteral("20240302")),
    };
    for (const QString& folder : {m_docs, deep}) {
        plant(folder, kept + gone);
    }
    const CleanupCount count = clean();
    QStringList expected = kept;
    expected.sort();
    EXPECT_EQ(namesIn(deep), expected);
    expected << QStringLiteral("deeper");
    expected.sort();
    EXPECT_EQ(namesIn(m_docs), expected);
    EXPECT_EQ(count.deleted, 2 * gone.size());
    EXPECT_FALSE(count.stopped);
    // Local folders are not shown.
    EXPECT_TRUE(m_ui.cleanupStatuses().isEmpty());
}

TEST_F(FolderCleanup, KeepLatestSavesTheOnlyOldVersion)
{
    const QString only = versionName(QStringLiteral("old.txt"), QStringLiteral("20240214"));
    plant(m_docs, {only, versionName(QStringLiteral("two.txt"), QStringLiteral("20240210")),
                   versionName(QStringLiteral("two.txt"), QStringLiteral("20240212"))});
    m_settings.BackupKeepLatest = 1;
    (void)clean();
    EXPECT_EQ(namesIn(m_docs), (QStringList{only, versionName(QStringLiteral("two.txt"),
                                                              QStringLiteral("20240212"))}));

    m_settings.BackupKeepLatest = 0;
    (void)clean();
    EXPECT_TRUE(namesIn(m_docs).isEmpty());
}

TEST_F(FolderCleanup, CopiesZeroKeepsTheNewestOfEachFile)
{
    m_settings.BackupCopies = 0;
    plant(m_docs,
          {versionName(QStringLiteral("a.txt"), QStringLiteral("20240301")),
           versionName(QStringLiteral("a.txt"), QStringLiteral("20240301"), "130000"),
           versionName(QStringLiteral("a.txt"), QStringLiteral("20240302"), "090000", ".zip"),
           versionName(QStringLiteral("b.txt"), QStringLiteral("20240225"))});
    EXPECT_EQ(clean().deleted, 2);
    EXPECT_EQ(namesIn(m_docs),
              (QStringList{versionName(QStringLiteral("a.txt"), QStringLiteral("20240302"),
                                       "090000", ".zip"),
                           versionName(QStringLiteral("b.txt"), QStringLiteral("20240225"))}));
}

TEST_F(FolderCleanup, BaseNamesDifferingInCaseStartNewGroups)
{
    m_settings.BackupCopies = 1;
    const QStringList names = {
        versionName(QStringLiteral("report.txt"), QStringLiteral("20240305")),
        versionName(QStringLiteral("Report.txt"), QStringLiteral("20240304")),
        versionName(QStringLiteral("report.txt"), QStringLiteral("20240303")),
        versionName(QStringLiteral("REPORT.txt"), QStringLiteral("20240302")),
        versionName(QStringLiteral("REPORT.txt"), QStringLiteral("20240301")),
    };
    plant(m_docs, names);
    EXPECT_EQ(clean().deleted, 1);
    EXPECT_FALSE(namesIn(m_docs).contains(names.last()));
    EXPECT_EQ(namesIn(m_docs).size(), 4);
}

TEST_F(FolderCleanup, SymbolicLinksAreNotFollowed)
{
    const QString outside = m_home.path() + QStringLiteral("outside/");
    const QString old = versionName(QStringLiteral("old.txt"), QStringLiteral("20200101"));
    plant(outside, {old});
    plant(m_docs, {old});
    // A linked folder full of old versions, and a linked "version".
    ASSERT_TRUE(QFile::link(outside, m_docs + QStringLiteral("linked folder")));
    const QString linkedVersion =
        versionName(QStringLiteral("linked.txt"), QStringLiteral("20200101"));
    ASSERT_TRUE(QFile::link(outside + old, m_docs + linkedVersion));

    EXPECT_EQ(clean().deleted, 1);
    EXPECT_EQ(namesIn(outside), QStringList{old});
    EXPECT_EQ(namesIn(m_docs), (QStringList{QStringLiteral("linked folder"), linkedVersion}));
}

TEST_F(FolderCleanup, ALinkedTargetFolderIsCleaned)
{
    // The target itself may be a link, to another disk for instance.
    const QString old = versionName(QStringLiteral("old.txt"), QStringLiteral("20200101"));
    plant(m_docs, {old});
    const QString link = m_home.path() + QStringLiteral("target-link");
    ASSERT_TRUE(QFile::link(m_target, link));
    m_settings.target(1).TargetDir = link; // no "/" at the end either
    EXPECT_EQ(clean().deleted, 1);
    EXPECT_TRUE(namesIn(m_docs).isEmpty());
}

TEST_F(FolderCleanup, NamesThatAreNotUtf8AreDeletedExactly)
{
    // Both names read back as "x\uFFFD@...": only the raw bytes tell them apart.
    const QByteArray folder = QFile::encodeName(m_docs);
    const QByteArray oldRaw = folder + "x\xff@20200101~120000.txt";
    const QByteArray newLookAlike = folder + "x\xef\xbf\xbd@20240301~120000.txt";
    for (const QByteArray& path : {oldRaw, newLookAlike}) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    EXPECT_EQ(clean().deleted, 1);
    EXPECT_NE(::access(oldRaw.constData(), F_OK), 0);
    EXPECT_EQ(::access(newLookAlike.constData(), F_OK), 0);
}

TEST_F(FolderCleanup, ReadOnlyVersionsAreDeleted)
{
    const QString old = m_docs + versionName(QStringLiteral("old.txt"), QStringLiteral("20200101"));
    plantFile(old);
    ASSERT_TRUE(QFile::setPermissions(old, QFileDevice::ReadOwner));
    EXPECT_EQ(clean().deleted, 1);
    EXPECT_FALSE(QFileInfo::exists(old));
}

TEST_F(FolderCleanup, CopiesLeftByAKilledPassGoAfterADayWithoutAWrite)
{
    const QString stale = m_docs + QStringLiteral("~fernhold-copy-1f2e3d4c5b6a7988.part");
    const QString fresh = m_docs + QStringLiteral("~fernhold-copy-0123456789abcdef.part");
    const QString usersOwn = m_docs + QStringLiteral("~fernhold-copy-notes.txt");
    const QString staleLink = m_docs + QStringLiteral("~fernhold-copy-link.part");
    for (const QString& path : {stale, fresh, usersOwn}) {
        plantFile(path);
    }
    ASSERT_TRUE(QFile::link(usersOwn, staleLink));
    const QDateTime twoDaysAgo = QDateTime::currentDateTime().addDays(-2);
    for (const QString& path : {stale, usersOwn}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(twoDaysAgo, QFileDevice::FileModificationTime));
    }

    const CleanupCount count = clean();
    EXPECT_EQ(count.deleted, 0) << "a leftover is no version";
    EXPECT_EQ(namesIn(m_docs), (QStringList{QStringLiteral("~fernhold-copy-0123456789abcdef.part"),
                                            QStringLiteral("~fernhold-copy-link.part"),
                                            QStringLiteral("~fernhold-copy-notes.txt")}));
}

TEST_F(FolderCleanup, OnlyWorksWhileActiveAndNotEnding)
{
    const QString old = versionName(QStringLiteral("old.txt"), QStringLiteral("20200101"));
    plant(m_docs, {old});
    m_run.Status = 2;
    EXPECT_TRUE(clean().stopped);
    m_run.Status = 1;
    m_run.Ending = 1;
    EXPECT_TRUE(clean().stopped);
    EXPECT_EQ(namesIn(m_docs), QStringList{old});

    // Neither a folder nor an FTP target: nothing happens.
    m_run.Ending = 0;
    m_settings.target(1).TargetType = QStringLiteral("ZIP");
    EXPECT_EQ(clean().deleted, 0);
    EXPECT_EQ(namesIn(m_docs), QStringList{old});
}

TEST_F(FolderCleanup, AStopEndsTheWalkAtTheNextEntry)
{
    // 2000 old versions in one folder and more in a sub-folder; the stop
    // fires before the 501st entry.
    for (int i = 0; i < 2000; ++i) {
        plantFile(m_docs +
                  versionName(QStringLiteral("f%1.txt").arg(i), QStringLiteral("20200101")));
    }
    plant(m_docs + QStringLiteral("sub/"),
          {versionName(QStringLiteral("s.txt"), QStringLiteral("20200101"))});
    int tests = 0;
    FolderVersionWalk walk(m_docs, AutomaticCleanupRules(m_settings, m_clock),
                           [&] { return ++tests > 501; });
    walk.runToEnd();
    EXPECT_TRUE(walk.count().stopped);
    EXPECT_EQ(walk.count().deleted, 500); // one test went to the folder itself
    EXPECT_EQ(namesIn(m_docs).size(), 1500 + 1);
    EXPECT_EQ(namesIn(m_docs + QStringLiteral("sub/")).size(), 1);
}

TEST_F(FolderCleanup, FilesOfAFolderGoBeforeItsSubFolders)
{
    plant(m_target, {versionName(QStringLiteral("t.txt"), QStringLiteral("20200101"))});
    plant(m_target + QStringLiteral("a/"),
          {versionName(QStringLiteral("a.txt"), QStringLiteral("20200101"))});
    plant(m_target + QStringLiteral("a/b/"),
          {versionName(QStringLiteral("b.txt"), QStringLiteral("20200101"))});
    plant(m_target + QStringLiteral("c/"),
          {versionName(QStringLiteral("c.txt"), QStringLiteral("20200101"))});
    QStringList shown;
    FolderVersionWalk walk(
        m_target, AutomaticCleanupRules(m_settings, m_clock), [] { return false; },
        [&](const QString& folder) { shown << folder.mid(m_target.size()); });
    walk.runToEnd();
    EXPECT_EQ(shown, (QStringList{QString(), QStringLiteral("a/"), QStringLiteral("a/b/"),
                                  QStringLiteral("c/"), QStringLiteral("home/"),
                                  QStringLiteral("home/ann/"), QStringLiteral("home/ann/Docs/")}));
    EXPECT_EQ(walk.count().deleted, 4);
}

TEST_F(FolderCleanup, UsableTargetsAreCleanedInTurn)
{
    const QString old = versionName(QStringLiteral("old.txt"), QStringLiteral("20200101"));
    plant(m_docs, {old});
    m_settings.target(2) = folderTargetSettings(2, m_home.path() + "missing/").target(2);
    m_settings.target(3).TargetType = QStringLiteral("FTP");
    m_settings.target(3).FTPServerName = QStringLiteral("127.0.0.1");
    m_settings.target(3).FTPServerPort = QStringLiteral("1"); // nothing listens there
    const VersionCleanup cleanup(m_settings, m_run, m_clock, m_ui);

    m_run.Status = 0;
    EXPECT_EQ(cleanup.CleanUsableTargets(), 0);
    EXPECT_EQ(namesIn(m_docs), QStringList{old});

    m_run.Status = 1;
    EXPECT_EQ(cleanup.CleanUsableTargets(), 1);
    EXPECT_TRUE(namesIn(m_docs).isEmpty());
}

} // namespace fernhold::test
