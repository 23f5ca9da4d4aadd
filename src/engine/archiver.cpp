#include "engine/archiver.h"

#include "engine/engine_logging.h"
#include "engine/zip_files.h"
#include "platform/descriptor.h"
#include "platform/file_name.h"
#include "platform/native_paths.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <zlib.h>

namespace fernhold {

namespace {

constexpr zip_uint32_t kDeflateLevel = 6;

// Zip readers take a password as bytes in their own code page; only
// printable ASCII reads the same in every one of them.
bool passwordIsPortable(const QString& password)
{
    return std::all_of(password.cbegin(), password.cend(),
                       [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7f; });
}

SourceState stateOf(const struct stat& info)
{
    return SourceState{static_cast<qint64>(info.st_size),
                       static_cast<qint64>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
                       static_cast<qint64>(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec,
                       static_cast<quint64>(info.st_dev), static_cast<quint64>(info.st_ino)};
}

// The source of the one entry: reads the open file to its end, counting the
// bytes and their CRC-32 as they go into the archive.
struct SourceReader
{
    int fd = -1;
    struct stat opened = {};
    const std::function<bool()>* mustStop = nullptr;
    qint64 size = 0;
    qint64 limit = -1; // bytes the archive may take in; -1 for no limit
    uLong crc = 0;
    zip_error_t error = {};

    SourceReader() { zip_error_init(&error); }
    ~SourceReader() { zip_error_fini(&error); }
    SourceReader(const SourceReader&) = delete;
    SourceReader& operator=(const SourceReader&) = delete;

    static zip_int64_t callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t cmd)
    {
        auto* self = static_cast<SourceReader*>(state);
        switch (cmd) {
        case ZIP_SOURCE_OPEN:
            if (::lseek(self->fd, 0, SEEK_SET) != 0) {
                zip_error_set(&self->error, ZIP_ER_READ, errno);
                return -1;
            }
            self->size = 0;
            self->crc = crc32(0L, Z_NULL, 0);
            return 0;
        case ZIP_SOURCE_READ:
            return self->read(data, length);
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* st = static_cast<zip_stat_t*>(data);
            zip_stat_init(st);
            st->mtime = self->opened.st_mtim.tv_sec;
            st->valid |= ZIP_STAT_MTIME;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&self->error, data, length);
        case ZIP_SOURCE_FREE:
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return ZIP_SOURCE_SUPPORTS_READABLE;
        default:
            zip_error_set(&self->error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
        }
    }

    zip_int64_t read(void* data, zip_uint64_t length)
    {
        if (*mustStop && (*mustStop)()) {
            zip_error_set(&error, ZIP_ER_CANCELLED, 0);
            return -1;
        }
        for (;;) {
            const ssize_t got = ::read(fd, data, length);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                zip_error_set(&error, ZIP_ER_READ, errno);
                return -1;
            }
            if (limit >= 0 && size + got > limit) {
                zip_error_set(&error, ZIP_ER_CANCELLED, 0);
                return -1;
            }
            crc = crc32(crc, static_cast<const Bytef*>(data), static_cast<uInt>(got));
            size += got;
            return got;
        }
    }
};

// An open source file and what reads it into the archive.
struct PackSource
{
    std::optional<Descriptor> descriptor;
    SourceReader reader;
};

bool openSource(const QString& file, const std::optional<ZipEncryption>& encryption,
                const StopCheck& mustStop, PackSource& source, PackedSource& packed)
{
    packed = PackedSource{};
    const bool encrypted = encryption && !encryption->password.isEmpty();
    if (encrypted && !passwordIsPortable(encryption->password)) {
        qCWarning(lcEngine) << "archive password outside printable ASCII refused";
        return false;
    }
    if (mustStop && mustStop()) {
        return false;
    }
    // Non-blocking: a FIFO must not hold the pass until somebody writes it.
    source.descriptor.emplace(
        ::open(EncodeFileName(file).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    source.reader.fd = source.descriptor->get();
    source.reader.mustStop = &mustStop;
    if (source.reader.fd < 0 || ::fstat(source.reader.fd, &source.reader.opened) != 0 ||
        !S_ISREG(source.reader.opened.st_mode)) {
        qCDebug(lcEngine) << "cannot pack, no readable regular file:" << file;
        return false;
    }
    packed.before = stateOf(source.reader.opened);
    packed.password = encrypted ? encryption->password : QString();
    return true;
}

bool addEntry(zip_t* zip, const QString& file, PackSource& source, const PackedSource& packed,
              const std::optional<ZipEncryption>& encryption)
{
    SourceReader& reader = source.reader;
    zip_source_t* entrySource = zip_source_function(zip, &SourceReader::callback, &reader);
    if (!entrySource) {
        return false;
    }
    const QByteArray name = EncodeFileName(file.mid(file.lastIndexOf(u'/') + 1));
    const zip_int64_t index = zip_file_add(zip, name.constData(), entrySource, ZIP_FL_ENC_GUESS);
    if (index < 0) {
        zip_source_free(entrySource);
        qCWarning(lcEngine) << "cannot add to archive:" << zip_strerror(zip);
        return false;
    }
    const auto entry = static_cast<zip_uint64_t>(index);
    const QByteArray secret = packed.password.toUtf8();
    // zlib's usual level; libzip's own default is its slowest.
    if (zip_set_file_compression(zip, entry, ZIP_CM_DEFLATE, kDeflateLevel) != 0 ||
        zip_file_set_mtime(zip, entry, reader.opened.st_mtim.tv_sec, 0) != 0 ||
        (!secret.isEmpty() && zip_file_set_encryption(zip, entry, LibzipMethod(encryption->method),
                                                      secret.constData()) != 0)) {
        qCWarning(lcEngine) << "cannot set up the archive entry:" << zip_strerror(zip);
        return false;
    }
    return true;
}

} // namespace

std::optional<ZipMethod> ZipMethodFromSetting(int cryptMethode)
{
    switch (cryptMethode) {
    case 0:
        return ZipMethod::ZipCrypto;
    case 1:
        return ZipMethod::Aes128;
    case 2:
        return ZipMethod::Aes256;
    default:
        return std::nullopt;
    }
}

QString ZipMethodText(ZipMethod method)
{
    switch (method) {
    case ZipMethod::ZipCrypto:
        return QStringLiteral("ZipCrypto");
    case ZipMethod::Aes128:
        return QStringLiteral("AES128");
    case ZipMethod::Aes256:
        break;
    }
    return QStringLiteral("AES256");
}

std::optional<SourceState> SourceStateOf(const QString& path)
{
    struct stat info = {};
    if (::stat(EncodeFileName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return stateOf(info);
}

Archiver::Archiver(QString workFolder, StopCheck mustStop)
    : m_workFolder(std::move(workFolder)), m_mustStop(std::move(mustStop))
{}

QString Archiver::inWorkFolder(const QString& path) const
{
    return path.startsWith(u'/') ? path : m_workFolder + path;
}

int Archiver::PackFile(const QString& file, const QString& archive,
                       const std::optional<ZipEncryption>& encryption) const
{
    PackedSource packed;
    return PackFile(file, archive, encryption, packed);
}

int Archiver::PackFile(const QString& file, const QString& archive,
                       const std::optional<ZipEncryption>& encryption, PackedSource& packed) const
{
    PackSource source;
    if (!openSource(file, encryption, m_mustStop, source, packed)) {
        return 0;
    }
    SourceReader& reader = source.reader;
    const QString path = inWorkFolder(archive);
    const QByteArray archiveBytes = EncodeFileName(path);
    (void)RemoveFilePath(path);
    int error = 0;
    ZipHandle zip(zip_open(archiveBytes.constData(), ZIP_CREATE | ZIP_TRUNCATE, &error));
    if (!zip) {
        qCWarning(lcEngine) << "cannot create archive" << path << "libzip error" << error;
        return 0;
    }
    if (!addEntry(zip.get(), file, source, packed, encryption)) {
        return 0;
    }
    // zip_close writes the archive under a temporary name beside it and
    // renames it: a failed or stopped run leaves nothing.
    if (zip_close(zip.get()) != 0) {
        qCWarning(lcEngine) << "packing failed:" << file << zip_strerror(zip.get());
        (void)RemoveFilePath(path);
        return 0;
    }
    (void)zip.release();
    packed.size = reader.size;
    packed.crc = static_cast<quint32>(reader.crc);
    return 1;
}

int Archiver::PackFileToMemory(const QString& file, const std::optional<ZipEncryption>& encryption,
                               PackedSource& packed, QByteArray& archive, qint64 sizeLimit) const
{
    archive.clear();
    PackSource source;
    if (!openSource(file, encryption, m_mustStop, source, packed)) {
        return 0;
    }
    SourceReader& reader = source.reader;
    reader.limit = sizeLimit;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (!buffer) {
        zip_error_fini(&error);
        return 0;
    }
    ZipHandle zip(zip_open_from_source(buffer, ZIP_TRUNCATE, &error));
    zip_error_fini(&error);
    if (!zip) {
        zip_source_free(buffer);
        return 0;
    }
    // The buffer must outlive the archive: it holds what zip_close wrote.
    zip_source_keep(buffer);
    const std::unique_ptr<zip_source_t, decltype(&zip_source_free)> kept(buffer, &zip_source_free);
    if (!addEntry(zip.get(), file, source, packed, encryption)) {
        return 0;
    }
    if (zip_close(zip.get()) != 0) {
        qCWarning(lcEngine) << "packing failed:" << file << zip_strerror(zip.get());
        return 0;
    }
    (void)zip.release();
    if (zip_source_open(buffer) != 0) {
        return 0;
    }
    bool read = zip_source_seek(buffer, 0, SEEK_END) == 0;
    const zip_int64_t size = read ? zip_source_tell(buffer) : -1;
    read = read && size >= 0 && zip_source_seek(buffer, 0, SEEK_SET) == 0;
    if (read) {
        archive.resize(static_cast<qsizetype>(size));
        read = zip_source_read(buffer, archive.data(), static_cast<zip_uint64_t>(size)) == size;
    }
    zip_source_close(buffer);
    if (!read) {
        archive.clear();
        return 0;
    }
    packed.size = reader.size;
    packed.crc = static_cast<quint32>(reader.crc);
    return 1;
}

} // namespace fernhold
