#include "cleanup_test_helpers.h"
#include "core/run_state.h"
#include "core/text_table.h"
#include "core/worker_slot.h"
#include "fake_user_interface.h"
#include "ftp_test_helpers.h"
#include "manual_clock.h"
#include "targets/manual_cleanup.h"
#include "temp_home.h"

#include <gtest/gtest.h>

namespace fernhold::test {

namespace {

QString text(const char* key)
{
    return Text(QString::fromLatin1(key));
}

const QString kBreak = QStringLiteral("\r\n");

QString resultLine(const QString& where, int deleted, qint64 freed)
{
    return where + kBreak + text("TXT00080") + QStringLiteral(". ") + QString::number(deleted) +
           u' ' + text("TXT00081") + QStringLiteral(", ") + QString::number(freed) + u' ' +
           text("TXT00098") + u'.';
}

// The selected target 1 is a folder; now is 5 March 2024 14:07:09, so
// CleanDays 7 puts the cut-off on 27 February.
class ManualCleanup : public ::testing::Test
{
protected:
    ManualCleanup()
        : m_target(m_home.path() + QStringLiteral("target/")),
          m_settings(folderTargetSettings(1, m_target))
    {
        QDir().mkpath(m_target);
        m_run.Status = 2;
        m_settings.CleanDays = 7;
        m_settings.CleanKeepLatest = 1;
        m_settings.CleanSize = 10;
        m_settings.CleanUnit = 0;
    }

    std::unique_ptr<ManualCleanupJob> job(ManualCleanupJob::Mode mode)
    {
        return std::make_unique<ManualCleanupJob>(m_settings, m_run, m_clock, m_ui, mode);
    }

    TempHome m_home;
    QString m_target;
    JobSettings m_settings;
    RunState m_run;
    ManualClock m_clock;
    FakeUserInterface m_ui;
};

} // namespace

TEST_F(ManualCleanup, TheQuestionNamesTheLimitAndDefaultsToNo)
{
    m_run.CleanupAbort = 1;
    const QString where = QStringLiteral("Target 1: /backup/");
    EXPECT_FALSE(job(ManualCleanupJob::Mode::ByAge)->confirm(where));
    EXPECT_EQ(m_run.CleanupAbort.load(), 1);

    m_ui.queueAnswer(true);
    m_settings.CleanUnit = 1;
    EXPECT_TRUE(job(ManualCleanupJob::Mode::BySize)->confirm(where));
    EXPECT_EQ(m_run.CleanupAbort.load(), 0);

    const auto questions = m_ui.questions();
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions[0].title, text("TXT00052"));
    EXPECT_EQ(questions[0].icon, MessageIcon::Question);
    EXPECT_EQ(questions[0].text, text("TXT00095") + QStringLiteral(" 7 ") + text("TXT00096") +
                                     QStringLiteral("?") + kBreak + kBreak + where);
    EXPECT_EQ(questions[1].text, text("TXT00097") + QStringLiteral(" 10 ") + text("GAD00068") +
                                     QStringLiteral("?") + kBreak + kBreak + where);
    m_settings.CleanUnit = 0;
    EXPECT_TRUE(ManualCleanupJob::questionText(m_settings, ManualCleanupJob::Mode::BySize, where)
                    .contains(QStringLiteral(" 10 ") + text("GAD00067") + u'?'));
}

TEST_F(ManualCleanup, BySizeDeletesEveryVersionAboveTheLimit)
{
    // 10 KB: 10 240 bytes may stay, one more may not, even for the newest.
    plantFile(m_target + QStringLiteral("big.bin@20240305~120000.bin"), QByteArray(10241, 'x'));
    plantFile(m_target + QStringLiteral("big.bin@20200101~120000.bin"), QByteArray(10240, 'x'));
    plantFile(m_target + QStringLiteral("plain.bin"), QByteArray(50000, 'x'));
    plantFile(m_target + QStringLiteral("sub/large.bin@20240301~120000.bin"),
              QByteArray(20000, 'x'));
    plantFile(m_target + QStringLiteral("sub/old.txt@20200101~120000.txt"), "tiny");
    auto cleanup = job(ManualCleanupJob::Mode::BySize);
    cleanup->run();

    EXPECT_EQ(cleanup->outcome(), ManualCleanupJob::Outcome::Finished);
    EXPECT_EQ(cleanup->DeletedCount(), 2);
    EXPECT_EQ(cleanup->FreedBytes(), 30241);
    EXPECT_EQ(namesIn(m_target), (QStringList{QStringLiteral("big.bin@20200101~120000.bin"),
                                              QStringLiteral("plain.bin"), QStringLiteral("sub")}));
    EXPECT_EQ(namesIn(m_target + QStringLiteral("sub")),
              QStringList{QStringLiteral("old.txt@20200101~120000.txt")});
    EXPECT_EQ(cleanup->resultText(), resultLine(m_target, 2, 30241));
    EXPECT_EQ(m_ui.cleanupStatuses(),
              (QStringList{m_target, m_target + QStringLiteral("sub/"), cleanup->resultText()}));
    EXPECT_EQ(m_ui.cleanupRunning(), (std::vector<bool>{true, false}));
    EXPECT_TRUE(m_ui.messages().empty());
}

