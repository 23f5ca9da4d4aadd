#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <optional>

struct zip; // libzip's archive

namespace fernhold {

// Polled between blocks while an archive is written or read; true ends the
// work, which then counts as failed.
using StopCheck = std::function<bool()>;

// The zip encryption methods, numbered as the setting CryptMethode.
enum class ZipMethod
{
    ZipCrypto = 0,
    Aes128 = 1,
    Aes256 = 2,
};

// The method of a CryptMethode value; no value for a number outside the table.
[[nodiscard]] std::optional<ZipMethod> ZipMethodFromSetting(int cryptMethode);
// The method's name as the settings show it ("ZipCrypto", "AES128", "AES256").
[[nodiscard]] QString ZipMethodText(ZipMethod method);

struct ZipEncryption
{
    ZipMethod method = ZipMethod::Aes256;
    QString password;
};

// A source file's state as the file system tells it; any write changes it.
struct SourceState
{
    qint64 size = -1;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    quint64 device = 0;
    quint64 inode = 0;

    friend bool operator==(const SourceState&, const SourceState&) = default;
};

// The state of the regular file at `path`; no value when there is none.
[[nodiscard]] std::optional<SourceState> SourceStateOf(const QString& path);

// What packing read from the source: the bytes the archive must hold.
struct PackedSource
{
    qint64 size = 0;    // bytes read
    quint32 crc = 0;    // CRC-32 of those bytes
    SourceState before; // the source when packing began
    QString password;   // "" when the entry is not encrypted
};

// Packs, checks and unpacks Fernhold's one-file zip archives in this process
// (libzip): nothing of a password ever leaves it. Names are the bytes
// EncodeFileName gives, so a name that is not UTF-8 reaches the archive, and
// comes back, as it is on disk.
class Archiver
{
public:
    // `workFolder` is the private work folder (Folders::temp), where relative
    // archive names lie; `mustStop` is polled while data flow (an empty
    // function never stops).
    explicit Archiver(QString workFolder, StopCheck mustStop = {});

    [[nodiscard]] const QString& workFolder() const { return m_workFolder; }

    // Packs the regular file `file` (a full path) into a new zip archive
    // `archive` holding one deflated entry named as the file, with the file's
    // modification time, encrypted with `encryption`'s method when it comes
    // with a non-empty password. `packed` tells what was read. Gives 1 when
    // the archive was written; on failure no archive is left. Passwords
    // outside printable ASCII are refused (other zip readers could not take
    // them), as are sources that are no regular files.
    [[nodiscard]] int PackFile(const QString& file, const QString& archive,
                               const std::optional<ZipEncryption>& encryption,
                               PackedSource& packed) const;
    [[nodiscard]] int PackFile(const QString& file, const QString& archive,
                               const std::optional<ZipEncryption>& encryption = {}) const;
    // The same archive made in memory: `archive` receives its bytes. For
    // files small enough to hold, this saves writing, renaming and reading
    // back a file in the work folder for every version. A file that turns
    // out longer than `sizeLimit` bytes fails, so memory stays bounded.
    [[nodiscard]] int PackFileToMemory(const QString& file,
                                       const std::optional<ZipEncryption>& encryption,
                                       PackedSource& packed, QByteArray& archive,
                                       qint64 sizeLimit) const;

    // The check after packing: 1 when `archive` holds the one entry `name`
    // whose bytes, read back (decrypted with packed.password) and
    // decompressed, are as many and have the CRC-32 that packing read, and
    // when `source` is still as it was when packing began (so those bytes
    // are one state of it, never a mix).
    [[nodiscard]] int VerifyArchive(const QString& archive, const QString& name,
                                    const PackedSource& packed, const QString& source) const;
    // The same check of an archive held in memory.
    [[nodiscard]] int VerifyArchiveBytes(const QByteArray& archive, const QString& name,
                                         const PackedSource& packed, const QString& source) const;

    // 1 when `archive` is one of Fernhold's archives of the file `name`: a zip
    // with exactly one entry, a file named `name`. A user's own zip of other
    // or more files, or of a folder, gives 0.
    [[nodiscard]] int isOneFileArchive(const QString& archive, const QString& name) const;

    // Extracts the entry `name` of the zip `archive`, without folders, into
    // `outputFolder` (ending in "/"), replacing a file of that name there,
    // with the entry's time. An empty password gives none, so an encrypted
    // entry fails. Gives 1 when every byte came out and matched the entry's
    // checks; on failure nothing of that name is left in `outputFolder`.
    [[nodiscard]] int UnpackFile(const QString& archive, const QString& outputFolder,
                                 const QString& name, const QString& password = {}) const;

private:
    [[nodiscard]] int verifyOpen(struct zip* archive, const QString& what, const QString& name,
                                 const PackedSource& packed, const QString& source) const;
    [[nodiscard]] bool stopRequested() const { return m_mustStop && m_mustStop(); }
    [[nodiscard]] QString inWorkFolder(const QString& path) const;

    QString m_workFolder;
    StopCheck m_mustStop;
};

} // namespace fernhold
