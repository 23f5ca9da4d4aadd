#include "commands/restore_command.h"

#include "core/job_settings.h"
#include "core/settings_store.h"
#include "core/step_job.h"
#include "core/text_table.h"
#include "engine/archiver.h"
#include "platform/file_name.h"
#include "platform/folders.h"
#include "platform/named_lock.h"
#include "restore/backup_browser.h"
#include "restore/folder_restore_window.h"
#include "restore/restore_version.h"
#include "restore/restored_registration.h"
#include "runtime/app_paths.h"
#include "runtime/restore_session.h"
#include "runtime/termination.h"
#include "targets/version_name.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <unistd.h>

namespace fernhold {

namespace {

constexpr int kFailed = 1;
constexpr int kUsageError = 2;
constexpr int kInterrupted = 130;

int usage(const QString& problem)
{
    PrintError(QStringLiteral("fernhold: ") + problem);
    PrintError(QStringLiteral(
        "usage: fernhold restore list [--target N] [--name TEXT] [--date YYYY-MM-DD] [FOLDER]\n"
        "       fernhold restore version [--target N] [--to DIR] [--yes] [--password-stdin]"
        " FOLDER VERSION\n"
        "       fernhold restore folder [--target N] --from YYYY-MM-DD --until YYYY-MM-DD"
        " [--oldest]\n"
        "                               [--subfolders] [--filter TEXT] [--to DIR] [--yes]"
        " [--password-stdin] FOLDER"));
    return kUsageError;
}

// The arguments of one restore command: flags, options with a value, and
// the remaining positional words.
struct Arguments
{
    std::map<QString, QString> values;
    QStringList flags;
    QStringList words;

    [[nodiscard]] bool has(const char* flag) const { return flags.contains(QLatin1String(flag)); }
    [[nodiscard]] std::optional<QString> value(const char* option) const
    {
        const auto it = values.find(QLatin1String(option));
        return it == values.end() ? std::nullopt : std::optional<QString>(it->second);
    }
};

std::optional<Arguments> parseArguments(const QStringList& arguments, const QStringList& withValue,
                                        const QStringList& flags, QString& problem)
{
    Arguments parsed;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QStringLiteral("--")) {
            parsed.words.append(arguments.mid(i + 1));
            break;
        }
        if (withValue.contains(a)) {
            if (i + 1 >= arguments.size()) {
                problem = a + QStringLiteral(" needs a value");
                return std::nullopt;
            }
            parsed.values[a] = arguments[++i];
        } else if (flags.contains(a)) {
            parsed.flags.append(a);
        } else if (a.startsWith(QStringLiteral("--"))) {
            problem = QStringLiteral("unknown option \"%1\"").arg(a);
            return std::nullopt;
        } else {
            parsed.words.append(a);
        }
    }
    return parsed;
}

std::optional<QDate> parseDay(const QString& value)
{
    const QDate date = QDate::fromString(value, QStringLiteral("yyyy-MM-dd"));
    if (value.size() != 10 || !date.isValid()) {
        return std::nullopt;
    }
    return date;
}

// A folder as the browser shows it ("home/ann/Docs/"); a leading "/" is
// dropped, so the source folder's own path works as well.
std::optional<QString> parseFolder(QString folder)
{
    while (folder.startsWith(u'/')) {
        folder.remove(0, 1);
    }
    if (!folder.isEmpty() && !folder.endsWith(u'/')) {
        folder.append(u'/');
    }
    if (!IsSafeRelativeFolder(folder)) {
        return std::nullopt;
    }
    return folder;
}

std::optional<QString> readPasswordLine()
{
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QByteArray bytes = in.readLine(64 * 1024);
    while (bytes.endsWith('\n') || bytes.endsWith('\r')) {
        bytes.chop(1);
    }
    if (bytes.isEmpty()) {
        return std::nullopt;
    }
    return QString::fromUtf8(bytes);
}

// Reads the settings of a restore command and its --target.
int loadSession(RestoreSession& session, const Arguments& args)
{
    int number = 0;
    if (const auto target = args.value("--target")) {
        bool ok = false;
        number = target->toInt(&ok);
        if (!ok || number < 1 || number > kTargetCount) {
            return usage(QStringLiteral("--target takes a number from 1 to 9"));
        }
    }
    session.load(number);
    return 0;
}

bool stopRequested()
{
    return TerminationWatch::requested();
}

QString absoluteFolder(const QString& folder)
{
    // The current folder through the name codec as well: its name may not be UTF-8.
    QString path = folder;
    if (!path.startsWith(u'/')) {
        const std::unique_ptr<char, decltype(&std::free)> current(::getcwd(nullptr, 0), &std::free);
        path = (current ? DecodeFileName(current.get()) : QDir::currentPath()) + u'/' + path;
    }
    return WithSlash(QDir::cleanPath(path));
}

