#pragma once

#include "core/job_settings.h"
#include "engine/archiver_check.h"
#include "runtime/app_paths.h"
#include "runtime/headless_ui.h"
#include "targets/ftp_session_options.h"

#include <functional>

namespace fernhold {

// The headless interface of a restore command: the folder picker answers
// with --to, and a question answered No is remembered for the exit report.
class RestoreCommandUi : public HeadlessUserInterface
{
public:
    void setPickedFolder(const QString& folder) { m_picked = folder; }
    [[nodiscard]] QString pickFolder(const QString& title, const QString& startFolder) override;
    [[nodiscard]] bool askYesNo(const QString& title, const QString& question, MessageIcon icon,
                                bool defaultYes) override;
    [[nodiscard]] bool declined() const { return m_declined; }

private:
    QString m_picked;
    bool m_declined = false;
};

// What every restore command shares: the folders, the settings, the
// headless interface and the chosen target.
struct RestoreSession
{
    AppPaths paths = ResolveAppPaths();
    RestoreCommandUi ui;
    JobSettings settings;

    // Reads the settings; `target` (1 to 9) replaces the selected target, 0 keeps it.
    void load(int target);
    // The work folder and the archiver, with their message when one fails.
    [[nodiscard]] bool workFolderReady();
    [[nodiscard]] QString targetType() const;
};

// The restore's work folder (`tempFolder`, made private) and the archiver's
// read methods, each with its message when it fails; true when both are there.
[[nodiscard]] bool RestoreWorkFolderReady(UserInterface& ui, const QString& tempFolder);

// Runs a call that can wait on the network or the archiver as a slot job
// on a worker thread of its own, as a window does, until it ends; SIGINT and
// SIGTERM cancel it (the call also sees them through its stop checks).
void RunAsSlotJob(UserInterface& ui, const std::function<void()>& call);

// FTP options of a command: SIGINT and SIGTERM stop a transfer.
[[nodiscard]] FtpSessionOptions CommandFtpOptions();

} // namespace fernhold
