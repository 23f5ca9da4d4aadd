#include "restored_file.h"

#include "restore_logging.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
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

int PlaceRestoredFile(const QString& source, const QString& destination, int permissions)
{
    const int fd = ::open(QFile::encodeName(source).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    const int placed = PlaceRestoredFile(fd, destination, permissions);
    ::close(fd);
    return placed;
}

int PlaceRestoredFile(int sourceDescriptor, const QString& destination, int permissions)
{
    struct stat sourceState
    {
    };
    if (::fstat(sourceDescriptor, &sourceState) != 0 || !S_ISREG(sourceState.st_mode) ||
        ::lseek(sourceDescriptor, 0, SEEK_SET) != 0) {
        return 0;
    }
    const QFileInfo existing(destination);
    if (existing.isDir() ||
        (existing.exists() && !existing.isSymLink() && !existing.isWritable())) {
        return 0;
    }
    QFile from;
    if (!from.open(sourceDescriptor, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
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
    mode_t mode = sourceState.st_mode & static_cast<mode_t>(permissions) & 0777;
    struct stat replaced
    {
    };
    if (::lstat(QFile::encodeName(destination).constData(), &replaced) == 0 &&
        S_ISREG(replaced.st_mode)) {
        mode = (mode & replaced.st_mode & 0666) | (replaced.st_mode & 0111);
    }
    (void)::fchmod(to.handle(), mode);
    const struct timespec times[2] = {{0, UTIME_OMIT}, sourceState.st_mtim};
    (void)::futimens(to.handle(), times);
    if (std::rename(QFile::encodeName(to.fileName()).constData(),
                    QFile::encodeName(destination).constData()) != 0) {
        qCDebug(lcRestore) << "rename onto" << destination << "failed";
        return 0;
    }
    to.setAutoRemove(false);
    return 1;
}

} // namespace fernhold
