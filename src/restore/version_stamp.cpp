#include "restore/version_stamp.h"

namespace fernhold {

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
