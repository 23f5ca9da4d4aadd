#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringView>
#include <optional>

namespace fernhold {

// What the name of a version at a target tells: the file name, "@", the
// stamp "yyyymmdd~hhmmss" and a suffix that starts with "©" for an encrypted
// archive ("report.docx@20240305~140709.zip").
struct VersionParts
{
    QString fileName;       // everything before the last "@"
    QString dateText;       // the eight characters after it
    QString stamp;          // "yyyymmdd~hhmmss"; empty when no time follows the date
    bool encrypted = false; // "©" right after the stamp

    [[nodiscard]] QString date() const { return dateText; }
};

// How strictly a name is read. The clean-up counts every file whose eight
// characters after the last "@" are a date text (IsVersionDateText) as a
// version, also one without file name or time; files it does not count are
// never deleted. A restore needs the whole stamp and a name that cannot lead
// out of its folder (IsSafeName): a target's listing must never decide where
// a file lands.
enum class VersionRule
{
    Cleanup,
    Restore,
};

// The parts of a version name, or no value when the name is no version under
// `rule`.
[[nodiscard]] std::optional<VersionParts> ParseVersionName(QStringView name, VersionRule rule);

// Eight ASCII digits, the first not "0": the text of its own numeric value.
[[nodiscard]] bool IsVersionDateText(QStringView text);

// True for a name that stays inside the folder it is listed in: not empty,
// not "." or "..", without "/" or NUL.
[[nodiscard]] bool IsSafeName(QStringView name);

// True for a folder relative to a target's root ("home/ann/Docs/", or ""
// for the root) whose every level is a safe name; it must not start with "/".
[[nodiscard]] bool IsSafeRelativeFolder(const QString& folder);

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
