#pragma once

#include "engine/archiver.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <zip.h>

namespace fernhold {

// An open archive; discarded (nothing written) unless closed on purpose.
struct ZipDiscard
{
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipHandle = std::unique_ptr<zip_t, ZipDiscard>;

// libzip's number of an encryption method.
[[nodiscard]] zip_uint16_t LibzipMethod(ZipMethod method);

// Opens `archive` for reading; no value when it is no zip archive.
[[nodiscard]] ZipHandle OpenZipForReading(const QString& archive);

// The index of the entry whose name is `name`, stored as its raw bytes or
// as text in the archive's stated encoding; no value when there is none.
[[nodiscard]] std::optional<zip_uint64_t> FindZipEntry(zip_t* archive, const QString& name);

// Reads entry `index` to its end, decrypted with `password` ("" for none),
// handing each block to `sink` (which gives false to stop). Gives the
// number of bytes and their CRC-32, or no value when reading, decrypting or
// libzip's own checks failed, the sink or `mustStop` stopped it.
struct ZipEntryBytes
{
    qint64 size = 0;
    quint32 crc = 0;
};
[[nodiscard]] std::optional<ZipEntryBytes>
ReadZipEntry(zip_t* archive, zip_uint64_t index, const QString& password,
             const std::function<bool(const char* data, qint64 size)>& sink,
             const std::function<bool()>& mustStop);

} // namespace fernhold
