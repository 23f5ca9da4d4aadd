#include "engine/archiver.h"
#include "engine/engine_logging.h"
#include "platform/file_name.h"

#include <QElapsedTimer>
#include <QProcess>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#include <utility>
#include <vector>

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
    // 7-Zip lists a name that is not UTF-8 with its own bytes.
    return DecodeFileName(line);
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

    // QProcess would hand the arguments over in UTF-8, which has no form for
    // the odd bytes of a name that is not UTF-8: the child execs the archiver
    // itself, with each argument's exact bytes (made here, as the child must
    // not allocate).
    std::vector<QByteArray> bytes;
    bytes.reserve(static_cast<std::size_t>(arguments.size()) + 1);
    bytes.push_back(EncodeFileName(m_program));
    for (const QString& argument : arguments) {
        bytes.push_back(EncodeFileName(argument));
    }
    std::vector<char*> argv;
    argv.reserve(bytes.size() + 1);
    for (QByteArray& argument : bytes) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    // A failed exec in the child could not be told from a run that failed.
    if (::access(argv[0], X_OK) != 0) {
        qCWarning(lcEngine) << "archiver did not start:" << m_program << "not executable";
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
    child.setChildProcessModifier([parent, &argv] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(127);
        }
        // QProcess has set up the standard channels and the folder by now.
        ::execv(argv[0], argv.data());
        ::_exit(127);
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
