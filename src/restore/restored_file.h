#pragma once

#include <QString>

namespace fernhold {

// Writes a copy of the file `source` as `destination` so that the restored
// file appears only complete: the bytes go to a temporary file in the
// destination's folder, which is flushed to disk and then renamed onto
// `destination`. An existing file there is replaced only by the complete
// new one; on any failure it stays as it was and no temporary file is left.
// An existing file that we may not write, or a folder of that name, is not
// replaced. The copy keeps the modification time of `source`, and the
// permission bits of the file it replaces (of `source` for a new file).
// The destination's folder must exist. Gives 1 on success.
[[nodiscard]] int PlaceRestoredFile(const QString& source, const QString& destination);

} // namespace fernhold
