#include "core/job_settings.h"
#include "core/text_table.h"
#include "runtime/application.h"
#include "temp_home.h"
#include "ui/about_window.h"
#include "ui/desktop_shell.h"
#include "ui/end_window.h"
#include "ui/monitor_window.h"
#include "ui/qt_user_interface.h"
#include "ui/settings/settings_window.h"
#include "ui/splash_window.h"
#include "ui_fixture.h"

#include <QCheckBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QtTest/QTest>
#include <gtest/gtest.h>

namespace fernhold::test {

namespace {

// The desktop around a real Application in a temporary home; open() is
// given the settings as a test sets them, as the start-up would.
class DesktopShellTest : public ::testing::Test
{
protected:
    DesktopShellTest()
    {
        (void)WidgetApplication();
        // As the start-up does before the settings are first saved.
        QDir().mkpath(m_home.appData());
        m_app = std::make_unique<Application>(Application::Options{}, m_ui,
                                              *QCoreApplication::instance());
        m_shell = std::make_unique<DesktopShell>(m_ui);
    }

    void open() { m_shell->open(*m_app); }
    [[nodiscard]] QString setting(const char* key) const
    {
        QSettings ini(m_home.appData() + Text("Pref_FileName"), QSettings::IniFormat);
        const QStringList groups = ini.childGroups();
        for (const QString& group : groups) {
            const QVariant v = ini.value(group + u'/' + QLatin1StringView(key));
            if (v.isValid()) {
                return v.toString();
            }
        }
        return ini.value(QLatin1StringView(key)).toString();
    }
    void spin(int ms) { QTest::qWait(ms); }

