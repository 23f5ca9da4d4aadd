#include "running_instance.h"

#include "run_program.h"

#include <QDeadlineTimer>
#include <QThread>
#include <csignal>

namespace fernhold::test {

RunningInstance::RunningInstance(const QStringList& arguments)
{
    m_process.start(FernholdProgram(), arguments);
    m_started = m_process.waitForStarted(10000);
    m_process.closeWriteChannel();
}

RunningInstance::~RunningInstance()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

int RunningInstance::signalAndWait(int signal, int timeoutMs)
{
    if (m_process.state() == QProcess::NotRunning) {
        return -1;
    }
    ::kill(static_cast<pid_t>(m_process.processId()), signal);
    if (!m_process.waitForFinished(timeoutMs) || m_process.exitStatus() != QProcess::NormalExit) {
        return -1;
    }
    return m_process.exitCode();
}

int RunningInstance::terminate(int timeoutMs)
{
    return signalAndWait(SIGTERM, timeoutMs);
}

void RunningInstance::kill9()
{
    m_process.kill();
    m_process.waitForFinished(10000);
}

QByteArray RunningInstance::standardError()
{
    // Without an event loop QProcess reads the pipe only while it waits.
    if (m_process.state() == QProcess::Running) {
        m_process.waitForReadyRead(20);
    }
    m_err += m_process.readAllStandardError();
    return m_err;
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return condition();
        }
        QThread::msleep(50);
    }
    return true;
}

} // namespace fernhold::test
