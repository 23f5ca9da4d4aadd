#include "core/text_table.h"
#include "engine/file_time_table.h"
#include "index_test_tree.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace fernhold;
using fernhold::test::HandedFiles;
using fernhold::test::setWriteTime;
using fernhold::test::writeFileAt;

namespace {

class IndexScanTest : public fernhold::test::IndexFixture
{
protected:
    // One backup pass as the backup worker runs it: every handed file claims
    // its record, the claims are merged at the end.
    QStringList pass()
    {
        index.BeginPass();
        HandedFiles handed;
        const QStringList paths = changed(src, &handed);
        for (const auto& file : handed.files) {
            if (file.record) {
                index.ClaimRecord(*file.record);
            }
        }
        (void)index.MergeWorking();
        return paths;
    }
};

} // namespace

TEST_F(IndexScanTest, ScanRecordsEverySourceAndReports)
{
    const QString a = file(QStringLiteral("a.txt"));
    file(QStringLiteral("sub/b.txt"));
    file(QStringLiteral("sub/deeper/c.txt"));
    SourceEntry flat;
    flat.SourceDirPfad = home.path() + QStringLiteral("flat"); // no "/": the walk adds it
    settings.sources.append(flat);
    writeFileAt(home.path() + QStringLiteral("flat/d.txt"), "d");
    writeFileAt(home.path() + QStringLiteral("flat/skipped/e.txt"), "e");
    SourceEntry missing;
    missing.SourceDirPfad = home.path() + QStringLiteral("missing/");
    settings.sources.append(missing);

    const IndexScanResult result = scan();
    ASSERT_EQ(result.indexed.size(), 2U);
    EXPECT_EQ(result.indexed[0].number, 1);
    EXPECT_EQ(result.indexed[1].number, 2);
    EXPECT_EQ(result.folders, 4);
    EXPECT_EQ(result.files, 4);
    EXPECT_EQ(index.IndexCount(), 4);
    EXPECT_TRUE(index.LookupRecord(*ReadFileRecord(a)));
    EXPECT_TRUE(changed().isEmpty());
    EXPECT_EQ(changed(home.path() + QStringLiteral("flat/")),
              QStringList{home.path() + QStringLiteral("flat/skipped/e.txt")});

    const QStringList lines = ui.statusLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith(Text(QStringLiteral("TXT00061"))));
    EXPECT_TRUE(lines[1].endsWith(Text(QStringLiteral("TXT00062")) + QStringLiteral(" (4 ") +
                                  Text(QStringLiteral("TXT00063")) + QStringLiteral(", 4 ") +
                                  Text(QStringLiteral("TXT00064")) + u')'));
    // Plain mode keeps the table too: late sources are compared with it.
    EXPECT_TRUE(QFile::exists(tablePath()));

    // The main thread marks what the job indexed, unless the entry changed meanwhile.
    settings.sources[1].SourceDirPfad += u'/';
    ApplyIndexedSources(settings, result.indexed);
    EXPECT_EQ(settings.sources[0].Indexed, 1);
    EXPECT_EQ(settings.sources[1].Indexed, 0);
    EXPECT_EQ(settings.sources[2].Indexed, 0);
}

TEST_F(IndexScanTest, TouchAndRenameFollowTheRecord)
{
    const QString touched = file(QStringLiteral("touched.txt"));
    const QString renamed = file(QStringLiteral("abcdef.txt"));
    setWriteTime(touched, 1700000000);
    scan();
    ASSERT_TRUE(changed().isEmpty());

    // Same content, new last-write time: a new state.
    setWriteTime(touched, 1700000001);
    EXPECT_EQ(changed(), QStringList{touched});
    setWriteTime(touched, 1700000000);

    // Renames that keep the first half of the lower-cased name keep the record.
    const QString sameHalf = src + QStringLiteral("abcdeX.txt");
    ASSERT_TRUE(QFile::rename(renamed, sameHalf));
    EXPECT_TRUE(changed().isEmpty());
    const QString caseOnly = src + QStringLiteral("ABCDEX.TXT");
    ASSERT_TRUE(QFile::rename(sameHalf, caseOnly));
    EXPECT_TRUE(changed().isEmpty());
    const QString otherHalf = src + QStringLiteral("abXdeX.txt");
    ASSERT_TRUE(QFile::rename(caseOnly, otherHalf));
    EXPECT_EQ(changed(), QStringList{otherHalf});
}

