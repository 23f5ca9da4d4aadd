#pragma once

#include "targets/ftp_session.h"

#include <QString>
#include <memory>

namespace fernhold {

struct JobSettings;

// The port of a target's FTPServerPort text (lenient decimal; 0 means 21,
// 990 for implicit TLS, 22 for SFTP).
[[nodiscard]] int FtpTargetPort(const JobSettings& settings, int target);

// FTPSubDir of a target with "/" appended when it is not empty and has none.
[[nodiscard]] QString FtpTargetSubDir(const JobSettings& settings, int target);

// `options` with the transport and the pinned key of target `target`
// (FTPTransport, FTPFingerprint).
[[nodiscard]] FtpSessionOptions FtpTargetOptions(const JobSettings& settings, int target,
                                                 FtpSessionOptions options = {});

// Opens a session to target `target` (1 to 9) with its server settings and
// transport, in the mode of the selected target (FtpModeOf). No session for
// a bad number. `problem` gets the user's text for a refused identity or TLS.
[[nodiscard]] std::unique_ptr<FtpSession> FtpOpenTarget(const JobSettings& settings, int target,
                                                        const FtpSessionOptions& options = {},
                                                        QString* problem = nullptr);

// The user's text for why FtpOpen refused a server ("" where it says no
// more than that the server could not be reached).
[[nodiscard]] QString FtpOpenProblem(FtpOpenError error, const QByteArray& serverKey);

// The reachability check before backups and clean-ups: 1 when the target's
// server takes the login and its folder (FTPSubDir, resolved) can be
// entered, else 0. The connection is closed again in every case.
[[nodiscard]] int FtpCheckTarget(const JobSettings& settings, int target,
                                 const FtpSessionOptions& options = {}, QString* problem = nullptr);

} // namespace fernhold
