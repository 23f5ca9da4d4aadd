#include "backup_run_fixture.h"

namespace fernhold::test {

namespace {

class ExclusionReportTest : public BackupRunTest
{
protected:
    [[nodiscard]] QStringList linesStartingWith(const QString& start) const
    {
        QStringList found;
        for (const QString& line : logTexts()) {
            if (line.startsWith(start)) {
                found.append(line);
            }
        }
        return found;
    }
    [[nodiscard]] static QString tallyStart()
    {
        return QStringLiteral("\t\t") + text("TXT00480") + QStringLiteral(": ");
    }
    void addSource(const QString& folder)
    {
        SourceEntry entry;
        entry.SourceDirPfad = folder;
        entry.SourceDirSub = 1;
        entry.SourceDirTarget = QStringLiteral("1");
        m_settings.sources.append(entry);
    }
};

} // namespace

TEST_F(ExclusionReportTest, UserFoldersNamedUsrAreBackedUpByDefault)
{
    m_settings.CompressData = 0;
    source(QStringLiteral("proj/usr/code.c"), "int main;");
    source(QStringLiteral("src/usr/notes.txt"), "notes");

    const RunResult r = once();
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(fileBytes(versionOf(QStringLiteral("proj/usr/code.c"), QStringLiteral(".c"))),
              QByteArray("int main;"));
    EXPECT_EQ(fileBytes(versionOf(QStringLiteral("src/usr/notes.txt"), QStringLiteral(".txt"))),
              QByteArray("notes"));
    // Nothing was left out, so there is nothing to report.
    EXPECT_TRUE(linesStartingWith(tallyStart()).isEmpty()) << logTexts().join(u'\n').toStdString();
}

TEST_F(ExclusionReportTest, PassLogsWhatEachRuleLeftOut)
{
    m_settings.CompressData = 0;
    // A value stored with the old default keeps working as stored.
    m_settings.ExcludeFileStrings = QStringLiteral("/usr/,pagefile.sys,_xyz");
    m_settings.sources[0].SourceDirFilter = QStringLiteral("txt,c,tmp,log,sys");
    // The pre-count walks the same files: it must not count them twice.
    m_settings.MonitorWithRemaining = 1;
    source(QStringLiteral("a.tmp"), "1");
    source(QStringLiteral("deep/b.tmp"), "2");
    source(QStringLiteral("c.log"), "3");
    source(QStringLiteral("d.pdf"), "4");
    source(QStringLiteral("e.jpg"), "5");
    source(QStringLiteral("~draft.txt"), "6");
    source(QStringLiteral("pagefile.sys"), "7");
    source(QStringLiteral("plan_xyz.txt"), "8");
    source(QStringLiteral("proj/usr/code.c"), "9");
    source(QStringLiteral("proj/usr/lib/more.c"), "10");
    source(QStringLiteral("proj/usr/share/most.c"), "11");
    source(QStringLiteral("kept.txt"), "kept");

    const RunResult r = once();
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(filesBelow(m_target).size(), 1) << filesBelow(m_target).join(u' ').toStdString();
    EXPECT_FALSE(versionOf(QStringLiteral("kept.txt"), QStringLiteral(".txt")).isEmpty());
    // "/usr/" lies in the folder path of code.c; the folders below it are not
    // entered at all, so their files are not seen.
    EXPECT_EQ(linesStartingWith(tallyStart()),
              QStringList{tallyStart() + text("TXT00481") + QStringLiteral(" 3, ") +
                          text("TXT00482") + QStringLiteral(" 2, ") + text("TXT00483") +
                          QStringLiteral(" 2, ") + text("TXT00484") +
                          QStringLiteral(" \"/usr/\" 1 (2 ") + text("TXT00485") +
                          QStringLiteral("), ") + text("TXT00484") + QStringLiteral(" \"_xyz\" 1")})
        << logTexts().join(u'\n').toStdString();
}

TEST_F(ExclusionReportTest, SourcesInTheTemporaryOrCacheFolderAreReported)
{
    m_settings.CompressData = 0;
    const QString temporary = m_home.path() + QStringLiteral("tmp/build/");
    const QString cache = m_home.cacheHome() + QStringLiteral("thumbnails/");
    QDir().mkpath(temporary);
    QDir().mkpath(cache);
    m_home.writeFile(QStringLiteral("tmp/build/out.txt"), "t");
    m_home.writeFile(QStringLiteral(".cache/thumbnails/a.txt"), "c1");
    m_home.writeFile(QStringLiteral(".cache/thumbnails/sub/b.txt"), "c2");
    source(QStringLiteral("kept.txt"), "kept");

    // The command stores the source, and says on stderr that it backs up nothing.
    const RunResult addTemporary =
        RunFernhold({QStringLiteral("source"), QStringLiteral("add"), temporary});
    EXPECT_EQ(addTemporary.exitCode, 0);
    EXPECT_TRUE(QString::fromUtf8(addTemporary.err).contains(text("TXT00486")))
        << addTemporary.err.toStdString();
    const RunResult addCache =
        RunFernhold({QStringLiteral("source"), QStringLiteral("add"), cache});
    EXPECT_EQ(addCache.exitCode, 0);
    EXPECT_TRUE(QString::fromUtf8(addCache.err).contains(text("TXT00487")))
        << addCache.err.toStdString();
    const RunResult addPlain = RunFernhold(
        {QStringLiteral("source"), QStringLiteral("add"), m_home.path() + QStringLiteral("tmp2")});
    EXPECT_EQ(addPlain.exitCode, 2); // no such folder; nothing about temporary files
    QDir().mkpath(m_home.path() + QStringLiteral("tmpfiles"));
    const RunResult addNear = RunFernhold({QStringLiteral("source"), QStringLiteral("add"),
                                           m_home.path() + QStringLiteral("tmpfiles")});
    EXPECT_EQ(addNear.exitCode, 0);
    EXPECT_TRUE(addNear.err.isEmpty()) << addNear.err.toStdString();
    const QString listed =
        QString::fromUtf8(RunFernhold({QStringLiteral("source"), QStringLiteral("list")}).out);
    EXPECT_TRUE(listed.contains(temporary) && listed.contains(cache)) << listed.toStdString();

    addSource(temporary);
    addSource(cache);
    const RunResult r = once();
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(filesBelow(m_target).size(), 1);
    const QString tabs = QStringLiteral("\t\t");
    EXPECT_EQ(linesStartingWith(tabs + text("TXT00488")),
              QStringList{tabs + text("TXT00488") + QStringLiteral(": ") + temporary});
    EXPECT_EQ(linesStartingWith(tabs + text("TXT00489")),
              QStringList{tabs + text("TXT00489") + QStringLiteral(": ") + cache});
    EXPECT_EQ(linesStartingWith(tallyStart()),
              QStringList{tallyStart() + text("TXT00483") + QStringLiteral(" 3")});
}

} // namespace fernhold::test
