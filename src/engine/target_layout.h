#pragma once

#include <QDateTime>
#include <QString>

namespace fernhold {

// Where the versions of a source folder lie at a target, and how a version
// is named. The clean-ups, the browser and the restores read this layout.
//
// The mirrored folder of a source folder P ("/home/ann/Docs/") is P without
// its leading "/", every ":" replaced by "¦" ("home/ann/Docs/"). A folder
// target keeps it below TargetDir, an FTP target below its resolved root.

// "home/ann/Docs/" for "/home/ann/Docs/".
[[nodiscard]] QString MirrorText(const QString& sourceFolder);

// The source folder of a mirrored folder: "/" + the relative folder, every
// "¦" back to ":".
[[nodiscard]] QString SourceFolderOfMirror(const QString& relativeFolder);

// "yyyyMMdd~hhmmss" of the local time at which a file's backup started.
[[nodiscard]] QString VersionStamp(const QDateTime& started);

// The suffix of a version: ".zip" for an archive, "©.zip" for an encrypted
// one, "." + the file's extension (text after its last ".", "" when none)
// for a plain copy.
[[nodiscard]] QString VersionSuffix(const QString& fileName, bool packed, bool encrypted);

// file name + "@" + stamp + suffix.
[[nodiscard]] QString VersionName(const QString& fileName, const QString& stamp,
                                  const QString& suffix);

// True when a path fits the platform's limits: every name at most 255 bytes
// and the whole path at most 4095 bytes (as the file system holds them).
[[nodiscard]] bool PathFitsPlatform(const QString& path);

} // namespace fernhold
