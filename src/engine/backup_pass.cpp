#include "engine/backup_pass.h"

#include "core/clock.h"
#include "core/job_settings.h"
#include "core/program_status.h"
#include "core/run_state.h"
#include "core/status_line.h"
#include "core/text_table.h"
#include "core/user_interface.h"
#include "engine/backup_context.h"
#include "engine/backup_state.h"
#include "engine/exclusion_rules.h"
#include "engine/exclusion_tally.h"
#include "engine/file_time_table.h"
#include "engine/index_walks.h"
#include "engine/log_book.h"
#include "engine/remote_targets.h"
#include "engine/single_file_backup.h"
#include "engine/source_index.h"
#include "engine/source_walk.h"
#include "engine/transfer_pool.h"
#include "platform/folders.h"

#include <QThread>
#include <algorithm>
#include <memory>

namespace fernhold {

namespace {

const QString kTabs = QStringLiteral("\t\t");

// Transfers of a first or full save that may wait or run at once, per pool
// thread: enough to keep the threads busy while the walk stats the next
// files, few enough that a stop drops them at once.
constexpr int kQueuedPerThread = 4;

class Pass
{
public:
    Pass(JobSettings& settings, BackupServices& services)
        : m_settings(settings),
          m_s(services), m_env{services.index, services.run,   services.statusLine,
                               services.ui,    services.clock, services.fileTimeTablePath,
                               services.state}
    {}

    BackupPassResult run();

private:
    void status(const QString& line) { m_s.statusLine.ShowStatusLine(line); }
    void log(const QString& line) { m_s.log.AddLogLine(line); }
    [[nodiscard]] bool mustStop() const { return PassMustStop(m_s.run); }
    [[nodiscard]] bool folderTargetReachable(int t) const;
    [[nodiscard]] bool anyTargetConfigured() const;
    void waitForTargets();
    void walkSources();
    void walkSource(int number, SourceEntry& source, const BackupWalk& walk,
                    const BackupFileFunction& backupFile, SingleFileBackup& single,
                    ExclusionTally& tally);
    [[nodiscard]] bool onlyFolderTargets(const QString& sourceDirTarget) const;
    [[nodiscard]] bool anythingOwed() const;
    void logTemporarySource(const ExclusionRules& rules, const QString& sourceFolder);
    void cleanUpWhenDue();
    void summary(bool full);
    // Sleeps, but wakes for a stop.
    void pause(qint64 milliseconds) const;

