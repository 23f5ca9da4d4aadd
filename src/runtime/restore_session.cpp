#include "runtime/restore_session.h"

#include "core/settings_store.h"
#include "core/slot_job.h"
#include "core/text_table.h"
#include "core/worker_slot.h"
#include "engine/archiver.h"
#include "platform/folders.h"
#include "runtime/termination.h"

#include <QDir>

namespace fernhold {

QString RestoreCommandUi::pickFolder(const QString& /*title*/, const QString& /*startFolder*/)
{
    return m_picked;
}

bool RestoreCommandUi::askYesNo(const QString& title, const QString& question, MessageIcon icon,
                                bool defaultYes)
{
    const bool yes = HeadlessUserInterface::askYesNo(title, question, icon, defaultYes);
    m_declined = m_declined || !yes;
    return yes;
}

void RestoreSession::load(int target)
{
    QDir().mkpath(paths.folders.appData);
    SettingsStore store(paths.folders.appData, ui);
    store.LoadSettings(settings);
    if (target >= 1 && target <= kTargetCount) {
        settings.SelectedTarget = target;
    }
}

bool RestoreWorkFolderReady(UserInterface& ui, const QString& tempFolder)
{
    if (EnsurePrivateFolder(tempFolder) != PrivateFolderProblem::None) {
        ui.showMessage(Text("Program_Name"), Text("TXT00370") + QStringLiteral("\r\n") + tempFolder,
                       MessageIcon::Warning);
        return false;
    }
    if (InstallArchiver(ZipUse::Read, AllZipMethods()) != 1) {
        ui.showMessage(Text("TXT00001"), Text("TXT00006"), MessageIcon::Warning);
        return false;
    }
    return true;
}

bool RestoreSession::workFolderReady()
{
    return RestoreWorkFolderReady(ui, paths.folders.temp);
}

QString RestoreSession::targetType() const
{
    return settings.target(settings.SelectedTarget).TargetType;
}

void RunAsSlotJob(UserInterface& ui, const std::function<void()>& call)
{
    WorkerSlot slot;
    SlotJob job(
        slot, ui, [&call](const std::function<bool()>& /*stop*/) { call(); }, 100);
    while (job.step()) {
        if (TerminationWatch::requested()) {
            job.cancel();
        }
    }
}

FtpSessionOptions CommandFtpOptions()
{
    FtpSessionOptions options;
    options.stopRequested = [] { return TerminationWatch::requested(); };
    return options;
}

} // namespace fernhold
