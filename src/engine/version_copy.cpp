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

// Writes `destination` through a temporary file beside it that `fill`
// writes, renamed over it only when everything was written.
int writeCompletely(const QString& destination, mode_t mode,
                    const std::function<bool(int to)>& fill)
{
    const QByteArray target = EncodeFileName(destination);
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folderPath = slash < 0 ? QByteArray(".") : target.first(slash + 1);
    const QByteArray name = slash < 0 ? target : target.sliced(slash + 1);
    if (name.isEmpty()) {
        return 0;
    }
    // The temporary file and the rename go relative to the folder, so the
    // long mirrored path is resolved once per version instead of three times.
    const Descriptor folder(::open(folderPath.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) {
        return 0;
    }
    const QByteArray temporary = EncodeFileName(CompleteCopyTemporaryPrefix()) +
                                 QByteArray::number(QRandomGenerator::global()->generate64(), 16) +
                                 QByteArrayLiteral(".part");
    Descriptor to(::openat(folder.get(), temporary.constData(),
                           O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 0666));
    if (to.get() < 0) {
        return 0;
    }
    const bool written = fill(to.get());
    const bool closed = ::close(to.release()) == 0;
    if (!written || !closed ||
        ::renameat(folder.get(), temporary.constData(), folder.get(), name.constData()) != 0) {
        ::unlinkat(folder.get(), temporary.constData(), 0);
        return 0;
    }
    return 1;
}

} // namespace

int CopyFileCompletely(const QString& source, const QString& destination, int permissions)
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
    return writeCompletely(destination, mode,
                           [&from](int to) { return copyContent(from.get(), to); });
}

int WriteFileCompletely(const QByteArray& bytes, const QString& destination, int permissions)
{
    return writeCompletely(destination, static_cast<mode_t>(permissions), [&bytes](int to) {
        return WriteAll(to, bytes.constData(), bytes.size());
    });
}

} // namespace fernhold
