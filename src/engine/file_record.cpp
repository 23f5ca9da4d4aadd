#include "engine/file_record.h"

#include "platform/file_name.h"

#include <array>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>
#include <zlib.h>

namespace fernhold {

namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::uint64_t kEpochDifference = 11644473600ULL;
constexpr std::uint64_t kTicksPerSecond = 10000000ULL;

constexpr char kUpperDigits[] = "0123456789ABCDEF";
constexpr char kLowerDigits[] = "0123456789abcdef";

void writeHex(std::uint64_t value, int digits, const char* alphabet, char* out)
{
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = alphabet[value & 0xF];
        value >>= 4;
    }
}

// Value of one digit of the given case, or -1.
int hexDigit(char c, bool upper)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char first = upper ? 'A' : 'a';
    if (c >= first && c <= first + 5) {
        return c - first + 10;
    }
    return -1;
}

std::optional<std::uint64_t> readHex(const char* text, int digits, bool upper)
{
    std::uint64_t value = 0;
    for (int i = 0; i < digits; ++i) {
        const int digit = hexDigit(text[i], upper);
        if (digit < 0) {
            return std::nullopt;
        }
        value = (value << 4) | static_cast<std::uint64_t>(digit);
    }
    return value;
}

std::uint32_t crcOf(const unsigned char* bytes, std::size_t count)
{
    const uLong start = crc32(0L, Z_NULL, 0);
    return static_cast<std::uint32_t>(crc32(start, bytes, static_cast<uInt>(count)));
}

} // namespace

std::uint64_t FileTimeValue(std::int64_t seconds, std::uint32_t nanoseconds)
{
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(seconds) + kEpochDifference) * kTicksPerSecond +
        nanoseconds / 100;
    return (ticks & 0x80000000ULL) != 0 ? ticks - 0x100000000ULL : ticks;
}

std::uint32_t NameChecksum(QStringView name)
{
    const auto units = static_cast<std::size_t>(name.size());
    // The usual case, an ASCII name of at most 255 bytes: no allocation.
    std::array<unsigned char, 256> small{};
    if (units <= small.size()) {
        bool ascii = true;
        for (std::size_t j = 0; j < units; ++j) {
            // Byte j of the UTF-16LE text is the low (even j) or high byte of unit j / 2.
            const char16_t c = name[static_cast<qsizetype>(j / 2)].unicode();
            if (c >= 0x80) {
                ascii = false;
                break;
            }
            small[j] =
                (j % 2 == 1) ? 0 : static_cast<unsigned char>(c >= u'A' && c <= u'Z' ? c + 32 : c);
        }
        // Units beyond the first half are not part of the checksum but decide
        // nothing either; only the first half had to be ASCII.
        if (ascii) {
            return crcOf(small.data(), units);
        }
    }
    const QString lower = name.toString().toLower();
    const std::size_t count = std::min(units, static_cast<std::size_t>(lower.size()) * 2);
    std::vector<unsigned char> bytes(count);
    for (std::size_t j = 0; j < count; ++j) {
        const char16_t c = lower[static_cast<qsizetype>(j / 2)].unicode();
        bytes[j] = static_cast<unsigned char>(j % 2 == 0 ? (c & 0xFF) : (c >> 8));
    }
    return crcOf(bytes.data(), count);
}

FileRecord MakeFileRecord(const struct statx& state, QStringView name)
{
    FileRecord record;
    if ((state.stx_mask & STATX_BTIME) != 0) {
        record.creation = FileTimeValue(state.stx_btime.tv_sec, state.stx_btime.tv_nsec);
    }
    record.lastWrite = FileTimeValue(state.stx_mtime.tv_sec, state.stx_mtime.tv_nsec);
    record.size = state.stx_size;
    record.nameChecksum = NameChecksum(name);
    return record;
}

std::optional<FileRecord> ReadFileRecord(const QString& path)
{
    const QByteArray native = EncodeFileName(path);
    struct statx state = {};
    if (native.isEmpty() ||
        statx(AT_FDCWD, native.constData(), AT_STATX_SYNC_AS_STAT,
              STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_BTIME, &state) != 0) {
        return std::nullopt;
    }
    if (!S_ISREG(state.stx_mode)) {
        return std::nullopt;
    }
    const qsizetype slash = path.lastIndexOf(u'/');
    return MakeFileRecord(state, QStringView(path).sliced(slash + 1));
}

void WriteFileRecordText(const FileRecord& record, char* out)
{
    writeHex(record.creation, 16, kUpperDigits, out);
    writeHex(record.lastWrite, 16, kUpperDigits, out + 16);
    writeHex(record.size, 16, kUpperDigits, out + 32);
    writeHex(record.nameChecksum, 8, kLowerDigits, out + 48);
}

QByteArray FileRecordText(const FileRecord& record)
{
    QByteArray text(kFileRecordTextLength, Qt::Uninitialized);
    WriteFileRecordText(record, text.data());
    return text;
}

std::optional<FileRecord> ParseFileRecord(QByteArrayView text)
{
    if (text.size() != kFileRecordTextLength) {
        return std::nullopt;
    }
    const char* data = text.data();
    const auto creation = readHex(data, 16, true);
    const auto lastWrite = readHex(data + 16, 16, true);
    const auto size = readHex(data + 32, 16, true);
    const auto checksum = readHex(data + 48, 8, false);
    if (!creation || !lastWrite || !size || !checksum) {
        return std::nullopt;
    }
    return FileRecord{*creation, *lastWrite, *size, static_cast<std::uint32_t>(*checksum)};
}

} // namespace fernhold
