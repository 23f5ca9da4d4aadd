#include "platform/file_io.h"
#include "platform/folders.h"
#include "temp_home.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace fernhold;
using fernhold::test::TempHome;

TEST(Folders, FollowTheXdgVariables)
{
    TempHome home;
    const Folders f = ResolveFolders(QStringLiteral("fernhold"), QStringLiteral("fernhold"));
    EXPECT_EQ(f.appData, home.configHome() + QStringLiteral("fernhold/"));
    EXPECT_EQ(f.temp, home.cacheHome() + QStringLiteral("fernhold/"));
    EXPECT_EQ(f.runtimeDir, home.runtimeDir());
    EXPECT_EQ(f.userTemp, home.path() + QStringLiteral("tmp/"));
    EXPECT_EQ(f.documents, home.path() + QStringLiteral("Documents/"));
    EXPECT_EQ(f.drives, QStringLiteral("/"));
    EXPECT_TRUE(f.program.endsWith(u'/'));
    EXPECT_TRUE(QFileInfo(f.program).isDir());
}

TEST(Folders, UserDirsFileNamesTheDocumentsFolder)
{
    TempHome home;
    home.writeFile(QStringLiteral(".config/user-dirs.dirs"),
                   "# comment\nXDG_DOCUMENTS_DIR=\"$HOME/Papiere\"\n"
                   "XDG_PUBLICSHARE_DIR=\"/srv/share\"\n");
    const Folders f = ResolveFolders(QStringLiteral("a"), QStringLiteral("b"));
    EXPECT_EQ(f.documents, home.path() + QStringLiteral("Papiere/"));
    EXPECT_EQ(f.publicDocuments, QStringLiteral("/srv/share/"));
}

TEST(Folders, RelativeXdgValuesAreIgnored)
{
    TempHome home;
    qputenv("XDG_CONFIG_HOME", "relative/config");
    const Folders f = ResolveFolders(QStringLiteral("fernhold"), QStringLiteral("fernhold"));
    EXPECT_EQ(f.configHome, home.path() + QStringLiteral(".config/"));
}

TEST(PrivateFolder, IsCreatedWithMode0700)
{
    TempHome home;
    const QString path = home.cacheHome() + QStringLiteral("deep/fernhold/");
    ASSERT_EQ(EnsurePrivateFolder(path), PrivateFolderProblem::None);
    struct stat st
    {
    };
    ASSERT_EQ(stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(PrivateFolder, WideModeOfOurOwnFolderIsNarrowed)
{
    TempHome home;
    const QString path = home.cacheHome() + QStringLiteral("wide");
    ASSERT_TRUE(QDir().mkpath(path));
    chmod(QFile::encodeName(path).constData(), 0777);
    ASSERT_EQ(EnsurePrivateFolder(path), PrivateFolderProblem::None);
    struct stat st
    {
    };
    ASSERT_EQ(stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(PrivateFolder, SymbolicLinkAndFileAreRefused)
{
    TempHome home;
    const QString elsewhere = home.path() + QStringLiteral("elsewhere");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    const QString link = home.cacheHome() + QStringLiteral("fernhold");
    ASSERT_TRUE(QFile::link(elsewhere, link));
    EXPECT_EQ(EnsurePrivateFolder(link + u'/'), PrivateFolderProblem::SymbolicLink);

    const QString file = home.writeFile(QStringLiteral("plain"), "x");
    EXPECT_EQ(EnsurePrivateFolder(file), PrivateFolderProblem::NotAFolder);
}

TEST(PrivateFolder, FolderOfAnotherUserIsRefused)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to give a folder to another user";
    }
    TempHome home;
    const QString path = home.cacheHome() + QStringLiteral("foreign");
    ASSERT_TRUE(QDir().mkpath(path));
    ASSERT_EQ(chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
    EXPECT_EQ(EnsurePrivateFolder(path), PrivateFolderProblem::OtherOwner);
}

TEST(WriteFileAtomically, LeavesAFileThatAlreadyHoldsTheDataAlone)
{
    TempHome home;
    const QString path = home.path() + QStringLiteral("settings.ini");
    ASSERT_EQ(WriteFileAtomically(path, "a = 1\r\n", true), 1);
    struct stat before
    {
    };
    ASSERT_EQ(stat(QFile::encodeName(path).constData(), &before), 0);
    EXPECT_EQ(before.st_mode & 0777, 0600u);

    ASSERT_EQ(WriteFileAtomically(path, "a = 1\r\n", true), 1);
    struct stat same
    {
    };
    ASSERT_EQ(stat(QFile::encodeName(path).constData(), &same), 0);
    EXPECT_EQ(same.st_ino, before.st_ino) << "an unchanged file is not replaced";

    // Other content, or the right content with a wider mode, is written anew.
    ASSERT_EQ(WriteFileAtomically(path, "a = 2\r\n", true), 1);
    EXPECT_EQ(TempHome::readFile(path), QByteArray("a = 2\r\n"));
    chmod(QFile::encodeName(path).constData(), 0644);
    ASSERT_EQ(WriteFileAtomically(path, "a = 2\r\n", true), 1);
    struct stat narrowed
    {
    };
    ASSERT_EQ(stat(QFile::encodeName(path).constData(), &narrowed), 0);
    EXPECT_EQ(narrowed.st_mode & 0777, 0600u);
}
