#include "commands/clean_command.h"
#include "commands/cloud_command.h"
#include "commands/restore_command.h"
#include "commands/settings_commands.h"
#include "commands/trust_command.h"
#include "core/text_table.h"
#include "platform/file_name.h"
#include "runtime/application.h"
#include "runtime/exit_codes.h"
#include "runtime/headless_ui.h"
#include "runtime/remote_commands.h"
#include "desktop/desktop_entry.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <dlfcn.h>
#include <optional>

namespace {

void printUsage()
{
    std::fputs(
        "Usage: fernhold [--headless] [--verbose]\n"
        "       fernhold --once [--full] [--verbose]\n"
        "       fernhold --signal now|active|inactive\n"
        "       fernhold --status\n"
        "       fernhold config list | get KEY | set KEY VALUE | set KEY --stdin\n"
        "       fernhold source list | add DIR [--targets 1,3] [--filter TEXT] [--no-subfolders]\n"
        "                       [--changes-only] | remove N\n"
        "       fernhold clean --target N (--days D [--keep-latest 0|1] | --size S --unit kb|mb)\n"
        "                      [--yes]\n"
        "       fernhold --cloud-folders\n"
        "       fernhold restore list [--target N] [--name TEXT] [--date YYYY-MM-DD] [FOLDER]\n"
        "       fernhold restore version [--target N] [--to DIR] [--yes] [--password-stdin]\n"
        "                       FOLDER VERSION\n"
        "       fernhold restore folder [--target N] --from YYYY-MM-DD --until YYYY-MM-DD\n"
        "                       [--oldest] [--subfolders] [--filter TEXT] [--to DIR] [--yes]\n"
        "                       [--password-stdin] FOLDER\n"
        "       fernhold target trust N [--yes]\n"
        "\n"
        "Continuous file backup: keeps every new or changed file of your source folders\n"
        "as a dated version at up to nine backup targets (folders or FTP servers).\n"
        "\n"
        "  --headless     run without windows until SIGTERM or SIGINT\n"
        "  --once         start, scan the sources, make one backup pass, end;\n"
        "                 --full backs up every file. Exit codes: 0 every file saved at\n"
        "                 every reachable target; 1 nothing saved (no target reachable,\n"
        "                 no work folder or archiver); 2 bad arguments; 3 some files not\n"
        "                 saved; 4 Fernhold already runs; 5 stopped by SIGTERM or SIGINT\n"
        "  --verbose      print status lines on standard error\n"
        "  --signal WORD  switch the running instance: back up now, active, inactive\n"
        "  --status       print the published status number and text\n"
        "  config         read or change settings (while Fernhold is not running);\n"
        "                 passwords and FTP user names are read with --stdin\n"
        "  source         list, add or remove source folders; the next pass saves every\n"
        "                 file of an added folder once (--changes-only: only files that\n"
        "                 change later)\n"
        "  clean          delete the versions at a target older than D days or larger\n"
        "                 than S kilobytes or megabytes (asks; --yes confirms)\n"
        "  --cloud-folders  print the folders of cloud-storage clients found here\n"
        "  restore        list the versions at a target (name, saved on, note, version\n"
        "                 name; FOLDER as the list shows it, e.g. home/ann/Docs/), restore\n"
        "                 one version to its source folder or into --to DIR, or restore a\n"
        "                 folder in the newest (--oldest: oldest) version of each file within\n"
        "                 a range of days; questions are answered No unless --yes is given;\n"
        "                 --password-stdin reads the password of encrypted versions\n"
        "  target trust   show the key fingerprint of FTP target N's TLS or SSH server;\n"
        "                 --yes pins it after you compared it with the server owner's\n"
        "  --help         show this help\n"
        "  --version      show the version\n",
        stdout);
}

int usageError(const QString& problem)
{
    std::fprintf(stderr, "fernhold: %s\nTry 'fernhold --help'.\n", qPrintable(problem));
    return fernhold::kExitUsage;
}

// The desktop module lies beside the program in the build tree, and in the
// library folder once installed.
QStringList desktopModuleCandidates()
{
    const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QString folder = QFileInfo(program).absolutePath() + u'/';
    return {folder + QStringLiteral("fernhold_desktop.so"),
            QFileInfo(folder + QStringLiteral(FERNHOLD_DESKTOP_MODULE_FROM_BIN)).absoluteFilePath()};
}

// The desktop: the Qt interface, the tray icon and the windows around the
// run, loaded only now, so every other start keeps without Qt's Gui and
// Widgets libraries.
int runDesktop(int& argc, char** argv, const fernhold::Application::Options& options)
{
    QString problems;
    for (const QString& candidate : desktopModuleCandidates()) {
        if (!QFileInfo::exists(candidate)) {
            continue;
        }
        // Never closed: the desktop runs until the process ends.
        void* module = ::dlopen(fernhold::EncodeFileName(candidate).constData(),
                                RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            problems += QString::fromLocal8Bit(::dlerror()) + u'\n';
            continue;
        }
        const auto entry = reinterpret_cast<fernhold::DesktopEntry>(
            ::dlsym(module, fernhold::kDesktopEntryName));
        if (!entry) {
            problems += candidate + QStringLiteral(": no desktop entry\n");
            continue;
        }
        const fernhold::DesktopStart start{options.headless, options.once, options.full};
        return entry(&argc, argv, &start);
    }
    std::fprintf(stderr,
                 "fernhold: the desktop part cannot be loaded (%s); the installation is "
                 "incomplete. Backups run without it with: fernhold --headless\n",
                 qPrintable(problems.isEmpty() ? desktopModuleCandidates().join(
                                                     QStringLiteral(" and ")) +
                                                     QStringLiteral(" missing")
                                               : problems.trimmed()));
    return fernhold::kExitNothingSaved;
}

} // namespace

