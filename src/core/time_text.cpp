#include "core/time_text.h"

#include <cstdlib>

namespace fernhold {

namespace {

// Writes `value` as `width` digits (left-padded with "0") at `out`.
QChar* digits(QChar* out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = QChar(u'0' + value % 10);
        value /= 10;
    }
    return out + width;
}

QChar* date(QChar* out, const QDate& date, bool yearFirst, char16_t separator)
{
    const int year = date.year();
    const int fields[3] = {yearFirst ? year : date.day(), date.month(),
                           yearFirst ? date.day() : year};
    const int widths[3] = {yearFirst ? 4 : 2, 2, yearFirst ? 2 : 4};
    for (int i = 0; i < 3; ++i) {
        if (i > 0 && separator != 0) {
            *out++ = QChar(separator);
        }
        // A year outside 0..9999 is not a real file time; keep its digits.
        out = digits(out, std::abs(fields[i]), widths[i]);
    }
    return out;
}

QChar* clock(QChar* out, const QTime& time, char16_t separator)
{
    out = digits(out, time.hour(), 2);
    if (separator != 0) {
        *out++ = QChar(separator);
    }
    out = digits(out, time.minute(), 2);
    if (separator != 0) {
        *out++ = QChar(separator);
    }
    return digits(out, time.second(), 2);
}

template <typename Fill> QString build(qsizetype size, Fill fill)
{
    QString text(size, Qt::Uninitialized);
    const QChar* end = fill(text.data());
    text.truncate(end - text.constData());
    return text;
}

} // namespace

QString DottedDateText(const QDate& d)
{
    return build(10, [&](QChar* out) { return date(out, d, true, u'.'); });
}

QString CompactDateText(const QDate& d)
{
    return build(8, [&](QChar* out) { return date(out, d, true, 0); });
}

QString DayFirstDateText(const QDate& d)
{
    return build(10, [&](QChar* out) { return date(out, d, false, u'.'); });
}

QString ClockText(const QTime& t)
{
    return build(8, [&](QChar* out) { return clock(out, t, u':'); });
}

QString StampText(const QDate& d, const QTime& t)
{
    return build(15, [&](QChar* out) {
        out = date(out, d, true, 0);
        *out++ = QChar(u'~');
        return clock(out, t, 0);
    });
}

} // namespace fernhold
