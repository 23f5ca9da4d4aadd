#pragma once

#include <QMutex>
#include <QString>

namespace fernhold {

struct JobSettings;

// Publishes the program status for other programs in the registry file
// (group `Registry_Subkey`, values ActualStatusValue and ActualStatusText).
class StatusRecorder
{
public:
    explicit StatusRecorder(QString registryPath);

    // Called by the main thread and the worker; failures are silent, because
    // the status in memory is what counts and the next change writes again.
    void RecordStatus(int status);

    [[nodiscard]] const QString& registryPath() const { return m_path; }

    // The stored number and text of a status: -1 -> 0 "undefined", 0 -> 1
    // "inactive", 1 -> 2 "active", 2 -> 3 "paused".
    [[nodiscard]] static int storedNumber(int status);
    [[nodiscard]] static QString storedText(int status);

private:
    QString m_path;
    QMutex m_mutex;
};

// The XDG autostart entry: written with the running program's path when
// `LoadOnWindowsStart` is 1, removed otherwise. Errors are ignored.
void WriteAutostart(const JobSettings& settings, const QString& configHome,
                    const QString& programPath);

// Path of the autostart entry in `configHome`.
[[nodiscard]] QString AutostartPath(const QString& configHome);

} // namespace fernhold
