#include "core/protected_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace fernhold {

namespace {

// Fixed pieces of the settings keys. Changing any of them makes existing
// settings files unreadable for their protected values.
constexpr const char* kKeyPieceOne = "yaZ2xcStIMsHmBYKINjelpIqhHeFmQ";
constexpr const char* kKeyPieceTwo = "Uzo3i2zmGRHZcVvPPQySWgO7yvJPTS";
constexpr const char* kKeyPieceThree = "xqChvKb2ajeGFiywSeAy5pe1i5Z7uY";

constexpr const char* kConstantTableKey = "Vbz4Qm3cbrDLVV3UcAX2H44Bs1XsKf7ca0XWrKKy";

QString reversed(const char* piece)
{
    QString text = QString::fromLatin1(piece);
    std::reverse(text.begin(), text.end());
    return text;
}

QByteArray xorWithTableKey(QByteArray bytes)
{
    static const QByteArray key(kConstantTableKey);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(bytes[i] ^ key[i % key.size()]);
    }
    return bytes;
}

} // namespace

QString PrepareKey(const QString& constantText)
{
    return reversed(kKeyPieceOne) + constantText + reversed(kKeyPieceTwo) + constantText +
           reversed(kKeyPieceThree);
}

void Crypt(QByteArray& buffer, const QString& key)
{
    const qsizetype n = key.size();
    if (n < 1) {
        return;
    }
    std::array<std::uint8_t, 256> s{};
    for (int k = 0; k < 256; ++k) {
        s[k] = static_cast<std::uint8_t>(k);
    }
    std::uint8_t j = 0;
    for (int k = 0; k < 256; ++k) {
        const auto keyByte = static_cast<std::uint8_t>(key.at(k % n).unicode() & 0xFF);
        j = static_cast<std::uint8_t>(j + s[k] + keyByte);
        std::swap(s[k], s[j]);
    }
    std::uint8_t i = 0;
    j = 0;
    for (char& b : buffer) {
        i = static_cast<std::uint8_t>(i + 1);
        j = static_cast<std::uint8_t>(j + s[i]);
        std::swap(s[i], s[j]);
        b = static_cast<char>(static_cast<std::uint8_t>(b) ^
                              s[static_cast<std::uint8_t>(s[i] + s[j])]);
    }
}

std::optional<QString> ProtectText(const QString& text, const QString& key)
{
    QByteArray buffer = text.toUtf8();
    if (buffer.size() > kMaxProtectedPlainBytes) {
        return std::nullopt;
    }
    Crypt(buffer, key);
    return QString::fromLatin1(buffer.toBase64());
}

QString UnprotectText(const QString& stored, const QString& key)
{
    QByteArray buffer = QByteArray::fromBase64(stored.toLatin1());
    buffer.truncate(kMaxProtectedCipherBytes);
    Crypt(buffer, key);
    return QString::fromUtf8(buffer);
}

QByteArray ScrambleConstant(const QString& text)
{
    return xorWithTableKey(text.toUtf8()).toBase64();
}

QString UnscrambleConstant(const QByteArray& scrambled)
{
    return QString::fromUtf8(xorWithTableKey(QByteArray::fromBase64(scrambled)));
}

} // namespace fernhold
