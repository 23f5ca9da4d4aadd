#pragma once

#include <QMenu>
#include <functional>
#include <memory>

namespace fernhold {

// The entries of the two pop-up menus. The help menu's entries act like the
// icon menu's entries of the same name.
enum class MenuEntry
{
    Settings,
    Monitor,
    LogFile,
    Activate,
    Deactivate,
    BackUpNow,
    Help,
    Manual,
    OnlineManual,
    WebPage,
    Updates,
    VerifyProgram,
    About,
    Quit,
};

using MenuHandler = std::function<void(MenuEntry)>;

// The tray icon's menu, its first entry bold.
[[nodiscard]] std::unique_ptr<QMenu> BuildIconMenu(const MenuHandler& handler);
// The settings window's help menu.
[[nodiscard]] std::unique_ptr<QMenu> BuildHelpMenu(const MenuHandler& handler);

} // namespace fernhold
