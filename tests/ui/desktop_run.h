#pragma once

// The whole program as a desktop user starts it, in-process: a real
// Application with the Qt interface and the desktop shell, in a temporary
// home whose settings a test writes first.

#include "core/job_settings.h"
#include "core/settings_store.h"
#include "fake_user_interface.h"
#include "runtime/application.h"
#include "temp_home.h"
#include "ui/desktop_shell.h"
#include "ui/qt_user_interface.h"
#include "ui_fixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace fernhold::test {

class DesktopRunTest : public ::testing::Test
{
protected:
    DesktopRunTest()
    {
        (void)WidgetApplication();
        QDir().mkpath(m_home.appData());
        m_settings.ShowSplashScreen = 0;
        m_settings.StartWaitSeconds = 0;
        m_settings.LoadOnWindowsStart = 0;
    }

    // Writes the settings, starts the program and ends it once `done` holds
    // (polled every 50 ms while the program runs) or `limitMs` passed. Gives
    // false when the limit ended it.
    bool runUntil(const std::function<bool()>& done, int limitMs = 30000)
    {
        FakeUserInterface quiet;
        SettingsStore store(m_home.appData(), quiet);
        EXPECT_EQ(store.SaveSettings(m_settings), 1);
        m_app = std::make_unique<Application>(Application::Options{}, m_ui,
                                              *QCoreApplication::instance());
        m_shell = std::make_unique<DesktopShell>(m_ui);
        m_app->setShell(*m_shell);
        bool reached = false;
        QElapsedTimer since;
        since.start();
        QTimer poll;
        poll.setInterval(50);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            reached = reached || done();
            if (reached || since.elapsed() > limitMs) {
                m_app->quit();
            }
        });
        poll.start();
        EXPECT_EQ(m_app->run(), 0);
        m_elapsedMs = since.elapsed();
        return reached;
    }

    // A source folder with one file, backed up to target 1 at `backup/`.
    void oneSource()
    {
        m_home.writeFile(QStringLiteral("data/a.txt"), "a");
        SourceEntry source;
        source.SourceDirPfad = m_home.path() + QStringLiteral("data/");
        source.SourceDirSub = 1;
        m_settings.sources.push_back(source);
        QDir().mkpath(m_home.path() + QStringLiteral("backup"));
        m_settings.target(1).TargetType = QStringLiteral("WIN");
        m_settings.target(1).TargetDir = m_home.path() + QStringLiteral("backup/");
        m_settings.ProgrammStatus = 1;
    }

    TempHome m_home;
    JobSettings m_settings;
    QtUserInterface m_ui;
    std::unique_ptr<Application> m_app;
    std::unique_ptr<DesktopShell> m_shell;
    qint64 m_elapsedMs = 0;
};

} // namespace fernhold::test
