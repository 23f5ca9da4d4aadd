#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <functional>

namespace fernhold::test {

// The real fernhold program running in the background (in the current
// environment, which a TempHome sets), for tests that talk to an instance.
class RunningInstance
{
public:
    explicit RunningInstance(const QStringList& arguments = {QStringLiteral("--headless")});
    ~RunningInstance(); // kills a still running instance

    [[nodiscard]] bool started() const { return m_started; }
    [[nodiscard]] qint64 pid() const { return m_process.processId(); }

    // SIGTERM, then waits for the orderly end. Gives the exit code, -1 when it
    // did not end normally in time.
    int terminate(int timeoutMs = 30000);
    // SIGKILL: ends the instance without any of its end steps.
    void kill9();
    // Sends a signal (SIGSEGV for the crash handler...) and waits for the end.
    int signalAndWait(int signal, int timeoutMs = 30000);

    [[nodiscard]] QByteArray standardError();

private:
    QProcess m_process;
    bool m_started = false;
    QByteArray m_err;
};

// Polls `condition` until it holds or `timeoutMs` passed. Gives its last value.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 20000);

} // namespace fernhold::test
