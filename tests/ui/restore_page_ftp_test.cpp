#include "core/settings_store.h"
#include "core/text_table.h"
#include "engine/target_layout.h"
#include "ftp_server.h"
#include "restore/backup_browser.h"
#include "restore_page_driver.h"
#include "run_program.h"
#include "settings_window_fixture.h"
#include "ui/settings/restore_page.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest/QTest>

namespace fernhold::test {

namespace {

QStringList namesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// Counts what the GUI thread handles while a job waits: the ticks of a timer
// of its own and the paint events of a widget the timer asks to repaint.
class LivenessProbe : public QObject
{
public:
    explicit LivenessProbe(QWidget* painted) : m_painted(painted)
    {
        painted->installEventFilter(this);
        m_timer.setInterval(25);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            ++ticks;
            m_painted->update();
        });
        m_timer.start();
    }

    int ticks = 0;
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_painted && event->type() == QEvent::Paint) {
            ++paints;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* m_painted;
    QTimer m_timer;
};

// The restore page over FTP targets of real pyftpdlib servers. The versions
// come from a real `fernhold --once --full` pass to an FTP target (zip
// archives, UTF-8 names, below the server folder "backup"); servers that
// misbehave get a copy of that tree.
class RestorePageFtpTest : public SettingsWindowTest
{
protected:
    void SetUp() override
    {
        FERNHOLD_REQUIRE_FTP_SERVER(FtpServerKind::Pyftpdlib);
        m_source = m_home.path() + QStringLiteral("Docs/");
        m_home.writeFile(QStringLiteral("Docs/b.txt"), "bee");
        m_home.writeFile(QStringLiteral("Docs/a.txt"), "the first a");
        m_home.writeFile(QStringLiteral("Docs/x/inner.txt"), "inner");
        // Random bytes: the archive stays larger than a listing.
        QByteArray big(200 * 1024, Qt::Uninitialized);
        for (char& byte : big) {
            byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
        }
        m_big = big;
        m_home.writeFile(QStringLiteral("Docs/big.bin"), big);
        m_work = m_home.cacheHome() + QStringLiteral("fernhold/");
    }

    static std::unique_ptr<FtpServer> startServer(const FtpServerOptions& options = {})
    {
        auto server = std::make_unique<FtpServer>(FtpServerKind::Pyftpdlib, options);
        EXPECT_TRUE(server->started()) << server->error().toStdString();
        server->makeFolder("backup");
        return server;
    }

    static void useServer(JobSettings& settings, int number, const FtpServer& server)
    {
        TargetEntry& entry = settings.target(number);
        entry = TargetEntry();
        entry.TargetType = QStringLiteral("FTP");
        entry.FTPServerName = server.host();
        entry.FTPServerPort = QString::number(server.port());
        entry.FTPUserName = server.user();
        entry.FTPPassword = server.password();
        entry.FTPSubDir = QStringLiteral("backup");
        entry.FTPUnicode = 1;
    }

    // Backs the source up to `server` with the real program.
    void fillByPass(const FtpServer& server)
    {
        JobSettings pass;
        pass.ProgrammStatus = 1;
        pass.CompressData = 1;
        pass.NoAutomaticCleaning = 1;
        useServer(pass, 1, server);
        SourceEntry source;
        source.SourceDirPfad = m_source;
        source.SourceDirSub = 1;
        source.SourceDirTarget = QStringLiteral("1");
        pass.sources = {source};
        FakeUserInterface quiet;
        SettingsStore store(m_home.appData(), quiet);
        ASSERT_EQ(store.SaveSettings(pass), 1);
        const RunResult run = RunFernhold({QStringLiteral("--once"), QStringLiteral("--full")});
        ASSERT_TRUE(run.finished);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        ASSERT_FALSE(versionOn(server, QStringLiteral("a.txt")).isEmpty());
    }

    // The versions of a pass to a good server, on a server that misbehaves.
    void fillByCopy(const FtpServer& faulty)
    {
        const auto good = startServer();
        fillByPass(*good);
        for (const QString& file : filesBelow(good->localFolder())) {
            const QByteArray path = QFile::encodeName(file);
            faulty.makeFolder(path.left(path.lastIndexOf('/')));
            faulty.writeFile(path, ReadAll(good->localFolder() + file));
        }
    }

    // The name of `file`'s version in the source's mirror on `server`.
    QString versionOn(const FtpServer& server, const QString& file) const
    {
        const QString folder =
            server.localFolder() + QStringLiteral("backup/") + MirrorText(m_source);
        const QStringList found = QDir(folder).entryList({file + QStringLiteral("@*")});
        return found.value(0);
    }

