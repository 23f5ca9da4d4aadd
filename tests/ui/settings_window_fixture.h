#pragma once

// The settings window of a real Application in a temporary home, opened from
// the icon menu's first entry as a user opens it.

#include "core/job_settings.h"
#include "core/settings_store.h"
#include "fake_user_interface.h"
#include "runtime/application.h"
#include "temp_home.h"
#include "ui/desktop_shell.h"
#include "ui/qt_user_interface.h"
#include "ui/settings/settings_window.h"
#include "ui_fixture.h"

#include <QDir>
#include <QTabWidget>
#include <gtest/gtest.h>
#include <memory>

namespace fernhold::test {

class SettingsWindowTest : public ::testing::Test
{
protected:
    SettingsWindowTest()
    {
        (void)WidgetApplication();
        QDir().mkpath(m_home.appData());
        m_app = std::make_unique<Application>(Application::Options{}, m_ui,
                                              *QCoreApplication::instance());
        m_shell = std::make_unique<DesktopShell>(m_ui);
        JobSettings& s = m_app->settings();
        s.ShowSplashScreen = 0;
        s.LoadOnWindowsStart = 0;
    }

    SettingsWindow& openWindow()
    {
        if (!m_opened) {
            m_shell->open(*m_app);
            m_opened = true;
        }
        m_shell->act(MenuEntry::Settings);
        SettingsWindow* window = m_shell->settingsWindow();
        EXPECT_NE(window, nullptr);
        return *window;
    }

    template <typename Page> Page& page(int index)
    {
        auto* p = dynamic_cast<Page*>(m_shell->settingsWindow()->page(index));
        EXPECT_NE(p, nullptr);
        return *p;
    }

    void showPage(int index) { m_shell->settingsWindow()->tabs()->setCurrentIndex(index); }

    // Closes the window and reads the settings files as the next start would.
    JobSettings closeAndLoad()
    {
        m_shell->settingsWindow()->close();
        FakeUserInterface quiet;
        SettingsStore store(m_home.appData(), quiet);
        JobSettings loaded;
        store.LoadSettings(loaded);
        return loaded;
    }

    TempHome m_home;
    QtUserInterface m_ui;
    std::unique_ptr<Application> m_app;
    std::unique_ptr<DesktopShell> m_shell;
    bool m_opened = false;
};

} // namespace fernhold::test
