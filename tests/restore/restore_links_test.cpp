#include "restore/folder_restore_window.h"
#include "restore_fixture.h"
#include "run_program.h"

#include <sys/stat.h>

namespace fernhold::test {

namespace {

const QString kStamp = QStringLiteral("@20230105~080000");
const QString kBreak = QStringLiteral("\r\n");

QStringList lines(const QByteArray& output)
{
    return QString::fromUtf8(output).split(u'\n', Qt::SkipEmptyParts);
}

int modeOf(const QString& path)
{
    struct stat st
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0
               ? static_cast<int>(st.st_mode & 07777)
               : -1;
}

bool setMode(const QString& path, int mode)
{
    return ::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)) == 0;
}

// A folder target whose tree holds, beside real versions, links and a FIFO
// named as versions, and a linked folder; the file they lead to is a secret
// of the home. The real fernhold program restores from it.
class RestoreLinksTest : public RestoreTest
{
protected:
    void SetUp() override
    {
        RestoreTest::SetUp();
        m_umask = ::umask(022);
        m_home.writeFile(QStringLiteral(".config/fernhold/fernhold.ini"),
                         "ProgrammStatus = 0\r\nTargetType = WIN\r\nTargetDir = " +
                             m_targetRoot.toUtf8() + "\r\n");
        m_secret = m_home.writeFile(QStringLiteral("secret.txt"), "top secret");
        const QString elsewhere = m_home.path() + QStringLiteral("elsewhere/");
        m_home.writeFile(QStringLiteral("elsewhere/b.txt") + kStamp + QStringLiteral(".txt"),
                         "behind a link");
        m_home.writeFile(QStringLiteral("elsewhere/z.bin") + kStamp + QStringLiteral(".zip"),
                         packed(QStringLiteral("z.bin"), "top secret"));
        putVersion(QStringLiteral("a.txt") + kStamp + QStringLiteral(".txt"), "a");
        ASSERT_TRUE(QDir().mkpath(versionFolder() + QStringLiteral("real")));
        ASSERT_TRUE(QFile::link(m_secret, versionFolder() + linkVersion()));
        ASSERT_TRUE(
            QFile::link(elsewhere + QStringLiteral("z.bin") + kStamp + QStringLiteral(".zip"),
                        versionFolder() + zipLinkVersion()));
        ASSERT_EQ(::mkfifo(QFile::encodeName(versionFolder() + fifoVersion()).constData(), 0600),
                  0);
        ASSERT_TRUE(QFile::link(elsewhere, versionFolder() + QStringLiteral("linked")));
    }
    void TearDown() override { ::umask(m_umask); }

    static QString linkVersion()
    {
        return QStringLiteral("s.txt") + kStamp + QStringLiteral(".txt");
    }
    static QString zipLinkVersion()
    {
        return QStringLiteral("z.bin") + kStamp + QStringLiteral(".zip");
    }
    static QString fifoVersion()
    {
        return QStringLiteral("f.txt") + kStamp + QStringLiteral(".txt");
    }

    static RunResult run(const QStringList& arguments)
    {
        RunResult result = RunFernhold(arguments);
        EXPECT_TRUE(result.finished);
        return result;
    }
    RunResult restoreVersion(const QString& folder, const QString& version) const
    {
        return run({QStringLiteral("restore"), QStringLiteral("version"), QStringLiteral("--yes"),
                    QStringLiteral("--to"), m_picked, folder, version});
    }
    // True when no file below the picked folder holds the secret.
    [[nodiscard]] bool secretKept() const
    {
        for (const QString& file : filesBelow(m_picked)) {
            if (readAll(m_picked + file) == "top secret" ||
                readAll(m_picked + file) == "behind a link") {
                return false;
            }
        }
        return !QFileInfo::exists(m_source + QStringLiteral("s.txt"));
    }

    QString m_secret;
    mode_t m_umask = 0;
};

} // namespace

TEST_F(RestoreLinksTest, ListShowsOnlyRegularFilesAndRealFolders)
{
    const RunResult listed = run({QStringLiteral("restore"), QStringLiteral("list"), relative()});
    EXPECT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    EXPECT_EQ(lines(listed.out),
              (QStringList{QStringLiteral("real\t\t\treal/"),
                           QStringLiteral("a.txt\t2023/01/05   08:00:00\t\ta.txt") + kStamp +
                               QStringLiteral(".txt")}));

    const RunResult linked = run({QStringLiteral("restore"), QStringLiteral("list"),
                                  relative() + QStringLiteral("linked/")});
    EXPECT_EQ(linked.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(linked.err).contains(text("TXT00417")));
    EXPECT_TRUE(linked.out.isEmpty());
}

TEST_F(RestoreLinksTest, VersionRefusesWhatIsNoRegularFile)
{
    for (const QString& version : {linkVersion(), zipLinkVersion(), fifoVersion()}) {
        const RunResult r = restoreVersion(relative(), version);
        EXPECT_EQ(r.exitCode, 1) << version.toStdString();
        EXPECT_TRUE(QString::fromUtf8(r.err).contains(text("TXT00490") + u'\n' + m_targetRoot +
                                                      relative() + version))
            << r.err.toStdString();
    }
    const RunResult below =
        restoreVersion(relative() + QStringLiteral("linked/"),
                       QStringLiteral("b.txt") + kStamp + QStringLiteral(".txt"));
    EXPECT_EQ(below.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(below.err).contains(text("TXT00490"))) << below.err.toStdString();
    EXPECT_TRUE(namesIn(m_picked).isEmpty()) << namesIn(m_picked).join(u' ').toStdString();
    EXPECT_TRUE(secretKept());

    // A regular version next to them comes back.
    const RunResult regular =
        restoreVersion(relative(), QStringLiteral("a.txt") + kStamp + QStringLiteral(".txt"));
    EXPECT_EQ(regular.exitCode, 0) << regular.err.toStdString();
    EXPECT_EQ(readAll(m_picked + QStringLiteral("a.txt")), QByteArray("a"));
    EXPECT_TRUE(workFolderEmpty());
}

