#include "engine/source_walk.h"

#include "core/job_settings.h"
#include "platform/file_name.h"
#include "platform/folders.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace fernhold {

namespace {

constexpr unsigned kStateMask = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME | STATX_BTIME;

using FolderKey = std::pair<std::uint64_t, std::uint64_t>; // device, inode

struct FolderKeyHash
{
    std::size_t operator()(const FolderKey& key) const
    {
        return std::hash<std::uint64_t>()(key.first * 0x9E3779B97F4A7C15ULL ^ key.second);
    }
};

struct PendingFolder
{
    QByteArray native; // ends in "/"
    QString path;      // ends in "/"
};

// Opens a folder for listing. A path too long for one call is opened piece by
// piece, each piece ending at a "/". Gives -1 on failure.
int openFolder(const QByteArray& path, bool followLink)
{
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
    if (path.size() < PATH_MAX) {
        return ::open(path.constData(), flags);
    }
    int base = AT_FDCWD;
    qsizetype start = 0;
    for (;;) {
        if (path.size() - start < PATH_MAX) {
            const int fd = ::openat(base, path.mid(start).constData(), flags);
            if (base != AT_FDCWD) {
                ::close(base);
            }
            return fd;
        }
        const qsizetype cut = path.lastIndexOf('/', start + PATH_MAX - 2);
        int next = -1;
        if (cut > start) {
            next = ::openat(base, path.mid(start, cut - start + 1).constData(),
                            O_PATH | O_DIRECTORY | O_CLOEXEC);
        }
        if (base != AT_FDCWD) {
            ::close(base);
        }
        if (next < 0) {
            return -1;
        }
        base = next;
        start = cut + 1;
    }
}

// The QString form of a listed name into a buffer that is reused from entry
// to entry: ASCII is widened in place, anything else goes through the name
// codec, so a name that is not UTF-8 keeps its bytes.
void decodeName(const char* name, std::size_t length, QString& out)
{
    out.resize(static_cast<qsizetype>(length));
    QChar* data = out.data();
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c >= 0x80) {
            out = DecodeFileName(QByteArrayView(name, static_cast<qsizetype>(length)));
            return;
        }
        data[i] = QChar(c);
    }
}

