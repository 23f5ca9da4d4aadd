#pragma once

#include <QString>

namespace fernhold {

class Archiver;
class VersionSource;
struct VersionParts;

// How a version file is brought back.
enum class VersionForm
{
    PlainCopy, // copied as it is
    Archive,   // one of Fernhold's one-file archives: unpacked
    Damaged,   // a ".zip" version that can only be an archive, but does not list as one
};

// True when the version's name ends in ".zip": ClassifyVersionFile must look
// into it, so the archiver must be able to read the file.
[[nodiscard]] bool IsZipVersionName(const QString& versionName);

// Tells the forms apart. A version whose name does not end in ".zip" is a
// plain copy. One that does is an archive when its listing counts exactly
// one file, named as the version's file. Otherwise it is a plain copy of
// the user's own zip file when that file's name ends in ".zip" itself; any
// other file (report.docx@...zip, or an encrypted "©.zip") was packed, so its
// archive is damaged and must not be written over the user's file.
[[nodiscard]] VersionForm ClassifyVersionFile(const Archiver& archiver, const QString& versionFile,
                                              const QString& versionName, const VersionParts& info);

enum class VersionFileResult
{
    Restored,
    UnpackFailed, // the archiver failed: damaged archive, wrong or missing password
    CopyFailed,   // the destination could not be written
};

// Restores `versionFile` as the file `destination`, creating its folder with
// the missing parents: an archive is unpacked into `scratchFolder` (ending
// in "/") with `password` (empty for none) and the unpacked file is placed
// and removed again; a plain copy is placed directly. Placing goes through
// PlaceRestoredFile, so the destination shows only a complete file, with no
// more permission bits than `permissions` (the version's).
[[nodiscard]] VersionFileResult
RestoreVersionFile(const Archiver& archiver, const QString& scratchFolder,
                   const QString& versionFile, VersionForm form, const QString& fileName,
                   const QString& password, const QString& destination, int permissions = 0777);

// Restores a plain copy read from `version`, a version open at a folder
// target, as the file `destination`, creating its folder with the missing
// parents.
[[nodiscard]] VersionFileResult RestorePlainVersion(const VersionSource& version,
                                                    const QString& destination);

} // namespace fernhold
