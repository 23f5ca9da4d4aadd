#include "engine/version_copy.h"

#include "platform/descriptor.h"
#include "platform/file_io.h"
#include "platform/file_name.h"

#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <functional>
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

// Where a copy to `destination` goes: its folder, open for the temporary
// file and the rename (so the long mirrored path is resolved once per
// version instead of three times), and its name. False for a destination
// without a name or a folder that cannot be opened.
bool openDestination(const QString& destination, PendingCopy& pending)
{
    const QByteArray target = EncodeFileName(destination);
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray("./") : target.first(slash + 1);
    pending.name = slash < 0 ? target : target.sliced(slash + 1);
    if (pending.name.isEmpty()) {
        return false;
    }
    pending.folder.reset(::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return pending.folder.get() >= 0;
}

// Writes a new temporary file beside `destination` that `fill` fills, and
// names it in `pending`. Gives 1 when every byte was written; otherwise
// nothing is left.
int writeTemporary(const QString& destination, mode_t mode, PendingCopy& pending,
                   const std::function<bool(int to)>& fill)
{
    if (!openDestination(destination, pending)) {
        return 0;
    }
    pending.temporary = EncodeFileName(CompleteCopyTemporaryPrefix()) +
                        QByteArray::number(QRandomGenerator::global()->generate64(), 16) +
                        QByteArrayLiteral(".part");
    Descriptor to(::openat(pending.folder.get(), pending.temporary.constData(),
                           O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 0666));
    if (to.get() < 0) {
        return 0;
    }
    const bool written = fill(to.get());
    const bool closed = ::close(to.release()) == 0;
    if (!written || !closed) {
        ::unlinkat(pending.folder.get(), pending.temporary.constData(), 0);
        return 0;
    }
    return 1;
}

} // namespace

int CopyToTemporary(const QString& source, const QString& destination, PendingCopy& pending,
                    int permissions)
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
    const mode_t mode = permissions >= 0 ? static_cast<mode_t>(permissions) : st.st_mode;
    return writeTemporary(destination, mode, pending,
                          [&from](int to) { return copyContent(from.get(), to); });
}

int WriteToTemporary(const QByteArray& bytes, const QString& destination, PendingCopy& pending,
                     int permissions)
{
    return writeTemporary(destination, static_cast<mode_t>(permissions), pending,
                          [&bytes](int to) { return WriteAll(to, bytes.constData(), bytes.size()); });
}

int PlaceCopy(PendingCopy& pending, bool keep)
{
    if (pending.folder.get() < 0) {
        return 0;
    }
    int placed = 0;
    if (keep && ::renameat(pending.folder.get(), pending.temporary.constData(),
                           pending.folder.get(), pending.name.constData()) == 0) {
        placed = 1;
    } else {
        ::unlinkat(pending.folder.get(), pending.temporary.constData(), 0);
    }
    pending.folder.reset();
    return placed;
}

int CopyFileCompletely(const QString& source, const QString& destination, int permissions)
{
    PendingCopy pending;
    return CopyToTemporary(source, destination, pending, permissions) == 1 ? PlaceCopy(pending)
                                                                            : 0;
}

int WriteFileCompletely(const QByteArray& bytes, const QString& destination, int permissions)
{
    PendingCopy pending;
    return WriteToTemporary(bytes, destination, pending, permissions) == 1 ? PlaceCopy(pending)
                                                                            : 0;
}

} // namespace fernhold
