#pragma once

#include <QByteArray>
#include <QString>

namespace fernhold {

// A file that only grows. Each append is one write(2) on a descriptor opened
// with O_APPEND, so what was appended survives the process being killed the
// moment after. There is no fsync: surviving the process is the point, not
// surviving the machine.
class AppendFile
{
public:
    explicit AppendFile(QString path);
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Appends `bytes`, opening the file on the first call (created mode
    // 0600, a symbolic link refused). Gives 1 when all of them were written.
    [[nodiscard]] int append(const QByteArray& bytes);

    // Closes and deletes the file; the next append starts a new one. Gives 1
    // when the file is gone.
    int remove();

    [[nodiscard]] QString path() const { return m_path; }

private:
    void close();

    const QString m_path;
    int m_fd = -1;
};

} // namespace fernhold