int restoreList(const QStringList& arguments)
{
    QString problem;
    const auto args = parseArguments(
        arguments, {QStringLiteral("--target"), QStringLiteral("--name"), QStringLiteral("--date")},
        {}, problem);
    if (!args) {
        return usage(problem);
    }
    if (args->words.size() > 1) {
        return usage(QStringLiteral("restore list takes at most one folder"));
    }
    const auto folder = parseFolder(args->words.value(0));
    if (!folder) {
        PrintError(Text("TXT00418") + u' ' + args->words.value(0));
        return kUsageError;
    }
    std::optional<QDate> date;
    if (const auto day = args->value("--date")) {
        date = parseDay(*day);
        if (!date) {
            return usage(QStringLiteral("--date takes a day as YYYY-MM-DD"));
        }
    }
    RestoreSession session;
    if (const int error = loadSession(session, *args)) {
        return error;
    }
    BackupBrowser browser(session.settings, session.ui, CommandFtpOptions());
    const auto name = args->value("--name");
    browser.setNameFilter(name.has_value(), name.value_or(QString()));
    browser.setDateFilter(date.has_value(), date.value_or(QDate()));
    // The listing can wait on an FTP server for its time-outs.
    RunAsSlotJob(session.ui, [&] { browser.ListBackupFolder(*folder); });

    switch (browser.lastOutcome()) {
    case ListingOutcome::Listed:
        break;
    case ListingOutcome::Unreadable:
        PrintError(Text("TXT00417") + u' ' + *folder);
        return kFailed;
    case ListingOutcome::NoTarget:
        PrintError(Text("TXT00410"));
        return kFailed;
    case ListingOutcome::FellBackToRoot:
    case ListingOutcome::NoTransport:
    case ListingOutcome::NoConnection:
        return kFailed; // the message is out already
    }
    const QList<BrowserRow>& rows = browser.rows();
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const BrowserRow& row = rows[i];
        // The fourth column is what `restore version` and the next
        // `restore list` take: the version name, or the folder with "/".
        const QString entry =
            browser.entries().at(i).mid(1) + (row.folder ? QStringLiteral("/") : QString());
        PrintOut(row.name + u'\t' + row.saved + u'\t' + row.note + u'\t' + entry);
    }
    return 0;
}

int restoreVersion(const QStringList& arguments)
{
    QString problem;
    const auto args =
        parseArguments(arguments, {QStringLiteral("--target"), QStringLiteral("--to")},
                       {QStringLiteral("--yes"), QStringLiteral("--password-stdin")}, problem);
    if (!args) {
        return usage(problem);
    }
    if (args->words.size() != 2) {
        return usage(QStringLiteral("restore version needs FOLDER and VERSION"));
    }
    const auto folder = parseFolder(args->words[0]);
    if (!folder) {
        PrintError(Text("TXT00418") + u' ' + args->words[0]);
        return kUsageError;
    }
    QString password;
    if (args->has("--password-stdin")) {
        const auto line = readPasswordLine();
        if (!line) {
            PrintError(Text("TXT00419"));
            return kUsageError;
        }
        password = *line;
    }
    RestoreSession session;
    if (const int error = loadSession(session, *args)) {
        return error;
    }
    if (!session.workFolderReady()) {
        return kFailed;
    }
    const TerminationWatch termination([] {});
    session.ui.setAnswerYes(args->has("--yes"));
    const auto to = args->value("--to");
    if (to) {
        session.ui.setPickedFolder(absoluteFolder(*to));
    }
    const Archiver archiver(session.paths.folders.temp, stopRequested);
    VersionRestore restore(session.settings,
                           RestoreServices{session.ui, archiver, session.paths.folders.documents,
                                           CommandFtpOptions()});
    int written = 0;
    RunAsSlotJob(session.ui, [&] {
        written = restore.RestoreVersion(*folder, args->words[1],
                                         to ? QStringLiteral("1") : QStringLiteral("0"), password);
    });
    if (written == 1) {
        PrintOut(restore.restoredFile());
        return 0;
    }
    if (session.ui.declined()) {
        PrintError(Text("TXT00414"));
    }
    return stopRequested() ? kInterrupted : kFailed;
}

