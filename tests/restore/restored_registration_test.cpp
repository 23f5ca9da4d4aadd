#include "engine/file_record.h"
#include "engine/file_time_table.h"
#include "engine/source_index.h"
#include "restore/restored_registration.h"
#include "restore_fixture.h"

namespace fernhold::test {

TEST_F(RestoreTest, RegistersRestoredFilesOnceAndSorted)
{
    const QString a = m_source + QStringLiteral("a.txt");
    const QString b = m_source + QStringLiteral("b.txt");
    ASSERT_TRUE(writeAll(a, "a"));
    ASSERT_TRUE(writeAll(b, "bb"));
    SourceIndex index;
    index.AppendIndexed(*ReadFileRecord(b));
    index.SortIndex();

    EXPECT_EQ(RegisterRestoredFiles(index, {a, b, m_source + QStringLiteral("gone.txt")}), 1);
    EXPECT_EQ(index.IndexCount(), 2);
    EXPECT_EQ(index.WorkingCount(), 2);
    EXPECT_TRUE(index.LookupRecord(*ReadFileRecord(a)));
    EXPECT_TRUE(index.LookupRecord(*ReadFileRecord(b)));
    EXPECT_EQ(RegisterRestoredFiles(index, {a}), 0);
}

TEST_F(RestoreTest, FileTimeTableGetsTheStatesOnlyWhenItNamesSome)
{
    const QString table = m_home.appData() + QStringLiteral("filetimes.txt");
    const QString a = m_source + QStringLiteral("a.txt");
    const QString b = m_source + QStringLiteral("b.txt");
    ASSERT_TRUE(writeAll(a, "a"));
    ASSERT_TRUE(writeAll(b, "bb"));

    // No table, or one that names nothing: the next start takes every file as known.
    EXPECT_EQ(RegisterInFileTimeTable(table, {a}), 0);
    EXPECT_FALSE(QFileInfo::exists(table));
    ASSERT_TRUE(writeAll(table, "0\r\n"));
    EXPECT_EQ(RegisterInFileTimeTable(table, {a}), 0);
    EXPECT_EQ(readAll(table), QByteArray("0\r\n"));

    SourceIndex before;
    before.AppendIndexed(*ReadFileRecord(b));
    ASSERT_EQ(WriteFileTimeTable(before, table), 1);
    EXPECT_EQ(RegisterInFileTimeTable(table, {a, b}), 1);
    SourceIndex after;
    ASSERT_EQ(ReadFileTimeTable(after, table), 1);
    EXPECT_EQ(after.ReferenceCount(), 2);
    EXPECT_TRUE(after.InReference(*ReadFileRecord(a)));
    EXPECT_TRUE(after.InReference(*ReadFileRecord(b)));
    EXPECT_EQ(RegisterInFileTimeTable(table, {a}), 0);
}

} // namespace fernhold::test
