#include "targets/version_name.h"

#include <algorithm>

namespace fernhold {

namespace {

constexpr qsizetype kDateLength = 8;
constexpr qint64 kSecondsPerDay = 86400;

} // namespace

bool IsVersionDateText(QStringView text)
{
    if (text.size() != kDateLength || text.front() == u'0') {
        return false;
    }
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') {
            return false;
        }
    }
    return true;
}

std::optional<VersionName> ParseVersionName(QStringView fileName)
{
    const qsizetype mark = fileName.lastIndexOf(u'@');
    if (mark < 0) {
        return std::nullopt;
    }
    const QStringView date = fileName.mid(mark + 1, kDateLength);
    if (!IsVersionDateText(date)) {
        return std::nullopt;
    }
    return VersionName{fileName.left(mark).toString(), date.toString()};
}

QString CutOffDateText(const QDateTime& now, qint64 days)
{
    // Far beyond any calendar; keeps the product below in range.
    days = std::clamp<qint64>(days, 0, 1'000'000'000);
    // Day counts beyond any calendar give an invalid date and the empty
    // text, which no date text is older than.
    return now.addSecs(-days * kSecondsPerDay).toString(QStringLiteral("yyyyMMdd"));
}

} // namespace fernhold
