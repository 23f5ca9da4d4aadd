#include "restore/version_source.h"

#include "platform/file_io.h"
#include "platform/file_name.h"

#include <QByteArrayList>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fernhold {

namespace {

VersionSource::Problem problemOf(int error)
{
    // ELOOP: the name is a link; ENOTDIR: a level on the way is none (or a link to one).
    return error == ELOOP || error == ENOTDIR ? VersionSource::Problem::NotRegularFile
                                              : VersionSource::Problem::Missing;
}

} // namespace

VersionSource::VersionSource(const QString& root, const QString& relativePath)
{
    QByteArrayList levels = EncodeFileName(relativePath).split('/');
    const QByteArray name = levels.takeLast();
    const QByteArray rootPath = EncodeFileName(root);
    if (name.isEmpty() || rootPath.isEmpty()) {
        return;
    }
    int folder = ::open(rootPath.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        return;
    }
    for (const QByteArray& level : std::as_const(levels)) {
        if (level.isEmpty()) {
            continue;
        }
        const int next =
            ::openat(folder, level.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int error = errno;
        ::close(folder);
        if (next < 0) {
            m_problem = problemOf(error);
            return;
        }
        folder = next;
    }
    // A FIFO would block the open and a device may act on it: look first. The
    // look decides nothing, the fstat below does.
    struct stat st
    {
    };
    if (::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        m_problem = Problem::Missing;
        ::close(folder);
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        m_problem = Problem::NotRegularFile;
        ::close(folder);
        return;
    }
    const int fd = ::openat(folder, name.constData(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    const int error = errno;
    ::close(folder);
    if (fd < 0) {
        m_problem = problemOf(error);
        return;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        m_problem = Problem::NotRegularFile;
        ::close(fd);
        return;
    }
    m_fd = fd;
    m_size = static_cast<qint64>(st.st_size);
    m_permissions = static_cast<int>(st.st_mode & 0777);
    m_problem = Problem::None;
}

VersionSource::~VersionSource()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

int VersionSource::copyTo(const QString& path) const
{
    if (m_fd < 0) {
        return 0;
    }
    const QByteArray native = EncodeFileName(path);
    const int out =
        ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0) {
        return 0;
    }
    char buffer[1 << 16];
    off_t offset = 0;
    bool ok = true;
    for (;;) {
        const ssize_t got = ::pread(m_fd, buffer, sizeof(buffer), offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        if (!WriteAll(out, buffer, got)) {
            ok = false;
            break;
        }
        offset += got;
    }
    ok = ::close(out) == 0 && ok;
    if (!ok) {
        ::unlink(native.constData());
    }
    return ok ? 1 : 0;
}

bool IsRealFolderBelow(const QString& root, const QString& relativeFolder)
{
    QByteArray path = EncodeFileName(root);
    if (path.isEmpty()) {
        return false;
    }
    if (!path.endsWith('/')) {
        path.append('/');
    }
    struct stat st
    {
    };
    if (::stat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return false;
    }
    for (const QByteArray& level : EncodeFileName(relativeFolder).split('/')) {
        if (level.isEmpty()) {
            continue;
        }
        path += level + '/';
        if (::lstat(path.chopped(1).constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            return false;
        }
    }
    return true;
}

} // namespace fernhold
