#include "restore/backup_browser.h"
#include "restore_fixture.h"
#include "targets/ftp_names.h"

#include <QDate>

namespace fernhold::test {

namespace {

const QString kCopy = QString(QChar(0x00A9));

class BrowserTest : public RestoreTest
{
protected:
    QStringList rowNames(const BackupBrowser& browser) const
    {
        QStringList names;
        for (const BrowserRow& row : browser.rows()) {
            names.append(row.name);
        }
        return names;
    }
};

} // namespace

TEST_F(BrowserTest, ListsFoldersFirstThenVersionsOldestFirst)
{
    putVersion(QStringLiteral("b.txt@20230101~080000.txt"), "b");
    putVersion(QStringLiteral("a.txt@20230102~090000.zip"), "a");
    putVersion(QStringLiteral("A.txt@20230103~090000.txt"), "A");
    putVersion(QStringLiteral("a.txt@20230101~070000.txt"), "a0");
    ASSERT_TRUE(QDir().mkpath(versionFolder() + QStringLiteral("x")));
    putVersion(QStringLiteral("notes.txt"), "not a version");
    putVersion(QStringLiteral("odd@2023.txt"), "not a version");

    BackupBrowser browser(m_settings, m_ui);
    browser.ListBackupFolder(relative());
    ASSERT_EQ(browser.lastOutcome(), ListingOutcome::Listed);
    EXPECT_EQ(browser.currentFolder(), relative());
    EXPECT_EQ(rowNames(browser), (QStringList{"x", "a.txt", "a.txt", "A.txt", "b.txt"}));
    EXPECT_EQ(browser.entries(),
              (QStringList{"dx", "fa.txt@20230101~070000.txt", "fa.txt@20230102~090000.zip",
                           "fA.txt@20230103~090000.txt", "fb.txt@20230101~080000.txt"}));
    EXPECT_TRUE(browser.rows().at(0).folder);
    EXPECT_TRUE(browser.rows().at(0).saved.isEmpty());
    EXPECT_EQ(browser.rows().at(1).saved, QStringLiteral("2023/01/01   07:00:00"));
    EXPECT_TRUE(browser.rows().at(1).note.isEmpty());
    // While it lists, the path field says so; afterwards it shows the folder.
    const QStringList paths = m_ui.restorePaths();
    ASSERT_GE(paths.size(), 2);
    EXPECT_EQ(paths.at(paths.size() - 2), text("GAD00124"));
    EXPECT_EQ(paths.last(), relative());
    EXPECT_FALSE(m_ui.busy());
}

TEST_F(BrowserTest, FiltersByDateAndNameAndKeepsRowsAndEntriesInStep)
{
    putVersion(QStringLiteral("b.txt@20230101~080000.txt"), "b");
    putVersion(QStringLiteral("a.txt@20230102~090000.zip"), "a");
    putVersion(QStringLiteral("c.txt@20230102~100000.txt"), "c");
    // The date filter reads the version's date, not digits that a suffix happens to hold.
    putVersion(QStringLiteral("d@20230101~080000.20230102"), "d");

    BackupBrowser browser(m_settings, m_ui);
    browser.setDateFilter(true, QDate(2023, 1, 2));
    browser.ListBackupFolder(relative());
    EXPECT_EQ(rowNames(browser), (QStringList{"a.txt", "c.txt"}));
    EXPECT_EQ(browser.clickRow(0, false), BrowserClick::SelectedVersion);
    EXPECT_EQ(browser.selectedVersion(), QStringLiteral("a.txt@20230102~090000.zip"));
    EXPECT_TRUE(browser.restoreVersionEnabled());

    // The name filter is matched against the whole version name in lower case.
    browser.setDateFilter(false, {});
    browser.setNameFilter(true, QStringLiteral("ZIP"));
    browser.listAgain();
    EXPECT_EQ(rowNames(browser), (QStringList{"a.txt"}));
    browser.setNameFilter(false, QStringLiteral("ZIP"));
    browser.listAgain();
    EXPECT_EQ(browser.rows().size(), 4);

    // Opening the page again resets the filters.
    browser.setNameFilter(true, QStringLiteral("nothing matches this"));
    browser.openPage();
    EXPECT_FALSE(browser.nameFilterOn());
    EXPECT_FALSE(browser.dateFilterOn());
    EXPECT_EQ(browser.currentFolder(), QString());
}

TEST_F(BrowserTest, MarksEncryptedVersions)
{
    putVersion(QStringLiteral("x.doc@20230115~093000") + kCopy + QStringLiteral(".zip"), "x");
    BackupBrowser browser(m_settings, m_ui);
    browser.ListBackupFolder(relative());
    ASSERT_EQ(browser.rows().size(), 1);
    EXPECT_EQ(browser.rows().at(0).note, text("TXT00004"));
    EXPECT_EQ(browser.rows().at(0).saved, QStringLiteral("2023/01/15   09:30:00"));
}

TEST_F(BrowserTest, NavigatesHomeUpAndIntoFolders)
{
    putVersion(QStringLiteral("a.txt@20230101~080000.txt"), "a");
    BackupBrowser browser(m_settings, m_ui);
    browser.openPage();
    EXPECT_FALSE(browser.restoreFolderEnabled()); // never at the root

    // Walk down by clicks along the mirrored path of the source folder.
    const QStringList levels = relative().split(u'/', Qt::SkipEmptyParts);
    QString expected;
    for (const QString& level : levels) {
        const int row = static_cast<int>(rowNames(browser).indexOf(level));
        ASSERT_GE(row, 0) << level.toStdString();
        EXPECT_EQ(browser.clickRow(row, false), BrowserClick::OpenedFolder);
        expected += level + u'/';
        EXPECT_EQ(browser.currentFolder(), expected);
        EXPECT_TRUE(browser.restoreFolderEnabled());
        EXPECT_FALSE(browser.restoreVersionEnabled());
    }
    ASSERT_EQ(rowNames(browser), QStringList{QStringLiteral("a.txt")});

    // A double click on a version asks for the restore to its source folder.
    EXPECT_EQ(browser.clickRow(0, true), BrowserClick::RestoreToSource);
    EXPECT_EQ(browser.selectedVersion(), QStringLiteral("a.txt@20230101~080000.txt"));
    browser.clickOutside();
    EXPECT_TRUE(browser.selectedVersion().isEmpty());
    EXPECT_FALSE(browser.restoreVersionEnabled());
    EXPECT_FALSE(browser.restoreFolderEnabled());
    EXPECT_EQ(browser.clickRow(5, false), BrowserClick::Nothing);

    browser.goUp();
    EXPECT_EQ(browser.currentFolder(), expected.left(expected.size() - levels.last().size() - 1));
    for (qsizetype i = 1; i < levels.size(); ++i) {
        browser.goUp();
    }
    EXPECT_EQ(browser.currentFolder(), QString());
    browser.goUp();
    EXPECT_EQ(browser.currentFolder(), QString());

    browser.ListBackupFolder(relative());
    browser.goHome();
    EXPECT_EQ(browser.currentFolder(), QString());
    EXPECT_EQ(rowNames(browser), QStringList{levels.first()});
}

TEST_F(BrowserTest, GoesUpThroughDriveLikeFolders)
{
    const QString bar = QString(QChar(0x00A6));
    ASSERT_TRUE(
        QDir().mkpath(m_targetRoot + QStringLiteral("C") + bar + QStringLiteral("/Users/ann")));
    BackupBrowser browser(m_settings, m_ui);
    browser.ListBackupFolder(QStringLiteral("C") + bar + QStringLiteral("/Users/ann/"));
    browser.goUp();
    EXPECT_EQ(browser.currentFolder(), QStringLiteral("C") + bar + QStringLiteral("/Users/"));
    browser.goUp();
    EXPECT_EQ(browser.currentFolder(), QStringLiteral("C") + bar + QStringLiteral("/"));
    browser.goUp();
    EXPECT_EQ(browser.currentFolder(), QString());
}

TEST_F(BrowserTest, SkipsLinkedFoldersAndRefusesFoldersOutsideTheTarget)
{
    ASSERT_TRUE(QDir().mkpath(m_home.path() + QStringLiteral("elsewhere")));
    ASSERT_TRUE(QDir().mkpath(versionFolder()));
    ASSERT_TRUE(QFile::link(m_home.path() + QStringLiteral("elsewhere"),
                            versionFolder() + QStringLiteral("link")));
    putVersion(QStringLiteral("a.txt@20230101~080000.txt"), "a");
    ASSERT_TRUE(QFile::link(versionFolder() + QStringLiteral("a.txt@20230101~080000.txt"),
                            versionFolder() + QStringLiteral("l.txt@20230101~080000.txt")));
    BackupBrowser browser(m_settings, m_ui);
    browser.ListBackupFolder(relative());
    // A link is no version, even one that leads to a version.
    EXPECT_EQ(rowNames(browser), (QStringList{"a.txt"}));

    browser.ListBackupFolder(relative() + QStringLiteral("../../"));
    EXPECT_EQ(browser.lastOutcome(), ListingOutcome::Unreadable);
    EXPECT_TRUE(browser.rows().isEmpty());
}

TEST_F(BrowserTest, UnreadableFolderGivesAnEmptyListWithoutMessage)
{
    BackupBrowser browser(m_settings, m_ui);
    browser.ListBackupFolder(QStringLiteral("no/such/folder/"));
    EXPECT_EQ(browser.lastOutcome(), ListingOutcome::Unreadable);
    EXPECT_TRUE(browser.rows().isEmpty());
    EXPECT_TRUE(m_ui.messages().empty());

    m_settings.target(1).TargetDir = QStringLiteral("relative/folder/");
    browser.ListBackupFolder(QString());
    EXPECT_EQ(browser.lastOutcome(), ListingOutcome::Unreadable);

    m_settings.target(3).TargetType = QString();
    browser.chooseTarget(3);
    EXPECT_EQ(browser.target(), 3);
    EXPECT_EQ(m_settings.SelectedTarget, 3);
    EXPECT_EQ(browser.lastOutcome(), ListingOutcome::NoTarget);
}

TEST_F(BrowserTest, FolderRestoreIsRefusedOnFtpTargets)
{
    BackupBrowser browser(m_settings, m_ui);
    browser.ListBackupFolder(relative());
    EXPECT_TRUE(browser.mayRestoreFolder());
    EXPECT_TRUE(m_ui.messages().empty());

    m_settings.target(2).TargetType = QStringLiteral("FTP");
    m_settings.SelectedTarget = 2;
    EXPECT_FALSE(browser.mayRestoreFolder());
    ASSERT_EQ(m_ui.messages().size(), 1U);
    EXPECT_EQ(m_ui.messages()[0].title, text("TXT00013"));
    EXPECT_EQ(m_ui.messages()[0].text, text("TXT00119"));
}

// The same browser on a real FTP server.
class FtpBrowserTest : public RestoreTest, public ::testing::WithParamInterface<FtpServerKind>
{
protected:
    void SetUp() override
    {
        FERNHOLD_REQUIRE_FTP_SERVER(GetParam());
        RestoreTest::SetUp();
        m_server = std::make_unique<FtpServer>(GetParam());
        ASSERT_TRUE(m_server->started()) << m_server->error().toStdString();
        UseFtpTarget(m_settings, *m_server);
    }
    void putRemote(const QString& relativePath, const QByteArray& content) const
    {
        // Names reach the server as the backup sends them: Windows-1252 in
        // plain mode, UTF-8 in UTF-8 mode.
        const QByteArray path = m_settings.target(2).FTPUnicode == 1
                                    ? relativePath.toUtf8()
                                    : EncodeWindows1252(relativePath).value_or(QByteArray());
        m_server->makeFolder(path.left(path.lastIndexOf('/') + 1));
        m_server->writeFile(path, content);
    }