    RestorePage& openPage(const FtpServer& server, bool wait = true)
    {
        JobSettings& s = m_app->settings();
        useServer(s, 1, server);
        s.SelectedTarget = 1;
        s.CurrentPage = 0;
        openWindow();
        showPage(3);
        auto& page = this->page<RestorePage>(3);
        if (wait) {
            EXPECT_TRUE(WaitIdle(page));
        }
        return page;
    }

    // Presses Stop and gives the time until the page is idle again.
    static qint64 stop(RestorePage& page)
    {
        QElapsedTimer since;
        since.start();
        QTest::mouseClick(page.stopButton(), Qt::LeftButton);
        EXPECT_TRUE(WaitIdle(page, 20000));
        return since.elapsed();
    }

    static bool anyContains(const QStringList& texts, const char* key)
    {
        return std::any_of(texts.begin(), texts.end(),
                           [key](const QString& t) { return t.contains(Text(key)); });
    }

    QString m_source;
    QString m_work;
    QByteArray m_big;
};

} // namespace

TEST_F(RestorePageFtpTest, WalksAnFtpTargetAndRestoresOverAChangedFile)
{
    const auto server = startServer();
    fillByPass(*server);
    RestorePage& page = openPage(*server);
    EXPECT_EQ(page.browser().lastOutcome(), ListingOutcome::Listed);
    EXPECT_FALSE(page.folderButton()->isEnabled()) << "no folder restore at the root";
    WalkToSource(page, m_source);
    EXPECT_EQ(ShownNames(page), (QStringList{QStringLiteral("x"), QStringLiteral("a.txt"),
                                             QStringLiteral("b.txt"), QStringLiteral("big.bin")}));
    EXPECT_EQ(page.pathField()->text(), MirrorText(m_source));
    const QString version = versionOn(*server, QStringLiteral("a.txt"));
    // a.txt@yyyymmdd~hhiiss.zip shown as "yyyy/mm/dd   hh:ii:ss".
    const QString stamp = version.mid(6, 8) + version.mid(15, 6);
    EXPECT_EQ(page.list()->topLevelItem(1)->text(1),
              QDateTime::fromString(stamp, QStringLiteral("yyyyMMddHHmmss"))
                  .toString(QStringLiteral("yyyy/MM/dd   HH:mm:ss")));
    EXPECT_EQ(page.list()->topLevelItem(1)->text(2), QString()) << "not encrypted";

    // Into the sub-folder and back up.
    ClickRow(page, 0);
    ASSERT_TRUE(WaitIdle(page));
    EXPECT_EQ(page.browser().currentFolder(), MirrorText(m_source) + QStringLiteral("x/"));
    EXPECT_EQ(ShownNames(page), QStringList{QStringLiteral("inner.txt")});
    QTest::mouseClick(page.upButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(page));
    EXPECT_EQ(page.browser().currentFolder(), MirrorText(m_source));

    m_home.writeFile(QStringLiteral("Docs/a.txt"), "changed since the pass");
    {
        BoxAnswerer yes(QMessageBox::Yes);
        ClickRow(page, 1);
        EXPECT_EQ(page.browser().selectedVersion(), version);
        ClickRow(page, 1, true);
        ASSERT_TRUE(WaitIdle(page));
        QTest::qWait(100); // the success message, queued by the worker
        EXPECT_TRUE(anyContains(yes.texts, "TXT00053")) << "the overwrite question";
        EXPECT_TRUE(anyContains(yes.texts, "TXT00058")) << yes.texts.join(u'|').toStdString();
    }
    EXPECT_EQ(page.lastRestoreResult(), 1);
    EXPECT_EQ(ReadAll(m_source + QStringLiteral("a.txt")), QByteArray("the first a"));
    EXPECT_TRUE(namesIn(m_work).isEmpty()) << namesIn(m_work).join(u' ').toStdString();
    EXPECT_EQ(page.pathField()->text(), MirrorText(m_source));
}

