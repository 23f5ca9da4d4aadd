#pragma once

#include <QDate>
#include <QString>
#include <optional>

namespace fernhold {

// What the name of a version at a target tells: the file name, "@", the
// stamp "yyyymmdd~hhmmss" and a suffix that starts with "©" for an
// encrypted archive.
struct VersionInfo
{
    QString fileName;       // the text before the last "@"
    QString stamp;          // "yyyymmdd~hhmmss"
    bool encrypted = false; // "©" right after the stamp

    [[nodiscard]] QString date() const { return stamp.left(8); }
};

// Reads a version name. No value when it is none: no "@", no "~" nine
// characters after the last one, a date or time that is not all digits, an
// empty file name, or a name that could lead out of its folder (see
// IsSafeName) - a target's listing must never decide where a file lands.
[[nodiscard]] std::optional<VersionInfo> ParseVersionName(const QString& versionName);

// True for a name that stays inside the folder it is listed in: not empty,
// not "." or "..", without "/" or NUL.
[[nodiscard]] bool IsSafeName(const QString& name);

// True for a folder relative to a target's root ("home/ann/Docs/", or ""
// for the root) whose every level is a safe name; it must not start with "/".
[[nodiscard]] bool IsSafeRelativeFolder(const QString& folder);

// True when the stamp lies in the days `from` to `to`, both counted in full.
[[nodiscard]] bool StampInRange(const QString& stamp, const QDate& from, const QDate& to);

// "yyyymmdd" of a date, as stamps write it.
[[nodiscard]] QString StampDate(const QDate& date);

// The browser's date column: "2023/01/15   09:30:00".
[[nodiscard]] QString BrowserDateText(const QString& stamp);

// The folder restore's date column: "2023/01/15 09:30".
[[nodiscard]] QString RowDateText(const QString& stamp);

} // namespace fernhold
