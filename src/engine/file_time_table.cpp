#include "file_time_table.h"

#include "clock.h"
#include "file_record.h"
#include "source_index.h"
#include "text_table.h"
#include "user_interface.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <array>
#include <limits>
#include <vector>

namespace fernhold {

namespace {

constexpr qsizetype kLineBytes = kFileRecordTextLength + 2;
constexpr qsizetype kChunkRecords = 4096;

// The declared count: the leading decimal digits of the first line, else 0.
qint64 leadingNumber(QByteArrayView line)
{
    qint64 value = 0;
    for (const char c : line) {
        if (c < '0' || c > '9') {
            break;
        }
        if (value > (std::numeric_limits<qint64>::max() - 9) / 10) {
            return std::numeric_limits<qint64>::max();
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
    QByteArray chunk = QByteArray::number(static_cast<qint64>(records.size())) + "\r\n";
    chunk.reserve(kChunkRecords * kLineBytes);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const qsizetype at = chunk.size();
        chunk.resize(at + kLineBytes);
        WriteFileRecordText(records[i], chunk.data() + at);
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
    qint64 declared = 0;
    if (readLine(file, buffer, line, whole) && whole) {
        declared = leadingNumber(line);
    }
    std::vector<FileRecord> records;
    for (qint64 n = 0; n < declared && readLine(file, buffer, line, whole); ++n) {
        if (!whole) {
            continue;
        }
        if (const auto record = ParseFileRecord(line)) {
            records.push_back(*record);
        }
    }
    index.SetReference(std::move(records), declared > 0);
    return 1;
}

} // namespace fernhold
