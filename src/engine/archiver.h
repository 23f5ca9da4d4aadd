#pragma once

#include "engine/archive_listing.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace fernhold {

// Polled while a child runs; true ends the run and kills the child.
using StopCheck = std::function<bool()>;
// Receives one line of the child's standard output without its line break,
// decoded as a file name (DecodeFileName), so listed names keep their bytes.
using LineHandler = std::function<void(const QString& line)>;

// The zip encryption methods, numbered as the setting CryptMethode.
enum class ZipMethod
{
    ZipCrypto = 0,
    Aes128 = 1,
    Aes256 = 2,
};

// The method of a CryptMethode value; no value for a number outside the table.
[[nodiscard]] std::optional<ZipMethod> ZipMethodFromSetting(int cryptMethode);
// The method's name as the archiver's -mem switch takes it ("ZipCrypto", "AES128", "AES256").
[[nodiscard]] QString ZipMethodText(ZipMethod method);

struct ZipEncryption
{
    ZipMethod method = ZipMethod::Aes256;
    QString password;
};

// What became of one archiver run.
struct ArchiverRun
{
    int started = 0;   // 1 when the child process started
    int stopped = 0;   // 1 when the stop check fired and the child was killed
    int exitCode = -1; // the exit code when the child ended by itself, else -1
    QByteArray errors; // the start of what it wrote to standard error

    [[nodiscard]] bool succeeded() const { return started == 1 && stopped == 0 && exitCode == 0; }
};

// Runs the 7-Zip console archiver as a child process. Every run gets its
// arguments as a list (no shell, no quoting; each as the bytes EncodeFileName
// gives, so a name that is not UTF-8 reaches 7-Zip, and the archive, as it is
// on disk), Fernhold's private work folder as its current folder and a
// standard input that is either the given bytes or empty; it is waited for,
// or killed when the stop check fires, before the call returns, so no child
// outlives a call. A stopped run counts as failed: the caller tells a stop
// from a fault by its own stop flag.
class Archiver
{
public:
    // `program` is the file to start (see InstallArchiver), `workFolder` the
    // private work folder (Folders::temp), `mustStop` is polled while a child
    // runs (an empty function never stops).
    Archiver(QString program, QString workFolder, StopCheck mustStop = {});

    [[nodiscard]] const QString& program() const { return m_program; }
    [[nodiscard]] const QString& workFolder() const { return m_workFolder; }

    // Starts the archiver with `arguments` and waits for its end. `input` is
    // written to its standard input, which is then closed; without it the
    // child reads end-of-file at once. Each line of standard output goes to
    // `onLine`; without a handler the output is discarded.
    [[nodiscard]] ArchiverRun RunArchiver(const QStringList& arguments,
                                          const std::optional<QByteArray>& input = {},
                                          const LineHandler& onLine = {}) const;

    // Packs the one file `file` (a full path) into the zip archive `archive`,
    // encrypted when `encryption` is given with a non-empty password, which
    // goes to the archiver on standard input. Gives 1 when the archiver ended
    // with exit code 0. On failure `archive` may exist in part: the caller
    // removes it. 7-Zip refuses zip passwords with characters outside ASCII
    // (on the command line as well), and a password with a line break
    // cannot travel as one line: packing with either fails.
    [[nodiscard]] int PackFile(const QString& file, const QString& archive,
                               const std::optional<ZipEncryption>& encryption = {}) const;

    // Lists `archive`: no value when the archiver could not list it (not an
    // archive, damaged, missing, stopped).
    [[nodiscard]] std::optional<ArchiveListing> listArchive(const QString& archive) const;

    // 1 when the listing of `archive` has a file entry named exactly `name`
    // (no folder) with `size` bytes: the check after packing.
    [[nodiscard]] int VerifyArchive(const QString& archive, const QString& name, qint64 size) const;

    // 1 when `archive` is one of Fernhold's archives of the file `name`: a zip
    // whose listing summary counts one file and no folder, and whose one
    // entry is `name`. A user's own zip of other or more files gives 0.
    [[nodiscard]] int isOneFileArchive(const QString& archive, const QString& name) const;

    // Extracts the entry `name` of the zip `archive`, without folders, into
    // `outputFolder` (ending in "/"), replacing a file of that name there.
    // The password goes to the archiver on standard input; an empty one
    // gives none, so an encrypted archive fails at once. Gives 1
    // when the archiver ended with exit code 0 and the file is there; on
    // failure nothing of that name is left in `outputFolder`.
    [[nodiscard]] int UnpackFile(const QString& archive, const QString& outputFolder,
                                 const QString& name, const QString& password = {}) const;

private:
    [[nodiscard]] bool stopRequested() const { return m_mustStop && m_mustStop(); }

    QString m_program;
    QString m_workFolder;
    StopCheck m_mustStop;
};

} // namespace fernhold
