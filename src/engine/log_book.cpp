#include "engine/log_book.h"

#include "core/clock.h"
#include "core/job_settings.h"
#include "core/text_table.h"
#include "core/time_text.h"
#include "core/user_interface.h"
#include "engine/log_file_reader.h"
#include "platform/append_file.h"
#include "platform/file_io.h"
#include "platform/folders.h"

#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QStringEncoder>
#include <algorithm>

namespace fernhold {

namespace {

QString logPath(const Folders& folders)
{
    // Without an application-data folder the name alone would land in the
    // working directory.
    if (folders.appData.isEmpty()) {
        return {};
    }
    return folders.appData + Text(QStringLiteral("Log_FileName"));
}

QString journalOf(const QString& log)
{
    return log.isEmpty() ? QString() : log + QStringLiteral(".new");
}

// How many of the journal's first lines the log already holds: a rewrite
// took them in, but the journal could not be removed after it (the program
// was killed in between, or the removal failed). The log's newest lines
// then stand in the journal, ending at its last line taken in.
qsizetype linesFoldedIn(const QStringList& logNewestFirst, const QStringList& journal)
{
    if (logNewestFirst.isEmpty()) {
        return 0;
    }
    for (qsizetype end = journal.size() - 1; end >= 0; --end) {
        if (journal[end] != logNewestFirst[0]) {
            continue;
        }
        const qsizetype overlap = std::min(end + 1, logNewestFirst.size());
        qsizetype k = 1;
        while (k < overlap && journal[end - k] == logNewestFirst[k]) {
            ++k;
        }
        if (k == overlap) {
            return end + 1;
        }
    }
    return 0;
}

} // namespace

LogBook::LogBook(const Folders& folders, const Clock& clock)
    : m_path(logPath(folders)), m_clock(clock), m_lines(kCapacity),
      m_journal(std::make_unique<AppendFile>(journalOf(m_path)))
{}

LogBook::~LogBook() = default;

void LogBook::keepJournal(bool on)
{
    QMutexLocker lock(&m_mutex);
    m_journalOn = on;
}

void LogBook::deferRewrites(bool on)
{
    QMutexLocker lock(&m_mutex);
    m_rewritesDeferred = on;
}

QString LogBook::journalPath() const
{
    return m_journal->path();
}

void LogBook::AddLogLine(const QString& text)
{
    QMutexLocker lock(&m_mutex);
    // The time is taken under the lock, so the ring stays in time order when
    // both threads add lines.
    const qint64 seconds = m_clock.nowSeconds();
    if (seconds != m_stampSeconds) {
        const QDateTime now = m_clock.now();
        m_stampSeconds = seconds;
        m_stamp = DottedDateText(now.date()) + u'\t' + ClockText(now.time()) + u'\t';
    }
    QString line = m_stamp + text;
    line.truncate(kMaxLineChars);
    if (m_journalOn) {
        // Under the lock, so the journal keeps the ring's order. A failed
        // write leaves the line in memory, for the next rewrite.
        (void)m_journal->append(line.toUtf8() + "\r\n");
    }
    m_newest = m_newest + 1 >= kCapacity ? 0 : m_newest + 1;
    m_lines[m_newest] = std::move(line);
    m_count = std::min(m_count + 1, kCapacity);
}

int LogBook::WriteLogFile(const JobSettings& settings)
{
    QMutexLocker fileLock(&m_fileMutex);
    const QDateTime now = m_clock.now();
    const QString cutoff = now.addSecs(-qint64(settings.LogfileMaxDays) * 86400)
                               .date()
                               .toString(QStringLiteral("yyyy.MM.dd"));
    const qint64 limit = qint64(settings.LogfileMaxSize) * 1024;

    // The ring stays locked until the journal is gone: a line added in
    // between would be in neither file.
    QMutexLocker lock(&m_mutex);
    if (m_rewritesDeferred && m_journalOn) {
        return 1;
    }
    QByteArray content;
    {
        // First the lines that stay, then one buffer for all of them: the log
        // is rewritten several times a pass and may hold 10,000 lines.
        qint64 total = 0;
        int kept = 0;
        for (int i = m_newest; kept < m_count; i = i == 0 ? kCapacity - 1 : i - 1) {
            const QString& line = m_lines[i];
            if (QStringView(line).first(std::min<qsizetype>(10, line.size())) <= cutoff ||
                total + line.size() > limit) {
                break;
            }
            total += line.size();
            ++kept;
        }
        QStringEncoder utf8(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
        content.resize(utf8.requiredSpace(total) + 2 * qsizetype(kept));
        char* out = content.data();
        for (int n = 0, i = m_newest; n < kept; ++n, i = i == 0 ? kCapacity - 1 : i - 1) {
            out = utf8.appendToBuffer(out, m_lines[i]);
            *out++ = '\r';
            *out++ = '\n';
        }
        content.truncate(out - content.constData());
    }
    if (m_path.isEmpty() || WriteFileAtomically(m_path, content, true) != 1) {
        return 0;
    }
    (void)m_journal->remove();
    return 1;
}

void LogBook::ReadLogFile()
{
    QMutexLocker fileLock(&m_fileMutex);
    loadFromFile();
}

void LogBook::loadFromFile()
{
    QStringList read;
    QStringList journal;
    if (!m_path.isEmpty()) {
        const LogReadLimits limits{kCapacity, kMaxLineChars, kMaxReadBytes};
        read = ReadLogFileLines(m_path, limits);
        journal = ReadLogJournalLines(m_journal->path(), limits);
    }
    journal.remove(0, linesFoldedIn(read, journal));
    // The file is newest first; the ring is oldest first, the journal's
    // lines after the file's, the newest kCapacity of them all.
    const int fromJournal = static_cast<int>(journal.size());
    const int fromFile = std::min(static_cast<int>(read.size()), kCapacity - fromJournal);
    const int n = fromFile + fromJournal;
    std::vector<QString> lines(kCapacity);
    for (int k = 0; k < fromFile; ++k) {
        lines[fromFile - 1 - k] = std::move(read[k]);
    }
    for (int k = 0; k < fromJournal; ++k) {
        lines[fromFile + k] = std::move(journal[k]);
    }
    QMutexLocker lock(&m_mutex);
    m_lines = std::move(lines);
    m_newest = n - 1;
    m_count = n;
}

int LogBook::clearLogFile(UserInterface& ui)
{
    const QFileInfo info(m_path);
    if (m_path.isEmpty() || !info.isFile() || info.size() == 0) {
        ui.showMessage(Text(QStringLiteral("TXT00013")), Text(QStringLiteral("TXT00093")),
                       MessageIcon::Information);
        return 0;
    }
    // No lock while the person decides: the worker may write the file meanwhile.
    if (!ui.askYesNo(Text(QStringLiteral("TXT00052")), Text(QStringLiteral("TXT00094")),
                     MessageIcon::Question, false)) {
        return 0;
    }
    QMutexLocker fileLock(&m_fileMutex);
    {
        QMutexLocker lock(&m_mutex);
        (void)m_journal->remove();
    }
    if (!QFile::remove(m_path) && QFileInfo::exists(m_path)) {
        fileLock.unlock();
        ui.showMessage(Text(QStringLiteral("TXT00001")),
                       Text(QStringLiteral("TXT00350")) + u'\n' + m_path, MessageIcon::Warning);
        return 0;
    }
    loadFromFile();
    return 1;
}

int LogBook::newestIndex() const
{
    QMutexLocker lock(&m_mutex);
    return m_newest;
}

int LogBook::count() const
{
    QMutexLocker lock(&m_mutex);
    return m_count;
}

QString LogBook::lineAt(int index) const
{
    QMutexLocker lock(&m_mutex);
    if (index < 0 || index >= kCapacity) {
        return {};
    }
    return m_lines[static_cast<std::size_t>(index)];
}

QStringList LogBook::lines() const
{
    QMutexLocker lock(&m_mutex);
    QStringList result;
    result.reserve(m_count);
    int i = m_newest - m_count + 1;
    if (i < 0) {
        i += kCapacity;
    }
    for (int n = 0; n < m_count; ++n) {
        result.append(m_lines[static_cast<std::size_t>(i)]);
        i = i + 1 == kCapacity ? 0 : i + 1;
    }
    return result;
}

} // namespace fernhold
