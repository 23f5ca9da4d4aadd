#include "engine/archiver.h"
#include "engine/engine_logging.h"
#include "engine/zip_files.h"
#include "platform/descriptor.h"
#include "platform/file_io.h"
#include "platform/file_name.h"
#include "platform/native_paths.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fernhold {

namespace {} // namespace

int Archiver::VerifyArchive(const QString& archive, const QString& name, const PackedSource& packed,
                            const QString& source) const
{
    const ZipHandle zip = OpenZipForReading(inWorkFolder(archive));
    return verifyOpen(zip.get(), archive, name, packed, source);
}

int Archiver::VerifyArchiveBytes(const QByteArray& archive, const QString& name,
                                 const PackedSource& packed, const QString& source) const
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* bytes = zip_source_buffer_create(
        archive.constData(), static_cast<zip_uint64_t>(archive.size()), 0, &error);
    ZipHandle zip(bytes ? zip_open_from_source(bytes, ZIP_RDONLY | ZIP_CHECKCONS, &error)
                        : nullptr);
    zip_error_fini(&error);
    if (!zip && bytes) {
        zip_source_free(bytes);
    }
    return verifyOpen(zip.get(), QStringLiteral("(in memory)"), name, packed, source);
}

int Archiver::verifyOpen(zip_t* zip, const QString& what, const QString& name,
                         const PackedSource& packed, const QString& source) const
{
    if (!zip || zip_get_num_entries(zip, 0) != 1) {
        return 0;
    }
    const auto index = FindZipEntry(zip, name);
    if (!index) {
        return 0;
    }
    const auto bytes = ReadZipEntry(zip, *index, packed.password, {}, m_mustStop);
    if (!bytes || bytes->size != packed.size || bytes->crc != packed.crc) {
        qCWarning(lcEngine) << "archive does not read back as packed:" << what;
        return 0;
    }
    // The bytes read are one state of the file only when nothing wrote to
    // it meanwhile: a write moves its change time, an append its size too.
    const auto now = SourceStateOf(source);
    if (!now || *now != packed.before || now->size != packed.size) {
        qCWarning(lcEngine) << "source changed while it was packed:" << source;
        return 0;
    }
    return 1;
}

int Archiver::isOneFileArchive(const QString& archive, const QString& name) const
{
    const ZipHandle zip = OpenZipForReading(inWorkFolder(archive));
    if (!zip || zip_get_num_entries(zip.get(), 0) != 1 || name.isEmpty() || name.contains(u'/')) {
        return 0;
    }
    return FindZipEntry(zip.get(), name) ? 1 : 0;
}

int Archiver::UnpackFile(const QString& archive, const QString& outputFolder, const QString& name,
                         const QString& password) const
{
    if (name.isEmpty() || name.contains(u'/')) {
        return 0;
    }
    const QString unpacked = outputFolder + name;
    // An old file of that name must not pass for the new one.
    (void)RemoveFilePath(unpacked);
    const ZipHandle zip = OpenZipForReading(inWorkFolder(archive));
    if (!zip) {
        return 0;
    }
    const auto index = FindZipEntry(zip.get(), name);
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (!index || zip_stat_index(zip.get(), *index, 0, &stat) != 0) {
        return 0;
    }
    const Descriptor out(::open(EncodeFileName(unpacked).constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (out.get() < 0) {
        return 0;
    }
    const auto bytes = ReadZipEntry(
        zip.get(), *index, password,
        [&out](const char* data, qint64 size) { return WriteAll(out.get(), data, size); },
        m_mustStop);
    const bool ok = bytes.has_value() && ::fsync(out.get()) == 0;
    if (ok && (stat.valid & ZIP_STAT_MTIME) != 0) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, {stat.mtime, 0}};
        (void)::futimens(out.get(), times);
    }
    if (!ok) {
        // A wrong password or damaged data leave nothing behind.
        (void)RemoveFilePath(unpacked);
        return 0;
    }
    return 1;
}

} // namespace fernhold
