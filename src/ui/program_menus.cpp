#include "ui/program_menus.h"

#include "core/text_table.h"

#include <QAction>
#include <optional>
#include <vector>

namespace fernhold {

namespace {

struct Row
{
    std::optional<MenuEntry> entry; // none: a separator
    const char* textKey;
};

const char* textKey(MenuEntry entry)
{
    switch (entry) {
    case MenuEntry::Settings:
        return "MEN00009";
    case MenuEntry::Monitor:
        return "MEN00010";
    case MenuEntry::LogFile:
        return "MEN00014";
    case MenuEntry::Activate:
        return "MEN00011";
    case MenuEntry::Deactivate:
        return "MEN00012";
    case MenuEntry::BackUpNow:
        return "MEN00013";
    case MenuEntry::Help:
        return "MEN00001";
    case MenuEntry::Manual:
        return "MEN00002";
    case MenuEntry::OnlineManual:
        return "MEN00003";
    case MenuEntry::WebPage:
        return "MEN00004";
    case MenuEntry::Updates:
        return "MEN00006";
    case MenuEntry::VerifyProgram:
        return "MEN00034";
    case MenuEntry::About:
        return "MEN00007";
    case MenuEntry::Quit:
        return "MEN00008";
    }
    return "";
}

std::unique_ptr<QMenu> build(const std::vector<std::optional<MenuEntry>>& rows,
                             const MenuHandler& handler)
{
    auto menu = std::make_unique<QMenu>();
    for (const std::optional<MenuEntry>& row : rows) {
        if (!row) {
            menu->addSeparator();
            continue;
        }
        const MenuEntry entry = *row;
        QAction* action = menu->addAction(Text(textKey(entry)));
        action->setData(static_cast<int>(entry));
        QObject::connect(action, &QAction::triggered, menu.get(),
                         [handler, entry] { handler(entry); });
    }
    return menu;
}

} // namespace

std::unique_ptr<QMenu> BuildIconMenu(const MenuHandler& handler)
{
    using E = MenuEntry;
    auto menu =
        build({E::Settings, E::Monitor, E::LogFile, std::nullopt, E::Deactivate, E::Activate,
               E::BackUpNow, std::nullopt, E::Help, E::Manual, E::OnlineManual, E::WebPage,
               E::Updates, E::VerifyProgram, std::nullopt, E::About, std::nullopt, E::Quit},
              handler);
    QAction* first = menu->actions().constFirst();
    QFont bold = first->font();
    bold.setBold(true);
    first->setFont(bold);
    menu->setDefaultAction(first);
    return menu;
}

std::unique_ptr<QMenu> BuildHelpMenu(const MenuHandler& handler)
{
    using E = MenuEntry;
    return build({E::Help, E::Manual, E::OnlineManual, E::WebPage, E::Updates, E::VerifyProgram,
                  std::nullopt, E::About},
                 handler);
}

} // namespace fernhold
