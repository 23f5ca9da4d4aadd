#include "targets/version_cleanup.h"

#include "core/clock.h"
#include "core/job_settings.h"
#include "core/run_state.h"
#include "core/text_table.h"
#include "core/user_interface.h"
#include "engine/source_walk.h"
#include "targets/folder_version_walk.h"
#include "targets/ftp_target.h"
#include "targets/ftp_version_walk.h"
#include "targets/version_name.h"

namespace fernhold {

CleanupRules AutomaticCleanupRules(const JobSettings& settings, const Clock& clock)
{
    CleanupRules rules;
    rules.mode = CleanupMode::Automatic;
    rules.cutOff = CutOffDateText(clock.now(), settings.BackupDays);
    rules.keepLatest = settings.BackupKeepLatest != 0;
    rules.copies = settings.BackupCopies;
    return rules;
}

CleanupCount CleanTargetVersions(const JobSettings& settings, const RunState& run,
                                 const Clock& clock, UserInterface& ui, const QString& path,
                                 int target)
{
    if (target < 1 || target > kTargetCount) {
        return {};
    }
    const QString& type = settings.target(target).TargetType;
    const CleanupRules rules = AutomaticCleanupRules(settings, clock);
    const StopTest stop = [&run] { return PassMustStop(run); };

    if (type == QStringLiteral("WIN")) {
        FolderVersionWalk walk(path, rules, stop);
        walk.runToEnd();
        return walk.count();
    }
    if (type == QStringLiteral("FTP")) {
        ui.showCleanupStatus(Text(QStringLiteral("TXT00105")));
        FtpVersionWalk walk(settings, target, path, rules, stop,
                            [&ui](const QString& relative) { ui.showCleanupStatus(relative); });
        if (walk.connect() != FtpVersionWalk::Start::Connected) {
            return {};
        }
        walk.runToEnd();
        return walk.count();
    }
    return {};
}

CleanupCount VersionCleanup::CleanTargetVersions(const QString& path, int target) const
{
    return fernhold::CleanTargetVersions(m_settings, m_run, m_clock, m_ui, path, target);
}

int VersionCleanup::CleanUsableTargets() const
{
    int cleaned = 0;
    for (int target = 1; target <= kTargetCount; ++target) {
        const TargetEntry& entry = m_settings.target(target);
        bool usable = false;
        QString path;
        if (entry.TargetType == QStringLiteral("WIN")) {
            usable = !entry.TargetDir.isEmpty() && CanListFolder(entry.TargetDir);
            path = entry.TargetDir;
        } else if (entry.TargetType == QStringLiteral("FTP")) {
            FtpSessionOptions options;
            options.stopRequested = [this] { return PassMustStop(m_run); };
            usable = FtpCheckTarget(m_settings, target, options) == 1;
        }
        if (usable && !PassMustStop(m_run)) {
            (void)CleanTargetVersions(path, target);
            ++cleaned;
        }
    }
    return cleaned;
}

} // namespace fernhold
