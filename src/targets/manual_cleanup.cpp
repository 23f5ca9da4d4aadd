#include "targets/manual_cleanup.h"

#include "core/clock.h"
#include "core/run_state.h"
#include "core/text_table.h"
#include "core/user_interface.h"
#include "engine/source_walk.h"
#include "targets/folder_version_walk.h"
#include "targets/ftp_target.h"
#include "targets/ftp_version_walk.h"
#include "targets/version_name.h"

namespace fernhold {

namespace {

const QString kBreak = QStringLiteral("\r\n");

} // namespace

ManualCleanupJob::ManualCleanupJob(JobSettings settings, RunState& run, const Clock& clock,
                                   UserInterface& ui, Mode mode)
    : m_settings(std::move(settings)), m_run(run), m_clock(clock), m_ui(ui), m_mode(mode)
{}

ManualCleanupJob::~ManualCleanupJob() = default;

QString ManualCleanupJob::questionText(const JobSettings& settings, Mode mode,
                                       const QString& targetText)
{
    if (mode == Mode::ByAge) {
        return Text("TXT00095") + u' ' + QString::number(settings.CleanDays) + u' ' +
               Text("TXT00096") + QStringLiteral("?") + kBreak + kBreak + targetText;
    }
    return Text("TXT00097") + u' ' + QString::number(settings.CleanSize) + u' ' +
           Text(settings.CleanUnit == 1 ? "GAD00068" : "GAD00067") + QStringLiteral("?") + kBreak +
           kBreak + targetText;
}

bool ManualCleanupJob::confirm(const QString& targetText)
{
    const bool yes = m_ui.askYesNo(Text("TXT00052"), questionText(m_settings, m_mode, targetText),
                                   MessageIcon::Question, false);
    if (yes) {
        m_run.CleanupAbort = 0;
    }
    return yes;
}

bool ManualCleanupJob::mustStop() const
{
    return m_run.Ending.load() >= 1 || m_run.Status.load() != 2 || m_run.CleanupAbort.load() != 0;
}

CleanupRules ManualCleanupJob::rules() const
{
    CleanupRules rules;
    rules.mode = m_mode == Mode::ByAge ? CleanupMode::ByAge : CleanupMode::BySize;
    rules.cutOff = CutOffDateText(m_clock.now(), m_settings.CleanDays);
    rules.keepLatest = m_settings.CleanKeepLatest != 0;
    rules.sizeLimit = SizeLimitBytes(m_settings.CleanSize, m_settings.CleanUnit);
    return rules;
}

QString ManualCleanupJob::targetDisplay() const
{
    const TargetEntry& entry = m_settings.target(m_target);
    if (entry.TargetType == QStringLiteral("FTP")) {
        return QStringLiteral("//") + entry.FTPServerName + u':' + entry.FTPServerPort +
               entry.FTPSubDir;
    }
    return entry.TargetDir;
}

void ManualCleanupJob::begin()
{
    m_deleted = 0;
    m_freed = 0;
    if (mustStop()) {
        finish(Outcome::Stopped, {});
        return;
    }
    m_target = m_settings.SelectedTarget;
    if (m_target < 1 || m_target > kTargetCount) {
        finish(Outcome::NotATarget, {});
        return;
    }
    const TargetEntry& entry = m_settings.target(m_target);
    const StopTest stop = [this] { return mustStop(); };
    const auto unreachable = [this] {
        m_ui.showMessage(Text("Program_Name"), Text("TXT00075") + kBreak + Text("TXT00082"),
                         MessageIcon::Information, true);
        finish(Outcome::Unreachable, {});
    };

    if (entry.TargetType == QStringLiteral("WIN")) {
        if (entry.TargetDir.isEmpty() || !CanListFolder(entry.TargetDir)) {
            unreachable();
            return;
        }
        m_ui.showCleanupRunning(true);
        m_noticeShown = true;
        m_walk = std::make_unique<FolderVersionWalk>(
            entry.TargetDir, rules(), stop,
            [this](const QString& folder) { m_ui.showCleanupStatus(folder); });
        return;
    }
    if (entry.TargetType == QStringLiteral("FTP")) {
        FtpSessionOptions options;
        options.stopRequested = stop;
        if (FtpCheckTarget(m_settings, m_target, options) != 1) {
            // A check cut short by the stop button says nothing about the server.
            if (mustStop()) {
                finish(Outcome::Stopped, {});
            } else {
                unreachable();
            }
            return;
        }
        m_ui.showCleanupRunning(true);
        m_noticeShown = true;
        m_ui.showCleanupStatus(Text("TXT00105"));
        const QString server = QStringLiteral("//") + entry.FTPServerName + u':' +
                               QString::number(FtpTargetPort(m_settings, m_target)) + u'/';
        auto walk = std::make_unique<FtpVersionWalk>(
            m_settings, m_target, QString(), rules(), stop,
            [this, server](const QString& relative) { m_ui.showCleanupStatus(server + relative); });
        switch (walk->connect()) {
        case FtpVersionWalk::Start::Connected:
            m_walk = std::move(walk);
            return;
        case FtpVersionWalk::Start::NoConnection:
            finish(Outcome::NoConnection, targetDisplay() + kBreak + Text("TXT00106"));
            return;
        case FtpVersionWalk::Start::NoRoot:
            finish(Outcome::NoRoot, targetDisplay() + kBreak + Text("TXT00107"));
            return;
        }
    }
    finish(Outcome::NotATarget, {});
}

bool ManualCleanupJob::step()
{
    if (m_outcome.load() != Outcome::Running) {
        return false;
    }
    if (!m_started) {
        m_started = true;
        begin();
        return m_outcome.load() == Outcome::Running;
    }
    m_walk->cleanNextFolder();
    const CleanupCount& count = m_walk->count();
    m_deleted = count.deleted;
    m_freed = count.freed;
    if (m_walk->done()) {
        const QString result = targetDisplay() + kBreak + Text("TXT00080") + QStringLiteral(". ") +
                               QString::number(count.deleted) + u' ' + Text("TXT00081") +
                               QStringLiteral(", ") + QString::number(count.freed) + u' ' +
                               Text("TXT00098") + u'.';
        finish(count.stopped ? Outcome::Stopped : Outcome::Finished, result);
    }
    return m_outcome.load() == Outcome::Running;
}

void ManualCleanupJob::run()
{
    (void)RunSteps(*this);
}

void ManualCleanupJob::finish(Outcome outcome, const QString& statusText)
{
    m_walk.reset();
    if (m_noticeShown) {
        m_ui.showCleanupRunning(false);
        m_noticeShown = false;
    }
    if (!statusText.isEmpty()) {
        m_resultText = statusText;
        m_ui.showCleanupStatus(statusText);
    }
    m_outcome = outcome;
}

} // namespace fernhold
