#include "commands/settings_commands.h"

#include "commands/setting_edit.h"
#include "core/clock.h"
#include "core/job_settings.h"
#include "core/settings_store.h"
#include "core/text_table.h"
#include "engine/backup_state.h"
#include "engine/exclusion_lists.h"
#include "engine/exclusion_rules.h"
#include "runtime/app_paths.h"
#include "runtime/headless_ui.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <algorithm>
#include <cstdio>

namespace fernhold {

namespace {

constexpr int kUsageError = 2;

int usage(const QString& problem)
{
    PrintError(QStringLiteral("fernhold: ") + problem);
    PrintError(
        QStringLiteral("usage: fernhold config list | get KEY | set KEY VALUE | set KEY --stdin\n"
                       "       fernhold source list | add DIR [--targets 1,3] [--filter TEXT]"
                       " [--no-subfolders] [--changes-only] | remove N"));
    return kUsageError;
}

// Settings change only while no instance runs: a running one writes its own
// settings when it ends and would undo the change.
bool refuseWhileRunning(const AppPaths& paths)
{
    if (!InstanceRuns(paths)) {
        return false;
    }
    PrintError(QStringLiteral("fernhold: Fernhold is running; end it first (it saves its own "
                              "settings when it ends and would undo this change)."));
    return true;
}

struct SettingsSession
{
    AppPaths paths = ResolveAppPaths();
    HeadlessUserInterface ui;
    SettingsStore store{paths.folders.appData, ui};
    JobSettings settings;

    SettingsSession()
    {
        QDir().mkpath(paths.folders.appData);
        store.LoadSettings(settings);
    }
    [[nodiscard]] int save() { return store.SaveSettings(settings); }
};

QString readSecretFromStdin()
{
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly)) {
        return {};
    }
    QByteArray bytes = in.readLine(64 * 1024);
    while (bytes.endsWith('\n') || bytes.endsWith('\r')) {
        bytes.chop(1);
    }
    return QString::fromUtf8(bytes);
}

int configList()
{
    SettingsSession s;
    for (const QString& key : SettingKeys()) {
        QString value = SettingValue(s.settings, key).value_or(QString());
        if (IsProtectedSetting(key) && !value.isEmpty()) {
            value = QStringLiteral("(protected; see config get)");
        }
        PrintOut(key + QStringLiteral(" = ") + value);
    }
    return 0;
}

int configGet(const QString& key)
{
    SettingsSession s;
    const auto value = SettingValue(s.settings, key);
    if (!value) {
        return usage(QStringLiteral("unknown setting \"%1\"").arg(key));
    }
    PrintOut(*value);
    return 0;
}

int configSet(const QString& key, const QString& value)
{
    SettingsSession s;
    if (refuseWhileRunning(s.paths)) {
        return 1;
    }
    const SystemClock clock;
    const SettingEditResult result = SetSettingFromText(s.settings, key, value, clock);
    if (!result.ok) {
        PrintError(QStringLiteral("fernhold: ") + result.error);
        return kUsageError;
    }
    if (key.compare(QStringLiteral("BackupKeepLatest"), Qt::CaseInsensitive) == 0 &&
        s.settings.BackupKeepLatest == 0) {
        PrintError(QStringLiteral("fernhold: ") + Text(QStringLiteral("TXT00434")));
    }
    return s.save() == 1 ? 0 : 1;
}

bool parseTargets(const QString& text, QString& normalised)
{
    QList<int> numbers;
    for (const QString& part : text.split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int n = part.trimmed().toInt(&ok);
        if (!ok || n < 1 || n > kTargetCount) {
            return false;
        }
        if (!numbers.contains(n)) {
            numbers.append(n);
        }
    }
    if (numbers.isEmpty()) {
        return false;
    }
    std::sort(numbers.begin(), numbers.end());
    QStringList parts;
    for (int n : numbers) {
        parts << QString::number(n);
    }
    normalised = parts.join(u',');
    return true;
}

void sortByFolder(JobSettings& settings)
{
    std::stable_sort(settings.sources.begin(), settings.sources.end(),
                     [](const SourceEntry& a, const SourceEntry& b) {
                         return a.SourceDirPfad < b.SourceDirPfad;
                     });
}

int sourceList()
{
    SettingsSession s;
    for (int i = 1; i <= s.settings.SourceDirCount(); ++i) {
        const SourceEntry& e = s.settings.sources[i - 1];
        PrintOut(QStringLiteral("%1\t%2\t%3\t%4\t%5")
                     .arg(i)
                     .arg(e.SourceDirPfad, e.SourceDirSub == 1 ? QStringLiteral("OK") : QString(),
                          e.SourceDirFilter, e.SourceDirTarget));
    }
    return 0;
}

