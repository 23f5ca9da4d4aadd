#include "archiver.h"
#include "engine_logging.h"

#include <QElapsedTimer>
#include <QProcess>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#include <utility>

namespace fernhold {

namespace {

// How often the stop check is polled while a child runs. The wait itself
// returns as soon as the child ends or writes, so a normal run never waits
// for this interval.
constexpr int kPollMs = 50;
constexpr qsizetype kErrorBytesKept = 2000;

QString decodeLine(QByteArray line)
{
    if (line.endsWith('\n')) {
        line.chop(1);
    }
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    return QString::fromUtf8(line);
}

} // namespace

Archiver::Archiver(QString program, QString workFolder, StopCheck mustStop)
    : m_program(std::move(program)), m_workFolder(std::move(workFolder)),
      m_mustStop(std::move(mustStop))
{}

ArchiverRun Archiver::RunArchiver(const QStringList& arguments,
                                  const std::optional<QByteArray>& input,
                                  const LineHandler& onLine) const
{
    ArchiverRun run;
    if (m_program.isEmpty()) {
        return run;
    }
    if (stopRequested()) {
        run.stopped = 1;
        return run;
    }

    QProcess child;
    child.setProgram(m_program);
    child.setArguments(arguments);
    child.setWorkingDirectory(m_workFolder);
    if (!input) {
        // End-of-file at once: 7-Zip asks for a password on standard input
        // when it meets an encrypted archive, and would wait for ever on an
        // open pipe.
        child.setStandardInputFile(QProcess::nullDevice());
    }
    if (!onLine) {
        child.setStandardOutputFile(QProcess::nullDevice());
    }
    // The child leads a process group of its own, so a kill reaches anything
    // it starts, and it dies with the thread that runs it, so not even a
    // crash of Fernhold leaves an archiver writing into the work folder.
    const pid_t parent = ::getpid();
    child.setChildProcessModifier([parent] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(127);
        }
    });
    child.start();
    if (!child.waitForStarted(-1)) {
        qCWarning(lcEngine) << "archiver did not start:" << m_program << child.errorString();
        return run;
    }
    run.started = 1;
    if (input) {
        child.write(*input);
        child.closeWriteChannel();
    }

    const auto deliverLines = [&](bool atEnd) {
        if (!onLine) {
            return;
        }
        while (child.canReadLine()) {
            onLine(decodeLine(child.readLine()));
        }
        if (atEnd && child.bytesAvailable() > 0) {
            onLine(decodeLine(child.readAll()));
        }
    };

    while (child.state() != QProcess::NotRunning) {
        if (onLine) {
            QElapsedTimer waited;
            waited.start();
            const bool readable = child.waitForReadyRead(kPollMs);
            deliverLines(false);
            // A child that closed its output but runs on would make the
            // read wait return at once: wait for its end instead.
            if (!readable && waited.elapsed() < kPollMs / 2 &&
                child.state() != QProcess::NotRunning) {
                child.waitForFinished(kPollMs);
            }
        } else {
            child.waitForFinished(kPollMs);
        }
        if (child.state() == QProcess::NotRunning) {
            break;
        }
        if (stopRequested()) {
            const qint64 pid = child.processId();
            if (pid > 0) {
                ::kill(-static_cast<pid_t>(pid), SIGKILL);
            }
            child.kill();
            child.waitForFinished(-1);
            run.stopped = 1;
            break;
        }
    }
    deliverLines(true);

    if (!run.stopped && child.exitStatus() == QProcess::NormalExit) {
        run.exitCode = child.exitCode();
    }
    run.errors = child.readAllStandardError().left(kErrorBytesKept);
    if (!run.succeeded()) {
        qCDebug(lcEngine) << "archiver run" << arguments.value(0) << "exit" << run.exitCode
                          << "stopped" << run.stopped << run.errors;
    }
    return run;
}

} // namespace fernhold
