#include "core/text_table.h"
#include "engine/file_time_table.h"
#include "engine/source_index.h"
#include "fake_user_interface.h"
#include "manual_clock.h"
#include "temp_home.h"

#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tuple>

using namespace fernhold;
using fernhold::test::FakeUserInterface;
using fernhold::test::ManualClock;
using fernhold::test::TempHome;

namespace {

FileRecord rec(std::uint64_t n)
{
    return {n * 3, n * 5 + 0x80000000ULL, n, static_cast<std::uint32_t>(n * 7)};
}

std::vector<FileRecord> referenceOf(const SourceIndex& index, std::initializer_list<int> candidates)
{
    std::vector<FileRecord> found;
    for (int n : candidates) {
        if (index.InReference(rec(static_cast<std::uint64_t>(n)))) {
            found.push_back(rec(static_cast<std::uint64_t>(n)));
        }
    }
    return found;
}

class FileTimeTableTest : public ::testing::Test
{
protected:
    QString write(const QByteArray& content)
    {
        return home.writeFile(QStringLiteral("t.txt"), content);
    }
    [[nodiscard]] static QByteArray line(int n)
    {
        return FileRecordText(rec(static_cast<std::uint64_t>(n))) + "\r\n";
    }

    TempHome home;
    SourceIndex index;
};

} // namespace

TEST(SourceIndexTest, OnlyTheSortedPartIsSearched)
{
    SourceIndex index;
    for (int n : {5, 1, 3}) {
        index.AppendIndexed(rec(static_cast<std::uint64_t>(n)));
    }
    EXPECT_EQ(index.IndexCount(), 3);
    index.SortIndex();
    EXPECT_TRUE(index.LookupRecord(rec(1)));
    EXPECT_TRUE(index.LookupRecord(rec(5)));
    EXPECT_FALSE(index.LookupRecord(rec(2)));

    // A pass: claims stay unsearched until the merge; a failed file gives its claim back.
    index.BeginPass();
    index.ClaimRecord(rec(4));
    index.ClaimRecord(rec(9));
    index.GiveBackRecord();
    EXPECT_EQ(index.WorkingCount(), 4);
    EXPECT_FALSE(index.LookupRecord(rec(4)));
    EXPECT_EQ(index.MergeWorking(), 1);
    EXPECT_EQ(index.IndexCount(), 4);
    EXPECT_TRUE(index.LookupRecord(rec(4)));
    EXPECT_FALSE(index.LookupRecord(rec(9)));
    EXPECT_EQ(index.MergeWorking(), 0);

    // A restore registers only what is not known; a stopped one drops its entries.
    EXPECT_EQ(index.RegisterRecord(rec(3)), 0);
    EXPECT_EQ(index.RegisterRecord(rec(7)), 1);
    index.DiscardWorking();
    EXPECT_EQ(index.MergeWorking(), 0);
    EXPECT_FALSE(index.LookupRecord(rec(7)));
    EXPECT_EQ(index.RegisterRecord(rec(7)), 1);
    EXPECT_EQ(index.MergeWorking(), 1);
    EXPECT_TRUE(index.LookupRecord(rec(7)));

    // Unmerged entries do not survive an index walk appending.
    index.ClaimRecord(rec(8));
    index.AppendIndexed(rec(6));
    index.SortIndex();
    EXPECT_EQ(index.WorkingCount(), 6);
    EXPECT_FALSE(index.LookupRecord(rec(8)));

    index.TakeIndexAsReference();
    EXPECT_TRUE(index.HasReference());
    EXPECT_TRUE(index.InReference(rec(6)));
    index.EmptyIndex();
    EXPECT_EQ(index.IndexCount(), 0);
    EXPECT_EQ(index.WorkingCount(), 0);
    EXPECT_FALSE(index.LookupRecord(rec(6)));
    EXPECT_TRUE(index.InReference(rec(6)));
}

TEST(SourceIndexTest, MemoryStaysNearTheRecordsAfterCompacting)
{
    SourceIndex index;
    for (std::uint64_t n = 0; n < 250000; ++n) {
        index.AppendIndexed(rec(250000 - n));
    }
    index.SortIndex();
    index.Compact();
    EXPECT_LE(index.MemoryBytes(), 48 * index.IndexCount());
    EXPECT_TRUE(index.LookupRecord(rec(1)));
    EXPECT_TRUE(index.LookupRecord(rec(250000)));
    // A merge of a few claims leaves no large spare room behind.
    index.BeginPass();
    index.ClaimRecord(rec(0));
    EXPECT_EQ(index.MergeWorking(), 1);
    EXPECT_LE(index.MemoryBytes(), 48 * index.IndexCount());
}