bool isDotEntry(const char* name)
{
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

class Walker
{
public:
    Walker(bool includeSub, const FolderIdSet& skip, WalkVisitor& visitor)
        : m_includeSub(includeSub), m_skip(skip), m_visitor(visitor)
    {
        m_name.reserve(256);
    }

    WalkOutcome run(const QString& folderPath)
    {
        const QString root = WithSlash(folderPath);
        m_stack.push_back({EncodeFileName(root), root});
        bool first = true;
        while (!m_stack.empty() && !m_outcome.stopped) {
            PendingFolder folder = std::move(m_stack.back());
            m_stack.pop_back();
            listFolder(folder, first);
            first = false;
        }
        return m_outcome;
    }

private:
    void listFolder(const PendingFolder& folder, bool isRoot)
    {
        // The walked folder itself may be a link the user chose; below it, no link is entered.
        const int fd = openFolder(folder.native, isRoot);
        if (fd < 0) {
            return;
        }
        struct stat self = {};
        if (::fstat(fd, &self) != 0 || m_skip.contains(self.st_dev, self.st_ino) ||
            !m_seen.insert({self.st_dev, self.st_ino}).second) {
            ::close(fd);
            return;
        }
        DIR* dir = ::fdopendir(fd);
        if (dir == nullptr) {
            ::close(fd);
            return;
        }
        ++m_outcome.folders;
        m_visitor.enterFolder(folder.path);

        std::vector<PendingFolder> subFolders;
        while (const dirent* entry = ::readdir(dir)) {
            if (m_visitor.mustStop()) {
                m_outcome.stopped = true;
                break;
            }
            if (isDotEntry(entry->d_name)) {
                continue;
            }
            unsigned char type = entry->d_type;
            struct statx state = {};
            bool haveState = false;
            if (type == DT_UNKNOWN) {
                // Some file systems do not tell the type in the listing.
                if (::statx(::dirfd(dir), entry->d_name,
                            AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT, kStateMask, &state) != 0) {
                    continue;
                }
                type = IFTODT(state.stx_mode);
                haveState = type == DT_REG;
            }
            if (type == DT_DIR) {
                if (m_includeSub) {
                    addSubFolder(folder, entry->d_name, subFolders);
                }
            } else if (type == DT_REG || type == DT_LNK) {
                file(::dirfd(dir), entry->d_name, type, haveState ? &state : nullptr);
            }
            // FIFOs, sockets and devices: never opened, never recorded.
        }
        ::closedir(dir);
        if (m_outcome.stopped) {
            return;
        }
        // The first sub-folder listed is walked next.
        for (auto it = subFolders.rbegin(); it != subFolders.rend(); ++it) {
            m_stack.push_back(std::move(*it));
        }
    }

    void addSubFolder(const PendingFolder& parent, const char* name,
                      std::vector<PendingFolder>& subFolders)
    {
        const std::size_t length = std::strlen(name);
        decodeName(name, length, m_name);
        QString path = parent.path + m_name;
        if (!m_visitor.admitsFolder(path)) {
            return;
        }
        path += u'/';
        QByteArray native = parent.native;
        native.append(name, static_cast<qsizetype>(length));
        native.append('/');
        subFolders.push_back({std::move(native), std::move(path)});
    }

    void file(int folderFd, const char* name, unsigned char type, const struct statx* known)
    {
        decodeName(name, std::strlen(name), m_name);
        if (!m_visitor.admitsFile(m_name)) {
            return;
        }
        if (known != nullptr) {
            ++m_outcome.files;
            m_visitor.visitFile(m_name, known);
            return;
        }
        struct statx state = {};
        if (::statx(folderFd, name, AT_STATX_SYNC_AS_STAT, kStateMask, &state) != 0) {
            // A regular file that vanished is gone; one that cannot be read is
            // still a file to back up. A link that leads nowhere (or in a
            // circle) is not a file at all.
            if (type == DT_REG && errno != ENOENT) {
                ++m_outcome.files;
                m_visitor.visitFile(m_name, nullptr);
            }
            return;
        }
        if (!S_ISREG(state.stx_mode)) {
            return;
        }
        ++m_outcome.files;
        m_visitor.visitFile(m_name, &state);
    }

    const bool m_includeSub;
    const FolderIdSet& m_skip;
    WalkVisitor& m_visitor;
    std::vector<PendingFolder> m_stack;
    // Folders already walked: a bind mount can make a folder its own descendant.
    std::unordered_set<FolderKey, FolderKeyHash> m_seen;
    QString m_name;
    WalkOutcome m_outcome;
};

} // namespace

void FolderIdSet::add(const QString& path)
{
    struct stat info = {};
    const QByteArray native = EncodeFileName(path);
    if (!native.isEmpty() && ::stat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode)) {
        m_ids.emplace_back(info.st_dev, info.st_ino);
    }
}

bool FolderIdSet::contains(std::uint64_t device, std::uint64_t inode) const
{
    return std::find(m_ids.begin(), m_ids.end(), std::make_pair(device, inode)) != m_ids.end();
}

FolderIdSet TargetRootFolders(const JobSettings& settings)
{
    FolderIdSet roots;
    for (int t = 1; t <= kTargetCount; ++t) {
        const TargetEntry& target = settings.target(t);
        if (target.TargetType == QLatin1StringView("WIN") && !target.TargetDir.isEmpty()) {
            roots.add(target.TargetDir);
        }
    }
    return roots;
}

bool CanListFolder(const QString& folderPath)
{
    const QByteArray native = EncodeFileName(WithSlash(folderPath));
    if (native.isEmpty()) {
        return false;
    }
    const int fd = openFolder(native, true);
    if (fd < 0) {
        return false;
    }
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return false;
    }
    ::closedir(dir);
    return true;
}

WalkOutcome WalkFolder(const QString& folderPath, bool includeSub, const FolderIdSet& skip,
                       WalkVisitor& visitor)
{
    if (folderPath.isEmpty()) {
        return {};
    }
    return Walker(includeSub, skip, visitor).run(folderPath);
}

} // namespace fernhold
