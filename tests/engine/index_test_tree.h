#pragma once

// Helpers for the source-index tests: files with chosen times, and the
// collection of what a backup walk hands on.

#include "file_record.h"
#include "index_walks.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>

namespace fernhold::test {

// Writes `content` to `path` (folders made as needed).
inline void writeFileAt(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(content), content.size());
}

// Sets the last-write time of `path` (seconds and nanoseconds since 1970).
inline void setWriteTime(const QString& path, qint64 seconds, long nanoseconds = 0)
{
    const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0)
        << path.toStdString();
}

// One file handed to BackupFile.
struct HandedFile
{
    QString folderPath;
    QString name;
    qint64 size = 0;
    std::optional<FileRecord> record;
    QString target;
};

// A BackupFile that only records what it was given.
struct HandedFiles
{
    std::vector<HandedFile> files;

    [[nodiscard]] BackupFileFunction callback()
    {
        return [this](const QString& folderPath, const QString& name, qint64 size,
                      const std::optional<FileRecord>& record, const QString& target) {
            files.push_back({folderPath, name, size, record, target});
        };
    }
    [[nodiscard]] QStringList paths() const
    {
        QStringList list;
        for (const HandedFile& file : files) {
            list.append(file.folderPath + file.name);
        }
        list.sort();
        return list;
    }
};

} // namespace fernhold::test
