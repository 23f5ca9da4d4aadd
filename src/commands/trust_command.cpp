#include "commands/trust_command.h"

#include "runtime/app_paths.h"
#include "runtime/headless_ui.h"
#include "core/job_settings.h"
#include "core/server_fingerprint.h"
#include "core/settings_store.h"
#include "core/text_table.h"
#include "targets/ftp_session.h"
#include "targets/ftp_target.h"

#include <QDir>

namespace fernhold {

namespace {

constexpr int kUsageError = 2;

int usage(const QString& problem)
{
    PrintError(QStringLiteral("fernhold: ") + problem);
    PrintError(QStringLiteral("usage: fernhold target trust N [--yes]"));
    return kUsageError;
}

QString say(const char* key)
{
    return QStringLiteral("fernhold: ") + Text(QString::fromLatin1(key));
}

} // namespace

int RunTargetCommand(const QStringList& arguments)
{
    if (arguments.value(0) != QStringLiteral("trust")) {
        return usage(QStringLiteral("the target command knows only \"trust\""));
    }
    int target = 0;
    bool yes = false;
    for (const QString& a : arguments.mid(1)) {
        bool number = false;
        const int n = a.toInt(&number);
        if (a == QStringLiteral("--yes")) {
            yes = true;
        } else if (number && target == 0 && n >= 1 && n <= kTargetCount) {
            target = n;
        } else {
            return usage(QStringLiteral("unexpected argument \"%1\"").arg(a));
        }
    }
    if (target == 0) {
        return usage(QStringLiteral("trust needs a target number from 1 to 9"));
    }

    const AppPaths paths = ResolveAppPaths();
    HeadlessUserInterface ui;
    QDir().mkpath(paths.folders.appData);
    SettingsStore store(paths.folders.appData, ui);
    JobSettings settings;
    store.LoadSettings(settings);
    const TargetEntry& entry = settings.target(target);
    const FtpSessionOptions options = FtpTargetOptions(settings, target);
    if (entry.TargetType != QStringLiteral("FTP") || options.transport == FtpTransport::Plain) {
        PrintError(say("TXT00504"));
        return 1;
    }
    const std::optional<QByteArray> key =
        FtpServerKey(entry.FTPServerName, FtpTargetPort(settings, target), options);
    if (!key) {
        PrintError(say("TXT00505"));
        return 1;
    }
    const QString fingerprint = FingerprintText(*key);
    PrintOut(fingerprint);
    if (!yes) {
        PrintError(say("TXT00506"));
        return 1;
    }
    // A running instance writes its own settings when it ends and would
    // drop the pin again.
    if (InstanceRuns(paths)) {
        PrintError(say("TXT00507"));
        return 1;
    }
    settings.target(target).FTPFingerprint = fingerprint;
    return store.SaveSettings(settings) == 1 ? 0 : 1;
}

} // namespace fernhold
