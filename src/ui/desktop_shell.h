#pragma once

#include "runtime/program_shell.h"
#include "ui/program_menus.h"

#include <QObject>
#include <QPoint>
#include <QSystemTrayIcon>
#include <memory>

namespace fernhold {

class AboutWindow;
class EndWindow;
class MonitorWindow;
class QtUserInterface;
class SettingsWindow;
class SplashWindow;

// The desktop around the running program: the tray icon with its status
// icons and menu, the splash, about, monitor and end-of-program windows, and
// what each menu entry does.
class DesktopShell : public QObject, public ProgramShell
{
    Q_OBJECT
public:
    explicit DesktopShell(QtUserInterface& ui);
    ~DesktopShell() override;

    // ProgramShell
    void open(ProgramControl& control) override;
    void waitingToStart(bool waiting) override;
    [[nodiscard]] bool iconClicked() override;
    void copyToClipboard(const QString& text) override;
    void turn() override;
    void closing() override;
    void waitingForWorker(int percent) override;
    void notify(const QString& title, const QString& text) override;
    void showLastPass(const QString& text) override;

    // What a menu entry does.
    void act(MenuEntry entry);

    [[nodiscard]] QMenu* iconMenu() const { return m_iconMenu.get(); }
    [[nodiscard]] QMenu* helpMenu() const { return m_helpMenu.get(); }
    [[nodiscard]] QSystemTrayIcon& trayIcon() { return m_tray; }
    [[nodiscard]] MonitorWindow* monitor() const { return m_monitor.get(); }
    [[nodiscard]] SplashWindow* splash() const { return m_splash.get(); }
    [[nodiscard]] AboutWindow* about() const { return m_about.get(); }
    [[nodiscard]] EndWindow* endWindow() const { return m_end.get(); }
    [[nodiscard]] SettingsWindow* settingsWindow() const { return m_settings.get(); }
    [[nodiscard]] int shownStatus() const { return m_status; }
    // The last balloon asked for (also where no tray host can show it).
    [[nodiscard]] QString lastNotice() const { return m_lastNotice; }

    // The folder with the help file and the manual.
    [[nodiscard]] static QString documentationFolder(const QString& programPath);

private:
    void iconActivated(QSystemTrayIcon::ActivationReason reason);
    void openMonitor();
    void monitorClosed(QPoint position);
    void splashClosed(bool dontShowAgain);
    void showStatus(int status, const QString& tooltip);
    [[nodiscard]] QString fullTooltip() const;
    void showLogFile();
    void openDocument(const QString& fileName, const QString& fragment = {});
    void checkForUpdates();
    void verifyProgram();
    void openSettings();

    QtUserInterface& m_ui;
    ProgramControl* m_control = nullptr; // set by open(); not owned
    double m_scale = 1.0;
    QSystemTrayIcon m_tray;
    std::unique_ptr<QMenu> m_iconMenu;
    std::unique_ptr<QMenu> m_helpMenu;
    std::unique_ptr<MonitorWindow> m_monitor;
    std::unique_ptr<SplashWindow> m_splash;
    std::unique_ptr<AboutWindow> m_about;
    std::unique_ptr<EndWindow> m_end;
    std::unique_ptr<SettingsWindow> m_settings;
    QString m_lastStatusLine;
    int m_status = -1;
    QString m_tooltip;
    QString m_lastPass;
    QString m_lastNotice;
    bool m_trayAvailable = false;
    bool m_clicked = false;
    bool m_waitingToStart = false;
};

} // namespace fernhold
