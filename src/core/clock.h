#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <mutex>

namespace fernhold {

// Where logic takes "now" from, so tests can set the time exactly.
class Clock
{
public:
    virtual ~Clock() = default;

    // The current local date and time.
    [[nodiscard]] virtual QDateTime now() const = 0;

    // Milliseconds of a monotonic clock that starts near zero at program start.
    [[nodiscard]] virtual qint64 monotonicMs() const = 0;

    // Seconds since 1970 of now().
    [[nodiscard]] virtual qint64 nowSeconds() const { return now().toSecsSinceEpoch(); }
};

class SystemClock final : public Clock
{
public:
    SystemClock() { m_started.start(); }
    // Every local-time conversion makes the C library look at the system's
    // time-zone file again, and a pass asks for the local time several times
    // per file; so the offset from UTC is taken once per second and the
    // local time is the UTC time with that offset.
    [[nodiscard]] QDateTime now() const override;
    [[nodiscard]] qint64 monotonicMs() const override { return m_started.elapsed(); }
    [[nodiscard]] qint64 nowSeconds() const override { return QDateTime::currentSecsSinceEpoch(); }

private:
    QElapsedTimer m_started;
    mutable std::mutex m_mutex;
    mutable qint64 m_offsetSecond = -1; // the UTC second m_offset was taken in
    mutable int m_offset = 0;
};

} // namespace fernhold
