#include "platform/file_name.h"

namespace fernhold {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isContinuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at `at` (the ranges of the Unicode
// standard: no overlong forms, no surrogates, nothing above U+10FFFF), or 0.
qsizetype sequenceLength(const unsigned char* at, qsizetype left)
{
    const unsigned char lead = at[0];
    if (lead < 0x80) {
        return 1;
    }
    qsizetype length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (left < length || at[1] < low || at[1] > high) {
        return 0;
    }
    for (qsizetype i = 2; i < length; ++i) {
        if (!isContinuation(at[i])) {
            return 0;
        }
    }
    return length;
}

void appendUtf8(char32_t c, QByteArray& out)
{
    if (c < 0x80) {
        out.append(static_cast<char>(c));
    } else if (c < 0x800) {
        out.append(static_cast<char>(0xC0 | (c >> 6)));
        out.append(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.append(static_cast<char>(0xE0 | (c >> 12)));
        out.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.append(static_cast<char>(0xF0 | (c >> 18)));
        out.append(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

} // namespace

QString DecodeFileName(QByteArrayView bytes)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype size = bytes.size();
    QString out;
    out.reserve(size);
    qsizetype i = 0;
    while (i < size) {
        const qsizetype length = sequenceLength(data + i, size - i);
        if (length == 0) {
            out.append(QChar(static_cast<char16_t>(kEscapeBase + data[i])));
            ++i;
            continue;
        }
        char32_t c = length == 1 ? data[i] : data[i] & (0x7F >> length);
        for (qsizetype k = 1; k < length; ++k) {
            c = (c << 6) | (data[i + k] & 0x3F);
        }
        if (c < 0x10000) {
            out.append(QChar(static_cast<char16_t>(c)));
        } else {
            out.append(QChar(QChar::highSurrogate(c)));
            out.append(QChar(QChar::lowSurrogate(c)));
        }
        i += length;
    }
    return out;
}

QByteArray EncodeFileName(QStringView name)
{
    bool surrogates = false;
    for (const QChar c : name) {
        surrogates = surrogates || c.isSurrogate();
    }
    if (!surrogates) {
        return name.toUtf8(); // the same bytes, and much faster for long paths
    }
    QByteArray out;
    out.reserve(name.size());
    const qsizetype size = name.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = name[i].unicode();
        if (c < 0x80) {
            out.append(static_cast<char>(c));
        } else if (QChar::isHighSurrogate(c) && i + 1 < size && name[i + 1].isLowSurrogate()) {
            appendUtf8(QChar::surrogateToUcs4(c, name[i + 1].unicode()), out);
            ++i;
        } else if (IsEscapedByte(c)) {
            out.append(static_cast<char>(c - kEscapeBase));
        } else if (QChar::isSurrogate(c)) {
            appendUtf8(0xFFFD, out);
        } else {
            appendUtf8(c, out);
        }
    }
    return out;
}

bool HasEscapedBytes(QStringView text)
{
    for (const QChar c : text) {
        if (IsEscapedByte(c.unicode())) {
            return true;
        }
    }
    return false;
}

QString DisplayFileName(const QString& text)
{
    if (!HasEscapedBytes(text)) {
        return text;
    }
    static const char kHex[] = "0123456789ABCDEF";
    QString shown;
    shown.reserve(text.size() + 16);
    for (const QChar c : text) {
        if (!IsEscapedByte(c.unicode())) {
            shown.append(c);
            continue;
        }
        const int byte = c.unicode() - kEscapeBase;
        shown.append(QStringLiteral("\\x"));
        shown.append(QLatin1Char(kHex[byte >> 4]));
        shown.append(QLatin1Char(kHex[byte & 0xF]));
    }
    return shown;
}

} // namespace fernhold
