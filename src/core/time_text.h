#pragma once

#include <QDate>
#include <QString>
#include <QTime>

namespace fernhold {

// Fixed-form date and time texts. QDateTime::toString goes through the
// locale machinery and costs microseconds per call; a backup pass writes
// several of these per file.

// "2024.03.05" (the log's date), "20240305" (version dates).
[[nodiscard]] QString DottedDateText(const QDate& date);
[[nodiscard]] QString CompactDateText(const QDate& date);
// "05.03.2024" (the monitor window's date).
[[nodiscard]] QString DayFirstDateText(const QDate& date);
// "14:07:09".
[[nodiscard]] QString ClockText(const QTime& time);
// "20240305~140709": the stamp of a version.
[[nodiscard]] QString StampText(const QDate& date, const QTime& time);

} // namespace fernhold
