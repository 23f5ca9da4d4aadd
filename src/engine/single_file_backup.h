#pragma once

#include <QSet>
#include <QString>
#include <optional>

namespace fernhold {

struct BackupServices;
struct FileRecord;
struct PassState;

// Saves one new or changed file as a new version at every ready target of
// its source: packed (and encrypted) or copied, in the mirrored folder tree,
// each version appearing only complete. Logs it, claims its index entry (and
// gives it back when no target got the file, so the next pass tries again),
// and keeps the progress text.
class SingleFileBackup
{
public:
    SingleFileBackup(BackupServices& services, PassState& pass);

    // `folder` ends in "/"; `size` and `record` are the state the walk read.
    // Without a record (the state could not be read) nothing is claimed: the
    // file is tried, and tried again by the next pass.
    void BackupFile(const QString& folder, const QString& name, qint64 size,
                    const std::optional<FileRecord>& record, const QString& sourceDirTarget);

    // While a source owes targets its first save, every file saved is put in
    // the first save's journal, so a kill does not make it start over.
    void setFirstSave(bool firstSave) { m_firstSave = firstSave; }

    // Files of this pass that some ready target of their source did not get
    // (none, or not all of them).
    [[nodiscard]] int failedFiles() const { return m_failedFiles; }

    // The archive being made and the copy for an upload, in the private work folder.
    [[nodiscard]] QString zipTemp() const;
    [[nodiscard]] QString ftpTemp() const;

private:
    [[nodiscard]] bool packFile(const QString& path, const QString& name, qint64 size);
    [[nodiscard]] bool writeZipTemp();
    [[nodiscard]] int toFolderTarget(int target, const QString& folder, const QString& path,
                                     const QString& versionName, bool& longPath);
    [[nodiscard]] int toFtpTarget(int target, const QString& folder, const QString& path,
                                  const QString& versionName);
    void updateProgress(qint64 size);

    BackupServices& m_services;
    PassState& m_pass;
    // Version folders made or found in this pass: the next file there needs
    // no folder calls.
    QSet<QString> m_versionFolders;
    // Set when the settings ask for encryption that cannot be done: then no
    // archive is made, and the pass says why once.
    const std::optional<QString> m_encryptionProblem;
    bool m_encryptionReported = false;
    // The archive of the file being saved, when it is small enough to be
    // made in memory; otherwise it lies in the work folder (zipTemp()).
    QByteArray m_archive;
    bool m_archiveInMemory = false;
    bool m_zipTempWritten = false;
    int m_failedFiles = 0;
    bool m_firstSave = false;
};

// "0001.5 KB": the size in KB, MB or GB with one decimal, right-aligned to
// nine characters with leading "0".
[[nodiscard]] QString SizeText(qint64 bytes);

// The activity text of a file: line breaks in front of the 55th, 110th,
// 165th and 220th character, so the monitor window can show a long path.
[[nodiscard]] QString WrappedActivity(const QString& text);

} // namespace fernhold
