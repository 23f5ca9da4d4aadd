#include "engine/version_copy.h"
#include "temp_home.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace fernhold;
using fernhold::test::TempHome;

namespace {

class VersionCopyTest : public ::testing::Test
{
protected:
    VersionCopyTest() { QDir().mkpath(target()); }

    [[nodiscard]] QString target() const { return home.path() + QStringLiteral("target/a b/"); }

    // Names in the target folder, temporary files included.
    [[nodiscard]] QStringList targetNames() const
    {
        return QDir(target()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

    static mode_t modeOf(const QString& path)
    {
        struct stat st
        {
        };
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
    }

    TempHome home;
};

} // namespace

TEST_F(VersionCopyTest, CopiesTheBytesUnderTheNameAndNothingElse)
{
    QByteArray content(3 * 1024 * 1024 + 17, '\0');
    for (qsizetype i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>((i * 131) % 251);
    }
    const QString source = home.writeFile(QStringLiteral("data/Grüße ~@'.bin"), content);
    const QString version = target() + QStringLiteral("Grüße ~@'.bin.20240305140709");

    ASSERT_EQ(CopyFileCompletely(source, version), 1);
    EXPECT_EQ(TempHome::readFile(version), content);
    EXPECT_EQ(targetNames(), QStringList{QFileInfo(version).fileName()});
}

TEST_F(VersionCopyTest, ReplacesAnExistingVersionOnlyWithACompleteOne)
{
    const QString version = target() + QStringLiteral("plan.odt.20240305140709");
    home.writeFile(QStringLiteral("target/a b/plan.odt.20240305140709"), "older save");
    const QString source = home.writeFile(QStringLiteral("data/plan.odt"), "newer save");

    ASSERT_EQ(CopyFileCompletely(source, version), 1);
    EXPECT_EQ(TempHome::readFile(version), QByteArray("newer save"));

    // A source that cannot be read leaves the version as it was.
    ASSERT_EQ(CopyFileCompletely(home.path() + QStringLiteral("data/gone.odt"), version), 0);
    EXPECT_EQ(TempHome::readFile(version), QByteArray("newer save"));
    EXPECT_EQ(targetNames().size(), 1);
}

TEST_F(VersionCopyTest, FailuresLeaveNoFileBehind)
{
    const QString source = home.writeFile(QStringLiteral("data/a.txt"), "abc");
    EXPECT_EQ(CopyFileCompletely(source, home.path() + QStringLiteral("missing/a.txt.1")), 0);
    EXPECT_FALSE(QFileInfo::exists(home.path() + QStringLiteral("missing")));

    // A folder is no file to copy, and a name ending in "/" no version name.
    EXPECT_EQ(
        CopyFileCompletely(home.path() + QStringLiteral("data"), target() + QStringLiteral("x.1")),
        0);
    EXPECT_EQ(CopyFileCompletely(source, target()), 0);
    EXPECT_TRUE(targetNames().isEmpty());

    // Where the target folder cannot be written to, nothing appears in it.
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(QFile::encodeName(target()).constData(), 0555), 0);
        EXPECT_EQ(CopyFileCompletely(source, target() + QStringLiteral("a.txt.1")), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(target()).constData(), 0755), 0);
        EXPECT_TRUE(targetNames().isEmpty());
    }
}

TEST_F(VersionCopyTest, VersionNeverGrantsMoreThanTheSourceAndNeverExecution)
{
    const QString secret = home.writeFile(QStringLiteral("data/secret.txt"), "pin");
    ASSERT_EQ(::chmod(QFile::encodeName(secret).constData(), 0600), 0);
    const QString script = home.writeFile(QStringLiteral("data/run.sh"), "#!/bin/sh\n");
    ASSERT_EQ(::chmod(QFile::encodeName(script).constData(), 0755), 0);

    ASSERT_EQ(CopyFileCompletely(secret, target() + QStringLiteral("secret.txt.1")), 1);
    ASSERT_EQ(CopyFileCompletely(script, target() + QStringLiteral("run.sh.1")), 1);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(modeOf(target() + QStringLiteral("secret.txt.1")), 0600u & ~mask);
    EXPECT_EQ(modeOf(target() + QStringLiteral("run.sh.1")), 0644u & ~mask);
}

// A copy written on one thread and put in place on another: until it is
// placed, only a temporary file lies beside the version; placing gives the
// version its bytes under its name, and a copy not kept leaves nothing.
TEST_F(VersionCopyTest, AWrittenCopyTakesItsNameOnlyWhenPlaced)
{
    const QString source = home.writeFile(QStringLiteral("data/plan.odt"), "whole save");
    const QString version = target() + QStringLiteral("plan.odt.20240305140709");

    PendingCopy pending;
    ASSERT_EQ(CopyToTemporary(source, version, pending), 1);
    ASSERT_EQ(targetNames().size(), 1);
    EXPECT_TRUE(targetNames().first().startsWith(CompleteCopyTemporaryPrefix()));
    EXPECT_FALSE(QFileInfo::exists(version));

    ASSERT_EQ(PlaceCopy(pending), 1);
    EXPECT_EQ(TempHome::readFile(version), "whole save");
    EXPECT_EQ(targetNames(), QStringList{QFileInfo(version).fileName()});

    const QString other = target() + QStringLiteral("plan.odt.20240305140710");
    PendingCopy dropped;
    ASSERT_EQ(CopyToTemporary(source, other, dropped), 1);
    EXPECT_EQ(PlaceCopy(dropped, false), 0);
    EXPECT_EQ(targetNames(), QStringList{QFileInfo(version).fileName()});

    // A source that cannot be read leaves nothing to place.
    PendingCopy missing;
    EXPECT_EQ(CopyToTemporary(home.path() + QStringLiteral("data/none"), other, missing), 0);
    EXPECT_EQ(targetNames(), QStringList{QFileInfo(version).fileName()});
}
