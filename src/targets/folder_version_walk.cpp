#include "targets/folder_version_walk.h"

#include "engine/version_copy.h"
#include "platform/file_name.h"

#include <algorithm>
#include <cstring>
#include <ctime>
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
using DirHandle = std::unique_ptr<DIR, DirCloser>;

DirHandle openFolder(const QByteArray& path, bool followLink)
{
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
    const int fd = ::open(path.constData(), flags);
    if (fd < 0) {
        return nullptr;
    }
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
    }
    return DirHandle(dir);
}

bool isDotOrDotDot(const char* name)
{
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// A copy that never became a version: its process was killed or the machine
// went down. A day without a write means no one is still copying into it (a
// shared target may have another writer).
bool isStaleCopyLeftover(int dirFd, const char* name)
{
    static const QByteArray prefix = EncodeFileName(CompleteCopyTemporaryPrefix());
    const QByteArrayView view(name);
    if (!view.startsWith(prefix) || !view.endsWith(".part")) {
        return false;
    }
    struct stat info
    {
    };
    constexpr time_t kDay = 24 * 60 * 60;
    return ::fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
           info.st_mtime < ::time(nullptr) - kDay;
}

QByteArray withSlash(QByteArray path)
{
    if (!path.endsWith('/')) {
        path.append('/');
    }
    return path;
}

} // namespace

FolderVersionWalk::FolderVersionWalk(const QString& folder, CleanupRules rules, StopTest stop,
                                     ShowFolder showFolder)
    : m_rules(std::move(rules)), m_stop(std::move(stop)), m_showFolder(std::move(showFolder))
{
    if (!folder.isEmpty()) {
        m_pending.push_back(withSlash(EncodeFileName(folder)));
    }
}

void FolderVersionWalk::cleanNextFolder()
{
    if (m_pending.empty()) {
        return;
    }
    if (m_stop()) {
        m_count.stopped = true;
        m_pending.clear();
        return;
    }
    const QByteArray folder = std::move(m_pending.back());
    m_pending.pop_back();
    // The starting folder may itself be a link (a target on another disk);
    // below it nothing is followed.
    const bool followLink = m_atStart;
    m_atStart = false;
    if (m_showFolder) {
        m_showFolder(DisplayFileName(DecodeFileName(folder)));
    }

    const DirHandle dir = openFolder(folder, followLink);
    if (!dir) {
        return;
    }
    const int dirFd = ::dirfd(dir.get());
    const bool needSizes = m_rules.mode != CleanupMode::Automatic;
    std::vector<TargetFile> files;
    std::vector<QByteArray> fileNames;
    std::vector<QByteArray> subFolders;
    while (const dirent* entry = ::readdir(dir.get())) {
        const char* name = entry->d_name;
        if (isDotOrDotDot(name)) {
            continue;
        }
        unsigned char type = entry->d_type;
        qint64 size = 0;
        if (type == DT_UNKNOWN || (type == DT_REG && needSizes)) {
            struct stat info
            {
            };
            if (::fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
                continue;
            }
            type = S_ISREG(info.st_mode) ? DT_REG : S_ISDIR(info.st_mode) ? DT_DIR : DT_LNK;
            size = info.st_size;
        }
        if (type == DT_REG && isStaleCopyLeftover(dirFd, name)) {
            (void)::unlinkat(dirFd, name, 0);
            continue;
        }
        if (type == DT_REG) {
            fileNames.emplace_back(name);
            files.push_back({DecodeFileName(fileNames.back()), size});
        } else if (type == DT_DIR) {
            subFolders.emplace_back(name);
        }
    }

    m_count += CleanFolderVersions(files, m_rules, m_stop, [&](std::size_t index) {
        return ::unlinkat(dirFd, fileNames[index].constData(), 0) == 0;
    });
    if (m_count.stopped) {
        m_pending.clear();
        return;
    }
    // Sub-folders in name order: the last pushed is cleaned next.
    std::sort(subFolders.begin(), subFolders.end(), std::greater<>());
    for (const QByteArray& name : subFolders) {
        m_pending.push_back(folder + name + '/');
    }
}

} // namespace fernhold
