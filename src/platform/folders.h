#pragma once

#include <QString>

namespace fernhold {

// The folders Fernhold uses, resolved once at start-up. Every folder path
// ends in "/"; a folder that has no equivalent on this system is "".
struct Folders
{
    QString home;
    QString configHome; // $XDG_CONFIG_HOME, else ~/.config/
    QString dataHome;   // $XDG_DATA_HOME, else ~/.local/share/
    QString cacheHome;  // $XDG_CACHE_HOME, else ~/.cache/
    QString runtimeDir; // $XDG_RUNTIME_DIR, else /tmp/fernhold-<uid>/ (for locks)
    QString appData;    // configHome + application sub-folder
    QString temp;       // cacheHome + temporary sub-folder: Fernhold's private work folder
    QString userTemp;   // $TMPDIR, else /tmp/
    QString program;    // folder of the running program file
    QString documents;  // XDG documents folder
    QString publicDocuments;
    QString internetCache; // the cache home
    QString localAppData;  // the data home
    QString drives;        // "/": the top of the file system
    QString windows;       // system program folders stand in for the Windows ones
    QString system;
    QString programFiles;
    QString favorites; // no equivalent: ""
};

// Resolves every folder from the environment (the XDG variables, HOME, TMPDIR),
// so a test can point all of them at a temporary home. Creates nothing.
Folders ResolveFolders(const QString& appDataSubdir, const QString& tempSubdir);

// One folder of the xdg-user-dirs file in `configHome` (`name` such as
// "XDG_DOCUMENTS_DIR"), else `home` + `fallback`; ends in "/".
QString XdgUserDir(const QString& configHome, const QString& home, const QString& name,
                   const QString& fallback);

// `path` with a "/" at its end unless it is empty or has one.
QString WithSlash(const QString& path);

enum class PrivateFolderProblem
{
    None,
    CannotCreate,
    NotAFolder,
    SymbolicLink,
    OtherOwner,
};

// Makes sure `path` is a folder of ours that nobody else can enter: created
// with mode 0700 when missing (parents as needed), refused when it is a
// symbolic link, not a folder or owned by another user; a folder of ours with
// a wider mode is narrowed to 0700.
[[nodiscard]] PrivateFolderProblem EnsurePrivateFolder(const QString& path);

// Creates `path` with its missing parents. Gives 1 when the folder exists afterwards.
[[nodiscard]] int EnsureFolder(const QString& path);

} // namespace fernhold
