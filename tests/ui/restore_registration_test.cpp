#include "core/text_table.h"
#include "core/worker_slot.h"
#include "desktop_run.h"
#include "engine/target_layout.h"
#include "restore/backup_browser.h"
#include "restore/folder_restore_window.h"
#include "restore_page_driver.h"
#include "run_program.h"
#include "ui/settings/folder_restore_dialog.h"
#include "ui/settings/restore_page.h"
#include "ui/settings/settings_window.h"

#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTreeWidget>
#include <QtTest/QTest>

namespace fernhold::test {

namespace {

// The running program with its restore page: what the folder restore
// window brings back is known to the program's next pass.
class RestoreRegistrationTest : public DesktopRunTest
{
protected:
    void SetUp() override
    {
        m_source = m_home.path() + QStringLiteral("Docs/");
        m_vault = m_home.path() + QStringLiteral("vault/");
        ASSERT_TRUE(QDir().mkpath(m_vault));
        m_home.writeFile(QStringLiteral("Docs/a.txt"), "one");
        m_home.writeFile(QStringLiteral("Docs/b.txt"), "bee");
        m_home.writeFile(QStringLiteral("Docs/c.txt"), "sea");
        SourceEntry source;
        source.SourceDirPfad = m_source;
        source.SourceDirSub = 1;
        source.SourceDirTarget = QStringLiteral("1");
        m_settings.sources.push_back(source);
        m_settings.target(1).TargetType = QStringLiteral("WIN");
        m_settings.target(1).TargetDir = m_vault;
        m_settings.ProgrammStatus = 1;
        FakeUserInterface quiet;
        SettingsStore store(m_home.appData(), quiet);
        ASSERT_EQ(store.SaveSettings(m_settings), 1);
        // Two passes of their own: a.txt has two versions, b.txt and c.txt one.
        ASSERT_EQ(RunFernhold({QStringLiteral("--once"), QStringLiteral("--full")}).exitCode, 0);
        const QString first = QDateTime::currentDateTime().toString(QStringLiteral("HHmmss"));
        ASSERT_TRUE(QTest::qWaitFor(
            [&first] {
                return QDateTime::currentDateTime().toString(QStringLiteral("HHmmss")) != first;
            },
            3000));
        m_home.writeFile(QStringLiteral("Docs/a.txt"), "two");
        ASSERT_EQ(RunFernhold({QStringLiteral("--once")}).exitCode, 0);
        ASSERT_EQ(versions(QStringLiteral("a.txt")), 2);
    }

    int versions(const QString& name) const
    {
        int count = 0;
        QDirIterator it(m_vault + MirrorText(m_source), {name + QStringLiteral("@*")}, QDir::Files);
        while (it.hasNext()) {
            it.next();
            ++count;
        }
        return count;
    }

    [[nodiscard]] bool passOver() const
    {
        return m_shell->trayIcon().toolTip().contains(Text("TXT00556")) &&
               !m_app->workerSlot().isBusy();
    }

    // From the restore page: the oldest version of every file of the source
    // folder back to its place, then the newest of a.txt.
    void restoreFromThePage()
    {
        m_shell->act(MenuEntry::Settings);
        SettingsWindow* window = m_shell->settingsWindow();
        ASSERT_NE(window, nullptr);
        window->tabs()->setCurrentIndex(3);
        auto* page = dynamic_cast<RestorePage*>(window->page(3));
        ASSERT_NE(page, nullptr);
        ASSERT_TRUE(WaitIdle(*page));
        WalkToSource(*page, m_source);
        QTest::mouseClick(page->folderButton(), Qt::LeftButton);
        FolderRestoreDialog* dialog = page->folderDialog();
        ASSERT_NE(dialog, nullptr);
        dialog->oldestOption()->setChecked(true);
        QTest::mouseClick(dialog->searchButton(), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([dialog] { return !dialog->running(); }, 30000));
        ASSERT_EQ(dialog->model().rows().size(), 3);
        {
            BoxAnswerer yes(QMessageBox::Yes);
            QTest::mouseClick(dialog->toSourceButton(), Qt::LeftButton);
            ASSERT_TRUE(QTest::qWaitFor([dialog] { return !dialog->running(); }, 30000));
            QTest::qWait(100);
        }
        EXPECT_EQ(dialog->model().counts().restored, 3);
        static_cast<QDialog*>(dialog)->reject();
        ASSERT_TRUE(QTest::qWaitFor([page] { return page->folderDialog() == nullptr; }, 2000));

        // Then the newest version of a.txt alone, with the page's button.
        const int newest = static_cast<int>(page->browser().entries().lastIndexOf(
            QRegularExpression(QStringLiteral("fa\\.txt@.*"))));
        ASSERT_GE(newest, 0) << page->browser().entries().join(u' ').toStdString();
        ClickRow(*page, newest);
        {
            BoxAnswerer yes(QMessageBox::Yes);
            QTest::mouseClick(page->toSourceButton(), Qt::LeftButton);
            ASSERT_TRUE(WaitIdle(*page));
        }
        EXPECT_EQ(page->lastRestoreResult(), 1);
        window->close();
    }

    QString m_source;
    QString m_vault;
};

} // namespace

TEST_F(RestoreRegistrationTest, NextPassKeepsRestoredFilesButSavesLaterChanges)
{
    int baseA = 0;
    int baseB = 0;
    int baseC = 0;
    bool started = false;
    bool finished = false;
    const auto script = [&] {
        // The start-up scan takes the files as they are; no pass is owed.
        ASSERT_TRUE(QTest::qWaitFor([this] { return !m_app->workerSlot().isBusy(); }, 30000));
        baseA = versions(QStringLiteral("a.txt"));
        baseB = versions(QStringLiteral("b.txt"));
        baseC = versions(QStringLiteral("c.txt"));
        restoreFromThePage();
        EXPECT_EQ(ReadAll(m_source + QStringLiteral("a.txt")), QByteArray("two"));
        EXPECT_EQ(ReadAll(m_source + QStringLiteral("b.txt")), QByteArray("bee"));
        m_home.writeFile(QStringLiteral("Docs/c.txt"), "sea changed");
        m_app->backUpNow();
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return versions(QStringLiteral("c.txt")) > baseC && passOver(); }, 30000));
    };
    const bool reached = runUntil(
        [&] {
            if (!started) {
                started = true;
                script();
                finished = true;
            }
            return finished;
        },
        90000);
    ASSERT_TRUE(reached);
    EXPECT_EQ(versions(QStringLiteral("c.txt")), baseC + 1) << "a file changed afterwards";
    EXPECT_EQ(versions(QStringLiteral("a.txt")), baseA) << "the restored files are known";
    EXPECT_EQ(versions(QStringLiteral("b.txt")), baseB);
}

} // namespace fernhold::test