    std::unique_ptr<FtpServer> m_server;
};

TEST_P(FtpBrowserTest, ListsFoldersAndVersions)
{
    putRemote(QStringLiteral("home/ann/Docs/b.txt@20230101~080000.txt"), "b");
    putRemote(QStringLiteral("home/ann/Docs/a.txt@20230102~090000") + kCopy +
                  QStringLiteral(".zip"),
              "a");
    putRemote(QStringLiteral("home/ann/Docs/x/c.txt@20230102~090000.txt"), "c");
    putRemote(QStringLiteral("home/ann/Docs/plain.txt"), "not a version");

    BackupBrowser browser(m_settings, m_ui);
    browser.ListBackupFolder(QStringLiteral("home/ann/Docs"));
    ASSERT_EQ(browser.lastOutcome(), ListingOutcome::Listed);
    EXPECT_EQ(browser.currentFolder(), QStringLiteral("home/ann/Docs/"));
    ASSERT_EQ(browser.rows().size(), 3);
    EXPECT_TRUE(browser.rows()[0].folder);
    EXPECT_EQ(browser.rows()[0].name, QStringLiteral("x"));
    EXPECT_EQ(browser.rows()[1].name, QStringLiteral("a.txt"));
    EXPECT_EQ(browser.rows()[1].note, text("TXT00004"));
    EXPECT_EQ(browser.rows()[2].name, QStringLiteral("b.txt"));
    EXPECT_TRUE(m_ui.messages().empty());

    EXPECT_EQ(browser.clickRow(0, false), BrowserClick::OpenedFolder);
    EXPECT_EQ(browser.currentFolder(), QStringLiteral("home/ann/Docs/x/"));
    ASSERT_EQ(browser.rows().size(), 1);
    EXPECT_EQ(browser.rows()[0].name, QStringLiteral("c.txt"));
}

TEST_P(FtpBrowserTest, MissingFolderFallsBackToTheRootWithAMessage)
{
    putRemote(QStringLiteral("home/ann/Docs/b.txt@20230101~080000.txt"), "b");
    BackupBrowser browser(m_settings, m_ui);
    browser.ListBackupFolder(QStringLiteral("home/bob/"));
    EXPECT_EQ(browser.lastOutcome(), ListingOutcome::FellBackToRoot);
    ASSERT_EQ(m_ui.messages().size(), 1U);
    EXPECT_EQ(m_ui.messages()[0].title, text("Program_Name") + QStringLiteral(" (FTP)"));
    EXPECT_TRUE(m_ui.messages()[0].text.startsWith(text("TXT00101")));
    EXPECT_TRUE(m_ui.messages()[0].text.contains(QStringLiteral("home/bob/")));
    EXPECT_TRUE(m_ui.messages()[0].text.endsWith(text("TXT00102")));
    // The list, the path field and the navigation all show the root.
    EXPECT_EQ(browser.currentFolder(), QString());
    EXPECT_EQ(m_ui.restorePaths().last(), QString());
    ASSERT_EQ(browser.rows().size(), 1);
    EXPECT_EQ(browser.rows()[0].name, QStringLiteral("home"));
}

TEST_P(FtpBrowserTest, ReadsUtf8NamesInUtf8Mode)
{
    m_settings.target(2).FTPUnicode = 1;
    putRemote(QStringLiteral("home/ann/Dökumente/ü.txt@20230101~080000.txt"), "u");
    BackupBrowser browser(m_settings, m_ui);
    browser.ListBackupFolder(QStringLiteral("home/ann/Dökumente/"));
    ASSERT_EQ(browser.lastOutcome(), ListingOutcome::Listed);
    ASSERT_EQ(browser.rows().size(), 1);
    EXPECT_EQ(browser.rows()[0].name, QStringLiteral("ü.txt"));
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpBrowserTest,
                         ::testing::Values(FtpServerKind::Pyftpdlib, FtpServerKind::Vsftpd),
                         serverName);

TEST_F(RestoreTest, BrowserReportsAnUnreachableFtpServer)
{
    m_settings.target(2).TargetType = QStringLiteral("FTP");
    m_settings.target(2).FTPServerName = QStringLiteral("127.0.0.1");
    m_settings.target(2).FTPServerPort = QString::number(UnusedLocalPort());
    BackupBrowser browser(m_settings, m_ui);
    browser.chooseTarget(2);
    EXPECT_EQ(browser.lastOutcome(), ListingOutcome::NoConnection);
    ASSERT_EQ(m_ui.messages().size(), 1U);
    EXPECT_EQ(m_ui.messages()[0].title, text("TXT00001"));
    EXPECT_EQ(m_ui.messages()[0].text, text("TXT00011"));
    EXPECT_EQ(m_ui.messages()[0].icon, MessageIcon::Warning);
    EXPECT_TRUE(browser.rows().isEmpty());
}

} // namespace fernhold::test
