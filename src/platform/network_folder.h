#pragma once

#include <QString>

namespace fernhold {

// True when `folder` lies on a network file system (NFS, SMB/CIFS, sshfs,
// 9p and the like), told from the type of the mount that holds it in
// `mounts` (the text of /proc/self/mounts; empty: read it).
[[nodiscard]] bool IsNetworkFolder(const QString& folder, const QString& mounts = {});

} // namespace fernhold
