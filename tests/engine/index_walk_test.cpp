#include "engine/source_walk.h"
#include "file_rights.h"
#include "index_test_tree.h"
#include "platform/file_name.h"

#include <QFile>
#include <QScopeGuard>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

using namespace fernhold;
using fernhold::test::HandedFiles;
using fernhold::test::setWriteTime;
using fernhold::test::WithoutFileOverride;
using fernhold::test::writeFileAt;

namespace {

// A chain of `depth` folders named "dd" below `parent`, with a file at the
// bottom; made and removed through folder handles, since its path is longer
// than the system takes in one call.
class DeepChain
{
public:
    DeepChain(const QString& parent, int depth)
        : m_parent(QFile::encodeName(parent)), m_depth(depth)
    {
        int fd = ::open(m_parent.constData(), O_RDONLY | O_DIRECTORY);
        for (int i = 0; i < depth && fd >= 0; ++i) {
            ::mkdirat(fd, "dd", 0700);
            const int next = ::openat(fd, "dd", O_RDONLY | O_DIRECTORY);
            ::close(fd);
            fd = next;
        }
        if (fd >= 0) {
            const int file = ::openat(fd, "bottom.txt", O_WRONLY | O_CREAT, 0600);
            m_made = file >= 0 && ::write(file, "b", 1) == 1;
            ::close(file);
            ::close(fd);
        }
    }
    ~DeepChain()
    {
        // Bottom up, each folder named relative to a handle on an ancestor at
        // most kStride levels above it, so no path gets too long.
        constexpr int kStride = 256;
        std::vector<int> anchors{::open(m_parent.constData(), O_RDONLY | O_DIRECTORY)};
        for (int level = kStride; level < m_depth && anchors.back() >= 0; level += kStride) {
            anchors.push_back(
                ::openat(anchors.back(), relative(kStride).constData(), O_RDONLY | O_DIRECTORY));
        }
        for (int level = m_depth; level >= 1; --level) {
            const int anchor = (level - 1) / kStride;
            const QByteArray path = relative(level - anchor * kStride);
            if (level == m_depth) {
                ::unlinkat(anchors[anchor], (path + "/bottom.txt").constData(), 0);
            }
            ::unlinkat(anchors[anchor], path.constData(), AT_REMOVEDIR);
        }
        for (const int fd : anchors) {
            ::close(fd);
        }
    }
    DeepChain(const DeepChain&) = delete;
    DeepChain& operator=(const DeepChain&) = delete;
    [[nodiscard]] bool made() const { return m_made; }

private:
    // "dd/dd/.../dd", `levels` times.
    static QByteArray relative(int levels)
    {
        QByteArray path = QByteArray("dd/").repeated(levels);
        path.chop(1);
        return path;
    }

    QByteArray m_parent;
    int m_depth;
    bool m_made = false;
};

class IndexWalkTest : public fernhold::test::IndexFixture
{
protected:
    // Runs a job on another thread and waits for it with a generous limit, so
    // a walk that blocks fails the test instead of hanging it.
    template <typename Job> bool finishes(Job job)
    {
        auto done = std::async(std::launch::async, job);
        return done.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    }
};

} // namespace

