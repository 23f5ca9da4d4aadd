#include "engine/file_record.h"
#include "index_test_tree.h"
#include "temp_home.h"

#include <QRandomGenerator>
#include <algorithm>
#include <gtest/gtest.h>
#include <zlib.h>

using namespace fernhold;
using fernhold::test::TempHome;

namespace {

std::uint32_t crcOfBytes(std::initializer_list<unsigned char> bytes)
{
    const std::vector<unsigned char> data(bytes);
    return static_cast<std::uint32_t>(
        crc32(crc32(0L, Z_NULL, 0), data.data(), static_cast<uInt>(data.size())));
}

// The rule as the table's format describes it: the two 32-bit halves, the low
// one read as signed.
std::uint64_t byHalves(std::int64_t seconds, std::uint32_t nanoseconds)
{
    const std::uint64_t ticks =
        static_cast<std::uint64_t>(seconds + 11644473600LL) * 10000000ULL + nanoseconds / 100;
    const std::uint64_t high = ticks >> 32;
    const auto low = static_cast<std::int32_t>(static_cast<std::uint32_t>(ticks & 0xFFFFFFFFULL));
    return high * 4294967296ULL + static_cast<std::uint64_t>(static_cast<std::int64_t>(low));
}

} // namespace

TEST(FileRecordTest, NameChecksumTakesTheFirstHalfOfTheLowerCasedName)
{
    EXPECT_EQ(NameChecksum(u"abc"), 0x15e87871U);
    EXPECT_EQ(NameChecksum(u"ABC"), 0x15e87871U);
    // Only the first L bytes count: the first half of the characters, and for an
    // odd length the low byte of the middle one.
    EXPECT_EQ(NameChecksum(u"abcdef.txt"), NameChecksum(u"abcdeX.TXT"));
    EXPECT_NE(NameChecksum(u"abcdef.txt"), NameChecksum(u"abcdXf.txt"));
    EXPECT_EQ(NameChecksum(u"abcde"), NameChecksum(u"abcXY"));
    EXPECT_NE(NameChecksum(u"abcde"), NameChecksum(u"abXde"));
    EXPECT_EQ(NameChecksum(u""), 0U);

    // Beyond ASCII: "\u00C4bc" lower-cases to e4 00 62 00 63 00, of which 3 bytes count.
    EXPECT_EQ(NameChecksum(u"\u00C4bc"), crcOfBytes({0xe4, 0x00, 0x62}));
    EXPECT_EQ(NameChecksum(u"\u00C4rger.txt"), NameChecksum(u"\u00E4RGER.txt"));
    // A non-ASCII character in the second half does not count either.
    EXPECT_EQ(NameChecksum(u"abcd\u00E9f"), NameChecksum(u"ABCDxx"));
    // A long name takes the general path and the same rule.
    const QString longName = QString(300, u'a');
    EXPECT_EQ(NameChecksum(longName), NameChecksum(QString(150, u'A') + QString(150, u'z')));
}

TEST(FileRecordTest, FileTimesReadTheLowHalfAsSigned)
{
    // Low half 0xc66d0000: the value is 2^32 less than the plain tick count.
    EXPECT_EQ(FileTimeValue(1700000000, 0), 0x01DA1746C66D0000ULL);
    // Low half 0x44ff8000: unchanged.
    EXPECT_EQ(FileTimeValue(1000000000, 0), 0x01C138D144FF8000ULL);
    for (std::int64_t s = 1600000000; s < 1600000000 + 5000; s += 7) {
        const auto ns = static_cast<std::uint32_t>(s % 1000) * 1000003U % 1000000000U;
        ASSERT_EQ(FileTimeValue(s, ns), byHalves(s, ns)) << s;
    }
}

TEST(FileRecordTest, TextFormAndOrder)
{
    const FileRecord record{0x01DA1746C66D0000ULL, 0xABULL, 1234567, 0x15e87871U};
    EXPECT_EQ(FileRecordText(record),
              QByteArray("01DA1746C66D000000000000000000AB000000000012D68715e87871"));
    EXPECT_EQ(ParseFileRecord(FileRecordText(record)), record);

    // Damaged texts never give a record.
    const QByteArray good = FileRecordText(record);
    for (const QByteArray& bad :
         {good.left(55), good + '0', QByteArray("01da1746c66d0000") + good.mid(16),
          good.left(48) + "15E87871", good.left(20) + 'G' + good.mid(21), QByteArray(56, ' '),
          QByteArray(56, '\0'), QByteArray()}) {
        EXPECT_FALSE(ParseFileRecord(bad).has_value()) << bad.toStdString();
    }

    // Records sort exactly as their texts do.
    auto* random = QRandomGenerator::global();
    std::vector<FileRecord> records;
    for (int i = 0; i < 2000; ++i) {
        // Few distinct values per field, so that ties reach the later fields.
        records.push_back({random->bounded(3U) * 0x7000000000000001ULL,
                           random->bounded(3U) * 0x0F00000000000000ULL, random->bounded(4U),
                           random->generate()});
    }
    std::vector<FileRecord> byValue = records;
    std::sort(byValue.begin(), byValue.end());
    std::vector<QByteArray> texts;
    for (const FileRecord& r : records) {
        texts.push_back(FileRecordText(r));
    }
    std::sort(texts.begin(), texts.end());
    for (std::size_t i = 0; i < records.size(); ++i) {
        ASSERT_EQ(FileRecordText(byValue[i]), texts[i]);
    }
}

TEST(FileRecordTest, RecordOfARealFile)
{
    TempHome home;
    const QString path = home.path() + QStringLiteral("data/Report.docx");
    test::writeFileAt(path, QByteArray(1500, 'x'));
    test::setWriteTime(path, 1700000003, 500);

    const auto record = ReadFileRecord(path);
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->size, 1500U);
    EXPECT_EQ(record->lastWrite, byHalves(1700000003, 500));
    EXPECT_EQ(record->nameChecksum, NameChecksum(u"Report.docx"));
    struct statx state = {};
    ASSERT_EQ(::statx(AT_FDCWD, QFile::encodeName(path).constData(), 0, STATX_BTIME, &state), 0);
    EXPECT_EQ(record->creation, (state.stx_mask & STATX_BTIME) != 0
                                    ? byHalves(state.stx_btime.tv_sec, state.stx_btime.tv_nsec)
                                    : 0U);

    // A link to the file is followed and named by itself.
    const QString link = home.path() + QStringLiteral("data/link.docx");
    ASSERT_TRUE(QFile::link(path, link));
    const auto linked = ReadFileRecord(link);
    ASSERT_TRUE(linked.has_value());
    EXPECT_EQ(linked->lastWrite, record->lastWrite);
    EXPECT_EQ(linked->nameChecksum, NameChecksum(u"link.docx"));

    // Folders, FIFOs, sockets and missing files have no record.
    const QString fifo = home.path() + QStringLiteral("data/pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(ReadFileRecord(fifo).has_value());
    EXPECT_FALSE(ReadFileRecord(home.path() + QStringLiteral("data")).has_value());
    EXPECT_FALSE(ReadFileRecord(home.path() + QStringLiteral("data/none")).has_value());
    EXPECT_FALSE(ReadFileRecord(QString()).has_value());
}
