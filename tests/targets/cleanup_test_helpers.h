#pragma once

#include "core/job_settings.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fernhold::test {

// The name a backup gives a plain copy of `base` saved on `date` (yyyyMMdd).
inline QString versionName(const QString& base, const QString& date,
                           const QString& time = QStringLiteral("120000"),
                           const QString& suffix = QStringLiteral(".txt"))
{
    return base + u'@' + date + u'~' + time + suffix;
}

inline void plantFile(const QString& path, const QByteArray& content = "v")
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(content), content.size());
}

// The names in a folder (files, links and folders), sorted.
inline QStringList namesIn(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

inline JobSettings folderTargetSettings(int target, const QString& folder)
{
    JobSettings settings;
    settings.target(target).TargetType = QStringLiteral("WIN");
    settings.target(target).TargetDir = folder;
    return settings;
}

// A folder in which nothing can be deleted for as long as the object lives:
// mode 0555, and for root, who ignores modes, the immutable flag as well.
class UndeletableFolder
{
public:
    explicit UndeletableFolder(const QString& path) : m_path(QFile::encodeName(path))
    {
        ::chmod(m_path.constData(), 0555);
        if (::geteuid() == 0) {
            m_immutable = setImmutable(true);
        }
    }
    ~UndeletableFolder()
    {
        if (m_immutable) {
            setImmutable(false);
        }
        ::chmod(m_path.constData(), 0755);
    }
    UndeletableFolder(const UndeletableFolder&) = delete;
    UndeletableFolder& operator=(const UndeletableFolder&) = delete;

    // True when creating a file in the folder fails now, as deleting does.
    [[nodiscard]] bool effective() const
    {
        const QByteArray probe = m_path + "/.probe";
        const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0) {
            return true;
        }
        ::close(fd);
        ::unlink(probe.constData());
        return false;
    }

private:
    bool setImmutable(bool on) const
    {
        const int fd = ::open(m_path.constData(), O_RDONLY | O_DIRECTORY);
        if (fd < 0) {
            return false;
        }
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return done;
    }

    QByteArray m_path;
    bool m_immutable = false;
};

#define FERNHOLD_REQUIRE_UNDELETABLE(guard)                                                        \
    do {                                                                                           \
        if (!(guard).effective()) {                                                                \
            GTEST_SKIP() << "this file system lets files be deleted from a read-only folder";      \
        }                                                                                          \
    } while (false)

} // namespace fernhold::test