TEST_F(IndexWalkTest, OnlyRegularFilesAndNoFolderLinks)
{
    const QString a = file(QStringLiteral("a.txt"));
    const QString b = file(QStringLiteral("sub/b.txt"));
    const QString outside = home.path() + QStringLiteral("outside/");
    writeFileAt(outside + QStringLiteral("o.txt"), "o");
    const auto make = [&](const QString& target, const QString& link) {
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(),
                            QFile::encodeName(src + link).constData()),
                  0);
    };
    make(QStringLiteral("self.txt"), QStringLiteral("self.txt"));
    make(QStringLiteral("ping.txt"), QStringLiteral("pong.txt"));
    make(QStringLiteral("pong.txt"), QStringLiteral("ping.txt"));
    make(QStringLiteral(".."), QStringLiteral("sub/up"));
    make(outside, QStringLiteral("away"));
    make(QStringLiteral("gone.txt"), QStringLiteral("dangling.txt"));
    make(QStringLiteral("../a.txt"), QStringLiteral("sub/alias.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(src + QStringLiteral("pipe.txt")).constData(), 0600), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray sockPath = QFile::encodeName(src + QStringLiteral("sock.txt"));
    ASSERT_LT(sockPath.size(), static_cast<qsizetype>(sizeof(address.sun_path)));
    std::copy(sockPath.begin(), sockPath.end(), address.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);

    IndexScanResult result;
    ASSERT_TRUE(finishes([&] { result = scan(); }));
    ::close(sock);
    EXPECT_EQ(result.folders, 2);
    EXPECT_EQ(result.files, 3); // a.txt, sub/b.txt and the link sub/alias.txt

    SourceIndex empty;
    std::swap(index, empty);
    QStringList found;
    ASSERT_TRUE(finishes([&] { found = changed(); }));
    EXPECT_EQ(found, (QStringList{a, src + QStringLiteral("sub/alias.txt"), b}));
}

TEST_F(IndexWalkTest, FoldersThatCannotBeReadAreSkipped)
{
    const QString a = file(QStringLiteral("a.txt"));
    const QString hidden = file(QStringLiteral("locked/hidden.txt"));
    const QString listed = file(QStringLiteral("listonly/listed.txt"));
    const QString after = file(QStringLiteral("zz/after.txt"));
    ASSERT_TRUE(QFile::setPermissions(src + QStringLiteral("locked"), {}));
    // Listable but not searchable: the names are there, the states are not.
    ASSERT_TRUE(QFile::setPermissions(src + QStringLiteral("listonly"),
                                      QFileDevice::ReadOwner | QFileDevice::ReadUser));
    {
        WithoutFileOverride guard;
        ASSERT_TRUE(guard.works());
        const IndexScanResult result = scan();
        EXPECT_EQ(result.files, 2);
        EXPECT_EQ(index.IndexCount(), 2);

        SourceIndex empty;
        std::swap(index, empty);
        HandedFiles handed;
        EXPECT_EQ(changed(src, &handed), (QStringList{a, listed, after}));
        for (const auto& file : handed.files) {
            // A file whose state cannot be read goes on without one; its backup is tried.
            EXPECT_EQ(file.record.has_value(), file.name != QStringLiteral("listed.txt"));
            EXPECT_EQ(file.size, file.record ? 1 : 0);
        }
    }
    (void)hidden;
}

TEST_F(IndexWalkTest, NamesThatAreNotUtf8)
{
    const QByteArray folder = QFile::encodeName(src) + "caf\xe9/";
    ASSERT_EQ(::mkdir(folder.constData(), 0700), 0);
    for (const QByteArray& path : {folder + "d\xfc\xff.txt", QFile::encodeName(src) + "\x80\x81"}) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    // Qt cannot name these for the clean-up of the temporary home.
    const auto removeRaw = qScopeGuard([&] {
        ::unlink((folder + "d\xfc\xff.txt").constData());
        ::rmdir(folder.constData());
        ::unlink((QFile::encodeName(src) + "\x80\x81").constData());
    });
    const IndexScanResult result = scan();
    EXPECT_EQ(result.folders, 2);
    EXPECT_EQ(result.files, 2);
    EXPECT_TRUE(changed().isEmpty());

    SourceIndex empty;
    std::swap(index, empty);
    HandedFiles handed;
    EXPECT_EQ(changed(src, &handed).size(), 2);
    // Folder and file names keep their bytes, so later steps find the files.
    QList<QByteArray> paths;
    for (const auto& file : handed.files) {
        paths.append(EncodeFileName(file.folderPath + file.name));
        EXPECT_TRUE(file.record.has_value());
    }
    QList<QByteArray> written{QFile::encodeName(src) + "\x80\x81", folder + "d\xfc\xff.txt"};
    std::sort(paths.begin(), paths.end());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(paths, written);
}

TEST_F(IndexWalkTest, VeryDeepNesting)
{
    const int depth = 2000;
    DeepChain chain(src, depth);
    ASSERT_TRUE(chain.made());
    const IndexScanResult result = scan();
    EXPECT_EQ(result.folders, depth + 1);
    EXPECT_EQ(result.files, 1);
    EXPECT_TRUE(changed().isEmpty());

    SourceIndex empty;
    std::swap(index, empty);
    HandedFiles handed;
    ASSERT_EQ(changed(src, &handed).size(), 1);
    EXPECT_EQ(handed.files[0].name, QStringLiteral("bottom.txt"));
    EXPECT_EQ(handed.files[0].folderPath.size(), src.size() + 3 * depth);
    EXPECT_GT(handed.files[0].folderPath.size(), PATH_MAX);
}

TEST_F(IndexWalkTest, TargetRootsAreNeverWalked)
{
    const QString a = file(QStringLiteral("a.txt"));
    file(QStringLiteral("backup/version.txt"));
    file(QStringLiteral("other/version.txt"));
    settings.target(1).TargetType = QStringLiteral("WIN");
    settings.target(1).TargetDir = src + QStringLiteral("backup/");
    // Another spelling of a folder inside the source: a link to it.
    const QString link = home.path() + QStringLiteral("link-to-other");
    ASSERT_TRUE(QFile::link(src + QStringLiteral("other"), link));
    settings.target(2).TargetType = QStringLiteral("WIN");
    settings.target(2).TargetDir = link + u'/';
    // An FTP target's folder means nothing locally.
    settings.target(3).TargetType = QStringLiteral("FTP");
    settings.target(3).TargetDir = src;

    EXPECT_EQ(scan().files, 1);
    SourceIndex empty;
    std::swap(index, empty);
    EXPECT_EQ(changed(), QStringList{a});

    // A source that is a target's root is not walked at all.
    settings.target(1).TargetDir = src;
    EXPECT_EQ(scan().files, 0);
}

TEST_F(IndexWalkTest, ExclusionRulesApplyToTheBackupWalkOnly)
{
    settings.ExcludeFileStrings += QStringLiteral(",skipme");
    const QString a = file(QStringLiteral("a.txt"));
    const QString doc = file(QStringLiteral("b.doc"));
    file(QStringLiteral("skipme/x.txt"));
    file(QStringLiteral("c.tmp"));
    file(QStringLiteral("~lock.txt"));
    EXPECT_EQ(scan().files, 5);

    SourceIndex empty;
    std::swap(index, empty);
    EXPECT_EQ(changed(), (QStringList{a, doc}));
    EXPECT_EQ(changed(src, nullptr, QStringLiteral("doc")), QStringList{doc});
}

TEST_F(IndexWalkTest, TheBackupWalkStopsAtTheNextEntry)
{
    for (int i = 0; i < 5; ++i) {
        file(QStringLiteral("f%1.txt").arg(i));
    }
    file(QStringLiteral("sub/g.txt"));
    int calls = 0;
    const ExclusionRules rules(
        settings, ResolveFolders(QStringLiteral("fernhold"), QStringLiteral("fernhold")));
    const FolderIdSet roots;
    const BackupWalk walk{index, rules, run, SizeLimitBytes(10, 1), roots};
    const auto pause = [&](const QString&, const QString&, qint64, const std::optional<FileRecord>&,
                           const QString& target) {
        EXPECT_EQ(target, QStringLiteral("1,2"));
        ++calls;
        run.Status = 2;
    };
    EXPECT_EQ(BackupFolder(walk, true, {}, src, QStringLiteral("1,2"), pause), 0);
    EXPECT_EQ(calls, 1);

    run.Status = 1;
    run.Ending = 1;
    qint64 bytes = 0;
    EXPECT_EQ(CountFolder(walk, true, {}, src, bytes), 0);
    EXPECT_EQ(bytes, 0);
    run.Ending = 0;
    EXPECT_EQ(CountFolder(walk, false, {}, src, bytes), 1);
    EXPECT_EQ(bytes, 5);
    EXPECT_EQ(CountFolder(walk, true, {}, home.path() + QStringLiteral("none/"), bytes), 0);
}

TEST_F(IndexWalkTest, AFolderMountedInsideItselfIsWalkedOnce)
{
    file(QStringLiteral("a.txt"));
    file(QStringLiteral("sub/b.txt"));
    const QByteArray loop = QFile::encodeName(src + QStringLiteral("sub/loop"));
    ASSERT_EQ(::mkdir(loop.constData(), 0700), 0);
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs a mount namespace of its own";
    }
    // In a child with its own mount namespace, so the mount vanishes with it.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::alarm(30); // a walk that loops ends the child
            const bool mounted =
                ::unshare(CLONE_NEWNS) == 0 &&
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                ::mount(QFile::encodeName(src).constData(), loop.constData(), nullptr, MS_BIND,
                        nullptr) == 0;
            const IndexScanResult result = scan();
            std::_Exit(!mounted ? 2 : result.folders == 2 && result.files == 2 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