TEST_F(IndexScanTest, FilesOverTheLimitAreNeverRecorded)
{
    settings.BackupSize = 1;
    settings.BackupUnit = 0; // 1024 bytes
    scan();
    const QString big = file(QStringLiteral("big.txt"), QByteArray(1025, 'b'));
    const QString edge = file(QStringLiteral("edge.txt"), QByteArray(1024, 'e'));

    PassState state;
    state.TargetReady[1] = 1;
    settings.sources[0].Indexed = 1;
    const ExclusionRules rules(
        settings, ResolveFolders(QStringLiteral("fernhold"), QStringLiteral("fernhold")));
    const FolderIdSet roots;
    const BackupWalk walk{index, rules, run, 1024, roots};
    PreCountSources(settings, walk, savedState(), state);
    EXPECT_EQ(state.BytesToDo, 1024);

    EXPECT_EQ(pass(), QStringList{edge});
    EXPECT_TRUE(pass().isEmpty());
    EXPECT_FALSE(index.LookupRecord(*ReadFileRecord(big)));
}

TEST_F(IndexScanTest, ExtendedModeFindsEditsMadeWhileNotRunning)
{
    const QString edited = file(QStringLiteral("edited.txt"), "before");
    const QString kept = file(QStringLiteral("kept.txt"));
    setWriteTime(edited, 1700000000);
    settings.WorkModeExtended = 1;
    scan();
    // The program ends: the table is written once more.
    ASSERT_EQ(WriteFileTimeTable(index, tablePath()), 1);

    // While it is not running, one file is edited and one added.
    file(QStringLiteral("edited.txt"), "after!");
    setWriteTime(edited, 1700000100);
    const QString added = file(QStringLiteral("added.txt"));

    // The next start: a fresh index reads the table, then scans.
    SourceIndex extended;
    ASSERT_EQ(ReadFileTimeTable(extended, tablePath()), 1);
    scan(extended);
    std::swap(index, extended);
    EXPECT_EQ(changed(), (QStringList{added, edited}));
    EXPECT_TRUE(index.LookupRecord(*ReadFileRecord(kept)));
    // The scan wrote the table again.
    SourceIndex check;
    ASSERT_EQ(ReadFileTimeTable(check, tablePath()), 1);
    EXPECT_EQ(check.ReferenceCount(), 1);

    // Plain mode records the new states: nothing counts as changed.
    settings.WorkModeExtended = 0;
    SourceIndex plain;
    scan(plain);
    std::swap(index, plain);
    EXPECT_TRUE(changed().isEmpty());

    // The rebuild button makes the rebuilt index the new reference.
    settings.WorkModeExtended = 1;
    run.TakeIndexAsReference = 1;
    scan(extended);
    EXPECT_EQ(run.TakeIndexAsReference.load(), 0);
    EXPECT_EQ(extended.IndexCount(), 3);
    EXPECT_TRUE(extended.InReference(*ReadFileRecord(edited)));
}

TEST_F(IndexScanTest, ADamagedTableMakesMoreFilesCountAsChanged)
{
    const QString a = file(QStringLiteral("a.txt"));
    settings.WorkModeExtended = 1;
    writeFileAt(tablePath(), "3\r\nxyz\r\n\xff\xfe\r\n");
    ASSERT_EQ(ReadFileTimeTable(index, tablePath()), 1);
    scan();
    EXPECT_EQ(changed(), QStringList{a});
}

