#include "core/text_table.h"
#include "ui/program_menus.h"
#include "ui_fixture.h"

#include <QAction>
#include <gtest/gtest.h>
#include <vector>

namespace fernhold::test {

namespace {

// The menu as "text" rows, "-" for a separator.
QStringList rowsOf(const QMenu& menu)
{
    QStringList rows;
    for (const QAction* action : menu.actions()) {
        rows.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return rows;
}

QStringList texts(std::initializer_list<const char*> keys)
{
    QStringList rows;
    for (const char* key : keys) {
        rows.append(QString::fromLatin1(key) == QStringLiteral("-") ? QStringLiteral("-")
                                                                    : Text(key));
    }
    return rows;
}

} // namespace

TEST(ProgramMenus, IconMenuHoldsEveryEntryInOrderTheFirstBold)
{
    (void)WidgetApplication();
    std::vector<MenuEntry> chosen;
    const auto menu = BuildIconMenu([&chosen](MenuEntry e) { chosen.push_back(e); });
    EXPECT_EQ(rowsOf(*menu), texts({"MEN00009", "MEN00010", "MEN00014", "-", "MEN00012", "MEN00011",
                                    "MEN00013", "-", "MEN00001", "MEN00002", "MEN00003", "MEN00004",
                                    "MEN00006", "MEN00034", "-", "MEN00007", "-", "MEN00008"}));
    const QAction* first = menu->actions().constFirst();
    EXPECT_TRUE(first->font().bold());
    EXPECT_EQ(menu->defaultAction(), first);
    EXPECT_FALSE(menu->actions().at(1)->font().bold());

    // Every entry reaches its own action.
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator()) {
            action->trigger();
        }
    }
    using E = MenuEntry;
    EXPECT_EQ(chosen, (std::vector<MenuEntry>{E::Settings, E::Monitor, E::LogFile, E::Deactivate,
                                              E::Activate, E::BackUpNow, E::Help, E::Manual,
                                              E::OnlineManual, E::WebPage, E::Updates,
                                              E::VerifyProgram, E::About, E::Quit}));
}

TEST(ProgramMenus, HelpMenuActsLikeTheIconMenusEntries)
{
    (void)WidgetApplication();
    std::vector<MenuEntry> chosen;
    const auto menu = BuildHelpMenu([&chosen](MenuEntry e) { chosen.push_back(e); });
    EXPECT_EQ(rowsOf(*menu), texts({"MEN00001", "MEN00002", "MEN00003", "MEN00004", "MEN00006",
                                    "MEN00034", "-", "MEN00007"}));
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator()) {
            action->trigger();
        }
    }
    using E = MenuEntry;
    EXPECT_EQ(chosen, (std::vector<MenuEntry>{E::Help, E::Manual, E::OnlineManual, E::WebPage,
                                              E::Updates, E::VerifyProgram, E::About}));
}

} // namespace fernhold::test
