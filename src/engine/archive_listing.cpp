#include "engine/archive_listing.h"

#include <QRegularExpression>

namespace fernhold {

namespace {

// The columns of the table, taken from its line of dashes:
// "------------------- ----- ------------ ------------  ------------------------"
// date and time, attributes, size, packed size, name.
struct Columns
{
    qsizetype attrStart = 0;
    qsizetype attrEnd = 0;
};

bool isRuleLine(const QString& line, Columns& columns)
{
    static const QRegularExpression rule(QStringLiteral("^-+( +-+)+$"));
    if (!line.startsWith(QStringLiteral("-----")) || !rule.match(line).hasMatch()) {
        return false;
    }
    const qsizetype attrStart = line.indexOf(u' ') + 1;
    const qsizetype attrEnd = line.indexOf(u' ', attrStart);
    if (attrStart <= 0 || attrEnd < 0) {
        return false;
    }
    columns.attrStart = attrStart;
    columns.attrEnd = attrEnd;
    return true;
}

// After the attributes: the size, the packed size, two blanks and the name.
// Numbers wider than their column push the name to the right, so the split
// goes by the blanks, not by fixed positions; a name may itself begin with
// blanks or digits.
bool splitSizesAndName(const QString& line, const Columns& columns, qint64& size, QString& name)
{
    static const QRegularExpression tail(QStringLiteral("^ *(\\d+) +\\d+  (.*)$"));
    if (line.size() <= columns.attrEnd) {
        return false;
    }
    // A name that is not UTF-8 holds lone surrogates (file_name.h), on which
    // a match fails: the match runs on a copy with U+FFFD in their place,
    // and the name is taken from the line itself.
    QString matchable = line.mid(columns.attrEnd);
    for (QChar& c : matchable) {
        if (c.isSurrogate()) {
            c = QChar(QChar::ReplacementCharacter);
        }
    }
    const auto match = tail.match(matchable);
    if (!match.hasMatch()) {
        return false;
    }
    bool ok = false;
    size = match.captured(1).toLongLong(&ok);
    name = line.mid(columns.attrEnd + match.capturedStart(2));
    return ok;
}

void readSummary(const QString& text, ArchiveListing& listing)
{
    static const QRegularExpression summary(QStringLiteral("^(\\d+) files(?:, (\\d+) folders)?$"));
    const auto match = summary.match(text);
    if (!match.hasMatch()) {
        return;
    }
    listing.summaryFiles = match.captured(1).toInt();
    listing.summaryFolders = match.hasCaptured(2) ? match.captured(2).toInt() : 0;
}

} // namespace

ArchiveListing parseArchiveListing(const QStringList& lines)
{
    ArchiveListing listing;
    Columns columns;
    int rules = 0;
    for (const QString& line : lines) {
        if (rules < 2 && isRuleLine(line, columns)) {
            ++rules;
            continue;
        }
        qint64 size = 0;
        QString name;
        if (rules == 1) {
            if (splitSizesAndName(line, columns, size, name)) {
                const bool folder = line.mid(columns.attrStart, 1) == QStringLiteral("D");
                listing.entries.append(ArchiveEntry{name, size, folder});
            }
        } else if (rules == 2) {
            // The summary line has the totals where an entry has its sizes.
            if (splitSizesAndName(line, columns, size, name)) {
                readSummary(name, listing);
            }
            break;
        }
    }
    return listing;
}

} // namespace fernhold