TEST_F(FileTimeTableTest, RoundTripInTheTextForm)
{
    for (int n : {3, 1, 2}) {
        index.AppendIndexed(rec(static_cast<std::uint64_t>(n)));
    }
    index.SortIndex();
    index.ClaimRecord(rec(9)); // not merged: not written
    const QString path = home.path() + QStringLiteral("filetimes.txt");
    ASSERT_EQ(WriteFileTimeTable(index, path), 1);

    EXPECT_EQ(TempHome::readFile(path), "3\r\n" + line(1) + line(2) + line(3));
    struct stat info = {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600U);

    SourceIndex fresh;
    EXPECT_FALSE(fresh.HasReference());
    ASSERT_EQ(ReadFileTimeTable(fresh, path), 1);
    EXPECT_TRUE(fresh.HasReference());
    EXPECT_EQ(fresh.ReferenceCount(), 3);
    EXPECT_EQ(referenceOf(fresh, {1, 2, 3, 9}), (std::vector{rec(1), rec(2), rec(3)}));
    EXPECT_EQ(fresh.IndexCount(), 0);

    // An empty index writes a table that declares nothing; it is still a
    // reference: the last run knew no file, so every file is new to it.
    ASSERT_EQ(WriteFileTimeTable(SourceIndex(), path), 1);
    EXPECT_EQ(TempHome::readFile(path), QByteArray("0\r\n"));
    bool damaged = true;
    ASSERT_EQ(ReadFileTimeTable(fresh, path, damaged), 1);
    EXPECT_TRUE(fresh.HasReference());
    EXPECT_EQ(fresh.ReferenceCount(), 0);
    EXPECT_FALSE(damaged);
}

TEST_F(FileTimeTableTest, DamagedTablesGiveOnlyTheGoodLines)
{
    struct Case
    {
        const char* what;
        QByteArray content;
        std::vector<FileRecord> expected;
        bool damaged;
    };
    QByteArray binary(4096, '\0');
    for (int i = 0; i < binary.size(); ++i) {
        binary[i] = static_cast<char>((i * 131) % 256);
    }
    const std::vector<Case> cases = {
        {"huge count", "2000000000\r\n" + line(1) + line(2), {rec(1), rec(2)}, true},
        {"count beyond 64 bits", "99999999999999999999999\r\n" + line(1), {rec(1)}, true},
        {"negative count", "-5\r\n" + line(1) + line(2), {rec(1), rec(2)}, true},
        {"more present than declared", "1\r\n" + line(1) + line(2), {rec(1), rec(2)}, true},
        {"wrong lengths",
         "4\r\n" + line(1).left(40) + "\r\n" + line(2).left(55) + "\r\n" + line(3).left(56) +
             "0\r\n" + line(4),
         {rec(4)},
         true},
        {"non-hex and wrong case",
         "3\r\n" + line(1).replace(3, 1, "G") + line(2).toLower() + line(3),
         {rec(3)},
         true},
        {"missing final line end", "2\r\n" + line(1) + line(2).left(56), {rec(1), rec(2)}, false},
        {"plain line feeds",
         "2\n" + line(1).left(56) + "\n" + line(2).left(56) + "\n",
         {rec(1), rec(2)},
         false},
        {"very long line", "2\r\n" + QByteArray(100000, 'A') + "\r\n" + line(2), {rec(2)}, true},
        {"binary", binary, {}, true},
        {"count not a number", "abc\r\n" + line(1), {rec(1)}, true},
        {"only damaged lines", "2\r\nxx\r\nyy\r\n", {}, true},
        {"junk after the records", "1\r\n" + line(1) + "junk\r\n", {rec(1)}, true},
        {"empty", "", {}, true},
    };
    // Whatever the damage, what was read is a reference: files it does not
    // list count as changed, never as known.
    for (const Case& c : cases) {
        SourceIndex fresh;
        bool damaged = !c.damaged;
        ASSERT_EQ(ReadFileTimeTable(fresh, write(c.content), damaged), 1) << c.what;
        EXPECT_EQ(referenceOf(fresh, {1, 2, 3, 4}), c.expected) << c.what;
        EXPECT_EQ(fresh.ReferenceCount(), static_cast<qsizetype>(c.expected.size())) << c.what;
        EXPECT_TRUE(fresh.HasReference()) << c.what;
        EXPECT_EQ(damaged, c.damaged) << c.what;
        EXPECT_LE(fresh.MemoryBytes(), 1024) << c.what;
    }
}

