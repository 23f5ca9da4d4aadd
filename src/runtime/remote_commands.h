#pragma once

#include <QString>

namespace fernhold {

// `fernhold --signal now|active|inactive`: holds the matching lock for seven
// seconds, so the running instance sees it within two turns of its loop.
[[nodiscard]] int RunSignalCommand(const QString& word);

// `fernhold --status`: the published status number and text.
[[nodiscard]] int RunStatusCommand();

} // namespace fernhold
