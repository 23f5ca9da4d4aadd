#pragma once

#include "core/user_interface.h"

#include <QMutex>

namespace fernhold {

// The UserInterface of a run without a display: messages go to standard
// error, questions take their default answer unless `--yes` said otherwise,
// and the folder picker is cancelled. Safe from both threads.
class HeadlessUserInterface : public UserInterface
{
public:
    void showMessage(const QString& title, const QString& text, MessageIcon icon,
                     bool topmost = false) override;
    [[nodiscard]] bool askYesNo(const QString& title, const QString& text, MessageIcon icon,
                                bool defaultYes) override;
    [[nodiscard]] bool askOkCancel(const QString& title, const QString& text,
                                   MessageIcon icon) override;
    void showStatusLine(const QString& line) override;
    // Nothing to draw without a display: no icon, no settings window, no
    // pointer. The command-line restore answers the picker itself.
    void showProgramStatus(int status, const QString& tooltip) override;
    void showStatusText(const QString& text) override;
    [[nodiscard]] QString pickFolder(const QString& title, const QString& startFolder) override;
    void setBusy(bool busy) override;
    void showProgress(int done, int total) override;
    void showCleanupStatus(const QString& text) override;
    void showCleanupRunning(bool running) override;
    void showRestorePath(const QString& text) override;
    void focusRestorePassword() override;

    // Questions are answered Yes (the command line's --yes).
    void setAnswerYes(bool yes) { m_answerYes = yes; }
    // Status lines are echoed to standard error.
    void setVerbose(bool verbose) { m_verbose = verbose; }
    [[nodiscard]] QString lastStatusLine() const;

private:
    mutable QMutex m_mutex;
    QString m_lastStatusLine;
    bool m_answerYes = false;
    bool m_verbose = false;
};

} // namespace fernhold
