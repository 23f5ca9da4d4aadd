#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>
#include <utility>
#include <vector>

struct statx;

namespace fernhold {

struct JobSettings;

// Folders a walk never enters, known by device and inode so that another
// spelling of the same folder (a link, a doubled "/") is caught too.
class FolderIdSet
{
public:
    // Adds the folder at `path` when it exists.
    void add(const QString& path);
    [[nodiscard]] bool contains(std::uint64_t device, std::uint64_t inode) const;
    [[nodiscard]] bool empty() const { return m_ids.empty(); }

private:
    std::vector<std::pair<std::uint64_t, std::uint64_t>> m_ids;
};

// The roots of the configured folder targets: a source that contains a target
// must not back up the versions it writes there.
[[nodiscard]] FolderIdSet TargetRootFolders(const JobSettings& settings);

// True when the folder can be opened for listing.
[[nodiscard]] bool CanListFolder(const QString& folderPath);

// What a walk does with what it finds. The walk calls mustStop() before every
// directory entry.
class WalkVisitor
{
public:
    virtual ~WalkVisitor() = default;

    [[nodiscard]] virtual bool mustStop() const = 0;
    // A sub-folder found in a listing, as folder path + name (no "/" at the
    // end); false leaves it and everything below it out.
    [[nodiscard]] virtual bool admitsFolder(const QString& path)
    {
        (void)path;
        return true;
    }
    // A folder was opened for listing; `folderPath` ends in "/".
    virtual void enterFolder(const QString& folderPath) { (void)folderPath; }
    // A possible file, before its state is read; false skips it.
    [[nodiscard]] virtual bool admitsFile(QStringView name)
    {
        (void)name;
        return true;
    }
    // A regular file and its state; `state` is null when the state could not
    // be read although the entry is a regular file.
    virtual void visitFile(QStringView name, const struct statx* state) = 0;
};

struct WalkOutcome
{
    qint64 folders = 0; // folders opened for listing
    qint64 files = 0;   // regular files handed to visitFile
    bool stopped = false;
};

// Walks `folderPath` (and with `includeSub` every folder below it): reads each
// listing and takes one statx per possible file, nothing else per file.
// - Folders are opened one at a time from an explicit stack, so any depth works;
//   paths longer than the system allows in one call are opened piecewise.
// - A symbolic link to a folder is never entered; a link to a file is followed.
// - FIFOs, sockets and devices are skipped without being opened; only regular
//   files reach the visitor.
// - A folder that cannot be opened is skipped with everything below it.
// - Folders in `skip` are never entered (the walked folder itself included).
// - A folder met a second time (a bind mount of one of its parents) is not
//   walked again.
// The files of a folder are visited before its sub-folders, which follow in
// listing order.
WalkOutcome WalkFolder(const QString& folderPath, bool includeSub, const FolderIdSet& skip,
                       WalkVisitor& visitor);

} // namespace fernhold
