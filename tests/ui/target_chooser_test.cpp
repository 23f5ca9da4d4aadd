#include "core/job_settings.h"
#include "core/settings_store.h"
#include "core/target_choice.h"
#include "core/text_table.h"
#include "fake_user_interface.h"
#include "run_program.h"
#include "temp_home.h"
#include "ui/target_chooser.h"
#include "ui_fixture.h"

#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace fernhold::test {

TEST(TargetChooser, ShowsTheNineTargetsTickedAsTheSourceHasThem)
{
    (void)WidgetApplication();
    JobSettings s;
    s.target(4).TargetType = QStringLiteral("WIN");
    s.target(4).TargetDir = QStringLiteral("/media/usb/");
    TargetChooser chooser(s, QStringLiteral("4,1"), true);
    chooser.show();
    EXPECT_EQ(chooser.windowTitle(), Text("GAD00178"));
    EXPECT_NEAR(chooser.windowOpacity(), 240 / 255.0, 0.01);
    EXPECT_EQ(chooser.findChildren<QCheckBox*>().size(), 9);
    for (int t = 1; t <= 9; ++t) {
        EXPECT_EQ(chooser.box(t)->text(), TargetChooserItem(s, t));
        EXPECT_EQ(chooser.box(t)->isChecked(), t == 1 || t == 4) << t;
    }
    EXPECT_TRUE(chooser.box(4)->text().endsWith(QStringLiteral("/media/usb/")));

    chooser.box(1)->click();
    chooser.box(7)->click();
    EXPECT_EQ(chooser.targets(), QStringLiteral("4,7"));
    chooser.setTargets(QString());
    EXPECT_EQ(chooser.targets(), QString());
}

TEST(TargetChooser, ClosingGivesTheTicksHoweverItIsClosed)
{
    (void)WidgetApplication();
    const JobSettings s;
    const auto later = [](int tick, bool closeBox) {
        QTimer::singleShot(50, [tick, closeBox] {
            auto* chooser = qobject_cast<TargetChooser*>(QApplication::activeModalWidget());
            ASSERT_NE(chooser, nullptr);
            chooser->box(tick)->click();
            if (closeBox) {
                chooser->close(); // the window's close box
            } else {
                chooser->findChild<QPushButton*>(QStringLiteral("close"))->click();
            }
        });
    };
    later(5, false);
    EXPECT_EQ(TargetChooser::choose(s, QStringLiteral("1"), false), QStringLiteral("1,5"));
    later(1, true);
    EXPECT_EQ(TargetChooser::choose(s, QStringLiteral("1,2"), false), QStringLiteral("2"));
}

// The chooser reads what `fernhold source add --targets` stores and gives
// its own choice back in the very same form.
TEST(TargetChooser, SpeaksTheSourceListsStoredForm)
{
    (void)WidgetApplication();
    TempHome home;
    QDir().mkpath(home.path() + QStringLiteral("a"));
    QDir().mkpath(home.path() + QStringLiteral("b"));
    const RunResult added = RunFernhold({QStringLiteral("source"), QStringLiteral("add"),
                                         home.path() + QStringLiteral("a"),
                                         QStringLiteral("--targets"), QStringLiteral("9,3")});
    ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();

    FakeUserInterface ui;
    SettingsStore store(home.appData(), ui);
    JobSettings s;
    store.LoadSettings(s);
    ASSERT_EQ(s.sources.size(), 1u);
    TargetChooser chooser(s, s.sources[0].SourceDirTarget, false);
    for (int t = 1; t <= 9; ++t) {
        EXPECT_EQ(chooser.box(t)->isChecked(), t == 3 || t == 9) << t;
    }
    chooser.box(9)->setChecked(false);
    chooser.box(2)->setChecked(true);
    s.sources[0].SourceDirTarget = chooser.targets();
    ASSERT_EQ(store.SaveSettings(s), 1);

    const RunResult second = RunFernhold({QStringLiteral("source"), QStringLiteral("add"),
                                          home.path() + QStringLiteral("b"),
                                          QStringLiteral("--targets"), QStringLiteral("3,2")});
    ASSERT_EQ(second.exitCode, 0) << second.err.toStdString();
    JobSettings again;
    store.LoadSettings(again);
    ASSERT_EQ(again.sources.size(), 2u);
    EXPECT_EQ(again.sources[0].SourceDirTarget, again.sources[1].SourceDirTarget);
    EXPECT_EQ(again.sources[0].SourceDirTarget, QStringLiteral("2,3"));
}

} // namespace fernhold::test