int sourceAdd(const QStringList& args)
{
    QString folder;
    QString targets = QStringLiteral("1");
    QString filter;
    bool subfolders = true;
    bool changesOnly = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QStringLiteral("--changes-only")) {
            changesOnly = true;
        } else if (a == QStringLiteral("--targets") && i + 1 < args.size()) {
            if (!parseTargets(args[++i], targets)) {
                return usage(
                    QStringLiteral("--targets takes target numbers 1 to 9 joined by \",\""));
            }
        } else if (a == QStringLiteral("--filter") && i + 1 < args.size()) {
            filter = TidyTypeList(args[++i]);
        } else if (a == QStringLiteral("--no-subfolders")) {
            subfolders = false;
        } else if (a.startsWith(QStringLiteral("--")) || !folder.isEmpty()) {
            return usage(QStringLiteral("unexpected argument \"%1\"").arg(a));
        } else {
            folder = a;
        }
    }
    if (folder.trimmed().isEmpty()) {
        return usage(QStringLiteral("source add needs a folder"));
    }
    const QFileInfo info(folder.trimmed());
    if (!info.isDir() || !QDir(info.absoluteFilePath()).isReadable()) {
        PrintError(QStringLiteral("fernhold: ") + Text(QStringLiteral("TXT00086")) +
                   QStringLiteral(": ") + folder);
        return kUsageError;
    }
    SettingsSession s;
    if (refuseWhileRunning(s.paths)) {
        return 1;
    }
    SourceEntry entry;
    entry.SourceDirPfad = WithSlash(QDir::cleanPath(info.absoluteFilePath()));
    entry.SourceDirSub = subfolders ? 1 : 0;
    entry.SourceDirFilter = filter;
    entry.SourceDirTarget = targets;
    entry.Indexed = 0;
    const QString lower = entry.SourceDirPfad.toLower();
    if (subfolders && (lower == QStringLiteral("/") || lower.startsWith(s.paths.folders.windows) ||
                       lower.startsWith(s.paths.folders.programFiles))) {
        s.ui.showMessage(Text(QStringLiteral("TXT00013")), Text(QStringLiteral("TXT00084")),
                         MessageIcon::Information);
    }
    // Stored all the same: the folders may differ where the program runs
    // (another TMPDIR under a service manager), and the pass logs it too.
    const int temporary =
        ExclusionRules(s.settings, s.paths.folders).TemporaryFolderKind(entry.SourceDirPfad);
    if (temporary != 0) {
        s.ui.showMessage(Text(QStringLiteral("TXT00013")),
                         Text(temporary == 5 ? "TXT00487" : "TXT00486") + QStringLiteral("\r\n") +
                             entry.SourceDirPfad,
                         MessageIcon::Warning);
    }
    // What the new source owes its targets: its present files, unless only
    // later changes are wanted. An installation from before the state file
    // existed has saved its other sources already.
    BackupState state(s.paths.folders.appData + Text(QStringLiteral("State_FileName")));
    if (!state.load()) {
        state.adoptSources(s.settings, QFileInfo::exists(s.paths.folders.appData +
                                                         Text(QStringLiteral("FileTime_File"))));
    }
    if (changesOnly) {
        state.markChangesOnly(entry);
    }
    s.settings.sources.append(entry);
    sortByFolder(s.settings);
    if (s.save() != 1 || state.save() != 1) {
        return 1;
    }
    PrintOut(Text(changesOnly ? QStringLiteral("TXT00436") : QStringLiteral("TXT00435")));
    return 0;
}

int sourceRemove(const QString& number)
{
    SettingsSession s;
    if (refuseWhileRunning(s.paths)) {
        return 1;
    }
    bool ok = false;
    const int n = number.toInt(&ok);
    if (!ok || n < 1 || n > s.settings.SourceDirCount()) {
        return usage(QStringLiteral("no source number %1 (see fernhold source list)").arg(number));
    }
    s.settings.sources.removeAt(n - 1);
    return s.save() == 1 ? 0 : 1;
}

} // namespace

int RunConfigCommand(const QStringList& args)
{
    if (args.value(0) == QStringLiteral("list") && args.size() == 1) {
        return configList();
    }
    if (args.value(0) == QStringLiteral("get") && args.size() == 2) {
        return configGet(args[1]);
    }
    if (args.value(0) == QStringLiteral("set") && args.size() == 3) {
        if (args[2] == QStringLiteral("--stdin")) {
            return configSet(args[1], readSecretFromStdin());
        }
        if (IsProtectedSetting(args[1])) {
            return usage(QStringLiteral("%1 is protected: give it on standard input with --stdin, "
                                        "so it never shows in the process list")
                             .arg(args[1]));
        }
        return configSet(args[1], args[2]);
    }
    return usage(QStringLiteral("bad config command"));
}

int RunSourceCommand(const QStringList& args)
{
    if (args.value(0) == QStringLiteral("list") && args.size() == 1) {
        return sourceList();
    }
    if (args.value(0) == QStringLiteral("add")) {
        return sourceAdd(args.mid(1));
    }
    if (args.value(0) == QStringLiteral("remove") && args.size() == 2) {
        return sourceRemove(args[1]);
    }
    return usage(QStringLiteral("bad source command"));
}

} // namespace fernhold
