// The pass's one walk of a source not yet indexed must leave the index and
// hand on the files exactly as an index walk followed by a backup walk did.

#include "engine/exclusion_tally.h"
#include "engine/file_time_table.h"
#include "index_test_tree.h"

#include <gtest/gtest.h>

using namespace fernhold;
using fernhold::test::HandedFiles;
using fernhold::test::setWriteTime;

namespace {

class IndexPassWalkTest : public fernhold::test::IndexFixture
{
protected:
    IndexPassWalkTest()
        : folders(ResolveFolders(QStringLiteral("fernhold"), QStringLiteral("fernhold")))
    {
        // The home lies in the temporary folder, which would exclude it whole.
        folders.userTemp = QStringLiteral("/nonexistent-temporary-folder/");
        settings.ExcludeFileStrings = QStringLiteral("cache");
        settings.ExcludeFileTypes = QStringLiteral("bak");
    }

    // A tree that meets every rule, recorded in the table, then changed.
    void treeWithTableThenChanges()
    {
        file(QStringLiteral("same.txt"), "same");
        file(QStringLiteral("edited.txt"), "before");
        file(QStringLiteral("sub/deep.txt"), "deep");
        file(QStringLiteral("sub/old.bak"), "excluded type");
        file(QStringLiteral("cache/inner.txt"), "in an excluded folder");
        file(QStringLiteral("cache/more/below.txt"), "below it");
        SourceIndex first;
        IndexCounts counts;
        const IndexWalk walk{first, run, 0, roots};
        ASSERT_EQ(IndexFolder(walk, src, true, false, counts), 1);
        first.SortIndex();
        ASSERT_EQ(WriteFileTimeTable(first, tablePath()), 1);
        setWriteTime(file(QStringLiteral("edited.txt"), "after"), 1700000000);
        setWriteTime(file(QStringLiteral("cache/inner.txt"), "changed, still excluded"),
                     1700000000);
        file(QStringLiteral("sub/new.txt"), "new");
    }

    struct Outcome
    {
        QStringList handed;
        QStringList targets;
        QByteArray table;
        qint64 files = 0;
        QString excluded;
    };

    static Outcome outcomeOf(const HandedFiles& handed, SourceIndex& which, const QString& path,
                             qint64 files, const ExclusionTally& tally)
    {
        Outcome outcome{handed.paths(), {}, {}, files, tally.summary()};
        for (const auto& f : handed.files) {
            outcome.targets.append(f.name + u'>' + f.target);
        }
        outcome.targets.sort();
        EXPECT_EQ(WriteFileTimeTable(which, path), 1);
        outcome.table = fernhold::test::TempHome::readFile(path);
        return outcome;
    }

    // IndexFolder, then BackupFolder, as a pass did before.
    Outcome twoWalks(bool compare, const QString& owed)
    {
        SourceIndex two;
        EXPECT_EQ(ReadFileTimeTable(two, tablePath()), 1);
        const IndexWalk indexWalk{two, run, compare ? 1 : 0, roots};
        IndexCounts counts;
        EXPECT_EQ(IndexFolder(indexWalk, src, true, false, counts), 1);
        two.SortIndex();
        const ExclusionRules rules(settings, folders);
        ExclusionTally tally(rules);
        const BackupWalk walk{two, rules, run,
                              SizeLimitBytes(settings.BackupSize, settings.BackupUnit), roots};
        HandedFiles handed;
        EXPECT_EQ(
            BackupFolder(walk, true, {}, src, QStringLiteral("1"), handed.callback(), owed, &tally),
            1);
        two.BeginPass();
        (void)two.MergeWorking();
        return outcomeOf(handed, two, home.path() + QStringLiteral("two.txt"), counts.files, tally);
    }

    Outcome oneWalk(bool compare, const QString& owed)
    {
        SourceIndex one;
        EXPECT_EQ(ReadFileTimeTable(one, tablePath()), 1);
        const ExclusionRules rules(settings, folders);
        ExclusionTally tally(rules);
        const BackupWalk walk{one, rules, run,
                              SizeLimitBytes(settings.BackupSize, settings.BackupUnit), roots};
        HandedFiles handed;
        IndexCounts counts;
        one.BeginPass();
        EXPECT_EQ(IndexAndBackupFolder(walk, one, {src, true, {}, QStringLiteral("1"), owed},
                                       compare, handed.callback(), &tally, counts),
                  1);
        EXPECT_EQ(counts.folders, 4);
        (void)one.MergeWorking();
        return outcomeOf(handed, one, home.path() + QStringLiteral("one.txt"), counts.files, tally);
    }

