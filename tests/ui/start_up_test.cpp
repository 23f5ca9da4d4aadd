#include "core/text_table.h"
#include "desktop_run.h"
#include "ui/monitor_window.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <optional>

namespace fernhold::test {

namespace {

const QString kReport = QStringLiteral("Fernhold has stopped.\r\nSIGSEGV\r\nbacktrace line");

} // namespace

TEST_F(DesktopRunTest, CrashReportYesCopiesItToTheClipboard)
{
    m_home.writeFile(QStringLiteral(".config/fernhold/crash-report.txt"), kReport.toUtf8());
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    BoxAnswerer answerer(QMessageBox::Yes);
    ASSERT_TRUE(runUntil([] { return QGuiApplication::clipboard()->text() == kReport; }));
    ASSERT_EQ(answerer.texts.size(), 1);
    // The box shows the report's line breaks as plain ones.
    EXPECT_TRUE(answerer.texts[0].startsWith(
        QString(kReport).replace(QStringLiteral("\r\n"), QStringLiteral("\n"))))
        << answerer.texts[0].toStdString();
    EXPECT_TRUE(answerer.texts[0].endsWith(Text("TXT00024")));
    // Offered once, kept beside the settings.
    EXPECT_FALSE(QFile::exists(m_home.appData() + QStringLiteral("crash-report.txt")));
    EXPECT_TRUE(QFile::exists(m_home.appData() + QStringLiteral("crash-report.txt.old")));
}

TEST_F(DesktopRunTest, CrashReportDefaultNoLeavesTheClipboard)
{
    m_home.writeFile(QStringLiteral(".config/fernhold/crash-report.txt"), kReport.toUtf8());
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    BoxAnswerer answerer; // presses the default button
    ASSERT_TRUE(runUntil([&answerer] { return !answerer.texts.isEmpty(); }));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    // Not offered again at the next start.
    BoxAnswerer next(QMessageBox::Yes);
    (void)runUntil([] { return false; }, 500);
    EXPECT_TRUE(next.texts.isEmpty());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
}

TEST_F(DesktopRunTest, StartDelayShowsItsLineAndAnIconClickAsksToEndIt)
{
    oneSource();
    m_settings.StartWaitSeconds = 30;
    m_settings.MonitorActive = 1;
    m_settings.ShowSplashScreen = 1; // not with a start delay
    std::optional<BoxAnswerer> answerer;
    int phase = 0;
    QString waitLine;
    bool menuDuringWait = false;
    bool splash = true;
    const auto click = [this] { emit m_shell->trayIcon().activated(QSystemTrayIcon::Trigger); };
    // The start's work: a scan, or for a source that owes its target every
    // file, the first pass at once.
    const auto working = [](const QString& line) {
        return line.contains(Text("TXT00062")) || line.contains(Text("TXT00078"));
    };
    const bool started = runUntil(
        [&] {
            const QString line = m_shell->monitor() ? m_shell->monitor()->statusLine() : QString();
            switch (phase) {
            case 0:
                if (line.contains(Text("TXT00161"))) {
                    waitLine = line;
                    splash = m_shell->splash() != nullptr;
                    answerer.emplace(QMessageBox::No);
                    click();
                    // Only the question: no menu of a program not yet started.
                    menuDuringWait = m_shell->iconMenu()->isVisible();
                    phase = 1;
                }
                break;
            case 1:
                if (!answerer->texts.isEmpty()) {
                    EXPECT_EQ(answerer->texts.size(), 1);
                    EXPECT_TRUE(answerer->texts[0].contains(Text("TXT00164")));
                    // No: the wait goes on.
                    EXPECT_FALSE(working(line));
                    answerer.emplace(QMessageBox::Yes);
                    click();
                    phase = 2;
                }
                break;
            default:
                return working(line);
            }
            return false;
        },
        25000);
    EXPECT_TRUE(started) << "phase " << phase;
    EXPECT_LT(m_elapsedMs, 25000);
    EXPECT_TRUE(waitLine.contains(QStringLiteral("(") + Text("TXT00162") + QStringLiteral(" 30 ") +
                                  Text("TXT00163") + u')'))
        << waitLine.toStdString();
    EXPECT_FALSE(menuDuringWait);
    EXPECT_FALSE(splash);
}

} // namespace fernhold::test

namespace fernhold::test {

// The program's quit (the menu's last entry) asked while the start is
// still delayed ends it then, not after the delay.
TEST_F(DesktopRunTest, QuitDuringTheStartDelayEndsTheProgram)
{
    oneSource();
    m_settings.StartWaitSeconds = 30;
    EXPECT_TRUE(runUntil([] { return true; }));
    EXPECT_LT(m_elapsedMs, 10000);
    EXPECT_TRUE(filesBelow(m_home.path() + QStringLiteral("backup/")).isEmpty());
}

} // namespace fernhold::test
