#include "run_program.h"

#include <QProcess>

namespace fernhold::test {

QString FernholdProgram()
{
    return QStringLiteral(FERNHOLD_EXE);
}

RunResult RunFernhold(const QStringList& arguments, const QByteArray& input, int timeoutMs)
{
    RunResult result;
    QProcess process;
    process.start(FernholdProgram(), arguments);
    if (!process.waitForStarted(10000)) {
        return result;
    }
    if (!input.isEmpty()) {
        process.write(input);
    }
    process.closeWriteChannel();
    result.finished = process.waitForFinished(timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

} // namespace fernhold::test
