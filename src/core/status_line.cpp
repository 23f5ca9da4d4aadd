#include "core/status_line.h"

#include "core/clock.h"
#include "core/run_state.h"
#include "core/time_text.h"
#include "core/user_interface.h"

#include <QDateTime>
#include <QMutexLocker>

namespace fernhold {

StatusLine::StatusLine(UserInterface& ui, const Clock& clock, const RunState& run)
    : m_ui(ui), m_clock(clock), m_run(run)
{}

void StatusLine::ShowStatusLine(const QString& text, int hideNextPass)
{
    QString line;
    {
        QMutexLocker lock(&m_mutex);
        if (!text.isEmpty()) {
            m_lastText = text;
        }
        // The worker shows two lines a file; the time text changes once a second.
        const qint64 seconds = m_clock.nowSeconds();
        if (seconds != m_nowSeconds) {
            const QDateTime now = m_clock.now();
            m_nowSeconds = seconds;
            m_nowText = DayFirstDateText(now.date()) + u' ' + ClockText(now.time());
        }
        line = m_nowText;
        const int cycle = m_backupCycle.load();
        if (hideNextPass != 1 && cycle != 0) {
            const qint64 next = m_run.LastPassStartTime.load() + static_cast<qint64>(cycle) * 60;
            if (next != m_nextSeconds) {
                m_nextSeconds = next;
                m_nextText = ClockText(QDateTime::fromSecsSinceEpoch(next).time());
            }
            line += QStringLiteral("          ... ") + m_nextText;
        }
        line += QStringLiteral("\r\n") + m_lastText;
    }
    m_ui.showStatusLine(line);
}

QString StatusLine::lastText() const
{
    QMutexLocker lock(&m_mutex);
    return m_lastText;
}

} // namespace fernhold
