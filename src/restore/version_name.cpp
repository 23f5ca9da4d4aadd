#include "restore/version_name.h"

#include <QStringList>

namespace fernhold {

namespace {

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

std::optional<VersionInfo> ParseVersionName(const QString& versionName)
{
    const qsizetype at = versionName.lastIndexOf(u'@');
    if (at < 0 || versionName.size() < at + 16 || versionName.at(at + 9) != u'~') {
        return std::nullopt;
    }
    const QStringView name(versionName);
    if (!allDigits(name.mid(at + 1, 8)) || !allDigits(name.mid(at + 10, 6))) {
        return std::nullopt;
    }
    VersionInfo info;
    info.fileName = versionName.left(at);
    info.stamp = versionName.mid(at + 1, 15);
    info.encrypted = versionName.size() > at + 16 && versionName.at(at + 16) == kCopyright;
    if (!IsSafeName(versionName) || !IsSafeName(info.fileName)) {
        return std::nullopt;
    }
    return info;
}

bool IsSafeName(const QString& name)
{
    return !name.isEmpty() && name != QStringLiteral(".") && name != QStringLiteral("..") &&
           !name.contains(u'/') && !name.contains(QChar(0));
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

bool StampInRange(const QString& stamp, const QDate& from, const QDate& to)
{
    return stamp >= StampDate(from) + QStringLiteral("~000000") &&
           stamp < StampDate(to) + QStringLiteral("~999999");
}

QString StampDate(const QDate& date)
{
    return date.toString(QStringLiteral("yyyyMMdd"));
}

QString BrowserDateText(const QString& stamp)
{
    return stamp.mid(0, 4) + u'/' + stamp.mid(4, 2) + u'/' + stamp.mid(6, 2) +
           QStringLiteral("   ") + stamp.mid(9, 2) + u':' + stamp.mid(11, 2) + u':' +
           stamp.mid(13, 2);
}

QString RowDateText(const QString& stamp)
{
    return stamp.mid(0, 4) + u'/' + stamp.mid(4, 2) + u'/' + stamp.mid(6, 2) + u' ' +
           stamp.mid(9, 2) + u':' + stamp.mid(11, 2);
}

} // namespace fernhold
