#pragma once

#include "engine/file_record.h"
#include "engine/source_walk.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace fernhold {

class BackupState;
class ExclusionRules;
class ExclusionTally;
class SourceIndex;
struct RunState;

// What IndexFolder counted, for the report of the index scan.
struct IndexCounts
{
    qint64 folders = 0; // folders opened
    qint64 files = 0;   // files whose state was read (recorded or not)
};

// What the index walk needs.
struct IndexWalk
{
    SourceIndex& index;
    const RunState& run;
    int workModeExtended = 0;
    const FolderIdSet& skipFolders; // target roots, never walked
};

// The stop test of the index walks: the program ends, or a rebuild or a full
// backup was asked for.
[[nodiscard]] bool IndexMustStop(const RunState& run);

// Appends the records of all files in `folderPath` (and below it with
// `includeSub`) to the searched part of the index, unsorted until the caller
// sorts. In extended mode with a reference index, and unless
// `takeAsReference`, only records the reference holds are appended: a file
// changed while the program was not running stays unknown. Gives 1 when the
// walk ran to its end, 0 when it stopped or the folder could not be opened.
int IndexFolder(const IndexWalk& walk, const QString& folderPath, bool includeSub,
                bool takeAsReference, IndexCounts& counts);

// The per-file callback of the backup walk: folder path (ending in "/"), file
// name, size, record and the source's `SourceDirTarget`. The size is 0 and the
// record empty when the file's state could not be read (the backup is tried;
// such a file has no state to record).
using BackupFileFunction =
    std::function<void(const QString& folderPath, const QString& name, qint64 size,
                       const std::optional<FileRecord>& record, const QString& sourceDirTarget)>;

// What the pre-count and the backup walk need.
struct BackupWalk
{
    const SourceIndex& index;
    const ExclusionRules& rules;
    const RunState& run;
    std::int64_t sizeLimit = 0;     // bytes; larger files are never backed up
    const FolderIdSet& skipFolders; // target roots, never walked
    // What a cut-short first save already delivered; null: nothing.
    const BackupState* firstSave = nullptr;
};

// Adds to `bytesToDo` the sizes of the files the backup walk would hand on:
// not excluded, not in the index (with `countUnchanged` also those), not over
// the size limit. Gives 1 when the walk ran to its end.
int CountFolder(const BackupWalk& walk, bool includeSub, const QString& filter,
                const QString& folderPath, qint64& bytesToDo, bool countUnchanged = false);

// The backup walk: hands every new or changed file that passes the exclusion
// rules and the size limit to `backupFile` for `sourceDirTarget`, and, when
// `unchangedTargets` is not empty, every unchanged one too for those targets
// (they owe the source its first save). The callback may add to the index
// (the walk searches only its sorted part). With a `tally`, every file and
// folder an exclusion rule keeps out is counted there. Gives 1 when the walk
// ran to its end.
int BackupFolder(const BackupWalk& walk, bool includeSub, const QString& filter,
                 const QString& folderPath, const QString& sourceDirTarget,
                 const BackupFileFunction& backupFile, const QString& unchangedTargets = {},
                 ExclusionTally* tally = nullptr);

// A source a pass walks, with what BackupFolder takes for it.
struct SourcePassWalk
{
    QString folderPath;
    bool includeSub = true;
    QString filter;
    QString sourceDirTarget;
    QString unchangedTargets; // targets still owed every file of the source
};

// The pass's walk of a source that is not yet indexed, in one walk where an
// IndexFolder and a BackupFolder after it would take two: every file's state
// joins `index` as IndexFolder records it (with `compare`, and a reference to
// compare with, only the states the reference holds), and each file
// BackupFolder would then find new or changed, or owed to
// `unchangedTargets`, goes to `backupFile`. Gives 1 when the walk ran to its
// end.
int IndexAndBackupFolder(const BackupWalk& walk, SourceIndex& index, const SourcePassWalk& source,
                         bool compare, const BackupFileFunction& backupFile, ExclusionTally* tally,
                         IndexCounts& counts);

} // namespace fernhold
