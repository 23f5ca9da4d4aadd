#pragma once

#include "targets/ftp_names.h"
#include "targets/ftp_session_options.h"
#include "targets/version_walk.h"

#include <deque>
#include <memory>

namespace fernhold {

class FtpSession;
struct JobSettings;

// The clean-up of an FTP target over one connection: the target's folder
// tree, breadth first from the starting folder. Only entries listed as
// exactly a folder are walked and only entries listed as exactly a file are
// cleaned, so links and other entries are left alone. A folder that cannot
// be entered or listed is skipped.
class FtpVersionWalk final : public VersionWalk
{
public:
    enum class Start
    {
        Connected,
        NoConnection, // the server could not be reached or refused the login
        NoRoot,       // the target's folder could not be entered
    };

    // `path`: a folder below the target's root to start in, "" for the root.
    // The connection uses the mode of the selected target (FtpModeOf).
    // `showFolder` (may be empty) is told each folder's relative path.
    FtpVersionWalk(const JobSettings& settings, int target, const QString& path, CleanupRules rules,
                   StopTest stop, ShowFolder showFolder = {});
    ~FtpVersionWalk() override;

    // Opens the connection and enters the target's root; the walk does
    // nothing unless this gave Connected.
    [[nodiscard]] Start connect();

    [[nodiscard]] bool done() const override;
    void cleanNextFolder() override;

private:
    void close();

    QString m_server;
    int m_port = 21;
    FtpSessionOptions m_transport; // the target's transport and pin
    QString m_user;
    QString m_password;
    QString m_subDir;
    FtpNameMode m_mode = FtpNameMode::Plain;
    QString m_start;
    CleanupRules m_rules;
    StopTest m_stop;
    ShowFolder m_showFolder;
    std::unique_ptr<FtpSession> m_session;
    QString m_root;
    std::deque<QString> m_queue; // relative folder paths, each ending in "/" or ""
};

} // namespace fernhold
