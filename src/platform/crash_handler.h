#pragma once

#include <QByteArray>
#include <QString>

namespace fernhold {

// Installs handlers for SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT that
// write a crash report to `reportPath` and to standard error and end the
// process with exit code 1. The report is `head`, the signal's description
// and number, `identity` (program and version), the backtrace as the place
// of the fault, then `tail`. Everything is prepared here, because the
// handler itself may only make async-signal-safe calls.
void InstallCrashHandler(const QString& reportPath, const QByteArray& head,
                         const QByteArray& identity, const QByteArray& tail);

} // namespace fernhold