TEST_F(ManualCleanup, ByAgeKeepsTheNewestOnlyWithKeepLatest)
{
    const QStringList old = {QStringLiteral("a@20240201~1.txt"), QStringLiteral("a@20240202~1.txt"),
                             QStringLiteral("a@20240203~1.txt")};
    const QString recent = QStringLiteral("b@20240301~1.txt");
    for (const QString& name : old + QStringList{recent}) {
        plantFile(m_target + name, "12345");
    }
    auto keeping = job(ManualCleanupJob::Mode::ByAge);
    keeping->run();
    EXPECT_EQ(keeping->DeletedCount(), 2);
    EXPECT_EQ(keeping->FreedBytes(), 10);
    EXPECT_EQ(namesIn(m_target), (QStringList{old.last(), recent}));

    m_settings.CleanKeepLatest = 0;
    auto all = job(ManualCleanupJob::Mode::ByAge);
    all->run();
    EXPECT_EQ(all->DeletedCount(), 1);
    EXPECT_EQ(namesIn(m_target), QStringList{recent});
}

TEST_F(ManualCleanup, BySizeWithKeepLatestDeletesNothingForAge)
{
    plantFile(m_target + QStringLiteral("a@20200101~1.txt"), "small");
    plantFile(m_target + QStringLiteral("a@20200102~1.txt"), "small");
    auto cleanup = job(ManualCleanupJob::Mode::BySize);
    cleanup->run();
    EXPECT_EQ(cleanup->DeletedCount(), 0);
    EXPECT_EQ(namesIn(m_target).size(), 2);
}

TEST_F(ManualCleanup, OnlyVersionsReallyDeletedAreCounted)
{
    plantFile(m_target + QStringLiteral("free/a@20200101~1.txt"), QByteArray(3000, 'x'));
    plantFile(m_target + QStringLiteral("locked/b@20200101~1.txt"), QByteArray(5000, 'x'));
    plantFile(m_target + QStringLiteral("locked/c@20200101~1.txt"), QByteArray(7000, 'x'));
    const UndeletableFolder locked(m_target + QStringLiteral("locked"));
    FERNHOLD_REQUIRE_UNDELETABLE(locked);
    m_settings.CleanKeepLatest = 0;
    auto cleanup = job(ManualCleanupJob::Mode::ByAge);
    cleanup->run();
    EXPECT_EQ(cleanup->DeletedCount(), 1);
    EXPECT_EQ(cleanup->FreedBytes(), 3000);
    EXPECT_EQ(namesIn(m_target + QStringLiteral("locked")).size(), 2);
    EXPECT_EQ(cleanup->resultText(), resultLine(m_target, 1, 3000));
}

TEST_F(ManualCleanup, AStopKeepsTheCountsSoFar)
{
    for (int i = 0; i < 5; ++i) {
        plantFile(m_target + QStringLiteral("f%1/old@20200101~1.txt").arg(i), "1234");
    }
    m_settings.CleanKeepLatest = 0;
    auto cleanup = job(ManualCleanupJob::Mode::ByAge);
    // The start, the target folder, f0, f1; then the stop button.
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(cleanup->step());
    }
    m_run.CleanupAbort = 1;
    EXPECT_FALSE(cleanup->step());
    EXPECT_FALSE(cleanup->step());
    EXPECT_EQ(cleanup->outcome(), ManualCleanupJob::Outcome::Stopped);
    EXPECT_EQ(cleanup->DeletedCount(), 2);
    EXPECT_EQ(cleanup->FreedBytes(), 8);
    EXPECT_EQ(cleanup->resultText(), resultLine(m_target, 2, 8));
    EXPECT_EQ(namesIn(m_target + QStringLiteral("f2")).size(), 1);
    EXPECT_EQ(m_ui.cleanupRunning(), (std::vector<bool>{true, false}));
}

