#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace fernhold::test {

struct ToolOutput
{
    int exitCode = -1; // -1: did not start, crashed or timed out
    QByteArray out;
    QByteArray err;
};

// Runs a program of the system (7za, unzip, python3: independent zip
// readers) with `input` on its standard input, and waits for it.
inline ToolOutput RunSystemTool(const QString& program, const QStringList& arguments,
                                const QByteArray& input = {}, int timeoutMs = 120000)
{
    ToolOutput result;
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) {
        return result;
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

} // namespace fernhold::test
