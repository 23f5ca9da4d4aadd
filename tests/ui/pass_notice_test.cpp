#include "core/text_table.h"
#include "desktop_run.h"

#include <QDate>
#include <QMessageBox>

namespace fernhold::test {

namespace {

QString today()
{
    return QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
}

} // namespace

TEST_F(DesktopRunTest, NoReachableTargetSwitchesInactiveWithABalloon)
{
    oneSource();
    m_settings.target(1).TargetDir = m_home.path() + QStringLiteral("gone/");
    m_settings.WaitForTargetDirCount = 0; // no waiting for it to come back
    BoxAnswerer answerer;
    ASSERT_TRUE(runUntil([this] { return !m_shell->lastNotice().isEmpty(); }))
        << answerer.texts.join(u'|').toStdString() << " status " << m_app->status();
    EXPECT_TRUE(m_shell->lastNotice().contains(Text("TXT00075")));
    EXPECT_TRUE(m_shell->lastNotice().contains(Text("TXT00068")));
    // Besides the message box, not instead of it.
    ASSERT_FALSE(answerer.texts.isEmpty());
    EXPECT_TRUE(answerer.texts.join(u'\n').contains(Text("TXT00075")));
    EXPECT_FALSE(m_shell->trayIcon().toolTip().contains(Text("TXT00556")));
}

TEST_F(DesktopRunTest, PassWithFailuresTellsAndTheTooltipHasTheTime)
{
    oneSource();
    // A file where target 2's mirrored tree must begin: target 2 cannot get it.
    const QString two = m_home.path() + QStringLiteral("two/");
    m_home.writeFile(QStringLiteral("two/") + m_home.path().mid(1).section(u'/', 0, 0),
                     "in the way");
    m_settings.target(2).TargetType = QStringLiteral("WIN");
    m_settings.target(2).TargetDir = two;
    m_settings.sources[0].SourceDirTarget = QStringLiteral("1,2");
    m_settings.CompressData = 0;
    ASSERT_TRUE(runUntil([this] { return !m_shell->lastNotice().isEmpty(); }));
    EXPECT_TRUE(m_shell->lastNotice().contains(Text("TXT00557") + QStringLiteral(" 1\n")))
        << m_shell->lastNotice().toStdString();
    const QString tooltip = m_shell->trayIcon().toolTip();
    EXPECT_TRUE(tooltip.startsWith(Text("Program_Name") + QStringLiteral(" - ") + Text("GAD00010")))
        << tooltip.toStdString();
    EXPECT_TRUE(tooltip.contains(u'\n' + Text("TXT00556") + u' ' + today()))
        << tooltip.toStdString();
}

TEST_F(DesktopRunTest, CleanPassOnlyUpdatesTheTooltip)
{
    oneSource();
    ASSERT_TRUE(
        runUntil([this] { return m_shell->trayIcon().toolTip().contains(Text("TXT00556")); }));
    EXPECT_TRUE(m_shell->lastNotice().isEmpty()) << m_shell->lastNotice().toStdString();
    EXPECT_FALSE(filesBelow(m_home.path() + QStringLiteral("backup/")).isEmpty());
    // A status change keeps the time of the last pass below the status.
    m_ui.showProgramStatus(0, QStringLiteral("Fernhold - inactive"));
    EXPECT_TRUE(m_shell->trayIcon().toolTip().startsWith(QStringLiteral("Fernhold - inactive\n") +
                                                         Text("TXT00556")));
}

} // namespace fernhold::test
