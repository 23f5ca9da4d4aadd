#pragma once

#include <QStringList>

namespace fernhold {

// `fernhold restore list [--target N] [--name TEXT] [--date YYYY-MM-DD] [FOLDER]`
// `fernhold restore version [--target N] [--to DIR] [--yes] [--password-stdin] FOLDER VERSION`
// `fernhold restore folder [--target N] --from YYYY-MM-DD --until YYYY-MM-DD [--oldest]
//      [--subfolders] [--filter TEXT] [--to DIR] [--yes] [--password-stdin] FOLDER`
// Runs as a process of its own, without windows. Gives the exit code.
[[nodiscard]] int RunRestoreCommand(const QStringList& arguments);

} // namespace fernhold
