#include "core/periodic_section.h"

#include "core/clock.h"
#include "core/job_settings.h"
#include "core/program_status.h"
#include "core/run_state.h"
#include "core/schedule.h"
#include "core/status_line.h"
#include "core/text_table.h"
#include "core/user_interface.h"
#include "core/worker_slot.h"

namespace fernhold {

PeriodicSection::PeriodicSection(JobSettings& settings, RunState& run, const Clock& clock,
                                 UserInterface& ui, StatusRecorder& recorder,
                                 StatusLine& statusLine, WorkerSlot& slot, PeriodicHooks hooks)
    : m_settings(settings), m_run(run), m_clock(clock), m_ui(ui), m_recorder(recorder),
      m_statusLine(statusLine), m_slot(slot), m_hooks(std::move(hooks))
{}

void PeriodicSection::RunPeriodicSection()
{
    // A finished job hands its results back every turn, also while inactive
    // (a pass that switched the program inactive is not left unreaped).
    (void)m_slot.reap();
    remoteControl();
    repeatedFullBackup();
    indexRebuild();
    backupPass();
    icon();
}

void PeriodicSection::setStatus(int status, const QString& statusLineKey)
{
    m_run.Status = static_cast<std::int8_t>(status);
    m_recorder.RecordStatus(status);
    m_statusLine.ShowStatusLine(Text(statusLineKey));
}

void PeriodicSection::requestBackupNow()
{
    // A request repeated before its pass ended (a remote lock is seen every
    // turn it is held) must not make the forced status the one to return to.
    if (m_run.StatusBeforeBackupNow.load() == -9) {
        m_run.StatusBeforeBackupNow = m_run.Status.load();
    }
    m_run.BackupNowRequested = 1;
    setStatus(1, QStringLiteral("TXT00117"));
}

bool PeriodicSection::workerFree()
{
    m_slot.reap();
    return !m_slot.isBusy();
}

void PeriodicSection::remoteControl()
{
    if (!m_hooks.remoteRequested) {
        return;
    }
    if (m_hooks.remoteRequested(QStringLiteral("Fernhold_Inactive"))) {
        setStatus(0, QStringLiteral("TXT00073"));
    }
    if (m_hooks.remoteRequested(QStringLiteral("Fernhold_Active"))) {
        setStatus(1, QStringLiteral("TXT00074"));
    }
    if (m_hooks.remoteRequested(QStringLiteral("Fernhold_Now"))) {
        requestBackupNow();
    }
}

void PeriodicSection::repeatedFullBackup()
{
    if (m_settings.InitialRepeater != 1 || m_run.Status.load() != 1) {
        return;
    }
    // Up to a minute early, so a repetition is not missed by a turn.
    const qint64 due = static_cast<qint64>(m_settings.InitialFullBackupLastStarted) +
                       static_cast<qint64>(m_settings.InitialRepeaterTime) * 3600 - 60;
    if (m_clock.nowSeconds() >= due && workerFree()) {
        m_run.FullBackupRequested = 1;
        m_run.RescanRequested = 0;
        if (m_hooks.emptySourceIndex) {
            m_hooks.emptySourceIndex();
        }
    }
}

void PeriodicSection::indexRebuild()
{
    if (m_run.Status.load() == 1 && m_run.RescanRequested.load() == 1 &&
        m_run.FullBackupRequested.load() == 0 && workerFree()) {
        m_run.RescanRequested = 0;
        if (m_hooks.startIndexScan) {
            (void)m_hooks.startIndexScan();
        }
    }
}

void PeriodicSection::backupPass()
{
    if (m_run.Status.load() != 1 || !workerFree()) {
        return;
    }
    const bool now = m_run.BackupNowRequested.load() == 1;
    const qint64 due =
        m_run.LastPassStartTicks.load() + static_cast<qint64>(m_settings.BackupCycle) * 60000;
    if (!now && due >= m_clock.monotonicMs()) {
        return;
    }
    m_run.ScheduleAllows = 0;
    m_run.ScheduleAllows = static_cast<std::int8_t>(
        ScheduleAllows(m_settings.ScheduleMode, m_settings.Schedule, m_clock.now(), now));
    m_run.BackupNowRequested = 0;
    if (m_run.ScheduleAllows.load() != 1) {
        m_statusLine.ShowStatusLine(Text(QStringLiteral("TXT00116")));
        return;
    }
    if (m_hooks.archiverUsable && !m_hooks.archiverUsable()) {
        if (m_hooks.archiverMissing) {
            m_hooks.archiverMissing();
        }
        return;
    }
    m_run.LastPassStartTicks = m_clock.monotonicMs();
    m_run.LastPassStartTime = m_clock.nowSeconds();
    if (m_hooks.startBackupPass) {
        (void)m_hooks.startBackupPass();
    }
}

void PeriodicSection::icon()
{
    const int status = m_run.Status.load();
    if (status == m_run.ShownStatus.load()) {
        return;
    }
    const QString name = Text(QStringLiteral("Program_Name"));
    QString tooltip = name;
    switch (status) {
    case 0:
        tooltip += QStringLiteral(" - ") + Text(QStringLiteral("GAD00011"));
        break;
    case 1:
        tooltip += QStringLiteral(" - ") + Text(QStringLiteral("GAD00010"));
        break;
    case 2:
        tooltip += QStringLiteral(" - ") + Text(QStringLiteral("GAD00012"));
        break;
    default:
        break;
    }
    m_ui.showProgramStatus(status, tooltip);
    m_run.ShownStatus = static_cast<std::int8_t>(status);
}

} // namespace fernhold
