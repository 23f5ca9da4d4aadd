#pragma once

#include <QStringList>

namespace fernhold {

// `fernhold target trust N [--yes]`: connects to the TLS or SSH server of FTP target
// N without trusting it, prints the fingerprint of the key it shows and,
// with --yes, pins it (FTPFingerprint). Exit code 0 when the fingerprint is
// pinned, 1 when it was only shown or could not be read, 2 for bad arguments.
[[nodiscard]] int RunTargetCommand(const QStringList& arguments);

} // namespace fernhold
