#include "core/target_choice.h"
#include "core/text_table.h"
#include "settings_window_fixture.h"
#include "ui/settings/cleanup_page.h"
#include "ui/settings/general_page.h"
#include "ui/settings/targets_page.h"
#include "ui/settings/time_windows_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QtTest/QTest>

namespace fernhold::test {

TEST_F(SettingsWindowTest, ArchiveBoxesFollowEachOther)
{
    m_app->settings().CompressData = 1;
    m_app->settings().CryptData = 1;
    m_app->settings().CryptPassword = QStringLiteral("secret");
    openWindow();
    auto& general = page<GeneralPage>(0);
    EXPECT_TRUE(general.encrypt()->isChecked());
    EXPECT_TRUE(general.password()->isEnabled());

    // Unticking compress unticks and disables encrypt and its fields.
    general.compress()->setChecked(false);
    EXPECT_FALSE(general.encrypt()->isChecked());
    EXPECT_FALSE(general.encrypt()->isEnabled());
    EXPECT_FALSE(general.password()->isEnabled());
    EXPECT_FALSE(general.method()->isEnabled());
    general.compress()->setChecked(true);
    EXPECT_TRUE(general.encrypt()->isEnabled());
    EXPECT_FALSE(general.encrypt()->isChecked());
    EXPECT_FALSE(general.password()->isEnabled());
    general.encrypt()->setChecked(true);
    EXPECT_TRUE(general.password()->isEnabled());
    EXPECT_TRUE(general.method()->isEnabled());

    // An empty password switches encryption off when the window is read.
    general.password()->setText(QStringLiteral("   "));
    const JobSettings saved = closeAndLoad();
    EXPECT_EQ(saved.CryptData, 0);
    EXPECT_EQ(saved.CompressData, 1);
}

TEST_F(SettingsWindowTest, PasswordRefusesCharactersAboveAscii)
{
    m_app->settings().CryptData = 1;
    m_app->settings().CryptPassword = QStringLiteral("ab");
    openWindow();
    auto& general = page<GeneralPage>(0);
    BoxAnswerer answerer;
    general.password()->setFocus();
    general.password()->end(false);
    QTest::keyClicks(general.password(), QStringLiteral("c"));
    // QTest types only ASCII keys; the "é" arrives as input does.
    general.password()->insert(QStringLiteral("é12"));
    QTest::qWait(100);
    ASSERT_EQ(answerer.texts.size(), 1);
    EXPECT_TRUE(answerer.texts[0].contains(Text("TXT00180")));
    EXPECT_TRUE(answerer.texts[0].contains(Text("TXT00182")));
    // The "é" and what came after it are gone.
    EXPECT_EQ(general.password()->text(), QStringLiteral("abc"));
    EXPECT_FALSE(general.password()->text().contains(QChar(u'é')));
    const JobSettings saved = closeAndLoad();
    EXPECT_EQ(saved.CryptPassword, QStringLiteral("abc"));
    EXPECT_EQ(saved.CryptData, 1);
}

TEST_F(SettingsWindowTest, FtpTargetChooserTextAndTargetSwitching)
{
    JobSettings& s = m_app->settings();
    s.target(2).TargetType = QStringLiteral("FTP");
    s.target(2).FTPServerName = QStringLiteral("H");
    s.target(2).FTPServerPort = QStringLiteral("21");
    s.target(2).FTPSubDir = QStringLiteral("/backup");
    SettingsWindow& window = openWindow();
    window.tabs()->setCurrentIndex(2);
    auto& targets = page<TargetsPage>(2);
    EXPECT_EQ(targets.chooser()->itemText(1),
              QStringLiteral("2. ") + Text("GAD00175") + QStringLiteral(" --> //H:21/backup"));
    EXPECT_TRUE(targets.chooser()->itemText(0).startsWith(QStringLiteral("1. ") + Text("GAD00175") +
                                                          QStringLiteral(" (standard) --> ")));

    // Target 1 becomes a folder; choosing target 2 keeps it and shows target 2.
    targets.typeOption(1)->setChecked(true);
    targets.folder()->setText(m_home.path());
    EXPECT_FALSE(targets.server()->isEnabled());
    targets.chooser()->setCurrentIndex(1);
    emit targets.chooser()->activated(1);
    EXPECT_EQ(m_app->settings().target(1).TargetType, QStringLiteral("WIN"));
    EXPECT_EQ(m_app->settings().SelectedTarget, 2);
    EXPECT_TRUE(targets.typeOption(2)->isChecked());
    EXPECT_EQ(targets.server()->text(), QStringLiteral("H"));
    EXPECT_TRUE(targets.server()->isEnabled());
    EXPECT_FALSE(targets.folder()->isEnabled());
    EXPECT_TRUE(targets.chooser()->itemText(0).endsWith(m_home.path()));
    // The clean-up page's chooser follows.
    auto& cleanup = page<CleanupPage>(4);
    EXPECT_EQ(cleanup.chooser()->currentIndex(), 1);
    EXPECT_EQ(cleanup.chooser()->itemText(0), targets.chooser()->itemText(0));

    // Letters and numbers above 65535 do not get into the port field.
    targets.port()->clear();
    QTest::keyClicks(targets.port(), QStringLiteral("7x0000"));
    EXPECT_EQ(targets.port()->text(), QStringLiteral("7000"));
    const JobSettings saved = closeAndLoad();
    EXPECT_EQ(saved.target(2).FTPServerPort, QStringLiteral("7000"));
    EXPECT_EQ(saved.target(1).TargetDir, m_home.path());
}

TEST_F(SettingsWindowTest, FreeSpaceMaskFillsFromTheRight)
{
    constexpr qint64 kMb = 1024 * 1024;
    EXPECT_EQ(TargetsPage::megabytes(0), QStringLiteral("     '  0 MB  "));
    EXPECT_EQ(TargetsPage::megabytes(5 * kMb), QStringLiteral("     '  5 MB  "));
    EXPECT_EQ(TargetsPage::megabytes(1234567 * kMb), QStringLiteral(" 1234'567 MB  "));
    EXPECT_EQ(TargetsPage::megabytes(123456789 * kMb), QStringLiteral("123456'789 MB  "));
}

TEST_F(SettingsWindowTest, TimeWindowRowsKeepTheirOrderAndClear)
{
    m_app->settings().Schedule =
        QStringLiteral("8,0,17,30,0,1,1,1,1,1,0;0,0,0,0,0,0,0,0,0,0,0;0,0,0,0,0,0,0,0,0,0,0;"
                       "0,0,0,0,0,0,0,0,0,0,0;0,0,0,0,0,0,0,0,0,0,0;0,0,0,0,0,0,0,0,0,0,0;"
                       "22,15,23,59,1,0,0,0,0,0,1;");
    m_app->settings().ScheduleMode = 1;
    openWindow();
    auto& times = page<TimeWindowsPage>(6);
    EXPECT_TRUE(times.modeOption(1)->isChecked());
    EXPECT_EQ(times.modeText()->text(), Text("GAD00153"));
    EXPECT_EQ(times.row(0).times[3]->value(), 30);
    EXPECT_TRUE(times.row(6).days[6]->isChecked());

    // A from time later than the to time moves the to time along.
    times.row(1).times[0]->setValue(10);
    times.row(1).times[1]->setValue(45);
    EXPECT_EQ(times.row(1).times[2]->value(), 10);
    EXPECT_EQ(times.row(1).times[3]->value(), 45);
    times.row(1).times[2]->setValue(9); // earlier than from: moved back
    EXPECT_EQ(times.row(1).times[2]->value(), 10);
    // The clear button empties its row only.
    times.row(0).clear->click();
    for (QSpinBox* spin : times.row(0).times) {
        EXPECT_EQ(spin->value(), 0);
    }
    for (QCheckBox* day : times.row(0).days) {
        EXPECT_FALSE(day->isChecked());
    }
    times.modeOption(2)->setChecked(true);
    EXPECT_EQ(times.modeText()->text(), Text("GAD00154"));
    const JobSettings saved = closeAndLoad();
    EXPECT_EQ(saved.ScheduleMode, 2);
    EXPECT_EQ(
        saved.Schedule,
        QStringLiteral("0,0,0,0,0,0,0,0,0,0,0;10,45,10,45,0,0,0,0,0,0,0;0,0,0,0,0,0,0,0,0,0,0;"
                       "0,0,0,0,0,0,0,0,0,0,0;0,0,0,0,0,0,0,0,0,0,0;0,0,0,0,0,0,0,0,0,0,0;"
                       "22,15,23,59,1,0,0,0,0,0,1;"));
}

TEST_F(SettingsWindowTest, RepeatedFullBackupRestartsItsInterval)
{
    m_app->settings().InitialRepeater = 0;
    m_app->settings().InitialFullBackupLastStarted = 1000;
    SettingsWindow& window = openWindow();
    auto* repeater = window.findChild<QCheckBox*>(QStringLiteral("InitialRepeater"));
    ASSERT_NE(repeater, nullptr);
    repeater->setChecked(true);
    const JobSettings saved = closeAndLoad();
    EXPECT_EQ(saved.InitialRepeater, 1);
    EXPECT_GT(saved.InitialFullBackupLastStarted, 1000000);
}

TEST_F(SettingsWindowTest, FullBackupAndRebuildButtonsAsk)
{
    openWindow();
    auto& general = page<GeneralPage>(0);
    {
        BoxAnswerer no(QMessageBox::No);
        general.fullBackupButton()->click();
        ASSERT_EQ(no.texts.size(), 1);
        EXPECT_TRUE(no.texts[0].contains(Text("TXT00115")));
        EXPECT_EQ(m_app->runState().FullBackupRequested.load(), 0);
    }
    {
        BoxAnswerer yes(QMessageBox::Yes);
        general.fullBackupButton()->click();
        EXPECT_EQ(m_app->runState().FullBackupRequested.load(), 1);
    }
    {
        BoxAnswerer ok;
        general.rebuildButton()->click();
        ASSERT_EQ(ok.texts.size(), 1);
        EXPECT_EQ(ok.texts[0], Text("TXT00083"));
        EXPECT_EQ(m_app->runState().RescanRequested.load(), 1);
        EXPECT_EQ(m_app->runState().TakeIndexAsReference.load(), 1);
        EXPECT_EQ(m_app->runState().FullBackupRequested.load(), 0);
    }
    m_shell->settingsWindow()->close();
}

} // namespace fernhold::test
