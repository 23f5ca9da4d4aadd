#include "desktop_run.h"
#include "ui/about_window.h"
#include "ui/monitor_window.h"

namespace fernhold::test {

namespace {

JobSettings storedSettings(const TempHome& home)
{
    FakeUserInterface quiet;
    SettingsStore store(home.appData(), quiet);
    JobSettings settings;
    store.LoadSettings(settings);
    return settings;
}

} // namespace

// A monitor open when the program ends opens again at the next start, at the
// same place, whether the user quit or the session ended the program.
TEST_F(DesktopRunTest, QuitKeepsTheOpenMonitorForTheNextStart)
{
    m_settings.MonitorActive = 1;
    m_settings.MonitorPositionX = 0;
    m_settings.MonitorPositionY = 0;
    EXPECT_TRUE(runUntil([this] {
        MonitorWindow* monitor = m_shell->monitor();
        return monitor != nullptr && monitor->isVisible();
    }));
    const JobSettings stored = storedSettings(m_home);
    EXPECT_EQ(stored.MonitorActive, 1);
    const QPoint place = m_shell->monitor()->pos();
    EXPECT_EQ(stored.MonitorPositionX, place.x());
    EXPECT_EQ(stored.MonitorPositionY, place.y());
    EXPECT_NE(place, QPoint(0, 0));
}

TEST_F(DesktopRunTest, QuitWithAWindowOpenStillSavesAndClosesTheMonitorAfterwards)
{
    m_settings.MonitorActive = 1;
    EXPECT_TRUE(runUntil([this] {
        if (m_shell->monitor() == nullptr || !m_shell->monitor()->isVisible()) {
            return false;
        }
        m_shell->act(MenuEntry::About);
        return m_shell->about() != nullptr && m_shell->about()->isVisible();
    }));
    EXPECT_EQ(storedSettings(m_home).MonitorActive, 1);
    // The program's end hides the windows it showed.
    EXPECT_FALSE(m_shell->monitor()->isVisible());
}

} // namespace fernhold::test
