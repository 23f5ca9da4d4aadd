#pragma once

#include <QString>
#include <vector>

namespace fernhold {

struct Folders;

// One row of the known-folder chooser.
struct KnownFolder
{
    QString captionKey; // text key of the row's caption
    QString path;       // the folder, ending in "/"
};

// The folders a user most likely wants to back up: the XDG user folders
// (documents, public share, desktop, pictures, music, videos, downloads),
// the home folder and the mail clients' folders. Only folders that exist
// are given, each once, in this order; a user folder that xdg-user-dirs
// points at the home folder itself (its way of switching one off) is left out.
[[nodiscard]] std::vector<KnownFolder> KnownFolders(const Folders& folders);

} // namespace fernhold
