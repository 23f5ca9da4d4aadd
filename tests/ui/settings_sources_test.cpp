#include "core/text_table.h"
#include "run_program.h"
#include "settings_window_fixture.h"
#include "ui/settings/sources_page.h"
#include "ui/settings/targets_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTreeWidget>
#include <QtTest/QTest>

namespace fernhold::test {

TEST_F(SettingsWindowTest, SourceEntriesStoredChangedAndDeleted)
{
    m_home.writeFile(QStringLiteral("docs/a.txt"), "a");
    m_home.writeFile(QStringLiteral("art/b.png"), "b");
    SettingsWindow& window = openWindow();
    window.tabs()->setCurrentIndex(1);
    auto& sources = page<SourcesPage>(1);
    EXPECT_FALSE(sources.folder()->isEnabled());
    EXPECT_FALSE(sources.storeButton()->isEnabled());
    EXPECT_FALSE(sources.changeButton()->isEnabled());

    // New: the edit controls open with target 1 ticked.
    sources.newButton()->click();
    EXPECT_TRUE(sources.folder()->isEnabled());
    EXPECT_TRUE(sources.targetBox(1)->isChecked());
    {
        // An empty or missing folder is refused.
        BoxAnswerer answerer;
        sources.storeButton()->click();
        sources.folder()->setText(m_home.path() + QStringLiteral("missing"));
        sources.storeButton()->click();
        ASSERT_EQ(answerer.texts.size(), 2);
        EXPECT_EQ(answerer.texts[0], Text("TXT00086"));
        EXPECT_EQ(answerer.texts[1], Text("TXT00086"));
        EXPECT_TRUE(m_app->settings().sources.isEmpty());
    }
    sources.folder()->setText(QStringLiteral("  ") + m_home.path() + QStringLiteral("docs  "));
    sources.subFolders()->setChecked(true);
    sources.filter()->setText(QStringLiteral("TXT, .doc"));
    sources.targetBox(3)->setChecked(true);
    sources.storeButton()->click();
    sources.newButton()->click();
    sources.folder()->setText(m_home.path() + QStringLiteral("art/"));
    sources.storeButton()->click();
    ASSERT_EQ(sources.list()->topLevelItemCount(), 2);
    // Sorted by folder: art before docs.
    EXPECT_EQ(sources.list()->topLevelItem(0)->text(0), m_home.path() + QStringLiteral("art/"));
    EXPECT_EQ(sources.list()->topLevelItem(1)->text(1), QStringLiteral("OK"));
    EXPECT_EQ(sources.list()->topLevelItem(1)->text(3), QStringLiteral("1,3"));
    EXPECT_FALSE(sources.folder()->isEnabled());

    // Change the docs entry: target 3 only.
    sources.list()->setCurrentItem(sources.list()->topLevelItem(1));
    EXPECT_TRUE(sources.changeButton()->isEnabled());
    sources.changeButton()->click();
    EXPECT_EQ(sources.folder()->text(), m_home.path() + QStringLiteral("docs/"));
    EXPECT_TRUE(sources.targetBox(3)->isChecked());
    sources.targetBox(1)->setChecked(false);
    sources.storeButton()->click();
    EXPECT_EQ(sources.list()->topLevelItem(1)->text(3), QStringLiteral("3"));

    // Delete the art entry, no question asked.
    sources.list()->setCurrentItem(sources.list()->topLevelItem(0));
    sources.deleteButton()->click();
    ASSERT_EQ(sources.list()->topLevelItemCount(), 1);

    const JobSettings saved = closeAndLoad();
    ASSERT_EQ(saved.sources.size(), 1);
    EXPECT_EQ(saved.sources[0].SourceDirPfad, m_home.path() + QStringLiteral("docs/"));
    EXPECT_EQ(saved.sources[0].SourceDirSub, 1);
    EXPECT_EQ(saved.sources[0].SourceDirTarget, QStringLiteral("3"));
    EXPECT_FALSE(saved.sources[0].SourceDirFilter.contains(u' '));
    QSettings list(m_home.appData() + Text("List_FileName"), QSettings::IniFormat);
    EXPECT_TRUE(list.allKeys().join(u' ').contains(QStringLiteral("SourceDirPfad")));
}

TEST_F(SettingsWindowTest, SystemFolderWithSubFoldersIsNotedAndStored)
{
    SettingsWindow& window = openWindow();
    window.tabs()->setCurrentIndex(1);
    auto& sources = page<SourcesPage>(1);
    BoxAnswerer answerer;
    sources.newButton()->click();
    sources.folder()->setText(QStringLiteral("/usr"));
    sources.subFolders()->setChecked(true);
    sources.storeButton()->click();
    ASSERT_EQ(answerer.texts.size(), 1);
    EXPECT_EQ(answerer.texts[0], Text("TXT00084"));
    ASSERT_EQ(m_app->settings().sources.size(), 1);
    EXPECT_EQ(m_app->settings().sources[0].SourceDirPfad, QStringLiteral("/usr/"));
    window.close();
}

// A user who only ever used the window: a source folder and a folder target
// set up there give a working backup pass of the real program.
TEST_F(SettingsWindowTest, SourceAndTargetSetUpInTheWindowGiveAWorkingPass)
{
    m_home.writeFile(QStringLiteral("work/report.txt"), "quarterly figures");
    QDir().mkpath(m_home.path() + QStringLiteral("vault"));
    m_app->settings().target(1).TargetType.clear();
    SettingsWindow& window = openWindow();

    window.tabs()->setCurrentIndex(2);
    auto& targets = page<TargetsPage>(2);
    targets.typeOption(1)->setChecked(true);
    targets.folder()->setText(m_home.path() + QStringLiteral("vault"));
    {
        BoxAnswerer answerer;
        targets.checkButton()->click();
        ASSERT_EQ(answerer.texts.size(), 1);
        EXPECT_EQ(answerer.texts[0], Text("TXT00086a"));
    }

    window.tabs()->setCurrentIndex(1);
    auto& sources = page<SourcesPage>(1);
    sources.newButton()->click();
    sources.folder()->setText(m_home.path() + QStringLiteral("work"));
    sources.subFolders()->setChecked(true);
    sources.storeButton()->click();
    window.activeOption()->setChecked(true);
    const JobSettings saved = closeAndLoad();
    EXPECT_EQ(saved.target(1).TargetType, QStringLiteral("WIN"));
    EXPECT_EQ(saved.target(1).TargetDir, m_home.path() + QStringLiteral("vault/"));
    // The window's program ends before the next one starts.
    m_shell.reset();
    m_app.reset();

    const RunResult run = RunFernhold({QStringLiteral("--once")});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList versions = filesBelow(m_home.path() + QStringLiteral("vault/"));
    ASSERT_EQ(versions.size(), 1) << versions.join(u' ').toStdString();
    EXPECT_TRUE(versions[0].contains(QStringLiteral("work/report.txt@")));
}

} // namespace fernhold::test