    JobSettings& m_settings;
    BackupServices& m_s;
    IndexEnvironment m_env;
    PassState m_pass;
    BackupPassResult m_result;
    QString m_readyText;
    bool m_full = false;
    // Transfers of the source being walked go to the pool (first and full
    // saves to folder targets): many files, each read and written once.
    bool m_parallel = false;
    std::unique_ptr<TransferPool> m_pool;
};

bool Pass::onlyFolderTargets(const QString& sourceDirTarget) const
{
    // A remote target keeps its one session, so its files stay on the pass thread.
    const QString ready = ReadyTargets(sourceDirTarget, m_pass.TargetReady);
    return std::all_of(ready.cbegin(), ready.cend(), [this](QChar digit) {
        return m_settings.target(digit.digitValue()).TargetType == QStringLiteral("WIN");
    });
}

bool Pass::anyTargetConfigured() const
{
    for (int t = 1; t <= kTargetCount; ++t) {
        const TargetEntry& target = m_settings.target(t);
        if ((target.TargetType == QStringLiteral("WIN") && !target.TargetDir.isEmpty()) ||
            (target.TargetType == QStringLiteral("FTP") && !target.FTPServerName.isEmpty())) {
            return true;
        }
    }
    return false;
}

bool Pass::folderTargetReachable(int t) const
{
    const QString& dir = m_settings.target(t).TargetDir;
    return !dir.isEmpty() && CanListFolder(dir);
}

void Pass::pause(qint64 milliseconds) const
{
    for (qint64 slept = 0; slept < milliseconds && !mustStop(); slept += 50) {
        QThread::msleep(50);
    }
}

void Pass::waitForTargets()
{
    int remaining = m_settings.WaitForTargetDirCount;
    while (!mustStop()) {
        m_readyText.clear();
        QString failText;
        bool refused = false; // a server the user must act on: say which, also when giving up
        for (int t = 1; t <= kTargetCount; ++t) {
            const TargetEntry& target = m_settings.target(t);
            QString label;
            bool reachable = false;
            if (target.TargetType == QStringLiteral("WIN")) {
                label = QStringLiteral("  [%1] ").arg(t) + target.TargetDir;
                reachable = folderTargetReachable(t);
            } else if (target.TargetType == QStringLiteral("FTP")) {
                label = QStringLiteral("  [%1] ").arg(t) + target.FTPServerName + u':' +
                        target.FTPServerPort + QStringLiteral(" > ") + target.FTPSubDir;
                reachable = m_s.remote.FtpCheckTarget(m_settings, t, [this] { return mustStop(); }) == 1;
                if (!reachable && !m_s.remote.lastCheckProblem().isEmpty()) {
                    label += QStringLiteral(" (") + m_s.remote.lastCheckProblem() + u')';
                    refused = true;
                }
            } else {
                continue;
            }
            if (reachable) {
                m_pass.TargetReady[static_cast<std::size_t>(t)] = 1;
                ++m_result.readyTargets;
                m_readyText += label;
            } else {
                failText += label;
            }
        }
        if (m_result.readyTargets > 0) {
            log(kTabs + Text("TXT00152") + u':' + m_readyText);
            if (!failText.isEmpty()) {
                log(kTabs + Text("TXT00159") + u':' + failText);
            }
            return;
        }
        if (m_settings.TargetDirCheckPermanent >= 1) {
            remaining = m_settings.WaitForTargetDirCount;
        }
        // Waiting cannot make a target appear that names no folder or server.
        if (remaining < 1 || !anyTargetConfigured()) {
            m_s.run.Status = 0;
            m_s.recorder.RecordStatus(0);
            m_result.switchedInactive = true;
            status(Text("TXT00073"));
            m_s.ui.showMessage(Text("Program_Name"),
                               Text("TXT00075") + QStringLiteral("\r\n") + Text("TXT00068") +
                                   QStringLiteral("\r\n") + Text("TXT00069"),
                               MessageIcon::Information, true);
            if (refused) {
                log(kTabs + Text("TXT00159") + u':' + failText);
            }
            log(kTabs + Text("TXT00153"));
            return;
        }
        if (m_settings.TargetDirCheckPermanent >= 1) {
            status(Text("TXT00071") + QStringLiteral(" (permanent)"));
        } else {
            status(
                Text("TXT00071") + QStringLiteral(" (") +
                QString::number(static_cast<qint64>(remaining) * m_settings.WaitForTargetDirTime) +
                u' ' + Text("TXT00072") + u')');
        }
        pause(static_cast<qint64>(m_settings.WaitForTargetDirTime) * 1000);
        --remaining;
    }
}

void Pass::walkSources()
{
    const ExclusionRules rules(m_settings, m_s.folders);
    const FolderIdSet targetRoots = TargetRootFolders(m_settings);
    const BackupWalk walk{m_s.index,   rules,
                          m_s.run,     SizeLimitBytes(m_settings.BackupSize, m_settings.BackupUnit),
                          targetRoots, &m_s.state};
    if (m_settings.MonitorWithRemaining == 1) {
        PreCountSources(m_settings, walk, m_s.state, m_pass);
    }
    m_pass.PassStartTime = m_s.clock.nowSeconds();
    m_pass.ShownRemaining = 0;
    m_pass.ProgressText.clear();
    if (m_s.run.FullBackupRequested.load() >= 1) {
        m_s.run.FullBackupRequested = 0;
        m_settings.InitialFullBackupLastStarted = static_cast<int>(m_s.clock.nowSeconds());
        m_result.fullBackupStarted = m_settings.InitialFullBackupLastStarted;
    }
    m_pass.LongPathCount = 0;
    m_s.index.BeginPass();
    m_s.state.takeInRecordedSaves();

    SingleFileBackup single(m_s, m_pass);
    ExclusionTally tally(rules);
    const BackupFileFunction backupFile =
        [this, &single](const QString& folder, const QString& name, qint64 size,
                        const std::optional<FileRecord>& record, const QString& targets) {
            if (!m_parallel) {
                single.BackupFile(folder, name, size, record, targets);
                return;
            }
            if (!m_pool) {
                m_pool = std::make_unique<TransferPool>(
                    TransferThreads(), TransferThreads() * kQueuedPerThread,
                    m_settings.ProcessPriorityLower == 1, [this] { return mustStop(); });
            }
            single.QueueFile(*m_pool, folder, name, size, record, targets);
        };
    for (qsizetype i = 0; i < m_settings.sources.size(); ++i) {
        if (mustStop()) {
            break;
        }
        SourceEntry& source = m_settings.sources[i];
        if (!CanListFolder(source.SourceDirPfad) ||
            FirstReadyTarget(source.SourceDirTarget, m_pass.TargetReady) == 0) {
            continue;
        }
        logTemporarySource(rules, source.SourceDirPfad);
        walkSource(static_cast<int>(i) + 1, source, walk, backupFile, single, tally);
    }
    // The pool's threads end before the file backup their transfers use.
    m_pool.reset();
    if (const QString excluded = tally.summary(); !excluded.isEmpty()) {
        log(kTabs + Text("TXT00480") + QStringLiteral(": ") + excluded);
    }
    m_result.failedFiles = single.failedFiles();
    m_result.stopped = mustStop();
    m_result.newFiles = m_s.index.MergeWorking();
}

void Pass::walkSource(int number, SourceEntry& source, const BackupWalk& walk,
                      const BackupFileFunction& backupFile, SingleFileBackup& single,
                      ExclusionTally& tally)
{
    log(kTabs + Text("TXT00154") + QStringLiteral(":  [") + source.SourceDirTarget +
        QStringLiteral("] ") + source.SourceDirPfad);
    // Targets that have not had every file of this source yet (a new source, a
    // new target, a full backup cut short) get the unchanged files too.
    const QString owed = ReadyTargets(m_s.state.owedTargets(source), m_pass.TargetReady);
    if (!owed.isEmpty()) {
        log(kTabs + Text("TXT00430") + QStringLiteral(":  [") + owed + QStringLiteral("] ") +
            source.SourceDirPfad);
    }
    single.setFirstSave(!owed.isEmpty());
    m_parallel = TransferThreads() > 0 && (m_full || !owed.isEmpty()) &&
                 onlyFolderTargets(source.SourceDirTarget);
    const int skippedBefore = single.skippedFiles();
    int complete = 0;
    if (source.Indexed == 1) {
        complete =
            BackupFolder(walk, source.SourceDirSub == 1, source.SourceDirFilter,
                         source.SourceDirPfad, source.SourceDirTarget, backupFile, owed, &tally);
    } else {
        // Not indexed yet (a single run, a folder that came back): indexed in
        // the same walk. A source whose states are in the table is compared
        // with it, so what changed while it could not be read is saved.
        const bool compare = m_s.state.known(source) && m_s.run.TakeIndexAsReference.load() == 0;
        const SourcePassWalk sourceWalk{source.SourceDirPfad, source.SourceDirSub == 1,
                                        source.SourceDirFilter, source.SourceDirTarget, owed};
        IndexCounts counts;
        complete =
            IndexAndBackupFolder(walk, m_s.index, sourceWalk, compare, backupFile, &tally, counts);
        if (complete == 1) {
            source.Indexed = 1;
            m_result.indexed.push_back({number, source.SourceDirPfad, source.SourceDirSub});
        }
    }
    if (m_pool) {
        m_pool->drain();
    }
    // A stop that kept queued files from their transfer leaves the source
    // owing them, as a walk cut short would.
    if (single.skippedFiles() != skippedBefore) {
        complete = 0;
    }
    m_parallel = false;
    single.setFirstSave(false);
    if (complete == 1) {
        // Every file was handed to every ready target; those that failed are
        // not in the index and are tried again by the next pass. The states
        // of the others are in the index, so the table now speaks for them.
        m_s.state.markSaved(source, ReadyTargets(source.SourceDirTarget, m_pass.TargetReady));
        m_s.state.markKnown(source);
        if (!m_s.fileTimeTablePath.isEmpty()) {
            (void)m_s.state.save();
        }
        if (!owed.isEmpty()) {
            log(kTabs + Text("TXT00431") + QStringLiteral(":  [") + owed + QStringLiteral("] ") +
                source.SourceDirPfad);
        }
    }
}

// A source inside the temporary or the cache folder loses every file to the
// system-file rules; the log says so rather than showing an empty source.
void Pass::logTemporarySource(const ExclusionRules& rules, const QString& sourceFolder)
{
    const int kind = rules.TemporaryFolderKind(WithSlash(sourceFolder));
    if (kind != 0) {
        log(kTabs + Text(kind == 5 ? "TXT00489" : "TXT00488") + QStringLiteral(": ") +
            sourceFolder);
    }
}

bool Pass::anythingOwed() const
{
    return std::any_of(
        m_settings.sources.cbegin(), m_settings.sources.cend(),
        [this](const SourceEntry& s) { return !m_s.state.owedTargets(s).isEmpty(); });
}

void Pass::cleanUpWhenDue()
{
    if (m_settings.NoAutomaticCleaning != 0) {
        return;
    }
    // The time of the last clean-up is kept per target across runs, so a
    // program started for one pass at a time cleans up too. A time in the
    // future means the clock was set back: the clean-up is due.
    const qint64 now = m_s.clock.nowSeconds();
    const qint64 interval = static_cast<qint64>(m_settings.MaxCleanUpEachMinutes) * 60;
    const auto due = [&](int t) {
        const qint64 last = m_s.state.lastCleanup(t);
        return last <= 0 || last > now || now - last >= interval;
    };
    bool any = false;
    for (int t = 1; t <= kTargetCount && !any; ++t) {
        const QString& type = m_settings.target(t).TargetType;
        any = due(t) && (type == QStringLiteral("WIN") || type == QStringLiteral("FTP"));
    }
    if (!any) {
        return;
    }
    log(kTabs + Text("TXT00155") + u' ' + m_readyText);
    status(Text("TXT00076"));
    for (int t = 1; t <= kTargetCount; ++t) {
        const TargetEntry& target = m_settings.target(t);
        if (!due(t)) {
            continue;
        }
        bool usable = false;
        if (target.TargetType == QStringLiteral("WIN")) {
            usable = folderTargetReachable(t);
        } else if (target.TargetType == QStringLiteral("FTP")) {
            usable = m_s.remote.FtpCheckTarget(m_settings, t, [this] { return mustStop(); }) == 1;
        }
        if (usable && m_s.run.Status.load() == 1 && m_s.run.Ending.load() == 0) {
            const QString path =
                target.TargetType == QStringLiteral("WIN") ? target.TargetDir : QString();
            if (m_s.remote.CleanTargetVersions(m_settings, t, path) == 1) {
                m_s.state.setLastCleanup(t, m_s.clock.nowSeconds());
                if (!m_s.fileTimeTablePath.isEmpty()) {
                    (void)m_s.state.save();
                }
            }
        }
    }
}

void Pass::summary(bool full)
{
    int lines = 0;
    QString extra;
    if (m_pass.LongPathCount > 0) {
        lines = 1;
        extra = QStringLiteral("\r\n") + Text("TXT00190") + QStringLiteral(" (") +
                QString::number(m_pass.LongPathCount) + u')';
        log(kTabs + Text("TXT00190") + QStringLiteral(": ") +
            QString::number(m_pass.LongPathCount));
    }
    for (const QString& name : m_pass.PassFileList) {
        ++lines;
        if (lines > 4) {
            extra += QStringLiteral("\r\n") + Text("TXT00077");
            break;
        }
        extra += QStringLiteral("\r\n") + name.left(55) +
                 (name.size() > 55 ? QStringLiteral("...") : QString());
    }
    const QString count = QString::number(m_result.newFiles);
    if (full) {
        status(Text("TXT00078") + QStringLiteral(" (") + Text("TXT00160") + QStringLiteral(", ") +
               count + u' ' + Text("TXT00064") + u')' + extra);
        log(kTabs + Text("TXT00156") + QStringLiteral(" (") + Text("TXT00160") + u')');
    } else {
        status(Text("TXT00078") + QStringLiteral(" (") + count + u' ' + Text("TXT00079") + u')' +
               extra);
        log(kTabs + Text("TXT00156"));
    }
}

BackupPassResult Pass::run()
{
    const bool full = m_s.run.FullBackupRequested.load() >= 1;
    m_full = full;
    if (full) {
        status(Text("TXT00065") + QStringLiteral(" (") + Text("TXT00160") + u')');
        log(kTabs + Text("TXT00151") + QStringLiteral(" (") + Text("TXT00160") + u')');
    } else {
        status(Text("TXT00065"));
        log(kTabs + Text("TXT00151"));
    }
    waitForTargets();
    m_pass.PassFileList.clear();
    if (m_result.readyTargets > 0) {
        walkSources();
    }
    // Sources the walk did not reach (no ready target) are indexed on their
    // own; the table is saved below.
    for (IndexedSource& late : IndexLateSources(m_settings, m_env, false)) {
        m_result.indexed.push_back(std::move(late));
    }
    if (SaveFileTimeTable(m_s.index, m_s.fileTimeTablePath, m_s.clock, m_s.ui) == 1 &&
        !anythingOwed()) {
        // Every first save got through and the table holds what it saved.
        m_s.state.clearFirstSave();
    }
    cleanUpWhenDue();
    // Before anything that may wait on the user: no session stays open idle.
    m_s.remote.endPass();
    summary(full);
    if (m_settings.LogfileActive >= 1) {
        m_s.times.LastLogFlush = m_s.clock.nowSeconds();
        (void)m_s.log.WriteLogFile(m_settings);
    }
    const std::int8_t before = m_s.run.StatusBeforeBackupNow.load();
    if (before != m_s.run.Status.load() && before != -9) {
        m_s.run.Status = before;
        m_s.recorder.RecordStatus(before);
        m_s.run.ShownStatus = -2;
    }
    m_s.run.StatusBeforeBackupNow = -9;
    if (m_settings.WarnLongPath == 1 && m_pass.LongPathCount > 0) {
        m_s.ui.showMessage(Text("Program_Name"),
                           Text("TXT00190") + QStringLiteral(": ") +
                               QString::number(m_pass.LongPathCount) + QStringLiteral("\r\n\r\n") +
                               Text("HLP00027"),
                           MessageIcon::Warning);
    }
    return m_result;
}

} // namespace

BackupPassResult BackupPass(JobSettings& settings, BackupServices& services)
{
    return Pass(settings, services).run();
}

} // namespace fernhold
