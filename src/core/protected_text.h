#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace fernhold {

// Longest plain text, in UTF-8 bytes, that fits a protected value.
inline constexpr int kMaxProtectedPlainBytes = 1023;
// Longest cipher text that a stored protected value may decode to.
inline constexpr int kMaxProtectedCipherBytes = 1024;

// Builds the cipher key of one key role from the text of its constant.
QString PrepareKey(const QString& constantText);

// RC4 with the key bytes taken from the low 8 bits of the key's UTF-16 units.
// The same call encrypts and decrypts. An empty key leaves the buffer alone.
void Crypt(QByteArray& buffer, const QString& key);

// Base64 of the cipher text of the UTF-8 form of `text`. A text longer than
// kMaxProtectedPlainBytes is refused (no value), never cut.
[[nodiscard]] std::optional<QString> ProtectText(const QString& text, const QString& key);

// Inverse of ProtectText. Damaged Base64 decodes to fewer bytes, and at most
// kMaxProtectedCipherBytes are used, so a bad value gives a damaged text, not
// an error.
QString UnprotectText(const QString& stored, const QString& key);

// The constant-table form of a text: its UTF-8 bytes XOR the table key, Base64.
QByteArray ScrambleConstant(const QString& text);
QString UnscrambleConstant(const QByteArray& scrambled);

} // namespace fernhold
