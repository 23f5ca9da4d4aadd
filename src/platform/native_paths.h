#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace fernhold {

// File-system calls for paths that may hold names that are not UTF-8: each
// path goes to the system as the bytes EncodeFileName gives (QFile, QDir and
// QFileInfo would encode it as UTF-8 and so name another file).

// True when `path` is a folder (a link to one counts).
[[nodiscard]] bool IsFolderPath(const QString& path);

// The size of the regular file at `path` (a link is followed); no value when
// it is missing or no regular file.
[[nodiscard]] std::optional<qint64> RegularFileSize(const QString& path);

// Removes the file (or link) `path`. Gives 1 when nothing is there afterwards.
int RemoveFilePath(const QString& path);

// Creates the folder `path` with its missing parents. Gives 1 when it is a
// folder afterwards.
[[nodiscard]] int MakeFolderPath(const QString& path);

// One entry of a folder listing.
struct FolderListEntry
{
    QString name;        // decoded with DecodeFileName
    bool folder = false; // a folder, not a link to one
    bool file = false;   // a regular file, or a link to one
    bool link = false;   // a symbolic link (to whatever)
};

// The entries of a folder, "." and ".." left out, in listing order. No
// value when it cannot be listed.
[[nodiscard]] std::optional<QList<FolderListEntry>> ListFolderEntries(const QString& folder);

} // namespace fernhold
