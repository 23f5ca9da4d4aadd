#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <vector>

namespace fernhold {

class BackupState;
class Clock;
class SourceIndex;
class StatusLine;
class UserInterface;
struct BackupWalk;
struct JobSettings;
struct RunState;

// Everything the index jobs use besides the settings. The index is the
// application's; the job holding the worker slot is its only user.
struct IndexEnvironment
{
    SourceIndex& index;
    RunState& run;
    StatusLine& statusLine;
    UserInterface& ui;
    const Clock& clock;
    QString fileTimePath; // application-data folder + `FileTime_File`; "" writes none
    BackupState& state;
    // The start-up scan compares with the last run's table (extended mode, a
    // single run from a timer); late sources always do.
    bool compareWithTable = false;
};

// A source whose files are now in the index. The worker works on its own copy
// of the settings, so the main thread applies these afterwards.
struct IndexedSource
{
    int number = 0; // 1-based, as in the source list
    QString SourceDirPfad;
    std::int8_t SourceDirSub = 0;
};

struct IndexScanResult
{
    std::vector<IndexedSource> indexed;
    qint64 folders = 0;
    qint64 files = 0;
};

// The index scan, a job for the worker slot (start-up and rebuilds): empties
// the index, indexes every source folder that can be listed, sorts, takes the
// index as the new reference when `TakeIndexAsReference` is set, writes the
// file-time table, and reports on the status line. Stops early when the
// program ends or a rebuild or full backup is asked for. A source whose states
// are in the table is compared with it when `compareWithTable` is set; a
// source that could not be read keeps its states in the table.
IndexScanResult IndexScan(const JobSettings& settings, const IndexEnvironment& env);

// Sets `Indexed` on the sources a job indexed. An entry is matched by its
// number, folder and sub-folder flag, so a source edited meanwhile stays
// unindexed and is indexed by the next pass.
void ApplyIndexedSources(JobSettings& settings, const std::vector<IndexedSource>& indexed);

// The backup pass's first step: indexes every source not yet indexed whose
// folder can now be listed. A source whose states are in the file-time table
// is compared with it, so what changed while it could not be read is saved;
// the files of any other count as known. Sets `Indexed` in `settings` (the
// worker's copy) and gives the sources for ApplyIndexedSources. When any was
// added the index is sorted and, with `save`, the table written. Stops with
// the pass.
std::vector<IndexedSource> IndexLateSources(JobSettings& settings, const IndexEnvironment& env,
                                            bool save = true);

// State of the running backup pass, re-created for every pass; the index
// walks share the first three fields with it.
struct PassState
{
    std::array<std::int8_t, 10> TargetReady{}; // index 1 to 9
    qint64 BytesToDo = 0;
    qint64 BytesDone = 0;
    qint64 PassStartTime = 0; // seconds since 1970 at the start of the walk
    qint64 ShownRemaining = 0;
    QString ProgressText;
    qint64 LongPathCount = 0;
    QStringList PassFileList;
};

// The first ready target named in `sourceDirTarget`, 0 when none is.
[[nodiscard]] int FirstReadyTarget(const QString& sourceDirTarget,
                                   const std::array<std::int8_t, 10>& targetReady);

// The ready targets among `targets` (digits), as digits.
[[nodiscard]] QString ReadyTargets(const QString& targets,
                                   const std::array<std::int8_t, 10>& targetReady);

// The pre-count: BytesToDo and BytesDone start at 0, then CountFolder adds up
// every indexed, listable source that has a ready target; a source that owes
// a ready target every file counts every file, indexed or not. Stops with the
// pass.
void PreCountSources(const JobSettings& settings, const BackupWalk& walk,
                     const BackupState& backupState, PassState& state);

} // namespace fernhold
