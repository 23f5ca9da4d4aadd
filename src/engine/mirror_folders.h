#pragma once

#include <QString>

namespace fernhold {

// Makes the mirrored folder of the source folder `sourceFolder` ("/home/ann/Docs/")
// below the root `root` of a folder target (both ending in "/"), with every
// folder on the way that is missing. A folder made here gets the permission
// bits of the source-side folder of the same path (<root>/home/ann/ those of
// /home/ann/), so a shared target shows nobody more than the source does;
// the owner keeps rwx, or versions could not be written into it. Folders that
// exist already are left as they are. Gives 1 when the mirrored folder exists
// afterwards.
[[nodiscard]] int MakeMirrorFolders(const QString& root, const QString& sourceFolder);

} // namespace fernhold
