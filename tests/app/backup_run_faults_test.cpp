#include "backup_run_fixture.h"

#include <QSet>
#include <sys/stat.h>

namespace fernhold::test {

namespace {

// Runs in both forms: plain copies and zip archives. The first run of a test
// is a full backup; extended mode makes the next run save only what the
// first did not.
class RunFault : public BackupRunTest, public ::testing::WithParamInterface<int>
{
protected:
    void SetUp() override
    {
        m_settings.CompressData = static_cast<std::int8_t>(GetParam());
        m_settings.WorkModeExtended = 1;
    }

    [[nodiscard]] QString suffix(const QString& extension) const
    {
        return GetParam() == 1 ? QStringLiteral(".zip") : u'.' + extension;
    }

    // The content of a version, unpacked when it is an archive.
    [[nodiscard]] QByteArray restored(const QString& version, const QString& name) const
    {
        if (version.isEmpty()) {
            return QByteArray("<no version>");
        }
        if (GetParam() == 0) {
            return fileBytes(version);
        }
        return extracted(version, name).value_or(QByteArray("<not extracted>"));
    }

    // Nothing half-written anywhere below `folder`: no temporary copies, and
    // every version restores to a file of the source.
    void expectOnlyCompleteVersions(const QString& folder,
                                    const std::map<QString, QByteArray>& sources) const
    {
        for (const QString& relative : filesBelow(folder)) {
            const QString name = QFileInfo(relative).fileName();
            EXPECT_FALSE(name.startsWith(u'~')) << relative.toStdString();
            const qsizetype at = name.lastIndexOf(u'@');
            ASSERT_GT(at, 0) << relative.toStdString();
            const QString original = name.left(at);
            const auto it = sources.find(original);
            ASSERT_NE(it, sources.end()) << relative.toStdString();
            EXPECT_EQ(restored(folder + relative, original), it->second) << relative.toStdString();
        }
    }
};

std::string formName(const ::testing::TestParamInfo<int>& info)
{
    return info.param == 1 ? "zip" : "copy";
}

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

} // namespace

TEST_P(RunFault, AnUnreadableFileIsReportedAndSavedOnceItCanBeRead)
{
    const auto ordinary = ordinaryUserWrapper();
    if (!ordinary) {
        GTEST_SKIP() << "cannot start fernhold without root's file rights";
    }
    m_settings.WarnFileLocked = 1;
    const QString locked = source(QStringLiteral("private/locked.txt"), "mine alone");
    source(QStringLiteral("open.txt"), "for all");
    ASSERT_EQ(::chmod(native(locked).constData(), 0), 0);

    const ToolResult first = onceThrough(*ordinary);
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();

    EXPECT_EQ(
        restored(versionOf(QStringLiteral("open.txt"), suffix("txt")), QStringLiteral("open.txt")),
        QByteArray("for all"));
    EXPECT_TRUE(versionOf(QStringLiteral("private/locked.txt"), suffix("txt")).isEmpty());
    EXPECT_TRUE(logTexts().contains(failedLine(locked))) << logTexts().join(u'\n').toStdString();
    EXPECT_TRUE(QString::fromUtf8(first.err).contains(text("TXT00133") + u'\n' + locked))
        << first.err.toStdString();
    EXPECT_EQ(filesBelow(m_target).size(), 1);

    ASSERT_EQ(::chmod(native(locked).constData(), 0600), 0);
    const ToolResult second = onceThrough(*ordinary, false);
    ASSERT_EQ(second.exitCode, 0) << second.err.toStdString();
    EXPECT_EQ(restored(versionOf(QStringLiteral("private/locked.txt"), suffix("txt")),
                       QStringLiteral("locked.txt")),
              QByteArray("mine alone"));
    EXPECT_EQ(filesBelow(m_target).size(), 2);
}

TEST_P(RunFault, AReadOnlyTargetGetsNothingAndTheIndexStaysAsItWas)
{
    const auto ordinary = ordinaryUserWrapper();
    if (!ordinary) {
        GTEST_SKIP() << "cannot start fernhold without root's file rights";
    }
    const QString edited = source(QStringLiteral("sub/edited.txt"), "first");
    source(QStringLiteral("same.txt"), "same");
    ASSERT_EQ(once().exitCode, 0);
    const QStringList saved = filesBelow(m_target);
    ASSERT_EQ(saved.size(), 2);
    const QString table = m_home.appData() + QStringLiteral("filetimes.txt");
    const QByteArray tableBefore = fileBytes(table);

    source(QStringLiteral("sub/edited.txt"), "second, longer");
    const QString added = source(QStringLiteral("added.txt"), "added");
    for (const QString& folder : {mirror(), mirror() + QStringLiteral("sub")}) {
        ASSERT_EQ(::chmod(native(folder).constData(), 0555), 0);
    }
    const ToolResult failed = onceThrough(*ordinary, false);
    ASSERT_EQ(failed.exitCode, 0) << failed.err.toStdString();

    EXPECT_EQ(summaryOf(failed.err).value(0),
              text("TXT00078") + QStringLiteral(" (0 ") + text("TXT00079") + u')')
        << failed.err.toStdString();
    EXPECT_TRUE(logTexts().contains(failedLine(edited)));
    EXPECT_TRUE(logTexts().contains(failedLine(added)));
    EXPECT_EQ(filesBelow(m_target), saved);
    // The failed pass added nothing: the table holds the unchanged file
    // only, whose state it held before.
    const QList<QByteArray> before = tableBefore.split('\n');
    const QList<QByteArray> after = fileBytes(table).split('\n');
    ASSERT_EQ(before.value(0), QByteArray("2\r"));
    ASSERT_EQ(after.value(0), QByteArray("1\r"));
    EXPECT_TRUE(before.mid(1).contains(after.value(1)));

    for (const QString& folder : {mirror(), mirror() + QStringLiteral("sub")}) {
        ASSERT_EQ(::chmod(native(folder).constData(), 0755), 0);
    }
    const ToolResult again = onceThrough(*ordinary, false);
    ASSERT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(summaryOf(again.err).value(0),
              text("TXT00078") + QStringLiteral(" (2 ") + text("TXT00079") + u')');
    const QString newEdited = versionOf(QStringLiteral("sub/edited.txt"), suffix("txt"));
    const QString newAdded = versionOf(QStringLiteral("added.txt"), suffix("txt"));
    EXPECT_EQ(restored(newEdited, QStringLiteral("edited.txt")), QByteArray("second, longer"));
    EXPECT_EQ(restored(newAdded, QStringLiteral("added.txt")), QByteArray("added"));
    // A run in the same second as the first replaces its version of the file.
    QSet<QString> expected(saved.begin(), saved.end());
    expected << newEdited.mid(m_target.size()) << newAdded.mid(m_target.size());
    const QStringList now = filesBelow(m_target);
    EXPECT_EQ(QSet<QString>(now.begin(), now.end()), expected);
}

INSTANTIATE_TEST_SUITE_P(Forms, RunFault, ::testing::Values(0, 1), formName);

} // namespace fernhold::test
