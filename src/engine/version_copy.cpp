#include "engine/version_copy.h"

#include "platform/descriptor.h"
#include "platform/file_name.h"

#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fernhold {

namespace {

// Kernel-side copy where the file systems allow it, plain reads and writes
// otherwise.
bool copyContent(int from, int to)
{
    bool kernelCopy = true;
    char buffer[1 << 16];
    for (;;) {
        if (kernelCopy) {
            const ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
            if (n > 0) {
                continue;
            }
            if (n == 0) {
                return true;
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
                return false;
            }
            kernelCopy = false;
        }
        const ssize_t got = ::read(from, buffer, sizeof(buffer));
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
            const ssize_t put = ::write(to, buffer + done, static_cast<size_t>(got - done));
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

} // namespace

QString CompleteCopyTemporaryPrefix()
{
    return QStringLiteral("~fernhold-copy-");
}

int VersionPermissions(const QString& path)
{
    struct stat st
    {
    };
    return ::stat(EncodeFileName(path).constData(), &st) == 0 ? static_cast<int>(st.st_mode & 0666)
                                                              : 0600;
}

namespace {

// Where a copy to `destination` goes: its folder and name; false for a
// destination without a name.
bool splitDestination(const QString& destination, PendingCopy& pending)
{
    const QByteArray target = EncodeFileName(destination);
    const qsizetype slash = target.lastIndexOf('/');
    pending.folder = slash < 0 ? QByteArray("./") : target.first(slash + 1);
    pending.name = slash < 0 ? target : target.sliced(slash + 1);
    return !pending.name.isEmpty();
}

// The temporary file and the rename go relative to the folder, so the long
// mirrored path is resolved once per version instead of three times.
int openFolder(const PendingCopy& pending)
{
    return ::open(pending.folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

// Writes `source` to a new temporary file in the folder `folder`; names it
// in `pending`. Gives 1 when every byte was written.
int writeTemporary(const QString& source, int folder, int permissions, PendingCopy& pending)
{
    const Descriptor from(::open(EncodeFileName(source).constData(), O_RDONLY | O_CLOEXEC));
    if (from.get() < 0) {
        return 0;
    }
    struct stat st
    {
    };
    if (::fstat(from.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return 0;
    }
    pending.temporary = EncodeFileName(CompleteCopyTemporaryPrefix()) +
                        QByteArray::number(QRandomGenerator::global()->generate64(), 16) +
                        QByteArrayLiteral(".part");
    const mode_t mode = permissions >= 0 ? static_cast<mode_t>(permissions) : st.st_mode;
    Descriptor to(::openat(folder, pending.temporary.constData(),
                           O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 0666));
    if (to.get() < 0) {
        return 0;
    }
    const bool copied = copyContent(from.get(), to.get());
    const bool closed = ::close(to.release()) == 0;
    if (!copied || !closed) {
        ::unlinkat(folder, pending.temporary.constData(), 0);
        return 0;
    }
    return 1;
}

int place(int folder, const PendingCopy& pending, bool keep)
{
    if (keep &&
        ::renameat(folder, pending.temporary.constData(), folder, pending.name.constData()) == 0) {
        return 1;
    }
    ::unlinkat(folder, pending.temporary.constData(), 0);
    return 0;
}

} // namespace

int CopyFileCompletely(const QString& source, const QString& destination, int permissions)
{
    PendingCopy pending;
    if (!splitDestination(destination, pending)) {
        return 0;
    }
    const Descriptor folder(openFolder(pending));
    if (folder.get() < 0 || writeTemporary(source, folder.get(), permissions, pending) != 1) {
        return 0;
    }
    return place(folder.get(), pending, true);
}

int CopyToTemporary(const QString& source, const QString& destination, PendingCopy& pending,
                    int permissions)
{
    if (!splitDestination(destination, pending)) {
        return 0;
    }
    const Descriptor folder(openFolder(pending));
    return folder.get() >= 0 ? writeTemporary(source, folder.get(), permissions, pending) : 0;
}

int PlaceCopy(const PendingCopy& pending, bool keep)
{
    const Descriptor folder(openFolder(pending));
    return folder.get() >= 0 ? place(folder.get(), pending, keep) : 0;
}

} // namespace fernhold
