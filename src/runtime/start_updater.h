#pragma once

#include <QString>

namespace fernhold {

class UserInterface;

// Offers to start the updater `Update` from Fernhold's program folder and
// starts it there on OK. 1 when the updater runs: the caller ends Fernhold
// at once so that the updater can replace its files; 0 otherwise (no
// updater in this installation, cancelled, or it could not be started).
// `administrator` adds the warning that the updater may lack the rights.
[[nodiscard]] int StartUpdater(UserInterface& ui, const QString& programFolder,
                               bool administrator);

// The same for the running process: root counts as the administrator.
[[nodiscard]] int StartUpdater(UserInterface& ui, const QString& programFolder);

} // namespace fernhold
