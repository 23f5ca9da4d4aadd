#pragma once

#include <QString>

namespace fernhold {

enum class MessageIcon
{
    None,
    Information,
    Warning,
    Question,
};

// Everything logic asks of the person in front of the program. Logic never
// shows a window itself: the desktop build draws these, the headless build
// writes them to standard error, and tests script them.
//
// Calls may come from the worker thread; an implementation that needs the
// GUI thread marshals them there.
class UserInterface
{
public:
    virtual ~UserInterface() = default;

    // A message box. `title` and `text` are final texts (already looked up).
    virtual void showMessage(const QString& title, const QString& text, MessageIcon icon,
                             bool topmost = false) = 0;

    // A Yes/No question; gives true for Yes. `defaultYes` names the default button,
    // which a build without a person (headless) takes.
    [[nodiscard]] virtual bool askYesNo(const QString& title, const QString& text, MessageIcon icon,
                                        bool defaultYes) = 0;

    // The monitor window's status line, already composed (time, next pass, text).
    virtual void showStatusLine(const QString& line) { (void)line; }

    // The program status drawn by the tray icon (-1 neutral, 0, 1, 2) and its tooltip.
    virtual void showProgramStatus(int status, const QString& tooltip)
    {
        (void)status;
        (void)tooltip;
    }

    // The settings window's status line (help and progress texts); "" clears it.
    virtual void showStatusText(const QString& text) { (void)text; }

    // Folder picker; gives the picked folder ending in "/", or "" when cancelled.
    [[nodiscard]] virtual QString pickFolder(const QString& title, const QString& startFolder)
    {
        (void)title;
        (void)startFolder;
        return {};
    }

    // Busy pointer while a long call runs on the GUI thread.
    virtual void setBusy(bool busy) { (void)busy; }

    // Manual clean-up page
    // The clean-up status text: the folder being cleaned, a failure, the
    // result. Shown only while the settings window is open.
    virtual void showCleanupStatus(const QString& text) { (void)text; }
    // The red notice that a clean-up runs; false hides it.
    virtual void showCleanupRunning(bool running) { (void)running; }

    // Restore page
    // The page's read-only path field: the folder shown, or a status text while work runs.
    virtual void showRestorePath(const QString& text) { (void)text; }
    // Puts the keyboard focus into the page's password field.
    virtual void focusRestorePassword() {}
};

} // namespace fernhold