TEST_F(RestoreLinksTest, FolderRestoreTakesOnlyRegularFiles)
{
    const RunResult r =
        run({QStringLiteral("restore"), QStringLiteral("folder"), QStringLiteral("--from"),
             QStringLiteral("2023-01-05"), QStringLiteral("--until"), QStringLiteral("2023-01-05"),
             QStringLiteral("--subfolders"), QStringLiteral("--yes"), QStringLiteral("--to"),
             m_picked, relative()});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(filesBelow(m_picked), QStringList{relative() + QStringLiteral("a.txt")});
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(QStringLiteral("1/1\t") + text("TXT00120")));
    EXPECT_TRUE(secretKept());
    EXPECT_TRUE(workFolderEmpty());
}

TEST_F(RestoreLinksTest, FolderRestoreRefusesVersionsSwappedForLinksAfterTheSearch)
{
    putVersion(QStringLiteral("b.txt") + kStamp + QStringLiteral(".txt"), "b");
    putVersion(QStringLiteral("c.bin") + kStamp + QStringLiteral(".zip"),
               packed(QStringLiteral("c.bin"), "c"));
    FolderRestoreWindow window(m_settings, RestoreServices{m_ui, *m_archiver, m_picked}, relative(),
                               QString(), QDate(2023, 1, 5));
    window.search();
    while (window.step()) {
    }
    ASSERT_EQ(window.rows().size(), 3); // a.txt, b.txt, c.bin

    // Between the search and the restore both are replaced by links.
    const QString b = versionFolder() + QStringLiteral("b.txt") + kStamp + QStringLiteral(".txt");
    const QString c = versionFolder() + QStringLiteral("c.bin") + kStamp + QStringLiteral(".zip");
    ASSERT_TRUE(QFile::remove(b) && QFile::link(m_secret, b));
    ASSERT_TRUE(QFile::remove(c) && QFile::link(m_home.path() + QStringLiteral("elsewhere/z.bin") +
                                                    kStamp + QStringLiteral(".zip"),
                                                c));
    m_ui.queueFolder(m_picked);
    m_ui.queueAnswer(true);
    window.restore(true);
    while (window.step()) {
    }
    EXPECT_EQ(window.counts().restored, 1);
    EXPECT_EQ(window.counts().failed, 2);
    EXPECT_EQ(window.rows()[1].result, text("TXT00491"));
    EXPECT_EQ(window.rows()[2].result, text("TXT00491"));
    EXPECT_EQ(filesBelow(m_picked), QStringList{relative() + QStringLiteral("a.txt")});
    EXPECT_TRUE(m_ui.sawMessageContaining(text("TXT00492") + kBreak + b + kBreak + c));
    EXPECT_TRUE(secretKept());
    EXPECT_TRUE(workFolderEmpty());
}

TEST_F(RestoreLinksTest, RestoredFilesGetNoMoreRightsThanTheirVersions)
{
    const QString plain = QStringLiteral("p.txt") + kStamp + QStringLiteral(".txt");
    const QString zip = QStringLiteral("q.bin") + kStamp + QStringLiteral(".zip");
    const QString wide = QStringLiteral("w.sh") + kStamp + QStringLiteral(".sh");
    ASSERT_TRUE(setMode(putVersion(plain, "p"), 0600));
    ASSERT_TRUE(setMode(putVersion(zip, packed(QStringLiteral("q.bin"), "q")), 0600));
    ASSERT_TRUE(setMode(putVersion(wide, "w"), 0644));
    // Over existing files: never wider than the version nor than the file
    // replaced; a script keeps its execute bits.
    ASSERT_TRUE(writeAll(m_source + QStringLiteral("p.txt"), "old"));
    ASSERT_TRUE(setMode(m_source + QStringLiteral("p.txt"), 0644));
    ASSERT_TRUE(writeAll(m_source + QStringLiteral("w.sh"), "old"));
    ASSERT_TRUE(setMode(m_source + QStringLiteral("w.sh"), 0750));

    for (const QString& version : {plain, zip}) {
        const RunResult r = restoreVersion(relative(), version);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    }
    EXPECT_EQ(modeOf(m_picked + QStringLiteral("p.txt")), 0600);
    EXPECT_EQ(modeOf(m_picked + QStringLiteral("q.bin")), 0600);
    EXPECT_EQ(readAll(m_picked + QStringLiteral("q.bin")), QByteArray("q"));

    const RunResult toSource =
        run({QStringLiteral("restore"), QStringLiteral("folder"), QStringLiteral("--from"),
             QStringLiteral("2023-01-05"), QStringLiteral("--until"), QStringLiteral("2023-01-05"),
             QStringLiteral("--yes"), QStringLiteral("--filter"), QStringLiteral("p.,q.,w."),
             relative()});
    EXPECT_EQ(toSource.exitCode, 0) << toSource.err.toStdString();
    EXPECT_EQ(readAll(m_source + QStringLiteral("p.txt")), QByteArray("p"));
    EXPECT_EQ(modeOf(m_source + QStringLiteral("p.txt")), 0600);
    EXPECT_EQ(modeOf(m_source + QStringLiteral("q.bin")), 0600);
    EXPECT_EQ(modeOf(m_source + QStringLiteral("w.sh")), 0750);
    EXPECT_TRUE(workFolderEmpty());
}

} // namespace fernhold::test
