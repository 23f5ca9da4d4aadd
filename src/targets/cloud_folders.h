#pragma once

#include <QString>
#include <array>

namespace fernhold {

struct Folders;

// One row of the cloud-folder list: a fixed label and the client's local
// folder, "" when it was not found.
struct CloudFolder
{
    QString label;
    QString folder;
};

inline constexpr std::size_t kCloudFolderRows = 5;

// The local folders of the cloud-storage clients on this computer, in this
// order: Dropbox personal and business (info.json: ~/.dropbox/, then the
// application-data folder, then the data home), OneDrive personal and
// business (the registry file's "Software\Microsoft\OneDrive\Accounts\..."
// values "UserFolder"; for personal also the Linux OneDrive client's
// sync_dir), Google Drive Backup & Sync (the registry file's
// "Software\Google\Drive" value "Path" naming the folder of its
// user_default/sync_config.db). Only reads; a row is filled only with an
// absolute path of an existing folder. Missing, unreadable or malformed
// sources leave their rows empty.
[[nodiscard]] std::array<CloudFolder, kCloudFolderRows>
FindCloudFolderRows(const Folders& folders, const QString& registryPath);

} // namespace fernhold
