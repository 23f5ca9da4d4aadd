#include "core/text_table.h"
#include "settings_window_fixture.h"
#include "ui/settings/cleanup_page.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QtTest/QTest>

namespace fernhold::test {

namespace {

class SettingsCleanupTest : public SettingsWindowTest
{
protected:
    SettingsCleanupTest()
    {
        m_target = m_home.path() + QStringLiteral("vault/");
        JobSettings& s = m_app->settings();
        s.target(1).TargetType = QStringLiteral("WIN");
        s.target(1).TargetDir = m_target;
        s.CleanDays = 7;
        s.CleanKeepLatest = 0;
    }

    // Waits until the page's clean-up has ended; false when it did not in time.
    bool waitForEnd(CleanupPage& page, int limitMs = 20000)
    {
        QElapsedTimer since;
        since.start();
        while (page.cleaning() && since.elapsed() < limitMs) {
            QTest::qWait(20);
        }
        return !page.cleaning();
    }

    int oldVersionsLeft(int folders) const
    {
        int left = 0;
        for (int i = 0; i < folders; ++i) {
            left += QFile::exists(m_target + QStringLiteral("f%1/old@20200101~120000.txt").arg(i));
        }
        return left;
    }

    QString m_target;
};

} // namespace

TEST_F(SettingsCleanupTest, ByAgeDeletesOldVersionsOfTheFolderTarget)
{
    m_home.writeFile(QStringLiteral("vault/docs/a.txt@20200101~120000.txt"), "old");
    m_home.writeFile(QStringLiteral("vault/docs/a.txt@20991231~120000.txt"), "new");
    SettingsWindow& window = openWindow();
    window.tabs()->setCurrentIndex(4);
    auto& page = this->page<CleanupPage>(4);
    EXPECT_FALSE(page.runningNotice()->isVisible());
    {
        BoxAnswerer yes(QMessageBox::Yes);
        page.byAgeButton()->click();
        ASSERT_EQ(yes.texts.size(), 1);
        EXPECT_TRUE(yes.texts[0].contains(Text("TXT00095")));
    }
    EXPECT_FALSE(page.byAgeButton()->isEnabled());
    ASSERT_TRUE(waitForEnd(page));
    QTest::qWait(50); // the last status arrives queued
    EXPECT_FALSE(QFile::exists(m_target + QStringLiteral("docs/a.txt@20200101~120000.txt")));
    EXPECT_TRUE(QFile::exists(m_target + QStringLiteral("docs/a.txt@20991231~120000.txt")));
    EXPECT_FALSE(page.statusText()->text().isEmpty());
    EXPECT_TRUE(page.runningNotice()->isHidden());
    EXPECT_TRUE(page.byAgeButton()->isEnabled());
    window.close();
}

TEST_F(SettingsCleanupTest, StopAndClosingEndTheCleanup)
{
    constexpr int kFolders = 400;
    for (int i = 0; i < kFolders; ++i) {
        m_home.writeFile(QStringLiteral("vault/f%1/old@20200101~120000.txt").arg(i), "x");
    }
    SettingsWindow& window = openWindow();
    window.tabs()->setCurrentIndex(4);
    auto& page = this->page<CleanupPage>(4);
    {
        BoxAnswerer no(QMessageBox::No);
        page.byAgeButton()->click();
        EXPECT_EQ(no.texts.size(), 1);
    }
    EXPECT_FALSE(page.cleaning());
    EXPECT_EQ(oldVersionsLeft(kFolders), kFolders);
    {
        BoxAnswerer yes(QMessageBox::Yes);
        page.byAgeButton()->click();
    }
    page.stopButton()->click();
    ASSERT_TRUE(waitForEnd(page));
    const int afterStop = oldVersionsLeft(kFolders);
    EXPECT_GT(afterStop, 0);

    // Closing the window while a clean-up runs stops it first; the settings are saved.
    {
        BoxAnswerer yes(QMessageBox::Yes);
        page.byAgeButton()->click();
    }
    ASSERT_TRUE(page.cleaning());
    const JobSettings saved = closeAndLoad();
    ASSERT_TRUE(m_app->workerSlot().waitForEnd(20000));
    EXPECT_GT(oldVersionsLeft(kFolders), 0);
    EXPECT_EQ(saved.CleanDays, 7);
}

} // namespace fernhold::test
