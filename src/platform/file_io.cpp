#include "platform/file_io.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace fernhold {

namespace {

// True when `path` already holds exactly `data` (with mode 0600 when asked):
// rewriting it would only cost a flush to disk.
bool alreadyHolds(const QString& path, const QByteArray& data, bool privateMode)
{
    struct stat st
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size != data.size() || (privateMode && (st.st_mode & 0777) != 0600)) {
        return false;
    }
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll() == data;
}

} // namespace

bool WriteAll(int fd, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

int WriteFileAtomically(const QString& path, const QByteArray& data, bool privateMode)
{
    if (alreadyHolds(path, data, privateMode)) {
        return 1;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return 0;
    }
    if (privateMode && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        return 0;
    }
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        return 0;
    }
    return file.commit() ? 1 : 0;
}

std::optional<QByteArray> ReadFileCapped(const QString& path, qint64 maxBytes)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.read(std::min(maxBytes, file.size()));
}

} // namespace fernhold