TEST_F(RestorePageFtpTest, RestoresToAPickedFolderButNoFolderByDate)
{
    const auto server = startServer();
    fillByPass(*server);
    const QString picked = m_home.path() + QStringLiteral("picked/");
    // An older copy there: the restore asks before replacing it.
    m_home.writeFile(QStringLiteral("picked/big.bin"), "older");
    RestorePage& page = openPage(*server);
    WalkToSource(page, m_source);
    ClickRow(page, 3);
    ASSERT_TRUE(page.toFolderButton()->isEnabled());
    FolderPickerAnswer pick(picked);
    {
        BoxAnswerer yes(QMessageBox::Yes);
        QTest::mouseClick(page.toFolderButton(), Qt::LeftButton);
        ASSERT_TRUE(WaitIdle(page));
        QTest::qWait(100);
        EXPECT_TRUE(anyContains(yes.texts, "TXT00056")) << yes.texts.join(u'|').toStdString();
    }
    EXPECT_EQ(page.lastRestoreResult(), 1);
    EXPECT_EQ(ReadAll(picked + QStringLiteral("big.bin")), m_big);

    // A folder restore needs a folder target: the message instead of the window.
    ASSERT_TRUE(page.folderButton()->isEnabled());
    BoxAnswerer ok;
    QTest::mouseClick(page.folderButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&ok] { return !ok.texts.isEmpty(); }, 5000));
    EXPECT_EQ(ok.texts, QStringList{Text("TXT00119")});
    EXPECT_EQ(page.folderDialog(), nullptr);
}

TEST_F(RestorePageFtpTest, StalledListingKeepsTheWindowLiveAndStops)
{
    FtpServerOptions stalling;
    stalling.stallCommands = {QStringLiteral("MLSD"), QStringLiteral("LIST")};
    const auto stalled = startServer(stalling);
    const auto good = startServer();
    good->makeFolder("backup/kept");
    useServer(m_app->settings(), 2, *good);

    BoxAnswerer quiet;
    RestorePage& page = openPage(*stalled, false);
    {
        LivenessProbe probe(page.list()->viewport());
        QTest::qWait(1500);
        ASSERT_TRUE(page.working()) << "the listing waits on the server";
        EXPECT_TRUE(page.stopButton()->isEnabled());
        EXPECT_EQ(page.pathField()->text(), Text("GAD00124"));
        EXPECT_GE(probe.ticks, 15) << "the GUI thread handles its timers";
        EXPECT_GE(probe.paints, 5) << "and paints";
        // Another target waits until the listing has ended.
        page.chooser()->setCurrentIndex(1);
        emit page.chooser()->activated(1);
        EXPECT_EQ(page.chooser()->currentIndex(), 0);
        EXPECT_EQ(page.browser().target(), 1);
    }
    EXPECT_LT(stop(page), 5000);
    EXPECT_FALSE(page.stopButton()->isEnabled());
    EXPECT_EQ(page.list()->topLevelItemCount(), 0);
    QTest::qWait(200);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(quiet.texts.isEmpty())
        << "a stop is no failure: " << quiet.texts.join(u'|').toStdString();

    // The page works on: the other target lists.
    page.chooser()->setCurrentIndex(1);
    emit page.chooser()->activated(1);
    ASSERT_TRUE(WaitIdle(page));
    EXPECT_EQ(page.browser().target(), 2);
    EXPECT_EQ(ShownNames(page), QStringList{QStringLiteral("kept")});
}

TEST_F(RestorePageFtpTest, StopDuringAStalledLoginIsNoFailure)
{
    FtpServerOptions stalling;
    stalling.stallCommands = {QStringLiteral("PASS")};
    const auto stalled = startServer(stalling);
    BoxAnswerer quiet;
    RestorePage& page = openPage(*stalled, false);
    QTest::qWait(1000);
    ASSERT_TRUE(page.working()) << "the login waits on the server";
    EXPECT_LT(stop(page), 5000);
    QTest::qWait(200);
    EXPECT_TRUE(quiet.texts.isEmpty()) << quiet.texts.join(u'|').toStdString();
    EXPECT_EQ(page.list()->topLevelItemCount(), 0);
}

TEST_F(RestorePageFtpTest, ClosingTheWindowEndsAStalledListing)
{
    FtpServerOptions stalling;
    stalling.stallCommands = {QStringLiteral("MLSD"), QStringLiteral("LIST")};
    const auto stalled = startServer(stalling);
    BoxAnswerer quiet;
    RestorePage& page = openPage(*stalled, false);
    QTest::qWait(800);
    ASSERT_TRUE(page.working());
    QElapsedTimer since;
    since.start();
    m_shell->settingsWindow()->close();
    EXPECT_TRUE(WaitIdle(page, 20000));
    EXPECT_LT(since.elapsed(), 5000);
    QTest::qWait(200);
    EXPECT_TRUE(quiet.texts.isEmpty()) << quiet.texts.join(u'|').toStdString();
}

