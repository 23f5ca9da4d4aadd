#pragma once

#include "targets/ftp_session.h"

#include <QString>
#include <memory>

namespace fernhold {

struct JobSettings;

// The port of a target's FTPServerPort text (lenient decimal; 0 means 21).
[[nodiscard]] int FtpTargetPort(const JobSettings& settings, int target);

// FTPSubDir of a target with "/" appended when it is not empty and has none.
[[nodiscard]] QString FtpTargetSubDir(const JobSettings& settings, int target);

// Opens a session to target `target` (1 to 9) with its server settings, in
// the mode of the selected target (FtpModeOf). No session for a bad number.
[[nodiscard]] std::unique_ptr<FtpSession> FtpOpenTarget(const JobSettings& settings, int target,
                                                        const FtpSessionOptions& options = {});

// The reachability check before backups and clean-ups: 1 when the target's
// server takes the login and its folder (FTPSubDir, resolved) can be
// entered, else 0. The connection is closed again in every case.
[[nodiscard]] int FtpCheckTarget(const JobSettings& settings, int target,
                                 const FtpSessionOptions& options = {});

} // namespace fernhold
