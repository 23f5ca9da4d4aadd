#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace fernhold::test {

struct RunResult
{
    int exitCode = -1;
    bool finished = false; // false: it did not end in time and was killed
    QByteArray out;
    QByteArray err;
};

// Runs the real fernhold program with the current environment (a TempHome
// sets it), feeds `input` to its standard input and waits up to `timeoutMs`.
RunResult RunFernhold(const QStringList& arguments, const QByteArray& input = {},
                      int timeoutMs = 60000);

// Path of the fernhold program under test.
QString FernholdProgram();

} // namespace fernhold::test
