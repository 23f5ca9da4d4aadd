#include "commands/clean_command.h"

#include "core/clock.h"
#include "core/job_settings.h"
#include "core/run_state.h"
#include "core/settings_store.h"
#include "core/text_table.h"
#include "core/worker_slot.h"
#include "platform/named_lock.h"
#include "runtime/app_paths.h"
#include "runtime/headless_ui.h"
#include "runtime/termination.h"
#include "targets/ftp_target.h"
#include "targets/manual_cleanup.h"

#include <QDir>
#include <optional>

namespace fernhold {

namespace {

constexpr int kUsageError = 2;

int usage(const QString& problem)
{
    PrintError(QStringLiteral("fernhold: ") + problem);
    PrintError(QStringLiteral("usage: fernhold clean --target N (--days D [--keep-latest 0|1] | "
                              "--size S --unit kb|mb) [--yes]"));
    return kUsageError;
}

struct CleanRequest
{
    int target = 0;
    std::optional<int> days;
    std::optional<int> keepLatest;
    std::optional<int> size;
    std::optional<int> unit;
    bool yes = false;
};

std::optional<int> number(const QString& text, int minimum, int maximum)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < minimum || value > maximum) {
        return std::nullopt;
    }
    return value;
}

// Gives the problem, or "" when the request is complete.
QString parse(const QStringList& args, CleanRequest& request)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QStringLiteral("--yes")) {
            request.yes = true;
        } else if (a == QStringLiteral("--target") && hasValue) {
            request.target = number(args[++i], 1, kTargetCount).value_or(-1);
            if (request.target < 0) {
                return QStringLiteral("--target takes a target number from 1 to 9");
            }
        } else if (a == QStringLiteral("--days") && hasValue) {
            request.days = number(args[++i], 1, 999);
            if (!request.days) {
                return QStringLiteral("--days takes a number of days from 1 to 999");
            }
        } else if (a == QStringLiteral("--keep-latest") && hasValue) {
            request.keepLatest = number(args[++i], 0, 1);
            if (!request.keepLatest) {
                return QStringLiteral("--keep-latest takes 0 or 1");
            }
        } else if (a == QStringLiteral("--size") && hasValue) {
            request.size = number(args[++i], 0, 99999);
            if (!request.size) {
                return QStringLiteral("--size takes a whole number from 0 to 99999");
            }
        } else if (a == QStringLiteral("--unit") && hasValue) {
            const QString unit = args[++i].toLower();
            if (unit == QStringLiteral("kb")) {
                request.unit = 0;
            } else if (unit == QStringLiteral("mb")) {
                request.unit = 1;
            } else {
                return QStringLiteral("--unit takes kb or mb");
            }
        } else {
            return QStringLiteral("unexpected argument \"%1\"").arg(a);
        }
    }
    if (request.target == 0) {
        return QStringLiteral("clean needs --target");
    }
    if (request.days.has_value() == request.size.has_value()) {
        return QStringLiteral("clean needs either --days or --size");
    }
    if (request.size && !request.unit) {
        return QStringLiteral("--size needs --unit kb or --unit mb");
    }
    if (request.days && request.unit) {
        return QStringLiteral("--unit goes with --size");
    }
    if (request.size && request.keepLatest) {
        return QStringLiteral("--keep-latest goes with --days");
    }
    return {};
}

// The target as the command line names it in the question.
QString targetText(const JobSettings& settings, int target)
{
    const TargetEntry& entry = settings.target(target);
    const QString where =
        entry.TargetType == QStringLiteral("FTP")
            ? QStringLiteral("//") + entry.FTPServerName + u':' +
                  QString::number(FtpTargetPort(settings, target)) +
                  (entry.FTPSubDir.startsWith(u'/') ? QString() : QStringLiteral("/")) +
                  entry.FTPSubDir
            : entry.TargetDir;
    return Text("TXT00392") + u' ' + QString::number(target) + QStringLiteral(": ") + where;
}

} // namespace

int RunCleanCommand(const QStringList& arguments)
{
    CleanRequest request;
    if (const QString problem = parse(arguments, request); !problem.isEmpty()) {
        return usage(problem);
    }

    // A running instance could back up to the same target meanwhile; the
    // single-instance lock keeps one from starting while the clean-up works.
    const AppPaths paths = ResolveAppPaths();
    const QString programName = Text("Program_Name");
    if (InstanceRuns(paths)) {
        PrintError(QStringLiteral("fernhold: ") + Text("TXT00390"));
        return 1;
    }
    NamedLock instanceLock(paths.folders.runtimeDir, programName);
    if (NamedLock::ensureRuntimeDir(paths.folders.runtimeDir) != 1 || instanceLock.tryLock() != 1) {
        PrintError(QStringLiteral("fernhold: ") + Text("TXT00390"));
        return 1;
    }

    HeadlessUserInterface ui;
    ui.setAnswerYes(request.yes);
    (void)EnsureFolder(paths.folders.appData);
    SettingsStore store(paths.folders.appData, ui);
    JobSettings settings;
    store.LoadSettings(settings);

    settings.SelectedTarget = request.target;
    const QString& type = settings.target(request.target).TargetType;
    if (type != QStringLiteral("WIN") && type != QStringLiteral("FTP")) {
        PrintError(QStringLiteral("fernhold: ") + Text("TXT00393"));
        return 1;
    }
    ManualCleanupJob::Mode mode = ManualCleanupJob::Mode::ByAge;
    if (request.days) {
        settings.CleanDays = *request.days;
        if (request.keepLatest) {
            settings.CleanKeepLatest = static_cast<std::int8_t>(*request.keepLatest);
        }
    } else {
        mode = ManualCleanupJob::Mode::BySize;
        settings.CleanSize = *request.size;
        settings.CleanUnit = static_cast<std::int8_t>(*request.unit);
    }

    // The clean-up runs as it does from the open settings window (status 2).
    RunState run;
    run.Status = 2;
    const SystemClock clock;
    const QString target = targetText(settings, request.target);
    ManualCleanupJob job(std::move(settings), run, clock, ui, mode);
    if (!job.confirm(target)) {
        PrintError(QStringLiteral("fernhold: ") + Text("TXT00391"));
        return 1;
    }

    // SIGINT and SIGTERM stop the clean-up like the stop button; the counts
    // so far are still printed.
    const TerminationWatch termination([] {});
    WorkerSlot slot;
    if (slot.start([&job] { job.run(); }) != 1) {
        return 1;
    }
    while (slot.waitForEnd(100) != 1) {
        if (TerminationWatch::requested()) {
            run.CleanupAbort = 1;
        }
    }

    switch (job.outcome()) {
    case ManualCleanupJob::Outcome::Finished:
        PrintOut(job.resultText());
        return 0;
    case ManualCleanupJob::Outcome::Stopped:
        if (!job.resultText().isEmpty()) {
            PrintOut(job.resultText());
        }
        PrintError(QStringLiteral("fernhold: ") + Text("TXT00394"));
        return 1;
    case ManualCleanupJob::Outcome::NoConnection:
    case ManualCleanupJob::Outcome::NoRoot:
        PrintError(job.resultText());
        return 1;
    default:
        // The job has shown its message already.
        return 1;
    }
}

} // namespace fernhold
