// Files that are in a source before Fernhold first sees it: they are saved
// once at every target, also when the first save was cut short, and a user who
// follows the README's set-up gets them backed up without a further step.

#include "backup_run_fixture.h"
#include "engine/version_copy.h"

#include <QElapsedTimer>
#include <QThread>
#include <csignal>

namespace fernhold::test {

namespace {

class FirstSaveTest : public BackupRunTest
{
protected:
    FirstSaveTest() { m_settings.CompressData = 0; }

    // Names (below the source) of the files that have a version at the target.
    [[nodiscard]] QStringList saved(const QString& targetRoot = {}) const
    {
        QStringList names;
        for (const QString& version : filesBelow(mirror(targetRoot))) {
            // The temporary file of a copy a kill cut short is no version.
            if (QFileInfo(version).fileName().startsWith(CompleteCopyTemporaryPrefix())) {
                continue;
            }
            names.append(version.section(u'@', 0, 0));
        }
        names.removeDuplicates();
        names.sort();
        return names;
    }

    static RunResult cli(const QStringList& arguments)
    {
        RunResult r = RunFernhold(arguments);
        EXPECT_TRUE(r.finished);
        return r;
    }
};

} // namespace

TEST_F(FirstSaveTest, ASourceSeenForTheFirstTimeIsSavedWholeOnceThenOnlyItsChanges)
{
    source(QStringLiteral("old.txt"), "was there before");
    source(QStringLiteral("sub/deep.txt"), "below");
    const QString kept = m_home.path() + QStringLiteral("second/");
    m_settings.target(2).TargetType = QStringLiteral("WIN");
    m_settings.target(2).TargetDir = kept;
    QDir().mkpath(kept);
    m_settings.sources[0].SourceDirTarget = QStringLiteral("1,2");

    // A plain --once in the default work mode, no --full.
    RunResult r = once(false);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList both{QStringLiteral("old.txt"), QStringLiteral("sub/deep.txt")};
    EXPECT_EQ(saved(), both);
    EXPECT_EQ(saved(kept), both);
    EXPECT_TRUE(logTexts().contains(QStringLiteral("\t\t") + text("TXT00431") +
                                    QStringLiteral(":  [12] ") + m_source))
        << logTexts().join(u'\n').toStdString();

    // Once only: the next run saves what changed since, in every work mode.
    QThread::msleep(1100);
    source(QStringLiteral("sub/deep.txt"), "changed between two runs");
    r = once(false);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(summaryOf(r.err).value(0),
              text("TXT00078") + QStringLiteral(" (1 ") + text("TXT00079") + u')')
        << r.err.toStdString();
    EXPECT_EQ(fileBytes(versionOf(QStringLiteral("sub/deep.txt"), QStringLiteral(".txt"))),
              QByteArray("changed between two runs"));
    EXPECT_EQ(filesBelow(mirror()).filter(QStringLiteral("old.txt@")).size(), 1);

    // A target added to the source later gets the unchanged files as well.
    const QString third = m_home.path() + QStringLiteral("third/");
    QDir().mkpath(third);
    m_settings.target(3).TargetType = QStringLiteral("WIN");
    m_settings.target(3).TargetDir = third;
    m_settings.sources[0].SourceDirTarget = QStringLiteral("1,2,3");
    QThread::msleep(1100);
    r = once(false);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(saved(third), both);
    EXPECT_EQ(
        fileBytes(versionOf(QStringLiteral("old.txt"), QStringLiteral(".txt"), mirror(third))),
        QByteArray("was there before"));
}

TEST_F(FirstSaveTest, SourceAddSaysWhatTheNextPassSavesAndChangesOnlyKeepsTheOldWay)
{
    source(QStringLiteral("a.txt"), "a");
    m_settings.sources.clear();
    save();
    const QString other = m_home.path() + QStringLiteral("Other/");
    m_home.writeFile(QStringLiteral("Other/present.txt"), "present");

    RunResult r = cli({QStringLiteral("source"), QStringLiteral("add"), m_source});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(QString::fromUtf8(r.out).contains(text("TXT00435"))) << r.out.toStdString();
    r = cli(
        {QStringLiteral("source"), QStringLiteral("add"), QStringLiteral("--changes-only"), other});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(QString::fromUtf8(r.out).contains(text("TXT00436"))) << r.out.toStdString();

    // The run reads the sources `source add` wrote, not the fixture's list.
    m_started = wholeSecond(QDateTime::currentDateTime());
    r = RunFernhold({QStringLiteral("--once"), QStringLiteral("--verbose")}, {}, 120000);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(saved(), QStringList{QStringLiteral("a.txt")});
    EXPECT_TRUE(filesBelow(m_target + MirrorText(other)).isEmpty());

    QThread::msleep(1100);
    m_home.writeFile(QStringLiteral("Other/later.txt"), "later");
    r = RunFernhold({QStringLiteral("--once"), QStringLiteral("--verbose")}, {}, 120000);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QStringList names = filesBelow(m_target + MirrorText(other));
    ASSERT_EQ(names.size(), 1) << names.join(u' ').toStdString();
    EXPECT_TRUE(names[0].startsWith(QStringLiteral("later.txt@")));
}

TEST_F(FirstSaveTest, AFullBackupCutShortIsTakenUpByTheNextStart)
{
    m_settings.CompressData = 1; // packing is slow enough to be killed halfway
    constexpr int kCount = 60;
    QStringList all;
    for (int i = 0; i < kCount; ++i) {
        const QString name = QStringLiteral("f%1.bin").arg(i, 3, 10, QChar(u'0'));
        source(name, noiseBytes(64 * 1024, static_cast<quint32>(i)));
        all.append(name);
    }
    save();
    QProcess run;
    run.start(FernholdProgram(), {QStringLiteral("--once"), QStringLiteral("--full")});
    ASSERT_TRUE(run.waitForStarted(10000));
    QElapsedTimer waited;
    waited.start();
    while (filesBelow(mirror()).filter(QStringLiteral("@")).size() < 3 &&
           waited.elapsed() < 60000) {
        QThread::msleep(5);
    }
    ::kill(static_cast<pid_t>(run.processId()), SIGKILL);
    ASSERT_TRUE(run.waitForFinished(10000));
    const QStringList savedBefore = saved();
    ASSERT_GE(savedBefore.size(), 3);
    ASSERT_LT(savedBefore.size(), kCount) << "the pass ended before it could be cut short";

    // No --full now: the request outlived the process.
    const RunResult r = once(false);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(saved(), all);
    // It went on where it stopped: what was saved before is not saved again.
    for (const QString& name : savedBefore) {
        EXPECT_EQ(filesBelow(mirror()).filter(name + u'@').size(), 1) << name.toStdString();
    }
    for (const QString& name : {all.first(), all.last()}) {
        const QStringList versions = filesBelow(mirror()).filter(name + u'@');
        ASSERT_FALSE(versions.isEmpty());
        EXPECT_EQ(extracted(mirror() + versions.last(), name),
                  noiseBytes(64 * 1024, static_cast<quint32>(name.mid(1, 3).toInt())));
    }
    // Through: the run after it saves nothing again.
    QThread::msleep(1100);
    const RunResult after = once(false);
    EXPECT_EQ(summaryOf(after.err).value(0),
              text("TXT00078") + QStringLiteral(" (0 ") + text("TXT00079") + u')')
        << after.err.toStdString();
}

TEST_F(FirstSaveTest, TheReadmeSetUpBacksUpTheFilesAlreadyThere)
{
    // A new user's home: no settings, no table; the README's four commands.
    m_home.writeFile(QStringLiteral("Documents/letter.txt"), "Dear Ann");
    m_home.writeFile(QStringLiteral("Documents/photos/cat.jpg"), noiseBytes(2048, 7));
    ASSERT_EQ(cli({QStringLiteral("source"), QStringLiteral("add"), m_source}).exitCode, 0);
    ASSERT_EQ(cli({QStringLiteral("config"), QStringLiteral("set"), QStringLiteral("TargetDir"),
                   m_target})
                  .exitCode,
              0);
    ASSERT_EQ(cli({QStringLiteral("config"), QStringLiteral("set"),
                   QStringLiteral("ProgrammStatus"), QStringLiteral("1")})
                  .exitCode,
              0);
    QProcess running;
    running.start(FernholdProgram(), {QStringLiteral("--headless")});
    ASSERT_TRUE(running.waitForStarted(10000));
    QElapsedTimer waited;
    waited.start();
    while (saved().size() < 2 && waited.elapsed() < 60000) {
        QThread::msleep(100);
    }
    running.terminate();
    EXPECT_TRUE(running.waitForFinished(30000));
    EXPECT_EQ(saved(),
              (QStringList{QStringLiteral("letter.txt"), QStringLiteral("photos/cat.jpg")}));
    const QStringList letters = filesBelow(mirror()).filter(QStringLiteral("letter.txt@"));
    ASSERT_EQ(letters.size(), 1);
    EXPECT_EQ(extracted(mirror() + letters.first(), QStringLiteral("letter.txt")),
              QByteArray("Dear Ann"));
}

} // namespace fernhold::test
