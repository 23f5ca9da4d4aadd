#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>
#include <vector>

namespace fernhold {

// The line-oriented "key = value" text of the settings and source-list files.
// Entries keep their order; comments, group headers and lines Fernhold does
// not understand survive a read/write cycle unchanged.
class KeyValueFile
{
public:
    // Bytes that start with the UTF-8 byte-order mark are UTF-8; anything else
    // is read as ISO-8859-1.
    static KeyValueFile parse(const QByteArray& bytes);

    // Byte-order mark, an empty first line, then one line per entry, CR LF ended.
    [[nodiscard]] QByteArray serialize() const;

    // The value of the first entry whose key matches regardless of letter case.
    [[nodiscard]] std::optional<QString> value(const QString& key) const;

    // Replaces the value of an existing key in place, or appends a new entry.
    void setValue(const QString& key, const QString& value);

    // Keys of all entries, in file order.
    [[nodiscard]] std::vector<QString> keys() const;

private:
    struct Line
    {
        QString key; // empty for a line kept as it is (comment, group header, other)
        QString value;
        QString raw;
    };

    void indexLast();

    std::vector<Line> m_lines;
    QHash<QString, std::size_t> m_byKey; // lower-case key -> first line with it
};

} // namespace fernhold
