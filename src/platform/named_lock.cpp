#include "platform/named_lock.h"

#include "platform/folders.h"

#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fernhold {

namespace {

QString lockPath(const QString& runtimeDir, const QString& name)
{
    return WithSlash(runtimeDir) + name + QStringLiteral(".lock");
}

// Open-file-description locks: owned by the descriptor like flock, released
// when it closes, and they can be tested without being taken, so probing a
// lock never makes its owner fail to take it.
struct flock wholeFile(short type)
{
    struct flock lock
    {
    };
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    return lock;
}

} // namespace

NamedLock::NamedLock(QString runtimeDir, QString name) : m_path(lockPath(runtimeDir, name)) {}

NamedLock::~NamedLock()
{
    unlock();
}

int NamedLock::tryLock()
{
    if (m_fd >= 0) {
        return 1;
    }
    const int fd = ::open(QFile::encodeName(m_path).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return 0;
    }
    struct flock lock = wholeFile(F_WRLCK);
    if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        ::close(fd);
        return 0;
    }
    m_fd = fd;
    return 1;
}

void NamedLock::unlock()
{
    if (m_fd >= 0) {
        ::close(m_fd); // closing the descriptor releases the lock
        m_fd = -1;
    }
}

bool NamedLock::isHeldElsewhere(const QString& runtimeDir, const QString& name)
{
    const int fd = ::open(QFile::encodeName(lockPath(runtimeDir, name)).constData(),
                          O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false; // no file: nobody ever took it
    }
    struct flock probe = wholeFile(F_WRLCK);
    const bool held = ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

int NamedLock::ensureRuntimeDir(const QString& runtimeDir)
{
    return EnsurePrivateFolder(runtimeDir) == PrivateFolderProblem::None ? 1 : 0;
}

} // namespace fernhold
