#include "runtime/remote_commands.h"

#include "core/program_status.h"
#include "core/text_table.h"
#include "platform/named_lock.h"
#include "platform/registry_file.h"
#include "runtime/app_paths.h"

#include <QDeadlineTimer>
#include <QThread>

namespace fernhold {

namespace {

constexpr int kHoldMilliseconds = 7000;

} // namespace

int RunSignalCommand(const QString& word)
{
    QString name;
    if (word == QStringLiteral("now")) {
        name = QStringLiteral("Fernhold_Now");
    } else if (word == QStringLiteral("active")) {
        name = QStringLiteral("Fernhold_Active");
    } else if (word == QStringLiteral("inactive")) {
        name = QStringLiteral("Fernhold_Inactive");
    } else {
        PrintError(QStringLiteral("fernhold: unknown signal \"%1\"\n"
                                  "usage: fernhold --signal now|active|inactive")
                       .arg(word));
        return 2;
    }
    const AppPaths paths = ResolveAppPaths();
    if (!InstanceRuns(paths)) {
        PrintError(QStringLiteral("fernhold: no running Fernhold instance to signal."));
        return 1;
    }
    if (NamedLock::ensureRuntimeDir(paths.folders.runtimeDir) != 1) {
        PrintError(QStringLiteral("fernhold: cannot use the runtime folder %1")
                       .arg(paths.folders.runtimeDir));
        return 1;
    }
    NamedLock lock(paths.folders.runtimeDir, name);
    // Another signaller may hold the same lock for a moment.
    QDeadlineTimer patience(2000);
    while (lock.tryLock() != 1) {
        if (patience.hasExpired()) {
            PrintError(QStringLiteral("fernhold: another program is sending the same signal."));
            return 1;
        }
        QThread::msleep(50);
    }
    QThread::msleep(kHoldMilliseconds);
    return 0;
}

int RunStatusCommand()
{
    const AppPaths paths = ResolveAppPaths();
    RegistryFile registry(paths.registryPath);
    const QString group = Text(QStringLiteral("Registry_Subkey"));
    const QString number = registry.value(group, QStringLiteral("ActualStatusValue"))
                               .value_or(QString::number(StatusRecorder::storedNumber(-1)));
    const QString text = registry.value(group, QStringLiteral("ActualStatusText"))
                             .value_or(StatusRecorder::storedText(-1));
    PrintOut(number + u' ' + text);
    return 0;
}

} // namespace fernhold