TEST_F(ManualCleanup, RunsOnlyWhileTheSettingsWindowIsOpen)
{
    const QString old = QStringLiteral("old@20200101~1.txt");
    plantFile(m_target + old);
    for (const auto& [status, ending, abort] :
         {std::tuple{1, 0, 0}, std::tuple{2, 1, 0}, std::tuple{2, 0, 1}}) {
        m_run.Status = static_cast<std::int8_t>(status);
        m_run.Ending = static_cast<std::int8_t>(ending);
        m_run.CleanupAbort = static_cast<std::int8_t>(abort);
        auto cleanup = job(ManualCleanupJob::Mode::BySize);
        cleanup->run();
        EXPECT_EQ(cleanup->outcome(), ManualCleanupJob::Outcome::Stopped);
        EXPECT_TRUE(cleanup->resultText().isEmpty());
    }
    EXPECT_EQ(namesIn(m_target), QStringList{old});
    EXPECT_TRUE(m_ui.cleanupRunning().empty());
    EXPECT_TRUE(m_ui.messages().empty());
}

TEST_F(ManualCleanup, AMissingTargetFolderGetsOneMessage)
{
    m_settings.target(1).TargetDir = m_home.path() + QStringLiteral("nowhere/");
    auto cleanup = job(ManualCleanupJob::Mode::ByAge);
    cleanup->run();
    EXPECT_EQ(cleanup->outcome(), ManualCleanupJob::Outcome::Unreachable);
    const auto messages = m_ui.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, text("Program_Name"));
    EXPECT_EQ(messages[0].text, text("TXT00075") + kBreak + text("TXT00082"));
    EXPECT_EQ(messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(cleanup->DeletedCount(), 0);

    // An unused target entry: nothing at all.
    m_settings.target(1).TargetType.clear();
    auto nothing = job(ManualCleanupJob::Mode::ByAge);
    nothing->run();
    EXPECT_EQ(nothing->outcome(), ManualCleanupJob::Outcome::NotATarget);
    EXPECT_EQ(m_ui.messages().size(), 1u);
}

TEST_F(ManualCleanup, RunsInTheWorkerSlotUntilTheStopButton)
{
    for (int i = 0; i < 20; ++i) {
        plantFile(m_target + QStringLiteral("f%1/old@20200101~1.txt").arg(i, 2, 10, QChar(u'0')));
    }
    // The user presses stop while the fourth folder is shown.
    class StopButton : public FakeUserInterface
    {
    public:
        explicit StopButton(RunState& run) : m_run(run) {}
        void showCleanupStatus(const QString& text) override
        {
            FakeUserInterface::showCleanupStatus(text);
            if (++m_shown == 4) {
                m_run.CleanupAbort = 1;
            }
        }

    private:
        RunState& m_run;
        int m_shown = 0;
    };
    StopButton ui(m_run);
    m_settings.CleanKeepLatest = 0;
    ManualCleanupJob cleanup(m_settings, m_run, m_clock, ui, ManualCleanupJob::Mode::ByAge);
    WorkerSlot slot;
    ASSERT_EQ(slot.start([&cleanup] { cleanup.run(); }), 1);
    ASSERT_EQ(slot.waitForEnd(60000), 1);
    EXPECT_EQ(cleanup.outcome(), ManualCleanupJob::Outcome::Stopped);
    // The target folder, f00 and f01 were cleaned; f02 was shown, then stopped.
    EXPECT_EQ(cleanup.DeletedCount(), 2);
    EXPECT_EQ(ui.cleanupStatuses().last(), resultLine(m_target, 2, 2));
}

