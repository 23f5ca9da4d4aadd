#pragma once

#include "core/clock.h"

#include <QDateTime>
#include <QMutex>
#include <QMutexLocker>
#include <atomic>

namespace fernhold::test {

// A clock the test sets: local time and monotonic milliseconds. Safe to read
// from a worker thread while the test moves it.
class ManualClock final : public Clock
{
public:
    explicit ManualClock(QDateTime now = QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)))
        : m_now(std::move(now))
    {}
    [[nodiscard]] QDateTime now() const override
    {
        QMutexLocker lock(&m_mutex);
        return m_now;
    }
    [[nodiscard]] qint64 monotonicMs() const override { return m_ticks.load(); }

    void setNow(const QDateTime& now)
    {
        QMutexLocker lock(&m_mutex);
        m_now = now;
    }
    // Moves both clocks forward.
    void advanceSeconds(qint64 seconds)
    {
        QMutexLocker lock(&m_mutex);
        m_now = m_now.addSecs(seconds);
        m_ticks += seconds * 1000;
    }
    void setMonotonicMs(qint64 ms) { m_ticks = ms; }

private:
    mutable QMutex m_mutex;
    QDateTime m_now;
    std::atomic<qint64> m_ticks{0};
};

} // namespace fernhold::test
