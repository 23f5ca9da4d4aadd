#include "restore/version_file.h"

#include "engine/archiver.h"
#include "platform/file_name.h"
#include "platform/native_paths.h"
#include "restore/restored_file.h"
#include "restore/version_source.h"
#include "targets/version_name.h"

#include <sys/stat.h>

namespace fernhold {

namespace {

bool endsInZip(const QString& name)
{
    return name.endsWith(QStringLiteral(".zip"), Qt::CaseInsensitive);
}

int placeWithFolder(const QString& source, const QString& destination, int permissions)
{
    if (MakeFolderPath(destination.left(destination.lastIndexOf(u'/') + 1)) != 1) {
        return 0;
    }
    return PlaceRestoredFile(source, destination, permissions);
}

} // namespace

bool IsZipVersionName(const QString& versionName)
{
    return endsInZip(versionName);
}

VersionFileResult RestorePlainVersion(const VersionSource& version, const QString& destination)
{
    if (version.descriptor() < 0 ||
        MakeFolderPath(destination.left(destination.lastIndexOf(u'/') + 1)) != 1 ||
        PlaceRestoredFile(version.descriptor(), destination, version.permissions()) != 1) {
        return VersionFileResult::CopyFailed;
    }
    return VersionFileResult::Restored;
}

VersionForm ClassifyVersionFile(const Archiver& archiver, const QString& versionFile,
                                const QString& versionName, const VersionParts& info)
{
    if (!endsInZip(versionName)) {
        return VersionForm::PlainCopy;
    }
    if (archiver.isOneFileArchive(versionFile, info.fileName) == 1) {
        return VersionForm::Archive;
    }
    if (!info.encrypted && endsInZip(info.fileName)) {
        return VersionForm::PlainCopy;
    }
    return VersionForm::Damaged;
}

VersionFileResult RestoreVersionFile(const Archiver& archiver, const QString& scratchFolder,
                                     const QString& versionFile, VersionForm form,
                                     const QString& fileName, const QString& password,
                                     const QString& destination, int permissions)
{
    if (form == VersionForm::PlainCopy) {
        return placeWithFolder(versionFile, destination, permissions) == 1
                   ? VersionFileResult::Restored
                   : VersionFileResult::CopyFailed;
    }
    if (form != VersionForm::Archive || scratchFolder.isEmpty() ||
        archiver.UnpackFile(versionFile, scratchFolder, fileName, password) != 1) {
        return VersionFileResult::UnpackFailed;
    }
    const QString unpacked = scratchFolder + fileName;
    const int placed = placeWithFolder(unpacked, destination, permissions);
    (void)::chmod(EncodeFileName(unpacked).constData(), S_IRUSR | S_IWUSR);
    (void)RemoveFilePath(unpacked);
    return placed == 1 ? VersionFileResult::Restored : VersionFileResult::CopyFailed;
}

} // namespace fernhold
