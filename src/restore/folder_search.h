#pragma once

#include "core/step_job.h"
#include "platform/native_paths.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

namespace fernhold {

// One candidate of the folder restore: a row of the window's result list.
struct FolderRestoreRow
{
    QString result;      // first column: "yyyy/mm/dd hh:mm" or "Password !", later the outcome
    QString path;        // second column: the file's path in its source folder
    bool checked = true; // restored only when checked
    QString version;     // the version: folder relative to the target's root + version name
};

// The choices of the folder restore window.
struct FolderSearchOptions
{
    bool oldest = false;       // per file the oldest version in the range, else the newest
    bool subFolders = false;   // search the sub-folders too
    bool nameFilterOn = false; // only files whose name contains one of the patterns
    // Patterns separated by "," ("doc,xls"), any letter case. An empty
    // pattern names nothing: "doc," is "doc", and "," alone matches no file.
    QString nameFilter;
    QDate from; // the range of days, both counted in full
    QDate to;
};

// Picks from the names of one folder, per file, the one version in the
// range of days: the newest, or with `oldest` the oldest. Names that are
// not versions are dropped. The result is in name order, ascending for the
// newest and descending for the oldest, as the window lists them.
[[nodiscard]] QStringList SelectVersionsInRange(const QStringList& names,
                                                const FolderSearchOptions& options);

// The search of the folder restore as a step job: each step handles one
// entry of the folder being read, so a window stays live and can stop it
// between two steps. Folders are searched depth first, each level in name
// order; the candidates of a folder are added to `rows` when its last
// entry is done. Only a folder target is searched.
class FolderSearch : public StepJob
{
public:
    // `targetRoot` is the TargetDir of the target (absolute, ending in "/"),
    // `folder` the folder to search relative to it, ending in "/".
    // `havePassword` tells whether encrypted versions can be unpacked; those
    // found without one are offered unchecked as "Password !".
    FolderSearch(QString targetRoot, const QString& folder, FolderSearchOptions options,
                 bool havePassword, QList<FolderRestoreRow>& rows);

    // One unit of work. False when the search is over (nothing was done).
    bool step() override;
    [[nodiscard]] bool isOver() const { return m_over; }

    // Folders that could not be read. The search goes on without them, and
    // the caller tells the user that the list lacks their versions.
    [[nodiscard]] const QStringList& unreadableFolders() const { return m_unreadable; }

private:
    bool openFolder(const QString& folder);
    void finishFolder();

    QString m_root;
    FolderSearchOptions m_options;
    QStringList m_patterns;
    bool m_havePassword = false;
    QList<FolderRestoreRow>& m_rows;

    QString m_current;
    QList<FolderListEntry> m_listing;
    qsizetype m_next = 0;
    QStringList m_files;
    QStringList m_queue;
    qsizetype m_insertAt = 0;
    QStringList m_unreadable;
    bool m_over = false;
};

} // namespace fernhold
