#pragma once

#include <QMutex>
#include <QString>
#include <atomic>

namespace fernhold {

class Clock;
class UserInterface;
struct RunState;

// The monitor window's status line: the current time, the time of the next
// regular pass, and what Fernhold is doing. Called by the main thread and the
// worker.
class StatusLine
{
public:
    StatusLine(UserInterface& ui, const Clock& clock, const RunState& run);

    // Minutes between regular passes; 0 hides the next-pass time.
    void setBackupCycle(int minutes) { m_backupCycle = minutes; }

    // A non-empty text becomes the last text, an empty one repeats it.
    // `hideNextPass` 1 leaves the next-pass time out.
    void ShowStatusLine(const QString& text, int hideNextPass = 0);

    [[nodiscard]] QString lastText() const;

private:
    UserInterface& m_ui;
    const Clock& m_clock;
    const RunState& m_run;
    std::atomic<int> m_backupCycle{0};
    mutable QMutex m_mutex;
    QString m_lastText;
    // The next-pass time as shown, for the seconds it was made from: it stays
    // the same for a whole pass, and each local-time conversion costs a look
    // at the system's time-zone file.
    qint64 m_nextSeconds = -1;
    QString m_nextText;
    qint64 m_nowSeconds = -1;
    QString m_nowText;
};

} // namespace fernhold
