#pragma once

#include "core/user_interface.h"

#include <QObject>
#include <atomic>

namespace fernhold {

// The UserInterface of the desktop. Calls from the worker thread are carried
// to the GUI thread: questions and the folder picker block the worker until
// answered (the GUI thread's event loop keeps running under the modal box),
// everything else is queued and returns at once. What windows draw arrives
// as signals on the GUI thread.
class QtUserInterface : public QObject, public UserInterface
{
    Q_OBJECT
public:
    explicit QtUserInterface(QObject* parent = nullptr);

    void showMessage(const QString& title, const QString& text, MessageIcon icon,
                     bool topmost = false) override;
    [[nodiscard]] bool askYesNo(const QString& title, const QString& text, MessageIcon icon,
                                bool defaultYes) override;
    [[nodiscard]] bool askOkCancel(const QString& title, const QString& text,
                                   MessageIcon icon) override;
    void showStatusLine(const QString& line) override;
    void showProgramStatus(int status, const QString& tooltip) override;
    void showStatusText(const QString& text) override;
    [[nodiscard]] QString pickFolder(const QString& title, const QString& startFolder) override;
    void setBusy(bool busy) override;
    void showProgress(int done, int total) override;
    void showCleanupStatus(const QString& text) override;
    void showCleanupRunning(bool running) override;
    void showRestorePath(const QString& text) override;
    void focusRestorePassword() override;

signals:
    void statusLineShown(const QString& line);
    void programStatusShown(int status, const QString& tooltip);
    void statusTextShown(const QString& text);
    void progressShown(int done, int total);
    void cleanupStatusShown(const QString& text);
    void cleanupRunningShown(bool running);
    void restorePathShown(const QString& text);
    void restorePasswordFocusAsked();

private:
    [[nodiscard]] bool onGuiThread() const;
    void messageBox(const QString& title, const QString& text, MessageIcon icon, bool topmost);
    [[nodiscard]] bool question(const QString& title, const QString& text, MessageIcon icon,
                                bool defaultYes, bool okCancel = false);
    void busy(bool on);

    int m_busyDepth = 0; // GUI thread only
};

} // namespace fernhold