TEST_F(IndexScanTest, ALateSourceIsIndexedByTheFirstPassThatFindsIt)
{
    SourceEntry late;
    late.SourceDirPfad = home.path() + QStringLiteral("late/");
    late.SourceDirSub = 1;
    settings.sources.append(late);
    settings.WorkModeExtended = 1;
    file(QStringLiteral("a.txt"));
    ApplyIndexedSources(settings, scan().indexed);
    ASSERT_EQ(settings.sources[1].Indexed, 0);

    // The pass works on its own copy of the settings.
    JobSettings passCopy = settings;
    EXPECT_TRUE(IndexLateSources(passCopy, env(index)).empty());

    const QString old = home.path() + QStringLiteral("late/old.txt");
    writeFileAt(old, "old");
    clock.advanceSeconds(60);
    const std::vector<IndexedSource> added = IndexLateSources(passCopy, env(index));
    ASSERT_EQ(added.size(), 1U);
    EXPECT_EQ(added[0].number, 2);
    EXPECT_EQ(passCopy.sources[1].Indexed, 1);
    EXPECT_EQ(index.IndexCount(), 2);
    EXPECT_EQ(index.LastIndexSave(), clock.nowSeconds());
    EXPECT_TRUE(changed(late.SourceDirPfad).isEmpty());
    const QString fresh = home.path() + QStringLiteral("late/new.txt");
    writeFileAt(fresh, "new");
    EXPECT_EQ(changed(late.SourceDirPfad), QStringList{fresh});
    EXPECT_TRUE(IndexLateSources(passCopy, env(index)).empty());

    ApplyIndexedSources(settings, added);
    EXPECT_EQ(settings.sources[1].Indexed, 1);
}

TEST_F(IndexScanTest, TheIndexWalksStopWhenAsked)
{
    file(QStringLiteral("a.txt"));
    run.RescanRequested = 1;
    EXPECT_TRUE(scan().indexed.empty());
    run.RescanRequested = 0;

    // A pass that is no longer active indexes no late source.
    JobSettings passCopy = settings;
    run.Status = 2;
    EXPECT_TRUE(IndexLateSources(passCopy, env(index)).empty());
    run.Status = 1;
    EXPECT_EQ(IndexLateSources(passCopy, env(index)).size(), 1U);
}

TEST_F(IndexScanTest, PreCountTakesOnlySourcesWithAReadyTarget)
{
    file(QStringLiteral("a.txt"), "12345");
    settings.sources[0].SourceDirTarget = QStringLiteral("2,3");
    settings.sources[0].Indexed = 1;
    const ExclusionRules rules(
        settings, ResolveFolders(QStringLiteral("fernhold"), QStringLiteral("fernhold")));
    const FolderIdSet roots;
    const BackupWalk walk{index, rules, run, SizeLimitBytes(10, 1), roots};

    PassState state;
    state.BytesToDo = 99;
    state.TargetReady[1] = 1;
    PreCountSources(settings, walk, savedState(), state);
    EXPECT_EQ(state.BytesToDo, 0);
    EXPECT_EQ(FirstReadyTarget(QStringLiteral("2,3"), state.TargetReady), 0);

    state.TargetReady[3] = 1;
    EXPECT_EQ(FirstReadyTarget(QStringLiteral("2,3"), state.TargetReady), 3);
    PreCountSources(settings, walk, savedState(), state);
    EXPECT_EQ(state.BytesToDo, 5);

    settings.sources[0].Indexed = 0;
    PreCountSources(settings, walk, savedState(), state);
    EXPECT_EQ(state.BytesToDo, 0);

    // Not indexed yet but owing target 3 every file: all of them count.
    BackupState owing(home.appData() + QStringLiteral("owing.ini"));
    owing.adoptSources(settings, false);
    ASSERT_FALSE(owing.owedTargets(settings.sources[0]).isEmpty());
    PreCountSources(settings, walk, owing, state);
    EXPECT_EQ(state.BytesToDo, 5);
}

TEST_F(IndexScanTest, ARestoredFileIsRegisteredAsKnown)
{
    scan();
    const QString restored = file(QStringLiteral("restored.txt"), "content");
    const QString stopped = file(QStringLiteral("stopped.txt"), "content");

    // A restore that ran to its end.
    ASSERT_EQ(index.RegisterRecord(*ReadFileRecord(restored)), 1);
    EXPECT_EQ(index.MergeWorking(), 1);
    // A restore that was stopped: its registrations do not take effect.
    ASSERT_EQ(index.RegisterRecord(*ReadFileRecord(stopped)), 1);
    index.DiscardWorking();

    EXPECT_EQ(changed(), QStringList{stopped});
}
