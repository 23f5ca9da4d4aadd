#include "cleanup_test_helpers.h"
#include "core/run_state.h"
#include "core/text_table.h"
#include "fake_user_interface.h"
#include "ftp_test_helpers.h"
#include "manual_clock.h"
#include "targets/version_cleanup.h"

#include <QDateTime>
#include <QFile>

namespace fernhold::test {

namespace {

JobSettings ftpSettings(const FtpServer& server, int target, const QString& subDir)
{
    JobSettings settings;
    TargetEntry& entry = settings.target(target);
    entry.TargetType = QStringLiteral("FTP");
    entry.FTPServerName = server.host();
    entry.FTPServerPort = QString::number(server.port());
    entry.FTPUserName = server.user();
    entry.FTPPassword = server.password();
    entry.FTPSubDir = subDir;
    settings.BackupDays = 14;
    settings.BackupCopies = 100;
    settings.BackupKeepLatest = 0;
    return settings;
}

QByteArray bytes(const QString& name)
{
    return name.toUtf8();
}

QList<QByteArray> sorted(QList<QByteArray> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

// Now is 5 March 2024 14:07:09; with BackupDays 14 the cut-off is 20 February.
struct Cleaner
{
    RunState run;
    ManualClock clock;
    FakeUserInterface ui;

    Cleaner() { run.Status = 1; }

    CleanupCount clean(const JobSettings& settings, int target, const QString& path = {})
    {
        return CleanTargetVersions(settings, run, clock, ui, path, target);
    }
};

// The clean-up against each real server.
class FtpCleanup : public BothServers
{
};

} // namespace

TEST_P(FtpCleanup, CleanUpAppliesTheRulesInEveryFolder)
{
    auto server = startServer();
    const QList<QByteArray> kept = {
        "report.txt",
        "x.txt@2024O101~000000.txt",
        "x.txt@02024010~000000.txt",
        bytes(versionName(QStringLiteral("cut.txt"), QStringLiteral("20240220"))),
        bytes(versionName(QStringLiteral("five.txt"), QStringLiteral("20240303"))),
        bytes(versionName(QStringLiteral("five.txt"), QStringLiteral("20240304"))),
        bytes(versionName(QStringLiteral("five.txt"), QStringLiteral("20240305"))),
    };
    const QList<QByteArray> gone = {
        "me@home.txt@20240101~000000.txt",
        "caf\xe9.txt@20240101~000000.txt", // Windows-1252, as plain mode reads it
        bytes(versionName(QStringLiteral("old.txt"), QStringLiteral("20240214"))),
        bytes(versionName(QStringLiteral("five.txt"), QStringLiteral("20240301"))),
        bytes(versionName(QStringLiteral("five.txt"), QStringLiteral("20240302"))),
    };
    const QByteArray docs = "backup/home/ann/Docs/";
    server->makeFolder(docs + "deeper");
    server->makeFolder("backup/empty");
    for (const QByteArray& folder : {docs, docs + "deeper/"}) {
        for (const QByteArray& name : kept + gone) {
            server->writeFile(folder + name, "v");
        }
    }
    JobSettings settings = ftpSettings(*server, 1, server->ftpFolder() + "backup");
    settings.BackupCopies = 3;
    Cleaner cleaner;
    const CleanupCount count = cleaner.clean(settings, 1);

    EXPECT_EQ(count.deleted, 2 * gone.size());
    EXPECT_EQ(server->names(docs + "deeper"), sorted(kept));
    EXPECT_EQ(server->names(docs), sorted(kept + QList<QByteArray>{"deeper"}));
    EXPECT_EQ(server->names("backup/empty"), QList<QByteArray>{});
    // Breadth first, each folder shown by its path below the root.
    const QStringList shown = cleaner.ui.cleanupStatuses();
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_EQ(shown.first(), Text(QStringLiteral("TXT00105")));
    ASSERT_EQ(shown.size(), 7);
    EXPECT_EQ(shown[1], QString());
    QStringList level = shown.mid(2, 2);
    level.sort();
    EXPECT_EQ(level, (QStringList{QStringLiteral("empty/"), QStringLiteral("home/")}));
    EXPECT_EQ(shown.mid(4),
              (QStringList{QStringLiteral("home/ann/"), QStringLiteral("home/ann/Docs/"),
                           QStringLiteral("home/ann/Docs/deeper/")}));
}

TEST_P(FtpCleanup, CleanUpInUtf8ModeOfTheSelectedTarget)
{
    auto server = startServer();
    server->makeFolder("backup/Grüße");
    server->writeFile("backup/café.txt@20200101~120000.txt", "old");
    server->writeFile("backup/café.txt@20240301~120000.txt", "new");
    server->writeFile("backup/Grüße/ünïcode.txt@20200101~120000.txt", "old");
    // Target 2 is cleaned; the mode comes from the selected target 1.
    JobSettings settings = ftpSettings(*server, 2, server->ftpFolder() + "backup/");
    settings.target(1).FTPUnicode = 1;
    settings.SelectedTarget = 1;
    Cleaner cleaner;
    EXPECT_EQ(cleaner.clean(settings, 2).deleted, 2);
    EXPECT_EQ(server->names("backup"),
              (QList<QByteArray>{"Grüße", "café.txt@20240301~120000.txt"}));
    EXPECT_EQ(server->names("backup/Grüße"), QList<QByteArray>{});
    EXPECT_TRUE(cleaner.ui.cleanupStatuses().contains(QStringLiteral("Grüße/")));
}

TEST_P(FtpCleanup, KeepLatestAndCopiesOnFtp)
{
    auto server = startServer();
    server->makeFolder("t");
    const QByteArray only = "old.txt@20240214~080000.txt";
    const QList<QByteArray> four = {"a@20240301~1.txt", "a@20240302~1.txt", "a@20240303~1.txt",
                                    "a@20240304~1.txt"};
    server->writeFile("t/" + only, "v");
    for (const QByteArray& name : four) {
        server->writeFile("t/" + name, "v");
    }
    JobSettings settings = ftpSettings(*server, 1, server->ftpFolder() + "t/");
    settings.BackupKeepLatest = 1;
    settings.BackupCopies = 0;
    Cleaner cleaner;
    EXPECT_EQ(cleaner.clean(settings, 1).deleted, 3);
    EXPECT_EQ(server->names("t"), (QList<QByteArray>{"a@20240304~1.txt", only}));

    settings.BackupKeepLatest = 0;
    EXPECT_EQ(cleaner.clean(settings, 1).deleted, 1);
    EXPECT_EQ(server->names("t"), QList<QByteArray>{"a@20240304~1.txt"});
}

TEST_P(FtpCleanup, CleanUpStartsInTheGivenFolder)
{
    auto server = startServer();
    server->makeFolder("one");
    server->makeFolder("two");
    server->writeFile("one/a@20200101~1.txt", "v");
    server->writeFile("two/a@20200101~1.txt", "v");
    Cleaner cleaner;
    EXPECT_EQ(cleaner.clean(ftpSettings(*server, 1, server->ftpFolder()), 1, QStringLiteral("two"))
                  .deleted,
              1);
    EXPECT_EQ(server->names("one"), QList<QByteArray>{"a@20200101~1.txt"});
    EXPECT_EQ(server->names("two"), QList<QByteArray>{});
}

TEST_P(FtpCleanup, UploadsLeftByAKilledPassGoAfterADayWithoutAWrite)
{
    auto server = startServer();
    server->makeFolder("t");
    const QList<QByteArray> names = {"~fernhold-0123456789abcdef.part",
                                     "~fernhold-fedcba9876543210.part", "~fernhold-notes.part"};
    for (const QByteArray& name : names) {
        server->writeFile("t/" + name, "v");
    }
    // The first and the user's own file were last written two days ago.
    const QDateTime twoDaysAgo = QDateTime::currentDateTime().addDays(-2);
    for (const QByteArray& name : {names[0], names[2]}) {
        QFile file(server->localFolder() + QStringLiteral("t/") + QString::fromUtf8(name));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(twoDaysAgo, QFileDevice::FileModificationTime));
    }
    Cleaner cleaner;
    EXPECT_EQ(cleaner.clean(ftpSettings(*server, 1, server->ftpFolder() + "t/"), 1).deleted, 0);
    EXPECT_EQ(server->names("t"), (QList<QByteArray>{names[1], names[2]}));
}

TEST_P(FtpCleanup, NothingHappensWithoutServerOrRoot)
{
    auto server = startServer();
    server->writeFile("a@20200101~1.txt", "v");
    Cleaner cleaner;
    const JobSettings missingRoot = ftpSettings(*server, 1, server->ftpFolder() + "no/such/");
    EXPECT_EQ(cleaner.clean(missingRoot, 1).deleted, 0);

    JobSettings wrongUser = ftpSettings(*server, 1, server->ftpFolder());
    wrongUser.target(1).FTPUserName = QStringLiteral("nobody-here");
    wrongUser.target(1).FTPPassword = QStringLiteral("wrong");
    EXPECT_EQ(cleaner.clean(wrongUser, 1).deleted, 0);

    JobSettings noServer = ftpSettings(*server, 1, server->ftpFolder());
    noServer.target(1).FTPServerPort = QString::number(UnusedLocalPort());
    EXPECT_EQ(cleaner.clean(noServer, 1).deleted, 0);
    EXPECT_EQ(server->names(), QList<QByteArray>{"a@20200101~1.txt"});
}

TEST_P(FtpCleanup, AStopEndsTheWalkAtTheNextFolder)
{
    auto server = startServer();
    server->writeFile("root@20200101~1.txt", "v");
    for (const QByteArray folder : {"a", "b", "c"}) {
        server->makeFolder(folder);
        server->writeFile(folder + "/v@20200101~1.txt", "v");
    }
    // The status goes inactive while the second sub-folder is shown.
    class StopAtSecondFolder : public FakeUserInterface
    {
    public:
        explicit StopAtSecondFolder(RunState& run) : m_run(run) {}
        void showCleanupStatus(const QString& text) override
        {
            FakeUserInterface::showCleanupStatus(text);
            if (text.endsWith(u'/') && ++m_folders == 2) {
                m_run.Status = 0;
            }
        }

    private:
        RunState& m_run;
        int m_folders = 0;
    };
    RunState run;
    run.Status = 1;
    ManualClock clock;
    StopAtSecondFolder ui(run);
    const CleanupCount count = CleanTargetVersions(ftpSettings(*server, 1, server->ftpFolder()),
                                                   run, clock, ui, QString(), 1);
    EXPECT_TRUE(count.stopped);
    EXPECT_EQ(count.deleted, 2); // the root's version and the first sub-folder's
    int left = 0;
    for (const QByteArray folder : {"a", "b", "c"}) {
        left += static_cast<int>(server->names(folder).size());
    }
    EXPECT_EQ(left, 2);
    EXPECT_FALSE(server->exists("root@20200101~1.txt"));
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpCleanup,
                         ::testing::Values(FtpServerKind::Pyftpdlib, FtpServerKind::Vsftpd),
                         serverName);

TEST_F(ScriptedServer, EntriesWithCombinedAttributesAreNotCleaned)
{
    FtpServerOptions options;
    options.listing = "-rw-r--r--    1 0 0  1 Jan 01  2020 plain@20200101~120000.txt\r\n"
                      "lrwxrwxrwx    1 0 0  5 Jan 01  2020 linked@20200101~120000.txt -> plain\r\n"
                      "lrwxrwxrwx    1 0 0  5 Jan 01  2020 folder-link -> sub\r\n";
    auto server = startServer(options);
    server->writeFile("plain@20200101~120000.txt", "v");
    server->writeFile("linked@20200101~120000.txt", "v");
    Cleaner cleaner;
    EXPECT_EQ(cleaner.clean(ftpSettings(*server, 1, QString()), 1).deleted, 1);
    EXPECT_EQ(server->names(), QList<QByteArray>{"linked@20200101~120000.txt"});
    // Only the root was walked.
    EXPECT_EQ(cleaner.ui.cleanupStatuses(),
              (QStringList{Text(QStringLiteral("TXT00105")), QString()}));
}

class VsftpdServer : public ::testing::Test
{
protected:
    void SetUp() override { FERNHOLD_REQUIRE_FTP_SERVER(FtpServerKind::Vsftpd); }
    TempHome m_home;
};

TEST_F(VsftpdServer, LinksAreNeitherWalkedNorCleaned)
{
    FtpServer server(FtpServerKind::Vsftpd);
    ASSERT_TRUE(server.started()) << server.error().toStdString();
    server.makeFolder("outside");
    server.makeFolder("backup");
    server.writeFile("outside/old@20200101~1.txt", "v");
    const QByteArray backup = QFile::encodeName(server.localFolder()) + "backup/";
    ASSERT_EQ(::symlink("../outside", (backup + "linked-folder").constData()), 0);
    ASSERT_EQ(
        ::symlink("../outside/old@20200101~1.txt", (backup + "linked@20200101~1.txt").constData()),
        0);
    server.writeFile("backup/mine@20200101~1.txt", "v");
    Cleaner cleaner;
    EXPECT_EQ(cleaner.clean(ftpSettings(server, 1, server.ftpFolder() + "backup"), 1).deleted, 1);
    EXPECT_EQ(server.names("backup"),
              (QList<QByteArray>{"linked-folder", "linked@20200101~1.txt"}));
    EXPECT_EQ(server.names("outside"), QList<QByteArray>{"old@20200101~1.txt"});
}

} // namespace fernhold::test
