#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace fernhold {

// Turns SIGTERM and SIGINT into a call on the main thread (through a pipe
// that the signal handler writes), so the orderly program-end path runs.
class TerminationWatch
{
public:
    explicit TerminationWatch(std::function<void()> onTerminate);
    ~TerminationWatch();
    TerminationWatch(const TerminationWatch&) = delete;
    TerminationWatch& operator=(const TerminationWatch&) = delete;

    // True once a termination signal arrived (also before the event loop runs).
    [[nodiscard]] static bool requested();

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void()> m_onTerminate;
};

} // namespace fernhold
