#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace fernhold {

// Attribute words of listed entries. A folder is exactly 16 and a regular
// file exactly 128; a symbolic link is 1024 combined with one of them, so
// callers that test for exactly 16 or 128 neither walk nor clean links.
inline constexpr std::uint32_t kFtpFolder = 16;
inline constexpr std::uint32_t kFtpFile = 128;
inline constexpr std::uint32_t kFtpLink = 1024;

// One entry of a listed folder, its name in the user's form.
struct FtpEntry
{
    QString name;
    std::uint32_t attributes = 0;      // 16, 128, 1024 | 16 or 128, or 0 for anything else
    qint64 size = 0;                   // bytes of a file; 0 where the listing gives none
    std::optional<QDateTime> modified; // UTC, when the listing gives it

    [[nodiscard]] bool isFolder() const { return attributes == kFtpFolder; }
    [[nodiscard]] bool isFile() const { return attributes == kFtpFile; }
};

// An entry as it came from the server: the name still in wire bytes.
struct FtpListedEntry
{
    QByteArray name;
    std::uint32_t attributes = 0;
    qint64 size = 0;
    std::optional<QDateTime> modified;
};

enum class FtpListingFormat
{
    Mlsd, // RFC 3659 fact lines
    List, // LIST output in the Unix "ls -l" or the DOS format, detected per line
};

// Parses a listing. Lines that cannot be read are skipped, and so are the
// entries whose name could lead outside the listed folder (see
// IsSafeListedName). `now` places Unix dates that show a time instead of a
// year in the right year.
[[nodiscard]] QList<FtpListedEntry> ParseFtpListing(QByteArrayView data, FtpListingFormat format,
                                                    const QDateTime& now);

// False for a name a server must not give: empty, "." or "..", or with a "/"
// or a NUL inside. Using such a name for a download, delete or restore
// could reach a file outside the listed folder.
[[nodiscard]] bool IsSafeListedName(QByteArrayView name);

} // namespace fernhold
