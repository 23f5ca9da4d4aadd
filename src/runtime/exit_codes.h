#pragma once

namespace fernhold {

// The exit codes of `fernhold --once`; README.md and --help list them.
constexpr int kExitSaved = 0; // every file found was saved at every reachable target
// Nothing was saved: no target was reachable, or the pass could not run
// (work folder, archiver).
constexpr int kExitNothingSaved = 1;
constexpr int kExitUsage = 2;          // bad arguments or a refused setting
constexpr int kExitFilesFailed = 3;    // some files did not reach every reachable target
constexpr int kExitAlreadyRunning = 4; // another instance runs; nothing was done
constexpr int kExitStopped = 5;        // SIGTERM or SIGINT stopped the run before its pass ended

} // namespace fernhold
