#pragma once

#include "engine/index_scan.h"

#include <optional>
#include <vector>

namespace fernhold {

struct BackupServices;
struct JobSettings;

// What a pass hands back to the main thread, which owns the settings.
struct BackupPassResult
{
    std::vector<IndexedSource> indexed;   // late sources the pass indexed
    std::optional<int> fullBackupStarted; // new InitialFullBackupLastStarted
    int readyTargets = 0;                 // targets reachable at the start
    qint64 newFiles = 0;                  // files backed up
    // Files of the pass that not every ready target of their source got.
    int failedFiles = 0;
    bool stopped = false; // the walk ended early: program end or a status change
    // No target could be reached, so the pass switched Fernhold inactive.
    bool switchedInactive = false;
};

// One backup pass, the job of the worker slot: indexes late sources, waits
// for a reachable target, walks every source and backs up each new or
// changed file, merges the index, saves the file-time table, runs the
// automatic clean-up when it is due, reports a summary and restores the
// status a back-up-now request overrode. `settings` is the worker's copy.
BackupPassResult BackupPass(JobSettings& settings, BackupServices& services);

} // namespace fernhold
