#pragma once

#include <QStringList>

namespace fernhold {

// `fernhold clean --target N (--days D [--keep-latest 0|1] | --size S --unit kb|mb) [--yes]`:
// the manual clean-up of one target without windows. Refused while Fernhold
// runs; the question is answered No unless --yes is given. Prints the result
// line; exit code 0 when the clean-up ran to its end.
[[nodiscard]] int RunCleanCommand(const QStringList& arguments);

} // namespace fernhold
