#pragma once

#include <QString>
#include <QStringList>

namespace fernhold {

class Clock;
class WorkerSlot;
struct AppPaths;
struct JobSettings;
struct RunState;

// What a desktop shell (tray icon, menus, small windows) may do to the
// running program. The Application implements it; every call is made on the
// main thread.
class ProgramControl
{
public:
    virtual ~ProgramControl() = default;

    [[nodiscard]] virtual JobSettings& settings() = 0;
    [[nodiscard]] virtual int status() const = 0;
    // Sets and records the program status and shows `statusLine` when not empty.
    virtual void switchStatus(int status, const QString& statusLine) = 0;
    // A pass at the next turn, as with `fernhold --signal now`.
    virtual void backUpNow() = 0;
    // Saves the settings (when they could be read at the start).
    virtual void saveSettings() = 0;
    virtual void showStatusLine(const QString& text) = 0;
    [[nodiscard]] virtual QString logFilePath() const = 0;
    [[nodiscard]] virtual QString programPath() const = 0;
    // Ends the main loop; the orderly program end follows.
    virtual void quit() = 0;

    // What the settings window needs of the running program.
    [[nodiscard]] virtual RunState& runState() = 0;
    [[nodiscard]] virtual WorkerSlot& workerSlot() = 0;
    [[nodiscard]] virtual const Clock& clock() const = 0;
    [[nodiscard]] virtual const AppPaths& paths() const = 0;
    // The next pass saves every file again (the initial full backup).
    virtual void requestFullBackup() = 0;
    // The index is built anew and taken as the reference of file states.
    virtual void requestIndexRebuild() = 0;
    virtual void writeAutostart() = 0;
    // Asks and deletes the log file; gives 1 when it was cleared.
    virtual int clearLogFile() = 0;
    // Files a restore wrote become known states of the source index, so the
    // next pass does not save them again. While a job holds the worker slot
    // (and with it the index) they wait until the slot is free.
    virtual void registerRestoredFiles(const QStringList& files) = 0;
};

// The desktop part of the program's life. The headless run has none.
class ProgramShell
{
public:
    virtual ~ProgramShell() = default;

    // After the settings are loaded: icon, menus, splash and monitor.
    virtual void open(ProgramControl& control) = 0;
    // The start delay begins (true) or ends (false). While it runs a click
    // on the icon only asks whether to end the wait: the menu's entries
    // would act on a program that has not started yet.
    virtual void waitingToStart(bool waiting) = 0;
    // During the start delay: true once when the icon was clicked since the
    // last call (the program then asks whether to end the wait).
    [[nodiscard]] virtual bool iconClicked() = 0;
    // The crash report the user chose to keep.
    virtual void copyToClipboard(const QString& text) = 0;
    // Every turn of the main loop (a tray host that came back gets the icon again).
    virtual void turn() = 0;
    // Program end, before the settings are saved: windows store their state.
    virtual void closing() = 0;
    // A tray balloon, besides any message: what the user should learn even
    // when no window of Fernhold is looked at.
    virtual void notify(const QString& title, const QString& text) = 0;
    // When the last pass that reached a target ended, for the icon's tooltip
    // below the status; "" while there was none.
    virtual void showLastPass(const QString& text) = 0;
    // While the program end waits for the worker: `percent` of the rule;
    // -1 closes the waiting window.
    virtual void waitingForWorker(int percent) = 0;
};

} // namespace fernhold
