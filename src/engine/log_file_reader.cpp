#include "engine/log_file_reader.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cstring>

namespace fernhold {

namespace {

// The `count` characters from the 1-based position `from`, as far as the line
// reaches.
QStringView columns(const QString& line, qsizetype from, qsizetype count = -1)
{
    const qsizetype start = from - 1;
    if (start >= line.size()) {
        return {};
    }
    const qsizetype available = line.size() - start;
    return QStringView(line).sliced(start, count < 0 ? available : std::min(count, available));
}

QString trimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ') {
        ++begin;
    }
    while (end > begin && text[end - 1] == u' ') {
        --end;
    }
    return text.sliced(begin, end - begin);
}

// Which lines a collector keeps when the file holds more than maxLines.
enum class Keep
{
    First,  // the log file: newest first
    Newest, // the journal: oldest first
};

class LineCollector
{
public:
    LineCollector(const LogReadLimits& limits, Keep keep, bool skipFirstLine)
        : m_limits(limits), m_maxLineBytes(limits.maxLineChars * 4), m_keep(keep),
          m_skipping(skipFirstLine)
    {}

    [[nodiscard]] bool full() const
    {
        return m_keep == Keep::First && m_lines.size() >= m_limits.maxLines;
    }

    // Takes the bytes of a chunk; stops early when the line limit is reached.
    void take(const char* data, qsizetype size)
    {
        while (size > 0 && !full()) {
            const char* newline = static_cast<const char*>(std::memchr(data, '\n', size));
            const qsizetype part = newline ? newline - data : size;
            if (!m_skipping) {
                keep(data, part);
            }
            if (!newline) {
                return;
            }
            if (m_skipping) {
                m_skipping = false;
            } else {
                finishLine();
            }
            data += part + 1;
            size -= part + 1;
        }
    }

    // The last line when the file does not end with a line end.
    QStringList finish()
    {
        if (m_started && !full()) {
            finishLine();
        }
        if (m_lines.size() > m_limits.maxLines) {
            m_lines.remove(0, m_lines.size() - m_limits.maxLines);
        }
        return std::move(m_lines);
    }

private:
    void keep(const char* data, qsizetype size)
    {
        m_started = m_started || size > 0;
        const qsizetype room = std::max<qsizetype>(0, m_maxLineBytes - m_line.size());
        m_line.append(data, std::min(size, room));
        m_cut = m_cut || size > room;
    }

    void finishLine()
    {
        if (!m_cut && m_line.endsWith('\r')) {
            m_line.chop(1);
        }
        // Four bytes at most per character, so a cut line still decodes to
        // more characters than are kept, and a sequence broken by the cut
        // falls off with the surplus.
        QString text = QString::fromUtf8(m_line);
        if (m_lines.isEmpty() && text.startsWith(QChar(0xFEFF))) {
            text.remove(0, 1);
        }
        if (text.size() < 5 || text[4] != u'.') {
            text = ConvertOlderLogLine(text);
        }
        text.truncate(m_limits.maxLineChars);
        m_lines.append(std::move(text));
        // Older lines go in batches, so keeping the newest stays cheap.
        if (m_keep == Keep::Newest && m_lines.size() >= 2 * qsizetype(m_limits.maxLines)) {
            m_lines.remove(0, m_lines.size() - m_limits.maxLines);
        }
        m_line.clear();
        m_started = false;
        m_cut = false;
    }

    const LogReadLimits& m_limits;
    const qsizetype m_maxLineBytes;
    const Keep m_keep;
    bool m_skipping; // in a line that began before the part read
    QStringList m_lines;
    QByteArray m_line;
    bool m_started = false;
    bool m_cut = false;
};

} // namespace

QString ConvertOlderLogLine(const QString& line)
{
    QString size = columns(line, 17, 6).toString();
    size += u' ';
    size += columns(line, 23, 2);
    QString result;
    result.reserve(line.size() + 8);
    result += columns(line, 1, 4);
    result += u'.';
    result += columns(line, 5, 2);
    result += u'.';
    result += columns(line, 7, 2);
    result += u'\t';
    result += columns(line, 10, 2);
    result += u':';
    result += columns(line, 12, 2);
    result += u':';
    result += columns(line, 14, 2);
    result += u'\t';
    result += trimBlanks(size);
    result += u"\t\t";
    result += columns(line, 26);
    return result;
}

namespace {

QStringList readLines(const QString& path, const LogReadLimits& limits, Keep keep)
{
    // A FIFO or device under the log's name would block or never end.
    if (!QFileInfo(path).isFile()) {
        return {};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    // The newest lines of a journal stand at its end. Reading starts one
    // byte early: the line cut there is skipped up to its line end.
    const qint64 start =
        keep == Keep::Newest ? std::max<qint64>(0, file.size() - limits.maxBytes) : 0;
    if (start > 0 && !file.seek(start - 1)) {
        return {};
    }
    LineCollector collector(limits, keep, start > 0);
    std::array<char, 65536> buffer{};
    qint64 left = start > 0 ? limits.maxBytes + 1 : limits.maxBytes;
    while (left > 0 && !collector.full()) {
        const qint64 got = file.read(buffer.data(), std::min<qint64>(buffer.size(), left));
        if (got <= 0) {
            break;
        }
        left -= got;
        collector.take(buffer.data(), got);
    }
    return collector.finish();
}

} // namespace

QStringList ReadLogFileLines(const QString& path, const LogReadLimits& limits)
{
    return readLines(path, limits, Keep::First);
}

QStringList ReadLogJournalLines(const QString& path, const LogReadLimits& limits)
{
    return readLines(path, limits, Keep::Newest);
}

} // namespace fernhold