// The manual clean-up of an FTP target on each real server.
class ManualFtpCleanup : public BothServers
{
protected:
    JobSettings settingsFor(const FtpServer& server, const QString& subDir) const
    {
        JobSettings settings;
        TargetEntry& entry = settings.target(1);
        entry.TargetType = QStringLiteral("FTP");
        entry.FTPServerName = server.host();
        entry.FTPServerPort = QString::number(server.port());
        entry.FTPUserName = server.user();
        entry.FTPPassword = server.password();
        entry.FTPSubDir = subDir;
        settings.CleanKeepLatest = 1;
        settings.CleanSize = 1;
        settings.CleanUnit = 1;
        return settings;
    }

    RunState m_run;
    ManualClock m_clock;
    FakeUserInterface m_ui;
};

TEST_P(ManualFtpCleanup, AThreeGibVersionIsCountedExactly)
{
    auto server = startServer();
    server->makeFolder("backup/sub");
    server->makeSparseFile("backup/sub/huge.bin@20240301~120000.bin", 3221225472LL);
    server->writeFile("backup/sub/huge.bin@20240302~120000.bin", "small");
    server->makeSparseFile("backup/huge.bin", 3221225472LL); // no version
    m_run.Status = 2;
    const JobSettings settings = settingsFor(*server, server->ftpFolder() + "backup");
    ManualCleanupJob cleanup(settings, m_run, m_clock, m_ui, ManualCleanupJob::Mode::BySize);
    cleanup.run();

    EXPECT_EQ(cleanup.outcome(), ManualCleanupJob::Outcome::Finished);
    EXPECT_EQ(cleanup.DeletedCount(), 1);
    EXPECT_EQ(cleanup.FreedBytes(), 3221225472LL);
    EXPECT_EQ(server->names("backup/sub"), QList<QByteArray>{"huge.bin@20240302~120000.bin"});
    EXPECT_TRUE(server->exists("backup/huge.bin"));
    const QString server_ = QStringLiteral("//127.0.0.1:%1/").arg(server->port());
    const QString display = QStringLiteral("//127.0.0.1:%1").arg(server->port()) +
                            server->ftpFolder() + QStringLiteral("backup");
    EXPECT_EQ(m_ui.cleanupStatuses(),
              (QStringList{text("TXT00105"), server_, server_ + QStringLiteral("sub/"),
                           resultLine(display, 1, 3221225472LL)}));
    EXPECT_EQ(m_ui.cleanupRunning(), (std::vector<bool>{true, false}));
}

TEST_P(ManualFtpCleanup, OnlyVersionsReallyDeletedAreCounted)
{
    auto server = startServer();
    server->makeFolder("free");
    server->makeFolder("locked");
    server->writeFile("free/a@20200101~1.txt", QByteArray(3000, 'x'));
    server->writeFile("locked/b@20200101~1.txt", QByteArray(5000, 'x'));
    const UndeletableFolder locked(server->localFolder() + QStringLiteral("locked"));
    FERNHOLD_REQUIRE_UNDELETABLE(locked);
    m_run.Status = 2;
    JobSettings settings = settingsFor(*server, server->ftpFolder());
    settings.CleanKeepLatest = 0;
    ManualCleanupJob cleanup(settings, m_run, m_clock, m_ui, ManualCleanupJob::Mode::ByAge);
    cleanup.run();
    EXPECT_EQ(cleanup.DeletedCount(), 1);
    EXPECT_EQ(cleanup.FreedBytes(), 3000);
    EXPECT_TRUE(server->exists("locked/b@20200101~1.txt"));
}

TEST_P(ManualFtpCleanup, AnUnreachableServerGetsOneMessage)
{
    auto server = startServer();
    m_run.Status = 2;
    JobSettings settings = settingsFor(*server, server->ftpFolder());
    settings.target(1).FTPServerPort = QString::number(UnusedLocalPort());
    ManualCleanupJob cleanup(settings, m_run, m_clock, m_ui, ManualCleanupJob::Mode::ByAge);
    cleanup.run();
    EXPECT_EQ(cleanup.outcome(), ManualCleanupJob::Outcome::Unreachable);
    EXPECT_TRUE(m_ui.sawMessageContaining(text("TXT00082")));
    EXPECT_TRUE(m_ui.cleanupRunning().empty());
}

INSTANTIATE_TEST_SUITE_P(Servers, ManualFtpCleanup,
                         ::testing::Values(FtpServerKind::Pyftpdlib, FtpServerKind::Vsftpd),
                         serverName);

} // namespace fernhold::test
