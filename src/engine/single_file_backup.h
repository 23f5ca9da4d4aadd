#pragma once

#include "engine/file_record.h"
#include "engine/version_copy.h"

#include <QSet>
#include <QString>
#include <mutex>
#include <optional>
#include <vector>

namespace fernhold {

class TransferPool;
struct BackupServices;
struct PassState;

// Saves one new or changed file as a new version at every ready target of
// its source: packed (and encrypted) or copied, in the mirrored folder tree,
// each version appearing only complete. Logs it, claims its index entry when
// some target got the file (otherwise the next pass tries again), and keeps
// the progress text.
class SingleFileBackup
{
public:
    SingleFileBackup(BackupServices& services, PassState& pass);

    // `folder` ends in "/"; `size` and `record` are the state the walk read.
    // Without a record (the state could not be read) nothing is claimed: the
    // file is tried, and tried again by the next pass.
    void BackupFile(const QString& folder, const QString& name, qint64 size,
                    const std::optional<FileRecord>& record, const QString& sourceDirTarget);

    // The same with the transfer done by `pool` while the walk goes on: the
    // file is announced now, logged and claimed when the pool finishes it.
    // Only for folder targets. A transfer a stop kept from starting counts
    // in skippedFiles() and leaves no trace.
    void QueueFile(TransferPool& pool, const QString& folder, const QString& name, qint64 size,
                   const std::optional<FileRecord>& record, const QString& sourceDirTarget);

    // While a source owes targets its first save, every file saved is put in
    // the first save's journal, so a kill does not make it start over.
    void setFirstSave(bool firstSave) { m_firstSave = firstSave; }

    // Files of this pass that some ready target of their source did not get
    // (none, or not all of them).
    [[nodiscard]] int failedFiles() const { return m_failedFiles; }
    // Files queued and never transferred because the pass stopped.
    [[nodiscard]] int skippedFiles() const { return m_skippedFiles; }

    // The archive being made (by the pool thread `slot`) and the copy for an
    // upload, in the private work folder.
    [[nodiscard]] QString zipTemp(int slot = 0) const;
    [[nodiscard]] QString ftpTemp() const;

private:
    // One file's backup: announced on the pass thread, transferred on any
    // thread, taken back on the pass thread.
    struct Transfer
    {
        QString folder;
        QString name;
        QString path;
        qint64 size = 0;
        std::optional<FileRecord> record;
        QString shownPath;
        QString shown;
        QString versionName;
        bool refused = false; // packing refused: the encryption cannot be done
        // The archive, when the file is small enough for it to be made in
        // memory; otherwise it lies in the work folder (zipTemp(slot)).
        QByteArray archive;
        bool archiveInMemory = false;
        // A ready target of the file's source and what the transfer left
        // there: a copy to put in place (folder) or the upload's outcome.
        struct ToTarget
        {
            int target = 0;
            bool remote = false;
            int written = 0; // 1: the copy is written, or the upload is done
            PendingCopy copy;
            QString version; // the version's full path at a folder target
        };
        std::vector<ToTarget> targets;
        bool longPath = false;
    };

    [[nodiscard]] Transfer announce(const QString& folder, const QString& name, qint64 size,
                                    const std::optional<FileRecord>& record,
                                    const QString& sourceDirTarget);
    void transfer(Transfer& file, int slot);
    void finish(Transfer& file);
    [[nodiscard]] bool packFile(Transfer& file, const QString& packedFile) const;
    [[nodiscard]] int toFolderTarget(const Transfer& file, const QString& packedFile,
                                     Transfer::ToTarget& to, bool& longPath);
    [[nodiscard]] int toFtpTarget(const Transfer& file, const QString& packedFile, int target,
                                  bool& packedFileWritten) const;
    void updateProgress(qint64 size);

    BackupServices& m_services;
    PassState& m_pass;
    // Fixed at the start: pool threads build their work-file names from them.
    const QString m_zipTempStem;
    const bool m_packs;
    const bool m_encrypts;
    // Version folders made or found in this pass: the next file there needs
    // no folder calls. Pool threads share it.
    std::mutex m_folderMutex;
    QSet<QString> m_versionFolders;
    // Set when the settings ask for encryption that cannot be done: then no
    // archive is made, and the pass says why once.
    const std::optional<QString> m_encryptionProblem;
    bool m_encryptionReported = false;
    int m_failedFiles = 0;
    int m_skippedFiles = 0;
    bool m_firstSave = false;
};

// "0001.5 KB": the size in KB, MB or GB with one decimal, right-aligned to
// nine characters with leading "0".
[[nodiscard]] QString SizeText(qint64 bytes);

// The activity text of a file: line breaks in front of the 55th, 110th,
// 165th and 220th character, so the monitor window can show a long path.
[[nodiscard]] QString WrappedActivity(const QString& text);

} // namespace fernhold
