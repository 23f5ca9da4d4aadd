#include "core/schedule.h"

#include "core/settings_fields.h"

#include <QStringList>

namespace fernhold {

namespace {

// True when one of the seven entries is a window that contains `now`.
bool insideSomeWindow(const QString& schedule, const QDateTime& now)
{
    const QTime time = now.time();
    const qint64 t = time.hour() * 3600LL + time.minute() * 60LL + time.second();
    const int weekday = now.date().dayOfWeek() % 7; // 0 Sunday ... 6 Saturday
    const QStringList entries = schedule.split(u';');
    for (int i = 0; i < 7 && i < entries.size(); ++i) {
        if (entries[i].isEmpty()) {
            continue;
        }
        const QStringList fields = entries[i].split(u',');
        const auto field = [&](int n) { return n <= fields.size() ? fields[n - 1] : QString(); };
        // Out-of-range hours and minutes roll over as a clock would.
        const qint64 start = LenientInt(field(1)) * 3600LL + LenientInt(field(2)) * 60LL;
        const qint64 end = LenientInt(field(3)) * 3600LL + LenientInt(field(4)) * 60LL;
        if (start < end && start <= t && t <= end && field(weekday + 5) == QStringLiteral("1")) {
            return true;
        }
    }
    return false;
}

} // namespace

int ScheduleAllows(int mode, const QString& schedule, const QDateTime& now, bool backupNowRequested)
{
    if (backupNowRequested) {
        return 1;
    }
    if (mode == 1) {
        return insideSomeWindow(schedule, now) ? 1 : 0;
    }
    if (mode == 2) {
        return insideSomeWindow(schedule, now) ? 0 : 1;
    }
    return 1;
}

} // namespace fernhold
