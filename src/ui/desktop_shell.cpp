#include "ui/desktop_shell.h"

#include "core/job_settings.h"
#include "core/text_table.h"
#include "runtime/start_updater.h"
#include "ui/about_window.h"
#include "ui/end_window.h"
#include "ui/monitor_window.h"
#include "ui/qt_user_interface.h"
#include "ui/settings/settings_window.h"
#include "ui/splash_window.h"
#include "ui/status_icons.h"

#include <QClipboard>
#include <QCryptographicHash>
#include <QCursor>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QUrl>

namespace fernhold {

namespace {

const QString kBreak = QStringLiteral("\r\n");
constexpr int kBalloonMilliseconds = 15000;

// Sizes follow the screen's resolution, never below the 96-dpi layout.
double screenScale()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double factor = screen ? screen->logicalDotsPerInchY() / 96.0 : 1.0;
    return factor < 1.0 ? 1.0 : factor;
}

} // namespace

DesktopShell::DesktopShell(QtUserInterface& ui) : m_ui(ui), m_tooltip(Text("Program_Name"))
{
    m_tray.setIcon(StatusIcon(-1));
    m_tray.setToolTip(Text("Program_Name"));
    connect(&m_tray, &QSystemTrayIcon::activated, this, &DesktopShell::iconActivated);
    connect(&m_ui, &QtUserInterface::programStatusShown, this, &DesktopShell::showStatus);
    connect(&m_ui, &QtUserInterface::statusLineShown, this, [this](const QString& line) {
        m_lastStatusLine = line;
        if (m_monitor) {
            m_monitor->setStatusLine(line);
        }
    });
    const MenuHandler handler = [this](MenuEntry entry) { act(entry); };
    m_iconMenu = BuildIconMenu(handler);
    m_helpMenu = BuildHelpMenu(handler);
}

DesktopShell::~DesktopShell() = default;

void DesktopShell::open(ProgramControl& control)
{
    m_control = &control;
    m_scale = screenScale();
    m_trayAvailable = QSystemTrayIcon::isSystemTrayAvailable();
    m_tray.show();
    const JobSettings& s = control.settings();
    if (s.ShowSplashScreen == 1 && s.StartWaitSeconds == 0) {
        m_splash = std::make_unique<SplashWindow>();
        connect(m_splash.get(), &SplashWindow::closed, this, &DesktopShell::splashClosed);
        m_splash->show();
        m_splash->raise();
    }
    if (s.MonitorActive == 1) {
        openMonitor();
    }
}

void DesktopShell::waitingToStart(bool waiting)
{
    m_waitingToStart = waiting;
    m_clicked = false;
}

bool DesktopShell::iconClicked()
{
    const bool clicked = m_clicked;
    m_clicked = false;
    return clicked;
}

void DesktopShell::copyToClipboard(const QString& text)
{
    QGuiApplication::clipboard()->setText(text);
}

void DesktopShell::turn()
{
    // A tray host that was missing or restarted gets the icon back.
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    if (available && !m_trayAvailable) {
        m_tray.hide();
        m_tray.setIcon(StatusIcon(m_status));
        m_tray.show();
    }
    m_trayAvailable = available;
}

void DesktopShell::closing()
{
    if (m_monitor && m_monitor->isVisible() && m_control) {
        // Kept open at the next start: MonitorActive stays 1.
        JobSettings& s = m_control->settings();
        s.MonitorPositionX = m_monitor->pos().x();
        s.MonitorPositionY = m_monitor->pos().y();
        m_monitor->hide();
    }
    m_about.reset();
    m_splash.reset();
}

void DesktopShell::waitingForWorker(int percent)
{
    if (percent < 0) {
        m_end.reset();
        return;
    }
    if (!m_end) {
        m_end = std::make_unique<EndWindow>();
        m_end->show();
        m_end->raise();
    }
    m_end->setPercent(percent);
}

void DesktopShell::notify(const QString& title, const QString& text)
{
    m_lastNotice = title + u'\n' + text;
    m_tray.showMessage(title, text, QSystemTrayIcon::Warning, kBalloonMilliseconds);
}

void DesktopShell::showLastPass(const QString& text)
{
    m_lastPass = text;
    m_tray.setToolTip(fullTooltip());
}

QString DesktopShell::fullTooltip() const
{
    return m_lastPass.isEmpty() ? m_tooltip : m_tooltip + u'\n' + m_lastPass;
}

void DesktopShell::iconActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::Context:
    case QSystemTrayIcon::DoubleClick:
        m_clicked = true;
        if (!m_waitingToStart) {
            m_iconMenu->popup(QCursor::pos());
        }
        break;
    default:
        break;
    }
}

