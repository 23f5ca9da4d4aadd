#include "backup_run_fixture.h"

#include <sys/stat.h>

namespace fernhold::test {

namespace {

int modeOf(const QString& path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0
               ? static_cast<int>(st.st_mode & 07777)
               : -1;
}

bool setMode(const QString& path, int mode)
{
    return ::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)) == 0;
}

// A plain copy or a zip archive.
class VersionRightsTest : public BackupRunTest, public ::testing::WithParamInterface<int>
{
protected:
    void SetUp() override { m_umask = ::umask(022); }
    void TearDown() override { ::umask(m_umask); }
    [[nodiscard]] QString suffix() const
    {
        return GetParam() != 0 ? QStringLiteral(".zip") : QStringLiteral(".txt");
    }

    mode_t m_umask = 0;
};

std::string formName(const ::testing::TestParamInfo<int>& info)
{
    return info.param != 0 ? "zip" : "copy";
}

} // namespace

TEST_P(VersionRightsTest, VersionsAndMadeFoldersShowNoMoreThanTheSource)
{
    m_settings.CompressData = static_cast<std::int8_t>(GetParam());
    const QString secret = source(QStringLiteral("private/secret.txt"), "only mine");
    const QString open = source(QStringLiteral("shared/open.txt"), "for all");
    const QString group = source(QStringLiteral("shared/group.txt"), "for the group");
    ASSERT_TRUE(setMode(secret, 0600));
    ASSERT_TRUE(setMode(open, 0644));
    ASSERT_TRUE(setMode(group, 0640));
    ASSERT_TRUE(setMode(m_source + QStringLiteral("private"), 0700));
    ASSERT_TRUE(setMode(m_source + QStringLiteral("shared"), 0755));
    ASSERT_TRUE(setMode(m_source, 0750));

    const RunResult r = once();
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString secretVersion = versionOf(QStringLiteral("private/secret.txt"), suffix());
    const QString openVersion = versionOf(QStringLiteral("shared/open.txt"), suffix());
    const QString groupVersion = versionOf(QStringLiteral("shared/group.txt"), suffix());
    ASSERT_FALSE(secretVersion.isEmpty() || openVersion.isEmpty() || groupVersion.isEmpty())
        << filesBelow(m_target).join(u' ').toStdString();
    EXPECT_EQ(modeOf(secretVersion), 0600);
    EXPECT_EQ(modeOf(openVersion), 0644);
    EXPECT_EQ(modeOf(groupVersion), 0640);
    EXPECT_EQ(modeOf(mirror() + QStringLiteral("private")), 0700);
    EXPECT_EQ(modeOf(mirror() + QStringLiteral("shared")), 0755);
    EXPECT_EQ(modeOf(mirror()), 0750);
    // Every folder above: the bits of its source-side folder (the home of
    // the test is private), never write for others (/tmp is 1777).
    QString sourceSide = QStringLiteral("/");
    for (const QString& level : m_home.path().split(u'/', Qt::SkipEmptyParts)) {
        sourceSide += level + u'/';
        EXPECT_EQ(modeOf(m_target + MirrorText(sourceSide)), (modeOf(sourceSide) & 0055) | 0700)
            << sourceSide.toStdString();
    }
}

TEST_P(VersionRightsTest, FoldersAtTheTargetAreLeftAsTheyAre)
{
    m_settings.CompressData = static_cast<std::int8_t>(GetParam());
    source(QStringLiteral("shared/new/a.txt"), "a");
    ASSERT_TRUE(setMode(m_source + QStringLiteral("shared/new"), 0700));
    ASSERT_TRUE(setMode(m_source + QStringLiteral("shared"), 0700));
    const QString existing = mirror() + QStringLiteral("shared/");
    ASSERT_TRUE(QDir().mkpath(existing));
    ASSERT_TRUE(setMode(existing, 0777));
    ASSERT_TRUE(setMode(mirror(), 0711));

    const RunResult r = once();
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    ASSERT_FALSE(versionOf(QStringLiteral("shared/new/a.txt"), suffix()).isEmpty());
    EXPECT_EQ(modeOf(existing), 0777);
    EXPECT_EQ(modeOf(mirror()), 0711);
    EXPECT_EQ(modeOf(existing + QStringLiteral("new")), 0700);
}

INSTANTIATE_TEST_SUITE_P(Forms, VersionRightsTest, ::testing::Values(0, 1), formName);

} // namespace fernhold::test