    TempHome m_home;
    QtUserInterface m_ui;
    std::unique_ptr<Application> m_app;
    std::unique_ptr<DesktopShell> m_shell;
};

} // namespace

TEST_F(DesktopShellTest, SplashCheckBoxSavesShowSplashScreen)
{
    m_app->settings().ShowSplashScreen = 1;
    m_app->settings().StartWaitSeconds = 0;
    open();
    ASSERT_NE(m_shell->splash(), nullptr);
    EXPECT_TRUE(m_shell->splash()->isVisible());
    m_shell->splash()->dontShowAgain()->setChecked(true);
    m_shell->splash()->close();
    EXPECT_EQ(m_app->settings().ShowSplashScreen, 0);
    EXPECT_EQ(setting("ShowSplashScreen"), QStringLiteral("0"));
}

TEST_F(DesktopShellTest, NoSplashWithAStartDelayOrWhenSwitchedOff)
{
    m_app->settings().ShowSplashScreen = 1;
    m_app->settings().StartWaitSeconds = 30;
    open();
    EXPECT_EQ(m_shell->splash(), nullptr);
    // Closed without the tick, nothing is saved.
    DesktopShell other(m_ui);
    m_app->settings().StartWaitSeconds = 0;
    other.open(*m_app);
    ASSERT_NE(other.splash(), nullptr);
    other.splash()->close();
    EXPECT_EQ(m_app->settings().ShowSplashScreen, 1);
    EXPECT_FALSE(QFile::exists(m_home.appData() + Text("Pref_FileName")));
}

TEST_F(DesktopShellTest, MonitorPositionIsStoredAndReused)
{
    m_app->settings().ShowSplashScreen = 0;
    m_app->settings().MonitorActive = 1;
    m_app->settings().WindowsTransparency = 1;
    open();
    MonitorWindow* monitor = m_shell->monitor();
    ASSERT_NE(monitor, nullptr);
    EXPECT_TRUE(monitor->isVisible());
    EXPECT_EQ(monitor->pos(), MonitorWindow::defaultPosition(1.0));
    EXPECT_NEAR(monitor->windowOpacity(), 180 / 255.0, 0.01);
    EXPECT_EQ(monitor->windowTitle(),
              Text("GAD00031") + QStringLiteral(" - ") + Text("Program_Name"));

    monitor->move(40, 50);
    monitor->close();
    EXPECT_EQ(m_app->settings().MonitorActive, 0);
    EXPECT_EQ(m_app->settings().MonitorPositionX, 40);
    EXPECT_EQ(m_app->settings().MonitorPositionY, 50);

    m_shell->act(MenuEntry::Monitor);
    EXPECT_TRUE(m_shell->monitor()->isVisible());
    EXPECT_EQ(m_shell->monitor()->pos(), QPoint(40, 50));
    EXPECT_EQ(m_app->settings().MonitorActive, 1);

    // Program end keeps it open for the next start, at its place.
    m_shell->monitor()->move(60, 70);
    m_shell->closing();
    EXPECT_EQ(m_app->settings().MonitorActive, 1);
    EXPECT_EQ(m_app->settings().MonitorPositionX, 60);
}

TEST_F(DesktopShellTest, StatusEntriesSwitchAndShowTheStatusLine)
{
    m_app->settings().ShowSplashScreen = 0;
    m_app->settings().MonitorActive = 1;
    open();
    m_app->switchStatus(1, {});
    m_shell->act(MenuEntry::Activate); // already active: nothing
    EXPECT_EQ(m_app->status(), 1);
    m_shell->act(MenuEntry::Deactivate);
    EXPECT_EQ(m_app->status(), 0);
    spin(50);
    EXPECT_TRUE(m_shell->monitor()->statusLine().contains(Text("TXT00073")));
    m_shell->act(MenuEntry::Deactivate); // already inactive: nothing
    EXPECT_EQ(m_app->status(), 0);
    m_shell->act(MenuEntry::Activate);
    EXPECT_EQ(m_app->status(), 1);
    spin(50);
    EXPECT_TRUE(m_shell->monitor()->statusLine().contains(Text("TXT00074")));
    // The published status follows.
    QSettings registry(m_home.appData() + QStringLiteral("registry.ini"), QSettings::IniFormat);
    EXPECT_TRUE(registry.allKeys().join(u' ').contains(QStringLiteral("ActualStatusValue")));

    // The tray icon follows the status the periodic section shows.
    m_ui.showProgramStatus(2, QStringLiteral("Fernhold - paused"));
    EXPECT_EQ(m_shell->shownStatus(), 2);
    EXPECT_EQ(m_shell->trayIcon().toolTip(), QStringLiteral("Fernhold - paused"));
}

TEST_F(DesktopShellTest, EntriesWithMessages)
{
    m_app->settings().ShowSplashScreen = 0;
    open();
    {
        BoxAnswerer answerer;
        m_app->settings().LogfileActive = 0;
        m_shell->act(MenuEntry::LogFile);
        m_app->settings().LogfileActive = 1;
        m_shell->act(MenuEntry::LogFile); // on, but no log yet
        // No updater beside the program: the package manager's word.
        m_shell->act(MenuEntry::Updates);
        ASSERT_EQ(answerer.texts.size(), 3);
        EXPECT_EQ(answerer.texts[0], Text("TXT00139"));
        EXPECT_EQ(answerer.texts[1], Text("TXT00093"));
        EXPECT_EQ(answerer.texts[2], Text("TXT00534"));
    }
    {
        // The settings window pauses the program while it is open.
        BoxAnswerer answerer;
        m_app->settings().ProgrammStatus = 1;
        m_shell->act(MenuEntry::Settings);
        ASSERT_NE(m_shell->settingsWindow(), nullptr);
        EXPECT_EQ(m_app->status(), 2);
        m_shell->settingsWindow()->close();
        EXPECT_TRUE(answerer.texts.isEmpty());
        EXPECT_EQ(m_app->status(), 1);
    }
    {
        BoxAnswerer answerer;
        m_shell->act(MenuEntry::VerifyProgram);
        ASSERT_EQ(answerer.texts.size(), 2);
        QFile self(m_app->programPath());
        ASSERT_TRUE(self.open(QIODevice::ReadOnly));
        const QByteArray digest =
            QCryptographicHash::hash(self.readAll(), QCryptographicHash::Sha256).toHex();
        EXPECT_TRUE(answerer.texts[1].contains(QString::fromLatin1(digest)));
    }
}

TEST_F(DesktopShellTest, AboutShowsNameVersionAndLink)
{
    m_app->settings().ShowSplashScreen = 0;
    open();
    m_shell->act(MenuEntry::About);
    AboutWindow* about = m_shell->about();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    const auto* name = about->findChild<QLabel*>(QStringLiteral("name"));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), Text("Program_Name"));
    EXPECT_GE(name->font().pointSize(), 20);
    const auto* link = about->findChild<QLabel*>(QStringLiteral("link"));
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->text().contains(Text("Online_Adresse")));
    bool versionShown = false;
    for (const QLabel* label : about->findChildren<QLabel*>()) {
        versionShown = versionShown || label->text().contains(Text("Version_Name"));
    }
    EXPECT_TRUE(versionShown);
}

TEST_F(DesktopShellTest, EndWindowShowsTheWaitAndCloses)
{
    m_app->settings().ShowSplashScreen = 0;
    open();
    m_shell->waitingForWorker(5);
    ASSERT_NE(m_shell->endWindow(), nullptr);
    EXPECT_TRUE(m_shell->endWindow()->isVisible());
    EXPECT_EQ(m_shell->endWindow()->percent(), 5);
    m_shell->waitingForWorker(10);
    EXPECT_EQ(m_shell->endWindow()->percent(), 10);
    m_shell->waitingForWorker(-1);
    EXPECT_EQ(m_shell->endWindow(), nullptr);
}

} // namespace fernhold::test
