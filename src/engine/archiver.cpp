#include "engine/archiver.h"

#include "engine/engine_logging.h"
#include "platform/native_paths.h"

namespace fernhold {

namespace {

// Switches every run shares: UTF-8 names on the console, no wildcards in
// names (a file may be called "a*.txt"), and "--" before the names, so a
// name beginning with "-" or "@" is neither a switch nor a list file.
const QString kUtf8Console = QStringLiteral("-sccUTF-8");
const QString kNoWildcards = QStringLiteral("-spd");
const QString kEndOfSwitches = QStringLiteral("--");

// A password reaches 7-Zip as one line of its standard input, so a line break
// would cut it short and a NUL end it; such a password is refused rather
// than silently changed.
bool passwordFitsOneLine(const QString& password)
{
    return !password.contains(u'\n') && !password.contains(u'\r') && !password.contains(u'\0');
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

int Archiver::PackFile(const QString& file, const QString& archive,
                       const std::optional<ZipEncryption>& encryption) const
{
    // -w: working files in the work folder; -ssw: pack files that another
    // program holds open for writing; one thread keeps a pass light.
    QStringList arguments{QStringLiteral("a"),
                          QStringLiteral("-w") + m_workFolder,
                          QStringLiteral("-ssw"),
                          QStringLiteral("-tzip"),
                          QStringLiteral("-mmt=off"),
                          kUtf8Console,
                          kNoWildcards};
    std::optional<QByteArray> input;
    if (encryption && !encryption->password.isEmpty()) {
        if (!passwordFitsOneLine(encryption->password)) {
            qCWarning(lcEngine) << "archive password with a line break refused";
            return 0;
        }
        // "-p" without a value makes 7-Zip ask for the password: it prints
        // "Enter password (will not be echoed):" on standard output and reads
        // one line from standard input, up to LF or end-of-file (the LF ends
        // it; a CR would be kept as part of it). The installed 7-Zip asks once
        // when packing; builds that ask again to verify read the second copy,
        // the others leave it unread.
        arguments << QStringLiteral("-mem=") + ZipMethodText(encryption->method)
                  << QStringLiteral("-p");
        const QByteArray line = encryption->password.toUtf8() + '\n';
        input = line + line;
    }
    arguments << kEndOfSwitches << archive << file;
    return RunArchiver(arguments, input).succeeded() ? 1 : 0;
}

std::optional<ArchiveListing> Archiver::listArchive(const QString& archive) const
{
    QStringList lines;
    const ArchiverRun run =
        RunArchiver({QStringLiteral("l"), kUtf8Console, kEndOfSwitches, archive}, std::nullopt,
                    [&lines](const QString& line) { lines.append(line); });
    if (!run.succeeded()) {
        return std::nullopt;
    }
    return parseArchiveListing(lines);
}

int Archiver::VerifyArchive(const QString& archive, const QString& name, qint64 size) const
{
    const auto listing = listArchive(archive);
    if (!listing) {
        return 0;
    }
    for (const ArchiveEntry& entry : listing->entries) {
        if (!entry.folder && entry.name == name && entry.size == size) {
            return 1;
        }
    }
    return 0;
}

int Archiver::isOneFileArchive(const QString& archive, const QString& name) const
{
    const auto listing = listArchive(archive);
    if (!listing || listing->summaryFiles != 1 || listing->summaryFolders != 0) {
        return 0;
    }
    for (const ArchiveEntry& entry : listing->entries) {
        if (!entry.folder && entry.name == name) {
            return 1;
        }
    }
    return 0;
}

int Archiver::UnpackFile(const QString& archive, const QString& outputFolder, const QString& name,
                         const QString& password) const
{
    if (name.isEmpty()) {
        return 0;
    }
    if (!passwordFitsOneLine(password)) {
        qCWarning(lcEngine) << "archive password with a line break refused";
        return 0;
    }
    // 7-Zip exits with 0 also when the archive has no entry of that name, so
    // success is judged by the file; an old file of that name must not pass
    // for the new one.
    const QString unpacked = outputFolder + name;
    (void)RemoveFilePath(unpacked);

    QStringList arguments{QStringLiteral("e"),
                          QStringLiteral("-o") + outputFolder,
                          QStringLiteral("-aoa"),
                          QStringLiteral("-y"),
                          QStringLiteral("-tzip"),
                          kUtf8Console,
                          kNoWildcards};
    // Extraction takes no "-p": given without a value it means the empty
    // password. Without it 7-Zip asks when it meets the first encrypted entry
    // ("Enter password (will not be echoed):") and reads one line from
    // standard input, once for the whole run; an unencrypted archive never
    // asks. Without a password standard input is empty, so an encrypted
    // archive fails at once.
    std::optional<QByteArray> input;
    if (!password.isEmpty()) {
        input = password.toUtf8() + '\n';
    }
    arguments << kEndOfSwitches << archive << name;
    const ArchiverRun run = RunArchiver(arguments, input);
    if (run.succeeded() && RegularFileSize(unpacked)) {
        return 1;
    }
    // A wrong password can leave a file of that name behind.
    (void)RemoveFilePath(unpacked);
    return 0;
}

} // namespace fernhold
