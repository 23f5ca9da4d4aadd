#include "core/key_value_file.h"

namespace fernhold {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QString trimBlanksRight(QStringView text)
{
    qsizetype end = text.size();
    while (end > 0 && isBlank(text[end - 1])) {
        --end;
    }
    return text.left(end).toString();
}

QStringView skipBlanksLeft(QStringView text)
{
    qsizetype start = 0;
    while (start < text.size() && isBlank(text[start])) {
        ++start;
    }
    return text.mid(start);
}

} // namespace

KeyValueFile KeyValueFile::parse(const QByteArray& bytes)
{
    static const QByteArray bom("\xEF\xBB\xBF");
    const QString text = bytes.startsWith(bom) ? QString::fromUtf8(bytes.mid(bom.size()))
                                               : QString::fromLatin1(bytes);
    KeyValueFile file;
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype end = pos;
        while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') {
            ++end;
        }
        const QStringView line = skipBlanksLeft(QStringView(text).mid(pos, end - pos));
        pos = end;
        if (pos < text.size() && text[pos] == u'\r') {
            ++pos;
        }
        if (pos < text.size() && text[pos] == u'\n') {
            ++pos;
        }
        if (line.isEmpty()) {
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (line.startsWith(u';') || line.startsWith(u'[') || equals < 0) {
            file.m_lines.push_back({QString(), QString(), line.toString()});
            continue;
        }
        QString key = trimBlanksRight(line.left(equals));
        if (key.isEmpty()) {
            file.m_lines.push_back({QString(), QString(), line.toString()});
            continue;
        }
        file.m_lines.push_back(
            {std::move(key), trimBlanksRight(skipBlanksLeft(line.mid(equals + 1))), QString()});
        file.indexLast();
    }
    return file;
}

void KeyValueFile::indexLast()
{
    const QString lower = m_lines.back().key.toLower();
    if (!m_byKey.contains(lower)) {
        m_byKey.insert(lower, m_lines.size() - 1);
    }
}

QByteArray KeyValueFile::serialize() const
{
    QString text;
    text += QStringLiteral("\r\n");
    for (const Line& line : m_lines) {
        if (line.key.isEmpty()) {
            text += line.raw;
        } else {
            text += line.key + QStringLiteral(" = ") + line.value;
        }
        text += QStringLiteral("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

std::optional<QString> KeyValueFile::value(const QString& key) const
{
    const auto it = m_byKey.constFind(key.toLower());
    if (it == m_byKey.constEnd()) {
        return std::nullopt;
    }
    return m_lines[it.value()].value;
}

void KeyValueFile::setValue(const QString& key, const QString& rawValue)
{
    // A line break inside a value would let it write entries of its own.
    QString value = rawValue;
    value.replace(u'\r', u' ').replace(u'\n', u' ');
    const auto it = m_byKey.constFind(key.toLower());
    if (it != m_byKey.constEnd()) {
        m_lines[it.value()].value = std::move(value);
        return;
    }
    m_lines.push_back({key, std::move(value), QString()});
    indexLast();
}

std::vector<QString> KeyValueFile::keys() const
{
    std::vector<QString> result;
    for (const Line& line : m_lines) {
        if (!line.key.isEmpty()) {
            result.push_back(line.key);
        }
    }
    return result;
}

} // namespace fernhold
