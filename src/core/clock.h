#pragma once

#include <QDateTime>
#include <QElapsedTimer>

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
    [[nodiscard]] QDateTime now() const override { return QDateTime::currentDateTime(); }
    [[nodiscard]] qint64 monotonicMs() const override { return m_started.elapsed(); }
    // Without the local-time conversion, which costs a look at the system's
    // time-zone file on every call.
    [[nodiscard]] qint64 nowSeconds() const override { return QDateTime::currentSecsSinceEpoch(); }

private:
    QElapsedTimer m_started;
};

} // namespace fernhold
