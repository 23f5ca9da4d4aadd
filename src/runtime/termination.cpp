#include "runtime/termination.h"

#include <QSocketNotifier>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace fernhold {

namespace {

int g_pipe[2] = {-1, -1};
std::atomic<bool> g_requested{false};

void onSignal(int)
{
    g_requested = true;
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(g_pipe[1], &byte, 1);
}

} // namespace

TerminationWatch::TerminationWatch(std::function<void()> onTerminate)
    : m_onTerminate(std::move(onTerminate))
{
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
        char buffer[64];
        while (::read(g_pipe[0], buffer, sizeof(buffer)) > 0) {
        }
        if (m_onTerminate) {
            m_onTerminate();
        }
    });
}

TerminationWatch::~TerminationWatch() = default;

bool TerminationWatch::requested()
{
    return g_requested.load();
}

} // namespace fernhold
