#pragma once

#include "targets/version_passes.h"

#include <QString>

namespace fernhold {

class Clock;
class UserInterface;
struct JobSettings;
struct RunState;

// The rules of the automatic clean-up: versions older than BackupDays
// (counted from the clock's now) and those beyond the newest BackupCopies of
// each file go, with BackupKeepLatest keeping the newest of each file.
[[nodiscard]] CleanupRules AutomaticCleanupRules(const JobSettings& settings, const Clock& clock);

// The automatic clean-up of one target (1 to 9). `path`: for a folder
// target ("WIN") the folder to clean, normally its TargetDir; for an FTP
// target a folder below its root, normally "". Another target type does
// nothing. Stops when the program ends or the status is no longer active
// (PassMustStop). Deletes without asking and reports nothing but the FTP
// folder being cleaned, in the clean-up status. Gives what it deleted.
CleanupCount CleanTargetVersions(const JobSettings& settings, const RunState& run,
                                 const Clock& clock, UserInterface& ui, const QString& path,
                                 int target);

// The same with its dependencies held, for a caller that wires it once.
class VersionCleanup
{
public:
    VersionCleanup(const JobSettings& settings, const RunState& run, const Clock& clock,
                   UserInterface& ui)
        : m_settings(settings), m_run(run), m_clock(clock), m_ui(ui)
    {}

    CleanupCount CleanTargetVersions(const QString& path, int target) const;

    // Every usable target from 1 to 9 in turn: a folder target whose
    // TargetDir can be listed, an FTP target that passes FtpCheckTarget;
    // each while the status is active and the program not ending. Gives how
    // many targets were cleaned (the caller's LastCleanupTime moves on when
    // at least one was).
    int CleanUsableTargets() const;

private:
    const JobSettings& m_settings;
    const RunState& m_run;
    const Clock& m_clock;
    UserInterface& m_ui;
};

} // namespace fernhold