void DesktopShell::act(MenuEntry entry)
{
    if (!m_control) {
        return;
    }
    ProgramControl& c = *m_control;
    switch (entry) {
    case MenuEntry::Settings:
        openSettings();
        break;
    case MenuEntry::Monitor:
        openMonitor();
        break;
    case MenuEntry::LogFile:
        showLogFile();
        break;
    case MenuEntry::Activate:
        if (c.status() == 0) {
            c.switchStatus(1, Text("TXT00074"));
        }
        break;
    case MenuEntry::Deactivate:
        if (c.status() == 1) {
            c.switchStatus(0, Text("TXT00073"));
        }
        break;
    case MenuEntry::BackUpNow:
        c.backUpNow();
        break;
    case MenuEntry::Help:
        openDocument(Text("Hilfe_FileName"), Text("Hilfe_FileStart"));
        break;
    case MenuEntry::Manual:
        openDocument(Text("Manual_FileName"));
        break;
    case MenuEntry::OnlineManual:
        QDesktopServices::openUrl(QUrl(Text("Online_Manual")));
        break;
    case MenuEntry::WebPage:
        QDesktopServices::openUrl(QUrl(Text("Online_Adresse")));
        break;
    case MenuEntry::Updates:
        checkForUpdates();
        break;
    case MenuEntry::VerifyProgram:
        verifyProgram();
        break;
    case MenuEntry::About:
        if (!m_about) {
            m_about = std::make_unique<AboutWindow>();
        }
        m_about->show();
        m_about->raise();
        break;
    case MenuEntry::Quit:
        c.quit();
        break;
    }
}

void DesktopShell::openSettings()
{
    if (m_settings && m_settings->isVisible()) {
        m_settings->raise();
        return;
    }
    // Paused while the settings are open; closing the window takes the chosen status.
    m_control->switchStatus(2, {});
    if (!m_settings) {
        m_settings = std::make_unique<SettingsWindow>(*m_control, m_ui, *m_helpMenu,
                                                      [this](MenuEntry entry) { act(entry); });
    }
    m_settings->FillSettingsWindow();
    m_settings->show();
    m_settings->raise();
    m_settings->activateWindow();
}

void DesktopShell::openMonitor()
{
    JobSettings& s = m_control->settings();
    if (!m_monitor) {
        m_monitor = std::make_unique<MonitorWindow>(m_scale, s.WindowsTransparency == 1);
        connect(m_monitor.get(), &MonitorWindow::closedAt, this, &DesktopShell::monitorClosed);
    }
    m_monitor->openAt(QPoint(s.MonitorPositionX, s.MonitorPositionY));
    s.MonitorActive = 1;
    m_monitor->setStatusLine(m_lastStatusLine);
    m_control->showStatusLine({});
}

void DesktopShell::monitorClosed(QPoint position)
{
    JobSettings& s = m_control->settings();
    s.MonitorPositionX = position.x();
    s.MonitorPositionY = position.y();
    s.MonitorActive = 0;
}

void DesktopShell::splashClosed(bool dontShowAgain)
{
    if (dontShowAgain && m_control) {
        m_control->settings().ShowSplashScreen = 0;
        m_control->saveSettings();
    }
}

void DesktopShell::showStatus(int status, const QString& tooltip)
{
    m_status = status;
    m_tooltip = tooltip;
    m_tray.setIcon(StatusIcon(status));
    m_tray.setToolTip(fullTooltip());
}

void DesktopShell::showLogFile()
{
    const QString title = Text("TXT00013");
    if (m_control->settings().LogfileActive != 1) {
        m_ui.showMessage(title, Text("TXT00139"), MessageIcon::Information);
        return;
    }
    const QFileInfo log(m_control->logFilePath());
    if (!log.exists() || log.size() == 0) {
        m_ui.showMessage(title, Text("TXT00093"), MessageIcon::Information);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(log.absoluteFilePath()));
}

QString DesktopShell::documentationFolder(const QString& programPath)
{
    // Installed beside the program's prefix; a build tree uses the sources'.
    const QString installed =
        QFileInfo(programPath).absolutePath() + QStringLiteral("/../share/doc/fernhold/");
    if (QFileInfo::exists(installed + Text("Hilfe_FileName"))) {
        return QFileInfo(installed).canonicalFilePath() + u'/';
    }
    return QStringLiteral(FERNHOLD_SOURCE_DOC_DIR "/");
}

void DesktopShell::openDocument(const QString& fileName, const QString& fragment)
{
    const QString path = documentationFolder(m_control->programPath()) + fileName;
    if (!QFileInfo::exists(path)) {
        m_ui.showMessage(Text("TXT00001"), Text("TXT00532") + kBreak + path, MessageIcon::Warning);
        return;
    }
    QUrl url = QUrl::fromLocalFile(path);
    if (!fragment.isEmpty()) {
        url.setFragment(fragment);
    }
    QDesktopServices::openUrl(url);
}

void DesktopShell::checkForUpdates()
{
    if (StartUpdater(m_ui, QFileInfo(m_control->programPath()).absolutePath()) == 1) {
        // The updater replaces the running program.
        m_control->quit();
    }
}

void DesktopShell::verifyProgram()
{
    m_ui.showMessage(Text("TXT00172"),
                     Text("TXT00173") + u' ' + Text("TXT00174") + u' ' + Text("TXT00175") + kBreak +
                         kBreak + Text("TXT00176"),
                     MessageIcon::Information);
    QFile program(m_control->programPath());
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!program.open(QIODevice::ReadOnly) || !hash.addData(&program)) {
        m_ui.showMessage(Text("TXT00001"), Text("TXT00539") + kBreak + program.fileName(),
                         MessageIcon::Warning);
        return;
    }
    m_ui.showMessage(Text("TXT00172"),
                     Text("TXT00535") + u' ' + program.fileName() + QStringLiteral(":") + kBreak +
                         QString::fromLatin1(hash.result().toHex()),
                     MessageIcon::Information);
}

} // namespace fernhold
