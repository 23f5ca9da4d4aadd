#include "targets/ftp_names.h"

#include "core/job_settings.h"
#include "platform/file_name.h"

#include <array>

namespace fernhold {

namespace {

// Code points of the bytes 0x80 to 0x9F; the rest of the page is Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::optional<char> windows1252Byte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        return static_cast<char>(c);
    }
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == c) {
            return static_cast<char>(0x80 + i);
        }
    }
    return std::nullopt;
}

bool breaksCommandLine(const QByteArray& bytes)
{
    return bytes.contains('\r') || bytes.contains('\n') || bytes.contains('\0');
}

} // namespace

FtpNameMode FtpModeOf(const JobSettings& settings)
{
    const int selected = settings.SelectedTarget;
    if (selected < 1 || selected > kTargetCount) {
        return FtpNameMode::Plain;
    }
    return settings.target(selected).FTPUnicode >= 1 ? FtpNameMode::Utf8 : FtpNameMode::Plain;
}

QString DecodeWindows1252(QByteArrayView bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        text.append(QChar(b >= 0x80 && b < 0xA0 ? kHighControls[b - 0x80] : char16_t(b)));
    }
    return text;
}

std::optional<QByteArray> EncodeWindows1252(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar c : text) {
        const std::optional<char> byte = windows1252Byte(c.unicode());
        if (!byte) {
            return std::nullopt;
        }
        bytes.append(*byte);
    }
    return bytes;
}

std::optional<QByteArray> FtpWireName(const QString& text, FtpNameMode mode)
{
    std::optional<QByteArray> bytes;
    if (mode == FtpNameMode::Utf8) {
        // A name that is not UTF-8 goes as the bytes it has on disk; other
        // lone surrogates have no byte form at all.
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
                ++i;
            } else if (c.isSurrogate() && !IsEscapedByte(c.unicode())) {
                return std::nullopt;
            }
        }
        bytes = EncodeFileName(text);
    } else {
        bytes = EncodeWindows1252(text);
    }
    if (!bytes || breaksCommandLine(*bytes)) {
        return std::nullopt;
    }
    return bytes;
}

bool IsWellFormedUtf8(QByteArrayView bytes)
{
    const qsizetype size = bytes.size();
    const auto at = [&](qsizetype i) -> unsigned char {
        return i < size ? static_cast<unsigned char>(bytes[i]) : 0;
    };
    qsizetype i = 0;
    while (at(i) != 0) {
        const unsigned char lead = at(i);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        // n: position of the first 0 bit, counting from 1 at the top bit.
        int n = 1;
        while (n <= 8 && (lead & (0x80 >> (n - 1))) != 0) {
            ++n;
        }
        if (n > 8 || n <= 2) {
            return false;
        }
        for (int k = 1; k <= n - 2; ++k) {
            if ((at(i + k) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += n - 1;
    }
    return true;
}

QString FtpListedName(QByteArrayView bytes, FtpNameMode mode)
{
    if (mode == FtpNameMode::Utf8) {
        // Bytes that are not UTF-8 are kept as they are, so the name leads
        // back to the same file (FtpWireName gives them again).
        return DecodeFileName(bytes);
    }
    return DecodeWindows1252(bytes);
}

} // namespace fernhold
