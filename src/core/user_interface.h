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
// writes them to standard error, and tests script them. Every call is pure,
// so an implementation cannot forget one and stay silent.
//
// Threads: any call may come from the main (GUI) thread or from the one
// worker thread. The desktop implementation marshals worker calls to the GUI
// thread; a call that gives an answer (askYesNo, pickFolder) blocks the
// worker until the person has answered, and never blocks the GUI thread,
// whose event loop keeps running while the question is up. Calls that only
// show something return at once. An implementation must be safe to call from
// both threads.
class UserInterface
{
public:
    virtual ~UserInterface() = default;

    // A message box. `title` and `text` are final texts (already looked up);
    // `topmost` keeps it above every other window.
    virtual void showMessage(const QString& title, const QString& text, MessageIcon icon,
                             bool topmost = false) = 0;

    // A Yes/No question; gives true for Yes. `defaultYes` names the default
    // button, which a build without a person (headless) takes.
    [[nodiscard]] virtual bool askYesNo(const QString& title, const QString& text, MessageIcon icon,
                                        bool defaultYes) = 0;

    // An OK/Cancel confirmation, kept above every other window; gives true
    // for OK. Cancel is the default button, which a build without a person
    // takes.
    [[nodiscard]] virtual bool askOkCancel(const QString& title, const QString& text,
                                           MessageIcon icon) = 0;

    // The monitor window's status line, already composed (time, next pass, text).
    virtual void showStatusLine(const QString& line) = 0;

    // The program status drawn by the tray icon (-1 neutral, 0 inactive,
    // 1 active, 2 paused) and its tooltip.
    virtual void showProgramStatus(int status, const QString& tooltip) = 0;

    // The settings window's status line (help and progress texts); "" clears it.
    virtual void showStatusText(const QString& text) = 0;

    // Folder picker; gives the picked folder ending in "/", or "" when cancelled.
    [[nodiscard]] virtual QString pickFolder(const QString& title, const QString& startFolder) = 0;

    // Busy pointer while a long job runs; calls nest in pairs (true, false).
    virtual void setBusy(bool busy) = 0;

    // Progress of a long job: `done` of `total` units. `total` 0 hides the
    // progress rule again.
    virtual void showProgress(int done, int total) = 0;

    // Manual clean-up page
    // The clean-up status text: the folder being cleaned, a failure, the
    // result. Shown only while the settings window is open.
    virtual void showCleanupStatus(const QString& text) = 0;
    // The red notice that a clean-up runs; false hides it.
    virtual void showCleanupRunning(bool running) = 0;

    // Restore page
    // The page's read-only path field: the folder shown, or a status text while work runs.
    virtual void showRestorePath(const QString& text) = 0;
    // Puts the keyboard focus into the page's password field.
    virtual void focusRestorePassword() = 0;
};

} // namespace fernhold