int restoreFolder(const QStringList& arguments)
{
    QString problem;
    const auto args = parseArguments(arguments,
                                     {QStringLiteral("--target"), QStringLiteral("--from"),
                                      QStringLiteral("--until"), QStringLiteral("--filter"),
                                      QStringLiteral("--to")},
                                     {QStringLiteral("--oldest"), QStringLiteral("--subfolders"),
                                      QStringLiteral("--yes"), QStringLiteral("--password-stdin")},
                                     problem);
    if (!args) {
        return usage(problem);
    }
    if (args->words.size() != 1) {
        return usage(QStringLiteral("restore folder needs one FOLDER"));
    }
    const auto folder = parseFolder(args->words[0]);
    if (!folder || folder->isEmpty()) {
        PrintError(Text("TXT00418") + u' ' + args->words[0]);
        return kUsageError;
    }
    const auto from = parseDay(args->value("--from").value_or(QString()));
    const auto until = parseDay(args->value("--until").value_or(QString()));
    if (!from || !until) {
        return usage(QStringLiteral("--from and --until take a day as YYYY-MM-DD"));
    }
    if (*from > *until) {
        PrintError(Text("TXT00416"));
        return kUsageError;
    }
    QString password;
    if (args->has("--password-stdin")) {
        const auto line = readPasswordLine();
        if (!line) {
            PrintError(Text("TXT00419"));
            return kUsageError;
        }
        password = *line;
    }
    RestoreSession session;
    if (const int error = loadSession(session, *args)) {
        return error;
    }
    const QString type = session.targetType();
    if (type == QStringLiteral("FTP")) {
        PrintError(Text("TXT00119"));
        return kFailed;
    }
    if (type != QStringLiteral("WIN")) {
        PrintError(Text("TXT00410"));
        return kFailed;
    }
    if (!session.workFolderReady()) {
        return kFailed;
    }

    // The single-instance lock keeps an instance from starting while files
    // come back; when one runs already, it would not see a registration.
    NamedLock instanceLock(session.paths.folders.runtimeDir, Text("Program_Name"));
    const bool instanceRuns = InstanceRuns(session.paths) ||
                              NamedLock::ensureRuntimeDir(session.paths.folders.runtimeDir) != 1 ||
                              instanceLock.tryLock() != 1;
    if (instanceRuns) {
        PrintError(Text("TXT00413"));
    }
    const TerminationWatch termination([] {});
    session.ui.setAnswerYes(args->has("--yes"));
    const auto to = args->value("--to");
    if (to) {
        session.ui.setPickedFolder(absoluteFolder(*to));
    }
    const Archiver archiver(session.paths.folders.temp, stopRequested);
    // The file-time table is what the next start compares with; without an
    // instance it is ours to update (the lock keeps one from starting
    // meanwhile).
    RegisterRestored registerRestored;
    if (!instanceRuns) {
        const QString table = session.paths.folders.appData + Text("FileTime_File");
        registerRestored = [&session, table](const QStringList& files) {
            const int added = RegisterInFileTimeTable(table, files);
            if (added > 0) {
                PrintError(Text("TXT00420"));
            } else if (added < 0) {
                session.ui.showMessage(Text("TXT00001"),
                                       Text("TXT00134") + QStringLiteral(" \r\n") + table,
                                       MessageIcon::Warning);
            }
        };
    }
    FolderRestoreWindow window(
        session.settings,
        RestoreServices{session.ui, archiver, session.paths.folders.documents, CommandFtpOptions()},
        *folder, password, *from, std::move(registerRestored));
    FolderSearchOptions& options = window.options();
    options.oldest = args->has("--oldest");
    options.subFolders = args->has("--subfolders");
    options.nameFilterOn = args->value("--filter").has_value();
    options.nameFilter = args->value("--filter").value_or(QString());
    options.from = *from;
    options.to = *until;

    window.search();
    (void)RunSteps(window, stopRequested);
    if (stopRequested()) {
        window.cancel();
        return kInterrupted;
    }
    const bool allRead = window.unreadableFolders().isEmpty();
    if (window.rows().isEmpty()) {
        if (allRead) {
            PrintError(Text("TXT00415"));
        }
        return kFailed;
    }
    window.restore(to.has_value());
    if (window.state() != FolderRestoreState::Restoring) {
        if (session.ui.declined()) {
            PrintError(Text("TXT00414"));
        }
        return kFailed;
    }
    while (window.step()) {
        const int done = window.rowsDone();
        if (done >= 1 && done <= window.rows().size() &&
            window.state() == FolderRestoreState::Restoring) {
            const FolderRestoreRow& row = window.rows().at(done - 1);
            PrintError(window.counterText() + u'\t' + row.result + u'\t' + row.path);
        }
        if (stopRequested()) {
            window.cancel();
            return kInterrupted;
        }
    }
    return window.counts().failed == 0 && allRead ? 0 : kFailed;
}

} // namespace

int RunRestoreCommand(const QStringList& arguments)
{
    const QString command = arguments.value(0);
    if (command == QStringLiteral("list")) {
        return restoreList(arguments.mid(1));
    }
    if (command == QStringLiteral("version")) {
        return restoreVersion(arguments.mid(1));
    }
    if (command == QStringLiteral("folder")) {
        return restoreFolder(arguments.mid(1));
    }
    return usage(command.isEmpty() ? QStringLiteral("restore needs list, version or folder")
                                   : QStringLiteral("unknown restore command \"%1\"").arg(command));
}

} // namespace fernhold
