#include "core/clock.h"

namespace fernhold {

QDateTime SystemClock::now() const
{
    const qint64 ms = QDateTime::currentMSecsSinceEpoch();
    const qint64 second = ms / 1000;
    int offset = 0;
    {
        std::lock_guard lock(m_mutex);
        if (second != m_offsetSecond) {
            m_offset = QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc();
            m_offsetSecond = second;
        }
        offset = m_offset;
    }
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, offset);
}

} // namespace fernhold
