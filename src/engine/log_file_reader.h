#pragma once

#include <QString>
#include <QStringList>

namespace fernhold {

// Limits for reading a log file that may be damaged, huge or not text at all.
struct LogReadLimits
{
    int maxLines = 0;
    qsizetype maxLineChars = 0; // the rest of a longer line is skipped
    qint64 maxBytes = 0;        // reading stops after this much of the file
};

// The lines of the log file at `path` in file order (newest first), lines of
// the older layout converted. A file that is missing, unreadable or not a
// regular file gives no lines.
[[nodiscard]] QStringList ReadLogFileLines(const QString& path, const LogReadLimits& limits);

// The same for the log's journal, whose lines stand oldest first: its newest
// `maxLines` lines within its last `maxBytes`, oldest first.
[[nodiscard]] QStringList ReadLogJournalLines(const QString& path, const LogReadLimits& limits);

// A line of the older layout ("yyyymmdd hhmmss size unit text", fixed columns)
// in today's layout. Works on lines of any length: missing columns give "".
[[nodiscard]] QString ConvertOlderLogLine(const QString& line);

} // namespace fernhold
