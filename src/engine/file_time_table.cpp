#include "engine/file_time_table.h"

#include "core/clock.h"
#include "core/text_table.h"
#include "core/user_interface.h"
#include "engine/file_record.h"
#include "engine/source_index.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <array>
#include <iterator>
#include <optional>
#include <sys/stat.h>

namespace fernhold {

namespace {

constexpr qsizetype kLineBytes = kFileRecordTextLength + 2;
constexpr qsizetype kChunkRecords = 4096;

// The declared count: a line of decimal digits only; no value for anything
// else (a sign, junk, a number too large to be real).
std::optional<qint64> plainNumber(QByteArrayView line)
{
    if (line.isEmpty() || line.size() > 15) {
        return std::nullopt;
    }
    qint64 value = 0;
    for (const char c : line) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

// One line of the file without its line end. Lines longer than the buffer are
// read to their end and reported as damaged (`whole` false). False at the end
// of the file.
bool readLine(QFile& file, std::array<char, 128>& buffer, QByteArrayView& line, bool& whole)
{
    qint64 got = file.readLine(buffer.data(), static_cast<qint64>(buffer.size()));
    if (got <= 0) {
        return false;
    }
    whole = true;
    qint64 length = got;
    if (buffer[static_cast<std::size_t>(got - 1)] != '\n') {
        // Either the last line without a line end, or a line too long to be a record.
        if (!file.atEnd()) {
            whole = false;
            std::array<char, 128> rest{};
            qint64 more = 0;
            while ((more = file.readLine(rest.data(), static_cast<qint64>(rest.size()))) > 0 &&
                   rest[static_cast<std::size_t>(more - 1)] != '\n') {
            }
        }
    } else {
        --length;
    }
    if (length > 0 && buffer[static_cast<std::size_t>(length - 1)] == '\r') {
        --length;
    }
    line = QByteArrayView(buffer.data(), length);
    return true;
}

// A digest of a table's records in order, to tell a save that would write
// the same table again.
class TableDigest
{
public:
    explicit TableDigest(qint64 count) : m_value(mix(static_cast<std::uint64_t>(count))) {}

    void add(const FileRecord& record)
    {
        m_value = mix(m_value ^ record.creation);
        m_value = mix(m_value ^ record.lastWrite);
        m_value = mix(m_value ^ record.size);
        m_value = mix(m_value ^ record.nameChecksum);
    }
    [[nodiscard]] std::uint64_t value() const { return m_value; }

private:
    static std::uint64_t mix(std::uint64_t x)
    {
        x += 0x9E3779B97F4A7C15ULL;
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
        return x ^ (x >> 31);
    }

    std::uint64_t m_value;
};

std::uint64_t digestOf(const SourceIndex& index)
{
    TableDigest digest(index.TableCount());
    index.forEachTableRecord([&digest](const FileRecord& record) { digest.add(record); });
    return digest.value();
}

// The file as it is on disk now, with the digest of the records it holds.
std::optional<SourceIndex::StoredTable> storedTable(const QString& path, std::uint64_t digest)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return std::nullopt;
    }
    return SourceIndex::StoredTable{path, digest, static_cast<qint64>(info.st_size),
                                    static_cast<qint64>(info.st_mtim.tv_sec) * 1000000000LL +
                                        info.st_mtim.tv_nsec,
                                    static_cast<std::uint64_t>(info.st_ino)};
}

// Writes the table; gives the digest of what it wrote.
int writeTable(const SourceIndex& index, const QString& path, std::uint64_t& writtenDigest)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return 0;
    }
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        return 0;
    }
    // While a source could not be read, the states of the last run stay in the
    // table beside today's, so its changes can still be told when it is back.
    const qsizetype count = index.TableCount();
    TableDigest digest(count);
    QByteArray chunk = QByteArray::number(static_cast<qint64>(count)) + "\r\n";
    chunk.reserve(kChunkRecords * kLineBytes);
    bool written = true;
    index.forEachTableRecord([&](const FileRecord& record) {
        digest.add(record);
        const qsizetype at = chunk.size();
        chunk.resize(at + kLineBytes);
        WriteFileRecordText(record, chunk.data() + at);
        chunk[at + kFileRecordTextLength] = '\r';
        chunk[at + kFileRecordTextLength + 1] = '\n';
        if (chunk.size() >= kChunkRecords * kLineBytes) {
            written = written && file.write(chunk) == chunk.size();
            chunk.resize(0);
        }
    });
    if (!written || file.write(chunk) != chunk.size() || !file.commit()) {
        file.cancelWriting();
        return 0;
    }
    writtenDigest = digest.value();
    return 1;
}

} // namespace

