#include "engine/file_time_table.h"

#include "core/clock.h"
#include "core/text_table.h"
#include "core/user_interface.h"
#include "engine/file_record.h"
#include "engine/source_index.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <array>
#include <iterator>
#include <optional>
#include <vector>

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

} // namespace

int WriteFileTimeTable(const SourceIndex& index, const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return 0;
    }
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        return 0;
    }
    const auto records = index.IndexedRecords();
    // While a source could not be read, the states of the last run stay in the
    // table beside today's, so its changes can still be told when it is back.
    const auto carried =
        index.CarriesReference() ? index.ReferenceRecords() : std::span<const FileRecord>();
    std::vector<FileRecord> merged;
    if (!carried.empty()) {
        merged.reserve(records.size() + carried.size());
        std::set_union(records.begin(), records.end(), carried.begin(), carried.end(),
                       std::back_inserter(merged));
    }
    const std::span<const FileRecord> all =
        carried.empty() ? records : std::span<const FileRecord>(merged.data(), merged.size());
    QByteArray chunk = QByteArray::number(static_cast<qint64>(all.size())) + "\r\n";
    chunk.reserve(kChunkRecords * kLineBytes);
    for (std::size_t i = 0; i < all.size(); ++i) {
        const qsizetype at = chunk.size();
        chunk.resize(at + kLineBytes);
        WriteFileRecordText(all[i], chunk.data() + at);
        chunk[at + kFileRecordTextLength] = '\r';
        chunk[at + kFileRecordTextLength + 1] = '\n';
        if (chunk.size() >= kChunkRecords * kLineBytes) {
            if (file.write(chunk) != chunk.size()) {
                file.cancelWriting();
                return 0;
            }
            chunk.resize(0);
        }
    }
    if (file.write(chunk) != chunk.size()) {
        file.cancelWriting();
        return 0;
    }
    return file.commit() ? 1 : 0;
}

int SaveFileTimeTable(SourceIndex& index, const QString& path, const Clock& clock,
                      UserInterface& ui)
{
    index.setLastIndexSave(clock.nowSeconds());
    if (path.isEmpty()) {
        return 1; // a run that must leave the table of the last good run alone
    }
    if (WriteFileTimeTable(index, path) == 1) {
        return 1;
    }
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
    // what can be read still tells unchanged files from changed ones.
    std::vector<FileRecord> records;
    qint64 lines = 0;
    while (readLine(file, buffer, line, whole)) {
        ++lines;
        const bool counted = declared && lines <= *declared;
        const auto record = whole ? ParseFileRecord(line) : std::nullopt;
        if (record) {
            records.push_back(*record);
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
    index.SetReference(std::move(records), true);
    return 1;
}

} // namespace fernhold
