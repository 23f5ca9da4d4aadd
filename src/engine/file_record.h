#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <compare>
#include <cstdint>
#include <optional>

struct statx;

namespace fernhold {

// One state of one file: creation time, last-write time, size and a checksum of
// the name. Its text form (the file-time table) is 56 characters: three times
// 16 upper-case hexadecimal digits, then 8 lower-case ones. Fixed-width
// hexadecimal sorts like the numbers it spells, so comparing the fields in this
// order gives exactly the order of the texts.
struct FileRecord
{
    std::uint64_t creation = 0;  // 100-ns ticks since 1601, see FileTimeValue()
    std::uint64_t lastWrite = 0; // same form
    std::uint64_t size = 0;
    std::uint32_t nameChecksum = 0;

    friend auto operator<=>(const FileRecord&, const FileRecord&) = default;
};

inline constexpr int kFileRecordTextLength = 56;

// A file time as the records hold it: seconds and nanoseconds since 1970 turned
// into 100-ns ticks since 1601-01-01, then taken as a high and a low 32-bit
// half with the low half read as a signed number (a low half of 0x80000000 or
// more lowers the value by 2^32). Records written by earlier runs were made
// that way, so this must never change. Arithmetic wraps instead of overflowing.
[[nodiscard]] std::uint64_t FileTimeValue(std::int64_t seconds, std::uint32_t nanoseconds);

// CRC-32 (zlib) over the first L bytes of the lower-cased name in UTF-16LE, L
// being the number of UTF-16 units of the name: "abc" gives 0x15e87871.
[[nodiscard]] std::uint32_t NameChecksum(QStringView name);

// The record of a file from its statx result (birth time 0 when the file
// system did not report one) and its name without folder.
[[nodiscard]] FileRecord MakeFileRecord(const struct statx& state, QStringView name);

// The state of the regular file at `path` (symbolic links followed); no value
// when it cannot be read or is not a regular file.
[[nodiscard]] std::optional<FileRecord> ReadFileRecord(const QString& path);

// The 56-character text of a record.
[[nodiscard]] QByteArray FileRecordText(const FileRecord& record);
// Writes the 56 characters to `out` (no terminating zero).
void WriteFileRecordText(const FileRecord& record, char* out);

// The record a text spells; no value unless the text is exactly 56 characters
// of the right digits in the right case (so a damaged line never matches).
[[nodiscard]] std::optional<FileRecord> ParseFileRecord(QByteArrayView text);

} // namespace fernhold