int main(int argc, char** argv)
{
    fernhold::UnscrambleConstants();
    // Read through the name codec rather than QCoreApplication::arguments(),
    // which turns bytes that are not UTF-8 into U+FFFD: a folder or version
    // name is taken as the bytes the shell passes.
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args.append(fernhold::DecodeFileName(argv[i]));
    }
    const QString first = args.value(0);
    // The desktop makes its own QApplication; every other path runs without one.
    std::optional<QCoreApplication> core;
    const bool desktop = std::all_of(args.cbegin(), args.cend(), [](const QString& a) {
        return a == QStringLiteral("--verbose");
    });
    if (!desktop) {
        core.emplace(argc, argv);
    }

    if (first == QStringLiteral("config")) {
        return fernhold::RunConfigCommand(args.mid(1));
    }
    if (first == QStringLiteral("source")) {
        return fernhold::RunSourceCommand(args.mid(1));
    }
    if (first == QStringLiteral("clean")) {
        return fernhold::RunCleanCommand(args.mid(1));
    }
    if (first == QStringLiteral("--cloud-folders") && args.size() == 1) {
        return fernhold::RunCloudFoldersCommand();
    }
    if (first == QStringLiteral("restore")) {
        return fernhold::RunRestoreCommand(args.mid(1));
    }
    if (first == QStringLiteral("target")) {
        return fernhold::RunTargetCommand(args.mid(1));
    }

    fernhold::Application::Options options;
    bool verbose = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QStringLiteral("--help") || a == QStringLiteral("-h")) {
            printUsage();
            return 0;
        }
        if (a == QStringLiteral("--version")) {
            std::printf("%s %s\n", qPrintable(fernhold::Text(QStringLiteral("Program_Name"))),
                        qPrintable(fernhold::Text(QStringLiteral("Version_Name"))));
            return 0;
        }
        if (a == QStringLiteral("--status")) {
            return fernhold::RunStatusCommand();
        }
        if (a == QStringLiteral("--signal")) {
            if (i + 1 >= args.size()) {
                return usageError(QStringLiteral("--signal needs now, active or inactive"));
            }
            return fernhold::RunSignalCommand(args[i + 1]);
        }
        if (a == QStringLiteral("--headless")) {
            options.headless = true;
        } else if (a == QStringLiteral("--once")) {
            options.once = true;
        } else if (a == QStringLiteral("--full")) {
            options.full = true;
        } else if (a == QStringLiteral("--verbose")) {
            verbose = true;
        } else {
            return usageError(QStringLiteral("unknown argument \"%1\"").arg(a));
        }
    }
    if (options.full && !options.once) {
        return usageError(QStringLiteral("--full goes with --once"));
    }
    if (desktop) {
        return runDesktop(argc, argv, options);
    }
    fernhold::HeadlessUserInterface ui;
    ui.setVerbose(verbose);
    fernhold::Application application(options, ui, *core);
    return application.run();
}
