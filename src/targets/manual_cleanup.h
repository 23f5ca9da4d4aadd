#pragma once

#include "core/job_settings.h"
#include "core/step_job.h"
#include "targets/version_passes.h"

#include <QString>
#include <atomic>
#include <memory>

namespace fernhold {

class Clock;
class UserInterface;
class VersionWalk;
struct RunState;

// The user's clean-up of the selected target: by age (mode 1: versions
// older than CleanDays, CleanKeepLatest keeping the newest of each file) or
// by size (mode 2: versions larger than CleanSize in CleanUnit). It runs in
// the worker slot, one folder per step(), and stops when the program ends,
// the status is no longer 2 (settings window open) or CleanupAbort is set.
//
// Only deletions that succeeded are counted: a version that could not be
// deleted is still there, so it is neither in DeletedCount nor in FreedBytes.
class ManualCleanupJob : public StepJob
{
public:
    enum class Mode
    {
        ByAge = 1,
        BySize = 2,
    };

    enum class Outcome
    {
        Running,
        Finished,     // the walk came to its end
        Stopped,      // the stop test fired; the counts are those so far
        Unreachable,  // target folder missing or unlistable, FTP target unreachable
        NoConnection, // FTP: the server could not be reached during the run
        NoRoot,       // FTP: the target's folder could not be entered
        NotATarget,   // the selected target is neither a folder nor an FTP target
    };

    // `settings` is the job's own copy, with the settings window's values
    // taken over (the selected target, CleanDays, CleanKeepLatest, ...).
    ManualCleanupJob(JobSettings settings, RunState& run, const Clock& clock, UserInterface& ui,
                     Mode mode);
    ~ManualCleanupJob() override;
    ManualCleanupJob(const ManualCleanupJob&) = delete;
    ManualCleanupJob& operator=(const ManualCleanupJob&) = delete;

    // Main thread, before the job starts: the Yes/No question (default No)
    // naming the limit and `targetText`, the target as the target chooser
    // shows it. Yes clears CleanupAbort and gives true.
    [[nodiscard]] bool confirm(const QString& targetText);

    // One unit of work: the start, then one folder per call, then the end
    // (running notice hidden, result in the clean-up status). False once the
    // job has finished.
    [[nodiscard]] bool step() override;

    // The whole job, for the worker slot: step() until it is done.
    void run();

    [[nodiscard]] int DeletedCount() const { return m_deleted.load(); }
    [[nodiscard]] qint64 FreedBytes() const { return m_freed.load(); }
    [[nodiscard]] Outcome outcome() const { return m_outcome.load(); }

    // The last text given to the clean-up status: the result line, or why
    // the clean-up could not run. Read once the job has finished.
    [[nodiscard]] QString resultText() const { return m_resultText; }

    // The question's text for `mode` with the values of `settings`.
    [[nodiscard]] static QString questionText(const JobSettings& settings, Mode mode,
                                              const QString& targetText);

private:
    [[nodiscard]] bool mustStop() const;
    void begin();
    void finish(Outcome outcome, const QString& statusText);
    [[nodiscard]] CleanupRules rules() const;
    [[nodiscard]] QString targetDisplay() const;

    JobSettings m_settings;
    RunState& m_run;
    const Clock& m_clock;
    UserInterface& m_ui;
    Mode m_mode;
    int m_target = 0;
    std::unique_ptr<VersionWalk> m_walk;
    bool m_started = false;
    bool m_noticeShown = false;
    std::atomic<int> m_deleted{0};
    std::atomic<qint64> m_freed{0};
    std::atomic<Outcome> m_outcome{Outcome::Running};
    QString m_resultText;
};

} // namespace fernhold
