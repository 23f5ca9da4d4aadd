#include "restore/restored_file.h"

#include "platform/descriptor.h"
#include "platform/file_name.h"
#include "restore/restore_logging.h"

#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fernhold {

namespace {

constexpr std::size_t kChunkBytes = 1024 * 1024;

bool copyBytes(int from, int to)
{
    std::vector<char> buffer(kChunkBytes);
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got == 0) {
            return true;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        ssize_t done = 0;
        while (done < got) {
            const ssize_t put =
                ::write(to, buffer.data() + done, static_cast<std::size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            done += put;
        }
    }
}

// A fresh file beside the destination, mode 0600 until it is complete; -1 on failure.
int createTemporary(int folderFd, QByteArray& name)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        name = ".~fernhold-restore-" +
               QByteArray::number(QRandomGenerator::global()->generate64(), 16);
        const int fd = ::openat(folderFd, name.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

} // namespace

int PlaceRestoredFile(const QString& source, const QString& destination, int permissions)
{
    // Not through a link, and never blocking on a FIFO put in its place.
    const Descriptor from(::open(EncodeFileName(source).constData(),
                                 O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (from.get() < 0) {
        return 0;
    }
    return PlaceRestoredFile(from.get(), destination, permissions);
}

int PlaceRestoredFile(int sourceDescriptor, const QString& destination, int permissions)
{
    // Every path goes to the system through the name codec, so files and
    // folders whose names are not UTF-8 come back under their own bytes.
    const QByteArray target = EncodeFileName(destination);
    const qsizetype slash = target.lastIndexOf('/');
    if (slash < 0 || slash + 1 == target.size()) {
        return 0;
    }
    const QByteArray folderPath = target.first(slash + 1);
    const QByteArray name = target.sliced(slash + 1);

    struct stat sourceInfo
    {
    };
    if (::fstat(sourceDescriptor, &sourceInfo) != 0 || !S_ISREG(sourceInfo.st_mode) ||
        ::lseek(sourceDescriptor, 0, SEEK_SET) != 0) {
        return 0;
    }
    struct stat existing
    {
    };
    struct stat own
    {
    };
    const bool exists = ::stat(target.constData(), &existing) == 0;
    const bool isLink = ::lstat(target.constData(), &own) == 0 && S_ISLNK(own.st_mode);
    if (exists &&
        (S_ISDIR(existing.st_mode) || (!isLink && ::access(target.constData(), W_OK) != 0))) {
        return 0;
    }

    // Beside the destination, so the final rename stays on one file system
    // and cannot be seen half done.
    const Descriptor folder(::open(folderPath.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) {
        return 0;
    }
    QByteArray temporary;
    Descriptor to(createTemporary(folder.get(), temporary));
    if (to.get() < 0) {
        qCDebug(lcRestore) << "cannot write beside" << DisplayFileName(destination);
        return 0;
    }
    const auto discard = [&] {
        (void)::unlinkat(folder.get(), temporary.constData(), 0);
        return 0;
    };
    if (!copyBytes(sourceDescriptor, to.get()) || ::fsync(to.get()) != 0) {
        qCDebug(lcRestore) << "copy to" << DisplayFileName(destination) << "failed";
        return discard();
    }
    // Never more than the version grants, nor more read and write bits than
    // the file it replaces; that file's execute bits stay (versions have none).
    mode_t mode = sourceInfo.st_mode & static_cast<mode_t>(permissions) & 0777;
    if (exists && !isLink && S_ISREG(existing.st_mode)) {
        mode = (mode & existing.st_mode & 0666) | (existing.st_mode & 0111);
    }
    (void)::fchmod(to.get(), mode);
    const struct timespec times[2] = {{0, UTIME_OMIT}, sourceInfo.st_mtim};
    (void)::futimens(to.get(), times);
    if (::close(to.release()) != 0) {
        return discard();
    }
    if (::renameat(folder.get(), temporary.constData(), folder.get(), name.constData()) != 0) {
        qCDebug(lcRestore) << "rename onto" << DisplayFileName(destination) << "failed";
        return discard();
    }
    return 1;
}

} // namespace fernhold