    Folders folders;
    FolderIdSet roots;
};

} // namespace

TEST_F(IndexPassWalkTest, OneWalkDoesWhatAnIndexWalkAndABackupWalkDid)
{
    treeWithTableThenChanges();
    struct Case
    {
        const char* what;
        bool compare;
        QString owed;
        QStringList handed;
    };
    const std::vector<Case> cases = {
        {"compared with the table", true, {}, {src + "edited.txt", src + "sub/new.txt"}},
        {"new to the table: every file counts as known", false, {}, {}},
        {"owed to target 2",
         true,
         QStringLiteral("2"),
         {src + "edited.txt", src + "same.txt", src + "sub/deep.txt", src + "sub/new.txt"}},
    };
    for (const Case& c : cases) {
        const Outcome two = twoWalks(c.compare, c.owed);
        const Outcome one = oneWalk(c.compare, c.owed);
        EXPECT_EQ(one.handed, c.handed) << c.what;
        EXPECT_EQ(one.handed, two.handed) << c.what;
        EXPECT_EQ(one.targets, two.targets) << c.what;
        EXPECT_EQ(one.table, two.table) << c.what;
        EXPECT_EQ(one.files, 7) << c.what;
        EXPECT_EQ(one.files, two.files) << c.what;
        EXPECT_EQ(one.excluded, two.excluded) << c.what;
        EXPECT_FALSE(one.excluded.isEmpty()) << c.what;
    }
}

TEST_F(IndexPassWalkTest, ClaimsOfTheWalkStayApartFromTheFilesItIndexes)
{
    treeWithTableThenChanges();
    SourceIndex one;
    ASSERT_EQ(ReadFileTimeTable(one, tablePath()), 1);
    const qsizetype known = one.ReferenceCount();
    const ExclusionRules rules(settings, folders);
    const BackupWalk walk{one, rules, run, SizeLimitBytes(settings.BackupSize, settings.BackupUnit),
                          roots};
    // Each handed file is claimed as BackupFile does; the new one fails.
    std::vector<FileRecord> saved;
    const BackupFileFunction backupFile = [&](const QString&, const QString& name, qint64,
                                              const std::optional<FileRecord>& record,
                                              const QString&) {
        ASSERT_TRUE(record.has_value());
        one.ClaimRecord(*record);
        if (name == QStringLiteral("new.txt")) {
            one.GiveBackRecord();
        } else {
            saved.push_back(*record);
        }
    };
    IndexCounts counts;
    one.BeginPass();
    ASSERT_EQ(IndexAndBackupFolder(walk, one, {src, true, {}, QStringLiteral("1"), {}}, true,
                                   backupFile, nullptr, counts),
              1);
    ASSERT_EQ(saved.size(), 1U);
    EXPECT_FALSE(one.LookupRecord(saved[0])); // not before the merge
    EXPECT_EQ(one.MergeWorking(), 1);
    EXPECT_TRUE(one.LookupRecord(saved[0]));
    EXPECT_FALSE(one.LookupRecord(*ReadFileRecord(src + QStringLiteral("sub/new.txt"))));
    EXPECT_TRUE(one.LookupRecord(*ReadFileRecord(src + QStringLiteral("same.txt"))));
    // Unchanged: same, deep, old.bak, below.txt; plus the saved edit.
    EXPECT_EQ(one.IndexCount(), 5);
    EXPECT_EQ(one.ReferenceCount(), known);
}

TEST_F(IndexPassWalkTest, AStopLeavesTheSourceUnfinished)
{
    treeWithTableThenChanges();
    SourceIndex one;
    ASSERT_EQ(ReadFileTimeTable(one, tablePath()), 1);
    const ExclusionRules rules(settings, folders);
    const BackupWalk walk{one, rules, run, SizeLimitBytes(settings.BackupSize, settings.BackupUnit),
                          roots};
    run.Status = 0;
    HandedFiles handed;
    IndexCounts counts;
    EXPECT_EQ(IndexAndBackupFolder(walk, one, {src, true, {}, QStringLiteral("1"), {}}, true,
                                   handed.callback(), nullptr, counts),
              0);
    EXPECT_TRUE(handed.files.empty());
}
