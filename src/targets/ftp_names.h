#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace fernhold {

struct JobSettings;

// How names travel to and from an FTP server. Plain mode uses Windows-1252
// (the "ANSI" code page of the Windows build); UTF-8 mode sends and reads
// names in the file-name form (file_name.h): UTF-8, and a name that is not
// UTF-8 as its own bytes both ways.
enum class FtpNameMode
{
    Plain,
    Utf8,
};

// The mode every FTP operation uses: FTPUnicode of the target selected in
// the settings window, whichever target is being worked on.
[[nodiscard]] FtpNameMode FtpModeOf(const JobSettings& settings);

// The bytes that go to the server for a name or path. No value when the text
// cannot travel: a character that Windows-1252 lacks (plain mode, escaped
// bytes included), a lone surrogate that stands for no byte, or a CR, LF or
// NUL, which would end or split an FTP command line.
[[nodiscard]] std::optional<QByteArray> FtpWireName(const QString& text, FtpNameMode mode);

// The user's form of a name or path the server sent: in UTF-8 mode as
// DecodeFileName reads it, so FtpWireName gives the same bytes back; plain
// mode always decodes Windows-1252.
[[nodiscard]] QString FtpListedName(QByteArrayView bytes, FtpNameMode mode);

// A lenient UTF-8 test: every byte from 0x80 up must be a lead byte
// 11...0xxxxx followed by as many 10xxxxxx bytes as its leading ones minus
// one. Lead bytes 0xF8 to 0xFE are accepted, overlong and surrogate forms are
// not rejected; 0xFF and stray continuation bytes fail. The bytes end at the
// first NUL or the end of the view.
[[nodiscard]] bool IsWellFormedUtf8(QByteArrayView bytes);

// Windows-1252 both ways. The five bytes the code page leaves undefined map
// to the C1 controls of the same value, so every byte survives a round trip.
[[nodiscard]] QString DecodeWindows1252(QByteArrayView bytes);
[[nodiscard]] std::optional<QByteArray> EncodeWindows1252(const QString& text);

} // namespace fernhold