int WriteFileTimeTable(const SourceIndex& index, const QString& path)
{
    std::uint64_t digest = 0;
    return writeTable(index, path, digest);
}

bool TableUnchanged(const SourceIndex& index, const QString& path)
{
    const auto& stored = index.storedTable();
    if (!stored || stored->path != path) {
        return false;
    }
    // The file must still be the one read or written, not a copy put there.
    const auto now = storedTable(path, stored->digest);
    return now && now->bytes == stored->bytes && now->modifiedNs == stored->modifiedNs &&
           now->inode == stored->inode && digestOf(index) == stored->digest;
}

int SaveFileTimeTable(SourceIndex& index, const QString& path, const Clock& clock,
                      UserInterface& ui)
{
    index.setLastIndexSave(clock.nowSeconds());
    if (path.isEmpty()) {
        return 1; // a run that must leave the table of the last good run alone
    }
    if (TableUnchanged(index, path)) {
        return 1;
    }
    std::uint64_t digest = 0;
    if (writeTable(index, path, digest) == 1) {
        index.setStoredTable(storedTable(path, digest));
        return 1;
    }
    index.setStoredTable(std::nullopt);
    ui.showMessage(Text(QStringLiteral("TXT00001")),
                   Text(QStringLiteral("TXT00134")) + QStringLiteral(" \r\n") + path,
                   MessageIcon::Warning);
    return 0;
}

int ReadFileTimeTable(SourceIndex& index, const QString& path)
{
    bool damaged = false;
    return ReadFileTimeTable(index, path, damaged);
}

int ReadFileTimeTable(SourceIndex& index, const QString& path, bool& damaged)
{
    damaged = false;
    // Only a regular file: opening a FIFO put there would block the start-up.
    if (!QFileInfo(path).isFile()) {
        return 0;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return 0;
    }
    std::array<char, 128> buffer{};
    QByteArrayView line;
    bool whole = false;
    std::optional<qint64> declared;
    if (readLine(file, buffer, line, whole) && whole) {
        declared = plainNumber(line);
    }
    damaged = !declared.has_value();
    // Every line that holds a record is kept, also beyond a damaged count:
    // what can be read still tells unchanged files from changed ones. Room is
    // taken once, for what the file can hold, so a large table is not copied
    // while it grows.
    const qint64 fits = file.size() / kLineBytes + 1;
    index.BeginReference(static_cast<std::size_t>(declared ? std::min(*declared, fits) : fits));
    // A table as this program writes it (ascending, each record once) is
    // remembered, so a run that finds every state unchanged leaves it alone.
    TableDigest digest(declared.value_or(0));
    bool ascending = true;
    std::optional<FileRecord> previous;
    qint64 lines = 0;
    while (readLine(file, buffer, line, whole)) {
        ++lines;
        const bool counted = declared && lines <= *declared;
        const auto record = whole ? ParseFileRecord(line) : std::nullopt;
        if (record) {
            index.AppendReference(*record);
            digest.add(*record);
            ascending = ascending && (!previous || *previous < *record);
            previous = record;
            damaged = damaged || !counted;
        } else if (counted || !line.trimmed().isEmpty()) {
            damaged = true;
        }
    }
    if (declared && lines < *declared) {
        damaged = true;
    }
    // A table that was there is a reference even when it lists no file: the
    // last run knew of none, so every file found now is new to it.
    index.EndReference(true);
    file.close();
    index.setStoredTable(!damaged && ascending ? storedTable(path, digest.value()) : std::nullopt);
    return 1;
}

} // namespace fernhold
