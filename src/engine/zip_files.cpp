#include "engine/zip_files.h"

#include "engine/engine_logging.h"
#include "engine/winzip_aes.h"
#include "platform/file_name.h"

#include <zlib.h>

namespace fernhold {

namespace {

constexpr zip_uint64_t kReadBlock = 64 * 1024;

} // namespace

zip_uint16_t LibzipMethod(ZipMethod method)
{
    switch (method) {
    case ZipMethod::ZipCrypto:
        return ZIP_EM_TRAD_PKWARE;
    case ZipMethod::Aes128:
        return ZIP_EM_AES_128;
    case ZipMethod::Aes256:
        break;
    }
    return ZIP_EM_AES_256;
}

ZipHandle OpenZipForReading(const QString& archive)
{
    int error = 0;
    ZipHandle handle(zip_open(EncodeFileName(archive).constData(), ZIP_RDONLY, &error));
    if (!handle) {
        qCDebug(lcEngine) << "not a readable zip archive:" << archive << "libzip error" << error;
    }
    return handle;
}

std::optional<zip_uint64_t> FindZipEntry(zip_t* archive, const QString& name)
{
    const QByteArray raw = EncodeFileName(name);
    const QByteArray utf8 = name.toUtf8();
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        const char* stored = zip_get_name(archive, index, ZIP_FL_ENC_RAW);
        if (stored && raw == stored) {
            return index;
        }
        // Names in the archive's own code page (CP437 without the UTF-8 flag).
        const char* text = zip_get_name(archive, index, ZIP_FL_ENC_GUESS);
        if (text && utf8 == text) {
            return index;
        }
    }
    return std::nullopt;
}

std::optional<ZipEntryBytes>
ReadZipEntry(zip_t* archive, zip_uint64_t index, const QString& password,
             const std::function<bool(const char* data, qint64 size)>& sink,
             const std::function<bool()>& mustStop)
{
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, index, 0, &stat) != 0 || (stat.valid & ZIP_STAT_COMP_METHOD) == 0 ||
        (stat.comp_method != ZIP_CM_DEFLATE && stat.comp_method != ZIP_CM_STORE)) {
        return std::nullopt;
    }
    const bool aes = (stat.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 &&
                     stat.encryption_method >= ZIP_EM_AES_128 &&
                     stat.encryption_method <= ZIP_EM_AES_256;
    // A WinZip AE-2 entry (7-Zip's AES) has a CRC field of 0, which libzip
    // 1.7 holds the data to: such entries are read raw and decrypted here.
    const bool ownDecryption = aes && (stat.valid & ZIP_STAT_CRC) != 0 && stat.crc == 0;
    const QByteArray secret = password.toUtf8();
    if (ownDecryption && secret.isEmpty()) {
        return std::nullopt;
    }
    // Otherwise libzip decrypts (and checks ZipCrypto's header or AES's
    // authentication code); the inflating happens here either way.
    zip_file_t* file =
        ownDecryption ? zip_fopen_index(archive, index, ZIP_FL_ENCRYPTED)
                      : zip_fopen_index_encrypted(archive, index, ZIP_FL_COMPRESSED,
                                                  secret.isEmpty() ? nullptr : secret.constData());
    if (!file) {
        qCDebug(lcEngine) << "zip entry cannot be opened:" << zip_strerror(archive);
        return std::nullopt;
    }

    ZipEntryBytes bytes;
    uLong crc = crc32(0L, Z_NULL, 0);
    const auto deliver = [&](const char* data, qint64 size) {
        crc = crc32(crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size));
        bytes.size += size;
        return !sink || sink(data, size);
    };
    const bool deflated = stat.comp_method == ZIP_CM_DEFLATE;
    z_stream inflater = {};
    bool inflating = false;
    if (deflated) {
        inflating = inflateInit2(&inflater, -MAX_WBITS) == Z_OK;
    }
    bool streamEnded = !deflated;
    QByteArray out(static_cast<qsizetype>(kReadBlock), Qt::Uninitialized);
    // Takes the compressed (decrypted) data.
    const auto consume = [&](const char* data, qint64 size) {
        if (!deflated) {
            return deliver(data, size);
        }
        if (!inflating || streamEnded) {
            return false; // data after the end of the deflate stream
        }
        inflater.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        inflater.avail_in = static_cast<uInt>(size);
        while (inflater.avail_in > 0 && !streamEnded) {
            inflater.next_out = reinterpret_cast<Bytef*>(out.data());
            inflater.avail_out = static_cast<uInt>(out.size());
            const int result = inflate(&inflater, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END) {
                return false;
            }
            streamEnded = result == Z_STREAM_END;
            const qint64 made = out.size() - static_cast<qint64>(inflater.avail_out);
            if (made > 0 && !deliver(out.constData(), made)) {
                return false;
            }
        }
        return true;
    };
    std::unique_ptr<WinZipAesReader> decrypter;
    if (ownDecryption) {
        const int bits = stat.encryption_method == ZIP_EM_AES_128   ? 128
                         : stat.encryption_method == ZIP_EM_AES_192 ? 192
                                                                    : 256;
        decrypter = std::make_unique<WinZipAesReader>(bits, secret, consume);
    }

    QByteArray block(static_cast<qsizetype>(kReadBlock), Qt::Uninitialized);
    qint64 raw = 0;
    bool ok = true;
    for (;;) {
        if (mustStop && mustStop()) {
            ok = false;
            break;
        }
        const zip_int64_t got = zip_fread(file, block.data(), kReadBlock);
        if (got < 0) {
            // A raw read of a stored AE-2 entry ends in libzip's CRC check
            // once every byte came: the authentication code decides instead.
            const bool rawEnd = ownDecryption && (stat.valid & ZIP_STAT_COMP_SIZE) != 0 &&
                                raw == static_cast<qint64>(stat.comp_size) &&
                                zip_error_code_zip(zip_file_get_error(file)) == ZIP_ER_CRC;
            if (!rawEnd) {
                // Damaged data, a wrong password, an authentication mismatch.
                qCDebug(lcEngine) << "zip entry read failed:" << zip_file_strerror(file);
                ok = false;
            }
            break;
        }
        if (got == 0) {
            break;
        }
        raw += got;
        ok = decrypter ? decrypter->feed(block.constData(), got) : consume(block.constData(), got);
        if (!ok) {
            break;
        }
    }
    if (ok && decrypter && !decrypter->finish()) {
        qCDebug(lcEngine) << "zip entry fails its authentication code";
        ok = false;
    }
    if (inflating) {
        inflateEnd(&inflater);
    }
    if (zip_fclose(file) != 0 && !ownDecryption) {
        ok = false;
    }
    if (!ok || !streamEnded) {
        return std::nullopt;
    }
    bytes.crc = static_cast<quint32>(crc);
    if ((stat.valid & ZIP_STAT_SIZE) != 0 && stat.size != static_cast<zip_uint64_t>(bytes.size)) {
        return std::nullopt;
    }
    if ((stat.valid & ZIP_STAT_CRC) != 0 && stat.crc != bytes.crc && !ownDecryption) {
        qCDebug(lcEngine) << "zip entry CRC mismatch";
        return std::nullopt;
    }
    return bytes;
}

} // namespace fernhold
