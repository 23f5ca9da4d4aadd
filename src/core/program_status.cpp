#include "core/program_status.h"

#include "core/job_settings.h"
#include "core/text_table.h"
#include "platform/file_io.h"
#include "platform/registry_file.h"

#include <QDir>
#include <QFile>
#include <QMutexLocker>
#include <cstdint>

namespace fernhold {

StatusRecorder::StatusRecorder(QString registryPath) : m_path(std::move(registryPath)) {}

int StatusRecorder::storedNumber(int status)
{
    // Status + 1 computed in a signed byte.
    return static_cast<std::int8_t>(static_cast<std::int8_t>(status) + 1);
}

QString StatusRecorder::storedText(int status)
{
    switch (storedNumber(status)) {
    case 1:
        return QStringLiteral("inactive");
    case 2:
        return QStringLiteral("active");
    case 3:
        return QStringLiteral("paused");
    default:
        return QStringLiteral("undefined");
    }
}

void StatusRecorder::RecordStatus(int status)
{
    QMutexLocker lock(&m_mutex);
    RegistryFile registry(m_path);
    (void)registry.setValues(
        Text(QStringLiteral("Registry_Subkey")),
        {{QStringLiteral("ActualStatusValue"), QString::number(storedNumber(status))},
         {QStringLiteral("ActualStatusText"), storedText(status)}});
}

QString AutostartPath(const QString& configHome)
{
    return configHome + QStringLiteral("autostart/fernhold.desktop");
}

namespace {

// Exec= arguments are quoted when they hold characters the desktop-entry
// format reserves.
QString quotedExec(const QString& path)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = false;
    for (QChar c : path) {
        needsQuotes = needsQuotes || reserved.contains(c);
    }
    if (!needsQuotes) {
        return path;
    }
    QString escaped;
    for (QChar c : path) {
        // The string escape (\\ for \) applies before the quoting rule.
        if (c == u'\\') {
            escaped += QStringLiteral("\\\\\\\\");
            continue;
        }
        if (c == u'"' || c == u'`' || c == u'$') {
            escaped += QStringLiteral("\\\\");
        }
        escaped += c;
    }
    return u'"' + escaped + u'"';
}

} // namespace

void WriteAutostart(const JobSettings& settings, const QString& configHome,
                    const QString& programPath)
{
    const QString path = AutostartPath(configHome);
    if (settings.LoadOnWindowsStart <= 0) {
        QFile::remove(path);
        return;
    }
    QDir().mkpath(configHome + QStringLiteral("autostart"));
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=%1\n"
                                         "Comment=%2\n"
                                         "Exec=%3\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(Text(QStringLiteral("Program_Name")),
                                   Text(QStringLiteral("Program_Title")), quotedExec(programPath));
    (void)WriteFileAtomically(path, entry.toUtf8(), false);
}

} // namespace fernhold
