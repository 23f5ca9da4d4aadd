#pragma once

#include "core/user_interface.h"

#include <QMutex>

namespace fernhold {

// The UserInterface of a run without a display: messages go to standard
// error, questions take their default answer unless `--yes` said otherwise,
// and the folder picker is always cancelled.
class HeadlessUserInterface : public UserInterface
{
public:
    void showMessage(const QString& title, const QString& text, MessageIcon icon,
                     bool topmost = false) override;
    [[nodiscard]] bool askYesNo(const QString& title, const QString& text, MessageIcon icon,
                                bool defaultYes) override;
    void showStatusLine(const QString& line) override;

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
