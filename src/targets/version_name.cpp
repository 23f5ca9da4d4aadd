#include "targets/version_name.h"

#include <QStringList>
#include <algorithm>

namespace fernhold {

namespace {

constexpr qsizetype kDateLength = 8;
constexpr qsizetype kStampLength = 15; // "yyyymmdd~hhmmss"
constexpr qint64 kSecondsPerDay = 86400;
constexpr QChar kCopyright(0x00A9);

bool allDigits(QStringView text)
{
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') {
            return false;
        }
    }
    return true;
}

} // namespace

bool IsVersionDateText(QStringView text)
{
    return text.size() == kDateLength && text.front() != u'0' && allDigits(text);
}

std::optional<VersionParts> ParseVersionName(QStringView name, VersionRule rule)
{
    const qsizetype at = name.lastIndexOf(u'@');
    if (at < 0) {
        return std::nullopt;
    }
    const QStringView date = name.mid(at + 1, kDateLength);
    if (date.size() != kDateLength || !allDigits(date)) {
        return std::nullopt;
    }
    VersionParts version;
    version.fileName = name.left(at).toString();
    version.dateText = date.toString();
    const QStringView time = name.mid(at + 1 + kDateLength, 7);
    if (time.size() == 7 && time.front() == u'~' && allDigits(time.mid(1))) {
        version.stamp = name.mid(at + 1, kStampLength).toString();
        const qsizetype after = at + 1 + kStampLength;
        version.encrypted = name.size() > after && name.at(after) == kCopyright;
    }

    switch (rule) {
    case VersionRule::Cleanup:
        if (!IsVersionDateText(date)) {
            return std::nullopt;
        }
        break;
    case VersionRule::Restore:
        if (version.stamp.isEmpty() || !IsSafeName(name) || !IsSafeName(version.fileName)) {
            return std::nullopt;
        }
        break;
    }
    return version;
}

bool IsSafeName(QStringView name)
{
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
           !name.contains(QChar(0));
}

bool IsSafeRelativeFolder(const QString& folder)
{
    if (folder.isEmpty()) {
        return true;
    }
    if (folder.startsWith(u'/')) {
        return false;
    }
    QStringList levels = folder.split(u'/');
    if (levels.last().isEmpty()) {
        levels.removeLast(); // the trailing separator
    }
    for (const QString& level : levels) {
        if (!IsSafeName(level)) {
            return false;
        }
    }
    return true;
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
