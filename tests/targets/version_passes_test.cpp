#include "targets/version_passes.h"

#include <QDate>
#include <QSet>
#include <QStringList>
#include <gtest/gtest.h>

namespace fernhold {

namespace {

const QString kCutOff = QStringLiteral("20240220");

CleanupRules automatic(int copies, bool keepLatest)
{
    CleanupRules rules;
    rules.mode = CleanupMode::Automatic;
    rules.cutOff = kCutOff;
    rules.copies = copies;
    rules.keepLatest = keepLatest;
    return rules;
}

struct Outcome
{
    QStringList deleted;
    CleanupCount count;
};

Outcome clean(
    const std::vector<TargetFile>& files, const CleanupRules& rules,
    const StopTest& stop = [] { return false; }, const QSet<QString>& failing = {})
{
    Outcome run;
    run.count = CleanFolderVersions(files, rules, stop, [&](std::size_t index) {
        if (failing.contains(files[index].name)) {
            return false;
        }
        run.deleted << files[index].name;
        return true;
    });
    run.deleted.sort();
    return run;
}

std::vector<TargetFile> named(const QStringList& names, qint64 size = 10)
{
    std::vector<TargetFile> files;
    for (const QString& name : names) {
        files.push_back({name, size});
    }
    return files;
}

} // namespace

TEST(VersionPasses, CountLimitKeepsTheNewestOfEachFile)
{
    const QStringList names = {
        QStringLiteral("a.txt@20240301~100000.txt"), QStringLiteral("a.txt@20240302~100000.txt"),
        QStringLiteral("a.txt@20240303~100000.txt"), QStringLiteral("a.txt@20240304~100000.txt"),
        QStringLiteral("a.txt@20240305~100000.txt"), QStringLiteral("b.txt@20240301~100000.txt"),
    };
    const Outcome three = clean(named(names), automatic(3, false));
    EXPECT_EQ(three.deleted, (QStringList{QStringLiteral("a.txt@20240301~100000.txt"),
                                          QStringLiteral("a.txt@20240302~100000.txt")}));
    EXPECT_EQ(three.count.deleted, 2);
    EXPECT_EQ(three.count.freed, 20);

    const Outcome none = clean(named(names), automatic(0, false));
    EXPECT_EQ(none.deleted.size(), 4);
    EXPECT_FALSE(none.deleted.contains(QStringLiteral("a.txt@20240305~100000.txt")));
    EXPECT_FALSE(none.deleted.contains(QStringLiteral("b.txt@20240301~100000.txt")));
}

TEST(VersionPasses, KeepLatestDecidesAboutTheOnlyOldVersion)
{
    // 14 days before 5 March is the cut-off 20 February; a version of
    // 14 February is 20 days old.
    const auto files = named({QStringLiteral("old.txt@20240214~080000.txt"),
                              QStringLiteral("cutoff.txt@20240220~000000.txt"),
                              QStringLiteral("ancient.txt@11111111~000000.txt")});
    EXPECT_EQ(clean(files, automatic(100, false)).deleted,
              QStringList{QStringLiteral("old.txt@20240214~080000.txt")});
    EXPECT_TRUE(clean(files, automatic(100, true)).deleted.isEmpty());
}

TEST(VersionPasses, KeepLatestLetsOlderVersionsGoUncounted)
{
    const auto files = named({
        QStringLiteral("f@20240101~1.txt"),
        QStringLiteral("f@20240102~1.txt"),
        QStringLiteral("f@20240301~1.txt"),
        QStringLiteral("f@20240302~1.txt"),
        QStringLiteral("f@20240303~1.txt"),
        // dated too early for the age rule of the first pass, but old for the second
        QStringLiteral("f@10000000~1.txt"),
    });
    // Old versions go without using up the four copies.
    EXPECT_EQ(clean(files, automatic(4, true)).deleted,
              (QStringList{QStringLiteral("f@10000000~1.txt"), QStringLiteral("f@20240101~1.txt"),
                           QStringLiteral("f@20240102~1.txt")}));
    // Without keep-latest "10000000" is kept by the first pass and then
    // counted like any other version: the fourth copy stays.
    EXPECT_EQ(
        clean(files, automatic(4, false)).deleted,
        (QStringList{QStringLiteral("f@20240101~1.txt"), QStringLiteral("f@20240102~1.txt")}));
}

TEST(VersionPasses, ExactBaseNameChangesStartNewGroups)
{
    // Sorted ignoring case the names interleave; every change of the exact
    // base name between neighbours keeps the entry.
    const auto files = named({
        QStringLiteral("report.txt@20240305~1.txt"),
        QStringLiteral("Report.txt@20240304~1.txt"),
        QStringLiteral("report.txt@20240303~1.txt"),
        QStringLiteral("Report.txt@20240302~1.txt"),
        QStringLiteral("report.txt@20240301~1.txt"),
        QStringLiteral("report.txt@20240228~1.txt"),
    });
    EXPECT_EQ(clean(files, automatic(1, false)).deleted,
              QStringList{QStringLiteral("report.txt@20240228~1.txt")});
}

TEST(VersionPasses, NonVersionsAndBaselessVersionsStay)
{
    const auto files = named({
        QStringLiteral("report.txt"),
        QStringLiteral("report.txt@2024021"),
        QStringLiteral("report.txt@2024x214~1.txt"),
        QStringLiteral("report.txt@02024021~1.txt"),
        QStringLiteral("@20240301~1.txt"),
        QStringLiteral("@20240302~1.txt"),
    });
    // Without a base name a version is never grouped: only age removes it.
    EXPECT_TRUE(clean(files, automatic(0, false)).deleted.isEmpty());
    EXPECT_EQ(clean(named({QStringLiteral("@20240101~1.txt")}), automatic(0, false)).deleted,
              QStringList{QStringLiteral("@20240101~1.txt")});
}

TEST(VersionPasses, ManualByAge)
{
    CleanupRules rules;
    rules.mode = CleanupMode::ByAge;
    rules.cutOff = kCutOff;
    const auto files = named({
        QStringLiteral("a@20240101~1.txt"),
        QStringLiteral("a@20240102~1.txt"),
        QStringLiteral("a@20240103~1.txt"),
        QStringLiteral("b@20240301~1.txt"),
        QStringLiteral("b@20240302~1.txt"),
        QStringLiteral("b@10000000~1.txt"),
    });
    rules.keepLatest = true;
    // The newest of "a" survives; "b" loses nothing (no count limit, and
    // "10000000" is below the age rule).
    EXPECT_EQ(clean(files, rules).deleted, (QStringList{QStringLiteral("a@20240101~1.txt"),
                                                        QStringLiteral("a@20240102~1.txt")}));
    rules.keepLatest = false;
    EXPECT_EQ(clean(files, rules).deleted,
              (QStringList{QStringLiteral("a@20240101~1.txt"), QStringLiteral("a@20240102~1.txt"),
                           QStringLiteral("a@20240103~1.txt")}));
}

TEST(VersionPasses, ManualBySizeIgnoresAgeAndKeepLatest)
{
    CleanupRules rules;
    rules.mode = CleanupMode::BySize;
    rules.cutOff = kCutOff;
    rules.keepLatest = true;
    rules.sizeLimit = 10240;
    const std::vector<TargetFile> files = {
        {QStringLiteral("big@20240305~1.bin"), 10241}, // the newest, still too big
        {QStringLiteral("big@20240101~1.bin"), 10240}, // exactly the limit
        {QStringLiteral("old@20200101~1.bin"), 5},     // old but small
        {QStringLiteral("huge.bin"), 3221225472LL},    // no version
        {QStringLiteral("large@20240301~1.bin"), 3221225472LL},
    };
    const Outcome run = clean(files, rules);
    EXPECT_EQ(run.deleted, (QStringList{QStringLiteral("big@20240305~1.bin"),
                                        QStringLiteral("large@20240301~1.bin")}));
    EXPECT_EQ(run.count.deleted, 2);
    EXPECT_EQ(run.count.freed, 10241 + 3221225472LL);
}

TEST(VersionPasses, FailedDeletionsAreNotCounted)
{
    CleanupRules rules;
    rules.mode = CleanupMode::BySize;
    rules.sizeLimit = 0;
    const auto files =
        named({QStringLiteral("a@20240101~1.txt"), QStringLiteral("b@20240101~1.txt")}, 7);
    const Outcome run =
        clean(files, rules, [] { return false; }, {QStringLiteral("a@20240101~1.txt")});
    EXPECT_EQ(run.count.deleted, 1);
    EXPECT_EQ(run.count.freed, 7);
}

TEST(VersionPasses, NothingIsDeletedOnceTheStopFired)
{
    QStringList names;
    for (int i = 0; i < 50; ++i) {
        names << QStringLiteral("f@2023%1~1.txt").arg(1010 + i); // all old
    }
    // First pass: the stop test runs before each file.
    int calls = 0;
    const Outcome first = clean(named(names), automatic(100, false), [&] { return ++calls > 10; });
    EXPECT_EQ(first.count.deleted, 10);
    EXPECT_TRUE(first.count.stopped);

    // Second pass: before each deletion; the first pass is through by then.
    calls = 0;
    const Outcome second =
        clean(named(names), automatic(5, true), [&] { return ++calls > names.size() + 3; });
    EXPECT_EQ(second.count.deleted, 3);
    EXPECT_TRUE(second.count.stopped);
    // The newest is never among them.
    EXPECT_FALSE(second.deleted.contains(names.last()));
}

TEST(VersionPasses, TwoHundredThousandVersionsInOneFolder)
{
    // 2000 files with 100 versions each, all within the age limit, in an
    // order the sort has to undo; ten copies of each are kept.
    std::vector<TargetFile> files;
    files.reserve(200000);
    for (int day = 0; day < 100; ++day) {
        for (int file = 0; file < 2000; ++file) {
            files.push_back(
                {QStringLiteral("file%1.txt@2024%2~000000.txt")
                     .arg(file)
                     .arg(QDate(2024, 1, 1).addDays(day).toString(QStringLiteral("MMdd"))),
                 1});
        }
    }
    CleanupRules rules = automatic(10, false);
    rules.cutOff = QStringLiteral("20230101");
    const CleanupCount count = CleanFolderVersions(
        files, rules, [] { return false; }, [](std::size_t) { return true; });
    EXPECT_EQ(count.deleted, 2000 * 90);
}

} // namespace fernhold
