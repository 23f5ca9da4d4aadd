#include "platform/folders.h"
#include "platform/known_folders.h"
#include "temp_home.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace fernhold;
using fernhold::test::TempHome;

namespace {

Folders resolve()
{
    return ResolveFolders(QStringLiteral("fernhold"), QStringLiteral("fernhold"));
}

QStringList keys(const std::vector<KnownFolder>& rows)
{
    QStringList list;
    for (const KnownFolder& row : rows) {
        list << row.captionKey;
    }
    return list;
}

} // namespace

TEST(KnownFolders, OnlyFoldersThatExistInTheirOrder)
{
    TempHome home;
    ASSERT_TRUE(QDir().mkpath(home.path() + QStringLiteral("Pictures")));
    ASSERT_TRUE(QDir().mkpath(home.path() + QStringLiteral("Documents")));
    ASSERT_TRUE(QDir().mkpath(home.path() + QStringLiteral(".thunderbird")));
    ASSERT_TRUE(QDir().mkpath(home.dataHome() + QStringLiteral("evolution/mail")));
    const auto rows = KnownFolders(resolve());
    EXPECT_EQ(keys(rows), (QStringList{QStringLiteral("GAD00134"), QStringLiteral("TXT00552"),
                                       QStringLiteral("TXT00550"), QStringLiteral("GAD00137"),
                                       QStringLiteral("GAD00136")}));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].path, home.path() + QStringLiteral("Documents/"));
    EXPECT_EQ(rows[1].path, home.path() + QStringLiteral("Pictures/"));
    EXPECT_EQ(rows[2].path, home.path());
    EXPECT_EQ(rows[3].path, home.path() + QStringLiteral(".thunderbird/"));
    EXPECT_EQ(rows[4].path, home.dataHome() + QStringLiteral("evolution/mail/"));
}

TEST(KnownFolders, UserDirsFileNamesTheFolders)
{
    TempHome home;
    ASSERT_TRUE(QDir().mkpath(home.path() + QStringLiteral("Bilder")));
    ASSERT_TRUE(QDir().mkpath(home.path() + QStringLiteral("Pictures"))); // not the one named
    ASSERT_TRUE(QDir().mkpath(home.path() + QStringLiteral("share")));
    home.writeFile(QStringLiteral(".config/user-dirs.dirs"),
                   "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n"
                   "XDG_PUBLICSHARE_DIR=\"" +
                       (home.path() + QStringLiteral("share")).toUtf8() +
                       "\"\n"
                       // Switched off the xdg-user-dirs way: pointed at the home folder.
                       "XDG_DESKTOP_DIR=\"$HOME/\"\n");
    const auto rows = KnownFolders(resolve());
    EXPECT_EQ(keys(rows), (QStringList{QStringLiteral("GAD00135"), QStringLiteral("TXT00552"),
                                       QStringLiteral("TXT00550")}));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].path, home.path() + QStringLiteral("share/"));
    EXPECT_EQ(rows[1].path, home.path() + QStringLiteral("Bilder/"));
}

TEST(KnownFolders, OneFolderUnderTwoNamesIsOneRow)
{
    TempHome home;
    ASSERT_TRUE(QDir().mkpath(home.path() + QStringLiteral("Documents")));
    ASSERT_TRUE(QFile::link(home.path() + QStringLiteral("Documents"),
                            home.path() + QStringLiteral("Downloads")));
    home.writeFile(QStringLiteral(".config/user-dirs.dirs"),
                   "XDG_PUBLICSHARE_DIR=\"$HOME/Documents\"\n");
    const auto rows = KnownFolders(resolve());
    EXPECT_EQ(keys(rows), (QStringList{QStringLiteral("GAD00134"), QStringLiteral("TXT00550")}));
}
