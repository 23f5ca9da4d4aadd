#include "engine/exclusion_lists.h"

namespace fernhold {

namespace {

void collapse(QString& text, QStringView from, QStringView to)
{
    while (text.contains(from)) {
        text.replace(from.toString(), to.toString());
    }
}

void stripOneSeparator(QString& text)
{
    if (text.startsWith(u',')) {
        text.remove(0, 1);
    }
    if (text.endsWith(u',')) {
        text.chop(1);
    }
}

} // namespace

QString TidyTypeList(const QString& text)
{
    QString result = text.toLower();
    for (QChar& c : result) {
        if (c == u' ' || c == u';' || c == u'.' || c == u'/') {
            c = u',';
        }
    }
    collapse(result, u",,", u",");
    stripOneSeparator(result);
    return result;
}

QString TidyPathList(const QString& text)
{
    QString result = text.trimmed();
    // Removing a blank can bring two "," together again ("a, ,b"), so repeat
    // until nothing changes.
    QString before;
    while (before != result) {
        before = result;
        collapse(result, u",,", u",");
        collapse(result, u", ", u",");
        collapse(result, u" ,", u",");
    }
    stripOneSeparator(result);
    return result;
}

QStringList BuildExcludeList(const QString& excludeFileStrings)
{
    return excludeFileStrings.toLower().split(u',', Qt::KeepEmptyParts);
}

} // namespace fernhold
