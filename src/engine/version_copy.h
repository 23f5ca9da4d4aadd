#pragma once

#include <QString>

namespace fernhold {

// Copies `source` to `destination` so that the destination only ever holds
// a complete file: the bytes go to a temporary file in the destination's
// folder, which is renamed over the destination when everything was
// written. An existing destination is replaced only then. The copy gets the
// source's permission bits (never more than rw for anyone). On failure the
// temporary file is removed and the destination is untouched. Gives 1 on
// success.
[[nodiscard]] int CopyFileCompletely(const QString& source, const QString& destination);

// The name prefix of those temporary files; nothing else Fernhold writes
// starts with it, so a clean-up can tell them apart.
[[nodiscard]] QString CompleteCopyTemporaryPrefix();

} // namespace fernhold
