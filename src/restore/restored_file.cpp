#include "restored_file.h"

#include "restore_logging.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cstdio>
#include <unistd.h>

namespace fernhold {

namespace {

constexpr qint64 kChunkBytes = 1024 * 1024;

bool copyBytes(QFile& from, QFile& to)
{
    QByteArray buffer;
    for (;;) {
        buffer = from.read(kChunkBytes);
        if (buffer.isEmpty()) {
            return from.error() == QFileDevice::NoError && from.atEnd();
        }
        if (to.write(buffer) != buffer.size()) {
            return false;
        }
    }
}

} // namespace

int PlaceRestoredFile(const QString& source, const QString& destination)
{
    const QFileInfo sourceInfo(source);
    const QFileInfo existing(destination);
    if (!sourceInfo.isFile() || existing.isDir() ||
        (existing.exists() && !existing.isSymLink() && !existing.isWritable())) {
        return 0;
    }
    QFile from(source);
    if (!from.open(QIODevice::ReadOnly)) {
        return 0;
    }
    // Beside the destination, so the final rename stays on one file system
    // and cannot be seen half done.
    QTemporaryFile to(existing.absolutePath() + QStringLiteral("/.~fernhold-restore-XXXXXX"));
    if (!to.open()) {
        qCDebug(lcRestore) << "cannot write beside" << destination << to.errorString();
        return 0;
    }
    if (!copyBytes(from, to) || !to.flush() || ::fsync(to.handle()) != 0) {
        qCDebug(lcRestore) << "copy to" << destination << "failed:" << to.errorString();
        return 0;
    }
    const QFileDevice::Permissions permissions = existing.exists() && !existing.isSymLink()
                                                     ? existing.permissions()
                                                     : sourceInfo.permissions();
    (void)to.setPermissions(permissions);
    (void)to.setFileTime(sourceInfo.lastModified(), QFileDevice::FileModificationTime);
    if (std::rename(QFile::encodeName(to.fileName()).constData(),
                    QFile::encodeName(destination).constData()) != 0) {
        qCDebug(lcRestore) << "rename onto" << destination << "failed";
        return 0;
    }
    to.setAutoRemove(false);
    return 1;
}

} // namespace fernhold