TEST_F(RestorePageFtpTest, StalledDownloadStopsAndLeavesTheFile)
{
    FtpServerOptions stalling;
    stalling.stallCommands = {QStringLiteral("RETR")};
    const auto stalled = startServer(stalling);
    fillByCopy(*stalled);
    RestorePage& page = openPage(*stalled);
    WalkToSource(page, m_source);
    m_home.writeFile(QStringLiteral("Docs/big.bin"), "changed since the pass");
    BoxAnswerer yes(QMessageBox::Yes);
    ClickRow(page, 3);
    ClickRow(page, 3, true);
    {
        LivenessProbe probe(page.list()->viewport());
        QTest::qWait(1500);
        ASSERT_TRUE(page.working()) << "the download waits on the server";
        EXPECT_TRUE(page.stopButton()->isEnabled());
        EXPECT_GE(probe.ticks, 15);
        EXPECT_GE(probe.paints, 5);
    }
    ASSERT_TRUE(anyContains(yes.texts, "TXT00053"));
    EXPECT_LT(stop(page), 5000);
    QTest::qWait(200);
    EXPECT_EQ(yes.texts.size(), 1)
        << "a stop is no failure: " << yes.texts.join(u'|').toStdString();
    EXPECT_EQ(page.lastRestoreResult(), 0);
    EXPECT_EQ(ReadAll(m_source + QStringLiteral("big.bin")), QByteArray("changed since the pass"));
    EXPECT_TRUE(namesIn(m_work).isEmpty()) << namesIn(m_work).join(u' ').toStdString();

    QTest::mouseClick(page.listButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(page));
    EXPECT_EQ(ShownNames(page).size(), 4);
}

TEST_F(RestorePageFtpTest, DroppedListingSaysSoAndTheNextListingWorks)
{
    FtpServerOptions dropping;
    dropping.dropTransferAfter = 0;
    dropping.dropTransfers = 2; // MLSD, then the LIST tried after it
    const auto server = startServer(dropping);
    server->makeFolder("backup/kept");
    BoxAnswerer ok;
    RestorePage& page = openPage(*server);
    ASSERT_TRUE(QTest::qWaitFor([&ok] { return !ok.texts.isEmpty(); }, 5000));
    EXPECT_TRUE(ok.texts.first().startsWith(Text("TXT00417"))) << ok.texts.first().toStdString();
    EXPECT_EQ(page.browser().lastOutcome(), ListingOutcome::Unreadable);
    EXPECT_EQ(page.list()->topLevelItemCount(), 0);

    QTest::mouseClick(page.listButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(page));
    EXPECT_EQ(ShownNames(page), QStringList{QStringLiteral("kept")});
    EXPECT_EQ(ok.texts.size(), 1);
}

TEST_F(RestorePageFtpTest, DroppedDownloadSaysSoAndKeepsTheOldBytes)
{
    FtpServerOptions dropping;
    dropping.dropTransferAfter = 4096; // listings stay below it, the archive does not
    dropping.dropTransfers = 100;
    const auto server = startServer(dropping);
    fillByCopy(*server);
    RestorePage& page = openPage(*server);
    WalkToSource(page, m_source);
    m_home.writeFile(QStringLiteral("Docs/big.bin"), "old bytes");
    {
        BoxAnswerer yes(QMessageBox::Yes);
        ClickRow(page, 3);
        QTest::mouseClick(page.toSourceButton(), Qt::LeftButton);
        ASSERT_TRUE(WaitIdle(page));
        ASSERT_TRUE(QTest::qWaitFor([&yes] { return yes.texts.size() >= 2; }, 5000));
        EXPECT_TRUE(anyContains(yes.texts, "TXT00053"));
        EXPECT_EQ(yes.texts.last(), Text("TXT00103"));
    }
    EXPECT_EQ(page.lastRestoreResult(), 0);
    EXPECT_EQ(ReadAll(m_source + QStringLiteral("big.bin")), QByteArray("old bytes"));
    EXPECT_EQ(namesIn(m_source), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt"),
                                              QStringLiteral("big.bin"), QStringLiteral("x")}));
    EXPECT_TRUE(namesIn(m_work).isEmpty()) << namesIn(m_work).join(u' ').toStdString();

    // The page is usable: the small a.txt comes down whole.
    m_home.writeFile(QStringLiteral("Docs/a.txt"), "changed");
    BoxAnswerer yes(QMessageBox::Yes);
    ClickRow(page, 1);
    QTest::mouseClick(page.toSourceButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(page));
    EXPECT_EQ(page.lastRestoreResult(), 1);
    EXPECT_EQ(ReadAll(m_source + QStringLiteral("a.txt")), QByteArray("the first a"));
}

} // namespace fernhold::test
