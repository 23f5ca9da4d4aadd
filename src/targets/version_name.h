#pragma once

#include <QDateTime>
#include <QString>
#include <QStringView>
#include <optional>

namespace fernhold {

// What the name of a version at a target tells: the source file it belongs
// to and the day it was saved ("report.docx@20240305~140709.zip" gives
// "report.docx" and "20240305").
struct VersionName
{
    QString baseName; // everything before the last "@"
    QString dateText; // the eight characters after it
};

// The parts of a version name. No value for a file that is not a version:
// one without "@", or whose eight characters after the last "@" are not a
// date text. Such files are never deleted by a clean-up.
[[nodiscard]] std::optional<VersionName> ParseVersionName(QStringView fileName);

// Eight ASCII digits, the first not "0": the text of its own numeric value.
[[nodiscard]] bool IsVersionDateText(QStringView text);

// The day before which versions count as old: `now` minus `days` × 86 400
// seconds as "yyyyMMdd". A negative day count counts as 0, so a broken
// setting can never put the cut-off into the future.
[[nodiscard]] QString CutOffDateText(const QDateTime& now, qint64 days);

// A version dated on the cut-off day itself is not older.
[[nodiscard]] inline bool IsOlderThanCutOff(const QString& dateText, const QString& cutOff)
{
    return dateText < cutOff;
}

// Age deletions in the first pass leave date texts up to "11111111" alone.
[[nodiscard]] inline bool IsAboveOldestDate(const QString& dateText)
{
    return dateText > QLatin1StringView("11111111");
}

} // namespace fernhold
