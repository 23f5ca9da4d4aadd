#pragma once

#include <QDate>
#include <QString>

namespace fernhold {

// Stamps are the "yyyymmdd~hhmmss" of a version name (targets/version_name.h).

// True when the stamp lies in the days `from` to `to`, both counted in full.
[[nodiscard]] bool StampInRange(const QString& stamp, const QDate& from, const QDate& to);

// "yyyymmdd" of a date, as stamps write it.
[[nodiscard]] QString StampDate(const QDate& date);

// The browser's date column: "2023/01/15   09:30:00".
[[nodiscard]] QString BrowserDateText(const QString& stamp);

// The folder restore's date column: "2023/01/15 09:30".
[[nodiscard]] QString RowDateText(const QString& stamp);

} // namespace fernhold
