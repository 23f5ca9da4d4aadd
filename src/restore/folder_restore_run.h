#pragma once

#include "core/step_job.h"
#include "restore/folder_search.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace fernhold {

class Archiver;
class RestoreScratch;

// Registers restored files as known in the source index, so the next
// backup pass does not take them for changed files. Called once, at the
// end of a complete run, with the full paths of every file restored.
using RegisterRestored = std::function<void(const QStringList& restoredFiles)>;

struct FolderRestoreCounts
{
    int restored = 0;
    int failed = 0;
    int skipped = 0; // rows that were not checked
};

// The restore of the folder restore as a step job: each step restores one
// row of the list and writes its outcome into the row's first column
// (TXT00120 restored, TXT00130 failed, TXT00121 skipped, TXT00491 refused:
// the version is no regular file; refused rows count as failed). The row due next
// shows GAD00217 while the window waits for the step that restores it.
// A run that is stopped (destroyed before its end) registers nothing.
class FolderRestoreRun : public StepJob
{
public:
    // `targetRoot` is the folder target's TargetDir; `destination` is "" to
    // restore every file to its source folder, else a folder (ending in "/")
    // below which the target's folder tree is rebuilt. `password` unpacks
    // the encrypted versions.
    FolderRestoreRun(QList<FolderRestoreRow>& rows, QString targetRoot, QString destination,
                     QString password, const Archiver& archiver,
                     RegisterRestored registerRestored = {});
    ~FolderRestoreRun() override;
    FolderRestoreRun(const FolderRestoreRun&) = delete;
    FolderRestoreRun& operator=(const FolderRestoreRun&) = delete;

    // One row. False when the run is over (nothing was done).
    bool step() override;
    [[nodiscard]] bool isOver() const { return m_over; }

    [[nodiscard]] int row() const { return m_row; } // rows done so far
    [[nodiscard]] int total() const { return m_total; }
    [[nodiscard]] int progress() const;        // 0 to 100
    [[nodiscard]] QString counterText() const; // "row/total"
    [[nodiscard]] const FolderRestoreCounts& counts() const { return m_counts; }
    [[nodiscard]] const QStringList& restoredFiles() const { return m_restored; }
    // The versions refused as no regular files, as paths at the target.
    [[nodiscard]] const QStringList& refusedVersions() const { return m_refused; }
    // The summary shown at the end (title TXT00124).
    [[nodiscard]] QString summaryText() const;

    // Where the version of a row goes: the source path, or below `destination`.
    [[nodiscard]] static QString destinationFile(const QString& version,
                                                 const QString& destination);

private:
    enum class RowOutcome
    {
        Restored,
        Failed,
        Refused,
    };
    [[nodiscard]] RowOutcome restoreRow(const FolderRestoreRow& row);
    void markNext();

    QList<FolderRestoreRow>& m_rows;
    QString m_root;
    QString m_destination;
    QString m_password;
    const Archiver& m_archiver;
    RegisterRestored m_register;
    std::unique_ptr<RestoreScratch> m_scratch;
    int m_row = 0;
    int m_total = 0;
    FolderRestoreCounts m_counts;
    QStringList m_restored;
    QStringList m_refused;
    bool m_over = false;
};

} // namespace fernhold
