#include "platform/append_file.h"

#include "platform/file_io.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace fernhold {

AppendFile::AppendFile(QString path) : m_path(std::move(path)) {}

AppendFile::~AppendFile()
{
    close();
}

int AppendFile::append(const QByteArray& bytes)
{
    if (m_path.isEmpty()) {
        return 0;
    }
    if (m_fd < 0) {
        m_fd = ::open(QFile::encodeName(m_path).constData(),
                      O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_fd < 0) {
            return 0;
        }
    }
    return WriteAll(m_fd, bytes.constData(), bytes.size()) ? 1 : 0;
}

int AppendFile::remove()
{
    close();
    if (m_path.isEmpty()) {
        return 1;
    }
    if (::unlink(QFile::encodeName(m_path).constData()) == 0 || errno == ENOENT) {
        return 1;
    }
    return 0;
}

void AppendFile::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace fernhold
