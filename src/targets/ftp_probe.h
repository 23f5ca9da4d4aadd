#pragma once

#include "targets/ftp_session_options.h"

#include <QString>

namespace fernhold {

class UserInterface;

// The FTP fields of the settings window, as typed.
struct FtpServerFields
{
    QString server;
    QString port; // decimal text
    QString user;
    QString password;
};

// Text encodings the probe tells apart.
inline constexpr int kFtpProbeUtf8 = 2;
inline constexpr int kFtpProbeAnsi = 24;

// Asks the server whether it announces UTF-8 names: 2 when its FEAT reply
// names "UTF8" (in any letter case), 24 for every other outcome (no
// connection, FEAT refused, no UTF8 feature).
[[nodiscard]] int FtpProbeUtf8(const QString& server, int port, const QString& user,
                               const QString& password, const FtpSessionOptions& options = {});

// The settings window's connection test with the window's field values:
// probes the mode, logs in, resolves and enters `folder` and reports the
// outcome in a message box, with the first ten names of the folder when it
// can be entered. Gives the folder text for the window's field, with "/"
// appended when it was not empty and had none.
QString FtpTestConnection(UserInterface& ui, const FtpServerFields& fields, const QString& folder,
                          const FtpSessionOptions& options = {});

// The check when the user switches UTF-8 mode on: true when the server
// announces UTF-8; otherwise the user is told and the box must be cleared.
[[nodiscard]] bool FtpAcceptUtf8Mode(UserInterface& ui, const FtpServerFields& fields,
                                     const FtpSessionOptions& options = {});

} // namespace fernhold
