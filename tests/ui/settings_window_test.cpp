#include "commands/setting_edit.h"
#include "core/clock.h"
#include "core/settings_fields.h"
#include "core/text_table.h"
#include "settings_window_fixture.h"
#include "ui/settings/targets_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest/QTest>
#include <set>

namespace fernhold::test {

namespace {

// Keys the window does not show: window state, program-end and wait limits,
// and the transport keys of the command line.
const std::set<QString> kNotInWindow{
    QStringLiteral("ProgrammStatus"),
    QStringLiteral("MonitorActive"),
    QStringLiteral("MonitorPositionX"),
    QStringLiteral("MonitorPositionY"),
    QStringLiteral("WaitForTargetDirCount"),
    QStringLiteral("WaitForTargetDirTime"),
    QStringLiteral("WaitAtProgramEnd"),
    QStringLiteral("MaxCleanUpEachMinutes"),
    QStringLiteral("InitialFullBackupLastStarted"),
    QStringLiteral("Schedule"),
    QStringLiteral("FTPWebDir"),
    QStringLiteral("FTPTransport"),
    QStringLiteral("FTPFingerprint"),
    QStringLiteral("FTPKeyFile"),
};

} // namespace

TEST_F(SettingsWindowTest, FrameOpensPausedAndClosingSavesTheChosenStatus)
{
    m_app->settings().ProgrammStatus = -1;
    m_app->settings().LoadOnWindowsStart = 1;
    SettingsWindow& window = openWindow();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(),
              Text("Program_Name") + QStringLiteral(" - ") + Text("GAD00035"));
    ASSERT_EQ(window.tabs()->count(), 8);
    const QStringList tabs{Text("GAD00061"), Text("GAD00076"), Text("GAD00091"), Text("GAD00102"),
                           Text("GAD00109"), Text("GAD00116"), Text("GAD00150"), Text("GAD00144")};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(window.tabs()->tabText(i), tabs[i]);
    }
    EXPECT_EQ(window.statusLine()->text(), Text("HLP00000"));
    // Opening pauses, and the pause is published.
    EXPECT_EQ(m_app->status(), 2);
    QSettings registry(m_home.appData() + QStringLiteral("registry.ini"), QSettings::IniFormat);
    bool paused = false;
    for (const QString& key : registry.allKeys()) {
        paused = paused || (key.endsWith(QStringLiteral("ActualStatusText")) &&
                            registry.value(key).toString() == QStringLiteral("paused"));
    }
    EXPECT_TRUE(paused);
    // A status never set counts as active.
    EXPECT_TRUE(window.activeOption()->isChecked());
    EXPECT_FALSE(window.inactiveOption()->isChecked());

    // A help icon puts its text into the status line; a page change empties it.
    auto* help = window.page(5)->findChild<QToolButton*>();
    ASSERT_NE(help, nullptr);
    help->click();
    EXPECT_EQ(window.statusLine()->text(), Text("HLP00016"));
    window.tabs()->setCurrentIndex(1);
    EXPECT_TRUE(window.statusLine()->text().isEmpty());

    // Both help buttons open the help menu.
    for (int i = 0; i < 2; ++i) {
        window.helpButton(i)->click();
        EXPECT_TRUE(m_shell->helpMenu()->isVisible());
        m_shell->helpMenu()->hide();
    }

    window.inactiveOption()->setChecked(true);
    ASSERT_FALSE(window.activeOption()->isChecked());
    ASSERT_TRUE(window.isVisible());
    const JobSettings saved = closeAndLoad();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(saved.ProgrammStatus, 0);
    EXPECT_EQ(m_app->status(), 0);
    EXPECT_EQ(saved.CurrentPage, 0); // not stored
    EXPECT_TRUE(
        QFileInfo::exists(m_home.configHome() + QStringLiteral("autostart/fernhold.desktop")));

    // Opened again in the same run: the page shown last.
    SettingsWindow& again = openWindow();
    EXPECT_EQ(again.tabs()->currentIndex(), 1);
    EXPECT_TRUE(again.inactiveOption()->isChecked());
    again.close();
}

// Every key of the settings file the window shows can be changed in it, and
// the file holds what `fernhold config set` would have stored for the same text.
TEST_F(SettingsWindowTest, EveryWindowKeyIsEditableAndSaved)
{
    JobSettings& s = m_app->settings();
    s.CompressData = 0; // so that both archive boxes can be switched on
    const JobSettings before = s;
    SettingsWindow& window = openWindow();
    window.tabs()->setCurrentIndex(2);
    window.chooseTarget(2);
    auto& targets = page<TargetsPage>(2);

    JobSettings expected = s;
    const SystemClock clock;
    QStringList walked;
    for (const QString& key : SettingKeys()) {
        // Target keys carry their number from target 2 on; the walk edits target 2.
        const bool numbered = key.back().isDigit();
        const QString bare = numbered ? key.chopped(1) : key;
        const bool targetKey =
            std::any_of(TargetFields().begin(), TargetFields().end(),
                        [&](const TargetField& f) { return bare == QLatin1String(f.key); });
        if (kNotInWindow.count(bare) || (targetKey && !key.endsWith(u'2'))) {
            continue;
        }
        QString text;
        if (bare == QStringLiteral("TargetType")) {
            targets.typeOption(2)->setChecked(true);
            text = QStringLiteral("FTP");
        } else if (bare == QStringLiteral("ScheduleMode")) {
            auto* option = window.page(6)->findChildren<QRadioButton*>().value(2);
            ASSERT_NE(option, nullptr);
            option->setChecked(true);
            text = QStringLiteral("2");
        } else {
            auto* control = window.findChild<QWidget*>(bare);
            ASSERT_NE(control, nullptr) << "no control for " << key.toStdString();
            if (auto* spin = qobject_cast<QSpinBox*>(control)) {
                spin->setValue(spin->value() == spin->maximum() ? spin->minimum()
                                                                : spin->maximum());
                text = QString::number(spin->value());
            } else if (auto* box = qobject_cast<QAbstractButton*>(control)) {
                box->setChecked(!box->isChecked());
                text = box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
            } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
                combo->setCurrentIndex((combo->currentIndex() + 1) % combo->count());
                text = QString::number(combo->currentIndex());
            } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
                text = bare == QStringLiteral("FTPServerPort") ? QStringLiteral("2121")
                       : bare == QStringLiteral("TargetDir")   ? QStringLiteral("/srv/backup")
                       : bare == QStringLiteral("ExcludeFileTypes")
                           ? QStringLiteral(" .BAK, tmp ,iso")
                           : QStringLiteral("x ") + key;
                edit->setText(text);
            } else {
                FAIL() << "unknown control kind for " << key.toStdString();
            }
        }
        walked << key;
        // The password goes first, as the window stores it.
        if (bare == QStringLiteral("CryptData")) {
            continue;
        }
        ASSERT_TRUE(SetSettingFromText(expected, key, text, clock).ok) << key.toStdString();
    }
    ASSERT_TRUE(
        SetSettingFromText(expected, QStringLiteral("CryptData"), QStringLiteral("1"), clock).ok);
    EXPECT_GE(walked.size(), 40);

    const JobSettings saved = closeAndLoad();
    for (const QString& key : walked) {
        EXPECT_EQ(SettingValue(saved, key), SettingValue(expected, key)) << key.toStdString();
        EXPECT_NE(SettingValue(saved, key), SettingValue(before, key)) << key.toStdString();
    }
}

} // namespace fernhold::test
