#include "targets/ftp_listing.h"

#include <QRegularExpression>

namespace fernhold {

namespace {

constexpr qsizetype kMaxSizeDigits = 18; // stays below 2^63

std::optional<qint64> parseSize(QStringView digits)
{
    if (digits.isEmpty() || digits.size() > kMaxSizeDigits) {
        return std::nullopt;
    }
    qint64 value = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

std::optional<QDateTime> utcTime(int year, int month, int day, int hour, int minute, int second)
{
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid()) {
        return std::nullopt;
    }
    return QDateTime(date, time, Qt::UTC);
}

// ---- MLSD ----------------------------------------------------------------

std::optional<QDateTime> parseMlsdTime(QStringView value)
{
    // YYYYMMDDHHMMSS with optional fractions.
    if (value.size() < 14) {
        return std::nullopt;
    }
    bool ok = true;
    const auto field = [&](qsizetype from, qsizetype length) {
        bool fieldOk = false;
        const int v = value.mid(from, length).toInt(&fieldOk);
        ok = ok && fieldOk;
        return v;
    };
    const int year = field(0, 4);
    const int month = field(4, 2);
    const int day = field(6, 2);
    const int hour = field(8, 2);
    const int minute = field(10, 2);
    const int second = field(12, 2);
    if (!ok) {
        return std::nullopt;
    }
    return utcTime(year, month, day, hour, minute, second);
}

std::optional<FtpListedEntry> parseMlsdLine(const QString& line)
{
    const qsizetype space = line.indexOf(u' ');
    if (space < 0) {
        return std::nullopt;
    }
    FtpListedEntry entry;
    entry.name = line.mid(space + 1).toLatin1();
    bool sawType = false;
    const QStringView facts = QStringView(line).left(space);
    for (const QStringView fact : facts.split(u';', Qt::SkipEmptyParts)) {
        const qsizetype eq = fact.indexOf(u'=');
        if (eq <= 0) {
            continue;
        }
        const QString key = fact.left(eq).toString().toLower();
        const QStringView value = fact.mid(eq + 1);
        if (key == u"type") {
            sawType = true;
            const QString type = value.toString().toLower();
            if (type == u"file") {
                entry.attributes = kFtpFile;
            } else if (type == u"dir") {
                entry.attributes = kFtpFolder;
            } else if (type == u"cdir" || type == u"pdir") {
                return std::nullopt; // the folder itself and its parent
            } else if (type.startsWith(u"os.unix=slink") || type.startsWith(u"os.unix=symlink")) {
                entry.attributes = kFtpLink | kFtpFile;
            } else {
                entry.attributes = 0;
            }
        } else if (key == u"size") {
            const std::optional<qint64> size = parseSize(value);
            if (!size) {
                return std::nullopt;
            }
            entry.size = *size;
        } else if (key == u"modify") {
            entry.modified = parseMlsdTime(value);
        }
    }
    if (!sawType) {
        return std::nullopt;
    }
    return entry;
}

// ---- LIST, Unix ----------------------------------------------------------

int monthNumber(QStringView token)
{
    static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
    if (token.size() != 3) {
        return 0;
    }
    for (int i = 0; i < 12; ++i) {
        if (token.compare(QLatin1StringView(kMonths[i]), Qt::CaseInsensitive) == 0) {
            return i + 1;
        }
    }
    return 0;
}

struct Token
{
    qsizetype start;
    qsizetype end;
};

QList<Token> tokens(const QString& line, int atMost)
{
    QList<Token> result;
    qsizetype i = 0;
    while (i < line.size() && result.size() < atMost) {
        while (i < line.size() && (line[i] == u' ' || line[i] == u'\t')) {
            ++i;
        }
        if (i >= line.size()) {
            break;
        }
        const qsizetype start = i;
        while (i < line.size() && line[i] != u' ' && line[i] != u'\t') {
            ++i;
        }
        result.append({start, i});
    }
    return result;
}

bool isPermissions(QStringView token)
{
    static const QString kTypes = QStringLiteral("-dlbcpsD");
    static const QString kModes = QStringLiteral("-rwxsStTlL");
    if (token.size() < 10 || !kTypes.contains(token[0])) {
        return false;
    }
    for (qsizetype i = 1; i < 10; ++i) {
        if (!kModes.contains(token[i])) {
            return false;
        }
    }
    return true;
}

std::optional<FtpListedEntry> parseUnixLine(const QString& line, const QDateTime& now)
{
    const QList<Token> parts = tokens(line, 12);
    const auto text = [&](const Token& t) {
        return QStringView(line).mid(t.start, t.end - t.start);
    };
    if (parts.size() < 5 || !isPermissions(text(parts[0]))) {
        return std::nullopt;
    }
    // Owner and group columns vary (names, numbers, missing), so anchor on
    // the date: size, month, day, then a time or a year.
    for (qsizetype m = 2; m + 2 < parts.size(); ++m) {
        const int month = monthNumber(text(parts[m]));
        if (month == 0) {
            continue;
        }
        bool dayOk = false;
        const int day = text(parts[m + 1]).toInt(&dayOk);
        const std::optional<qint64> size = parseSize(text(parts[m - 1]));
        const QStringView yearOrTime = text(parts[m + 2]);
        if (!dayOk || day < 1 || day > 31 || !size) {
            continue;
        }
        std::optional<QDateTime> modified;
        const qsizetype colon = yearOrTime.indexOf(u':');
        if (colon > 0) {
            bool hOk = false;
            bool mOk = false;
            const int hour = yearOrTime.left(colon).toInt(&hOk);
            const int minute = yearOrTime.mid(colon + 1).toInt(&mOk);
            if (!hOk || !mOk) {
                continue;
            }
            // Recent files show the time; the year is this one unless that
            // puts the date in the future.
            const QDate today = now.toUTC().date();
            modified = utcTime(today.year(), month, day, hour, minute, 0);
            if (modified && *modified > now.toUTC().addDays(1)) {
                modified = utcTime(today.year() - 1, month, day, hour, minute, 0);
            }
        } else {
            bool yOk = false;
            const int year = yearOrTime.toInt(&yOk);
            if (!yOk || yearOrTime.size() != 4) {
                continue;
            }
            modified = utcTime(year, month, day, 0, 0, 0);
        }
        // The name follows the date after one blank and keeps any blanks of its own.
        const qsizetype nameStart = parts[m + 2].end + 1;
        if (nameStart >= line.size()) {
            return std::nullopt;
        }
        FtpListedEntry entry;
        QString name = line.mid(nameStart);
        switch (line[0].unicode()) {
        case u'd':
            entry.attributes = kFtpFolder;
            break;
        case u'-':
            entry.attributes = kFtpFile;
            entry.size = *size;
            break;
        case u'l': {
            entry.attributes = kFtpLink | kFtpFile;
            const qsizetype arrow = name.indexOf(QLatin1StringView(" -> "));
            if (arrow >= 0) {
                name.truncate(arrow);
            }
            break;
        }
        default:
            entry.attributes = 0;
            break;
        }
        entry.name = name.toLatin1();
        entry.modified = modified;
        return entry;
    }
    return std::nullopt;
}

// ---- LIST, DOS -----------------------------------------------------------

std::optional<FtpListedEntry> parseDosLine(const QString& line)
{
    static const QRegularExpression kDos(QStringLiteral(
        R"(^(\d{2})-(\d{2})-(\d{2}|\d{4})\s+(\d{1,2}):(\d{2})\s*([AaPp][Mm])?\s+(<DIR>|\d+)\s+(.+)$)"));
    const QRegularExpressionMatch match = kDos.match(line);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    int year = match.captured(3).toInt();
    if (match.captured(3).size() == 2) {
        year += year < 70 ? 2000 : 1900;
    }
    int hour = match.captured(4).toInt();
    const QString half = match.captured(6).toUpper();
    if (!half.isEmpty()) {
        if (hour < 1 || hour > 12) {
            return std::nullopt;
        }
        hour = (hour % 12) + (half == u"PM" ? 12 : 0);
    }
    FtpListedEntry entry;
    entry.modified = utcTime(year, match.captured(1).toInt(), match.captured(2).toInt(), hour,
                             match.captured(5).toInt(), 0);
    if (match.captured(7) == u"<DIR>") {
        entry.attributes = kFtpFolder;
    } else {
        const std::optional<qint64> size = parseSize(match.capturedView(7));
        if (!size) {
            return std::nullopt;
        }
        entry.attributes = kFtpFile;
        entry.size = *size;
    }
    entry.name = match.captured(8).toLatin1();
    return entry;
}

} // namespace

bool IsSafeListedName(QByteArrayView name)
{
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') &&
           !name.contains('\0');
}

QList<FtpListedEntry> ParseFtpListing(QByteArrayView data, FtpListingFormat format,
                                      const QDateTime& now)
{
    QList<FtpListedEntry> entries;
    qsizetype from = 0;
    while (from < data.size()) {
        qsizetype to = data.indexOf('\n', from);
        if (to < 0) {
            to = data.size();
        }
        QByteArrayView raw = data.sliced(from, to - from);
        from = to + 1;
        if (raw.endsWith('\r')) {
            raw.chop(1);
        }
        if (raw.isEmpty()) {
            continue;
        }
        // Latin-1 maps every byte to one character and back, so names keep
        // their exact bytes through the text parsing.
        const QString line = QString::fromLatin1(raw);
        std::optional<FtpListedEntry> entry;
        if (format == FtpListingFormat::Mlsd) {
            entry = parseMlsdLine(line);
        } else {
            entry = parseUnixLine(line, now);
            if (!entry) {
                entry = parseDosLine(line);
            }
        }
        if (entry && IsSafeListedName(entry->name)) {
            entries.append(std::move(*entry));
        }
    }
    return entries;
}

} // namespace fernhold
