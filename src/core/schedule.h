#pragma once

#include <QDateTime>
#include <QString>

namespace fernhold {

// Whether a due pass may start at `now`: mode 1 only inside a matching time
// window of `schedule`, mode 2 only outside every matching one, any other mode
// (and every back-up-now request) always. A window lies within one day and
// matches on the weekdays its flags name; opening and closing minute count
// as inside.
[[nodiscard]] int ScheduleAllows(int mode, const QString& schedule, const QDateTime& now,
                                 bool backupNowRequested);

} // namespace fernhold