TEST_F(FileTimeTableTest, AFileThatCannotBeReadLeavesTheReference)
{
    index.SetReference({rec(1)}, true);
    EXPECT_EQ(ReadFileTimeTable(index, home.path() + QStringLiteral("missing.txt")), 0);
    EXPECT_EQ(ReadFileTimeTable(index, home.path()), 0);
    // A FIFO in its place is not opened (that would wait for a writer).
    const QString fifo = home.path() + QStringLiteral("fifo.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(ReadFileTimeTable(index, fifo), 0);
    EXPECT_TRUE(index.InReference(rec(1)));
}

TEST_F(FileTimeTableTest, SaveReportsATableThatCannotBeWritten)
{
    ManualClock clock;
    FakeUserInterface ui;
    index.AppendIndexed(rec(1));
    const QString good = home.path() + QStringLiteral("filetimes.txt");
    EXPECT_EQ(SaveFileTimeTable(index, good, clock, ui), 1);
    EXPECT_EQ(index.LastIndexSave(), clock.nowSeconds());
    EXPECT_TRUE(ui.messages().empty());

    clock.advanceSeconds(400);
    const QString bad = home.path() + QStringLiteral("no-such-folder/filetimes.txt");
    EXPECT_EQ(SaveFileTimeTable(index, bad, clock, ui), 0);
    EXPECT_EQ(index.LastIndexSave(), clock.nowSeconds());
    ASSERT_EQ(ui.messages().size(), 1U);
    EXPECT_EQ(ui.messages()[0].title, Text(QStringLiteral("TXT00001")));
    EXPECT_EQ(ui.messages()[0].text,
              Text(QStringLiteral("TXT00134")) + QStringLiteral(" \r\n") + bad);
    EXPECT_EQ(ui.messages()[0].icon, MessageIcon::Warning);
}

TEST(SourceIndexTest, AStateTheIndexAndTheReferenceShareIsHeldOnce)
{
    constexpr int kCount = 50000;
    std::vector<FileRecord> table;
    for (int n = kCount; n >= 1; --n) {
        table.push_back(rec(static_cast<std::uint64_t>(n)));
    }
    SourceIndex index;
    index.SetReference(table, true);
    for (int n = 1; n <= kCount; ++n) {
        EXPECT_TRUE(index.IndexFound(rec(static_cast<std::uint64_t>(n)), true));
    }
    // A state the reference lacks stays out when only referenced ones count.
    EXPECT_FALSE(index.IndexFound(rec(kCount + 1), true));
    EXPECT_EQ(index.IndexCount(), kCount);
    EXPECT_EQ(index.ReferenceCount(), kCount);
    EXPECT_LE(index.MemoryBytes(), 32 * (kCount + 16 + kCount / 16));
    EXPECT_TRUE(index.LookupRecord(rec(kCount)));
    EXPECT_FALSE(index.LookupRecord(rec(kCount + 1)));

    // A claim of the pass is counted apart, merged once and then searched.
    index.BeginPass();
    index.ClaimRecord(rec(kCount + 1));
    EXPECT_TRUE(index.IndexFound(rec(kCount + 2), false)); // a new source's file
    EXPECT_FALSE(index.LookupRecord(rec(kCount + 1)));
    EXPECT_EQ(index.WorkingCount(), kCount + 2);
    EXPECT_EQ(index.MergeWorking(), 1);
    EXPECT_TRUE(index.LookupRecord(rec(kCount + 1)));
    EXPECT_TRUE(index.LookupRecord(rec(kCount + 2)));
    EXPECT_FALSE(index.InReference(rec(kCount + 1)));
    EXPECT_EQ(index.IndexCount(), kCount + 2);

    // Emptying the index keeps the reference; the index taken as reference
    // drops what only the old reference held.
    index.EmptyIndex();
    EXPECT_EQ(index.IndexCount(), 0);
    EXPECT_EQ(index.ReferenceCount(), kCount);
    EXPECT_FALSE(index.LookupRecord(rec(1)));
    index.AppendIndexed(rec(2));
    index.AppendIndexed(rec(kCount + 5));
    index.SortIndex();
    index.TakeIndexAsReference();
    EXPECT_EQ(index.ReferenceRecords(), (std::vector{rec(2), rec(kCount + 5)}));
    EXPECT_FALSE(index.InReference(rec(1)));
}

TEST_F(FileTimeTableTest, ASaveThatWouldWriteTheSameTableWritesNothing)
{
    ManualClock clock;
    FakeUserInterface ui;
    const QString path = home.path() + QStringLiteral("filetimes.txt");
    for (int n : {4, 2, 8}) {
        index.AppendIndexed(rec(static_cast<std::uint64_t>(n)));
    }
    index.SortIndex();
    ASSERT_EQ(SaveFileTimeTable(index, path, clock, ui), 1);
    const auto identity = [&path] {
        struct stat info = {};
        EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
        return std::tuple(info.st_ino, info.st_mtim.tv_sec, info.st_mtim.tv_nsec, info.st_size);
    };
    const auto written = identity();

    // The next run reads it and finds every state again.
    SourceIndex next;
    ASSERT_EQ(ReadFileTimeTable(next, path), 1);
    for (int n : {8, 4, 2}) {
        (void)next.IndexFound(rec(static_cast<std::uint64_t>(n)), true);
    }
    EXPECT_TRUE(TableUnchanged(next, path));
    clock.advanceSeconds(10);
    ASSERT_EQ(SaveFileTimeTable(next, path, clock, ui), 1);
    EXPECT_EQ(identity(), written);
    EXPECT_EQ(next.LastIndexSave(), clock.nowSeconds());

    // A new state is written, once.
    next.BeginPass();
    next.ClaimRecord(rec(5));
    ASSERT_EQ(next.MergeWorking(), 1);
    EXPECT_FALSE(TableUnchanged(next, path));
    ASSERT_EQ(SaveFileTimeTable(next, path, clock, ui), 1);
    EXPECT_EQ(TempHome::readFile(path), "4\r\n" + line(2) + line(4) + line(5) + line(8));
    EXPECT_TRUE(TableUnchanged(next, path));

    // The reference carried beside the index changes what is written.
    next.EmptyIndex();
    next.AppendIndexed(rec(2));
    next.SortIndex();
    EXPECT_FALSE(TableUnchanged(next, path));
    next.setCarryReference(true);
    EXPECT_FALSE(TableUnchanged(next, path)); // the reference is 2, 4, 8
    ASSERT_EQ(SaveFileTimeTable(next, path, clock, ui), 1);
    EXPECT_EQ(TempHome::readFile(path), "3\r\n" + line(2) + line(4) + line(8));

    // A file put in its place, even with the same lines, is no table this
    // index wrote: it is written again.
    const QByteArray same = TempHome::readFile(path);
    ASSERT_TRUE(QFile::remove(path));
    write(same);
    ASSERT_TRUE(QFile::rename(home.path() + QStringLiteral("t.txt"), path));
    EXPECT_FALSE(TableUnchanged(next, path));
    EXPECT_FALSE(TableUnchanged(next, path + QStringLiteral(".other")));
}

TEST_F(FileTimeTableTest, OnlyATableInTheWrittenFormIsKeptAsItIs)
{
    // Damaged, out of order or doubled lines: the next save writes it whole.
    const std::vector<QByteArray> odd = {
        "-5\r\n" + line(1) + line(2),
        "2\r\n" + line(2) + line(1),
        "3\r\n" + line(1) + line(1) + line(2),
    };
    for (const QByteArray& content : odd) {
        SourceIndex fresh;
        const QString path = write(content);
        ASSERT_EQ(ReadFileTimeTable(fresh, path), 1);
        (void)fresh.IndexFound(rec(1), true);
        (void)fresh.IndexFound(rec(2), true);
        EXPECT_FALSE(TableUnchanged(fresh, path)) << content.constData();
    }
    SourceIndex fresh;
    const QString path = write("2\r\n" + line(1) + line(2));
    ASSERT_EQ(ReadFileTimeTable(fresh, path), 1);
    EXPECT_FALSE(TableUnchanged(fresh, path)); // nothing found yet
    (void)fresh.IndexFound(rec(1), true);
    (void)fresh.IndexFound(rec(2), true);
    EXPECT_TRUE(TableUnchanged(fresh, path));
}
