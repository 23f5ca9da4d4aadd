#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace fernhold {

// File names are bytes on Linux, and old disks and archives hold names that
// are not UTF-8 (Latin-1 "caf\xE9.txt"). Fernhold carries every name of a
// source file as a QString in this form: each valid UTF-8 sequence is decoded
// as usual, each byte of an invalid one becomes the lone surrogate
// U+DC80..U+DCFF ("escaped byte"). The two calls below are exact inverses, so
// such a name reaches every file-system call, archive and FTP server as the
// bytes it has on disk. Whatever goes to the file system with a name that may
// come from a source folder is encoded here, never with QFile::encodeName.

// The QString form of a name or path. For valid UTF-8 it is what
// QString::fromUtf8 gives, except that a leading byte-order mark is kept.
[[nodiscard]] QString DecodeFileName(QByteArrayView bytes);

// The bytes of a name or path: escaped bytes as themselves, everything else
// in UTF-8; a lone surrogate outside the escape range, which no decoded name
// holds, becomes U+FFFD as with QFile::encodeName.
[[nodiscard]] QByteArray EncodeFileName(QStringView name);

// True when `text` holds an escaped byte.
[[nodiscard]] bool HasEscapedBytes(QStringView text);

// True for the lone surrogates that stand for a byte.
[[nodiscard]] constexpr bool IsEscapedByte(char16_t c)
{
    return c >= 0xDC80 && c <= 0xDCFF;
}

// The form in which log lines, status lines and messages show a name or a
// text holding names: each escaped byte as "\xNN" (upper-case hex), the rest
// unchanged. The exact name is what `fernhold restore list` prints.
[[nodiscard]] QString DisplayFileName(const QString& text);

} // namespace fernhold
