#include "platform/native_paths.h"

#include "platform/file_name.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace fernhold {

namespace {

struct DirCloser
{
    void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace

bool IsFolderPath(const QString& path)
{
    struct stat info
    {
    };
    const QByteArray native = EncodeFileName(path);
    return !native.isEmpty() && ::stat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::optional<qint64> RegularFileSize(const QString& path)
{
    struct stat info
    {
    };
    const QByteArray native = EncodeFileName(path);
    if (native.isEmpty() || ::stat(native.constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return static_cast<qint64>(info.st_size);
}

int RemoveFilePath(const QString& path)
{
    const QByteArray native = EncodeFileName(path);
    if (native.isEmpty()) {
        return 0;
    }
    return ::unlink(native.constData()) == 0 || errno == ENOENT ? 1 : 0;
}

int MakeFolderPath(const QString& path)
{
    const QByteArray native = EncodeFileName(path);
    if (native.isEmpty()) {
        return 0;
    }
    // Each level from the top down; levels that exist are passed by.
    for (qsizetype slash = native.indexOf('/', 1); slash > 0;
         slash = native.indexOf('/', slash + 1)) {
        (void)::mkdir(native.first(slash).constData(), 0777);
    }
    (void)::mkdir(native.constData(), 0777);
    return IsFolderPath(path) ? 1 : 0;
}

std::optional<QList<FolderListEntry>> ListFolderEntries(const QString& folder)
{
    const QByteArray native = EncodeFileName(folder);
    if (native.isEmpty()) {
        return std::nullopt;
    }
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    const std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
    if (!dir) {
        ::close(fd);
        return std::nullopt;
    }
    const int dirFd = ::dirfd(dir.get());
    QList<FolderListEntry> entries;
    while (const dirent* entry = ::readdir(dir.get())) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
            continue;
        }
        struct stat own
        {
        };
        if (::fstatat(dirFd, name, &own, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        FolderListEntry item;
        item.name = DecodeFileName(name);
        if (S_ISDIR(own.st_mode)) {
            item.folder = true;
        } else if (S_ISREG(own.st_mode)) {
            item.file = true;
        } else if (S_ISLNK(own.st_mode)) {
            item.link = true;
            struct stat target
            {
            };
            item.file = ::fstatat(dirFd, name, &target, 0) == 0 && S_ISREG(target.st_mode);
        }
        entries.append(std::move(item));
    }
    return entries;
}

} // namespace fernhold
