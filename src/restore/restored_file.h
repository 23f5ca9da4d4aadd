#pragma once

#include <QString>

namespace fernhold {

// Writes a copy of the file `source` as `destination` so that the restored
// file appears only complete: the bytes go to a temporary file in the
// destination's folder, which is flushed to disk and then renamed onto
// `destination`. An existing file there is replaced only by the complete
// new one; on any failure it stays as it was and no temporary file is left.
// An existing file that we may not write, or a folder of that name, is not
// replaced. `source` must be a regular file; a symbolic link is not followed.
// The copy keeps the modification time of `source`. Its permission bits are
// those of `source`, but never more than `permissions` (the bits of the
// version it comes from) nor, when it replaces a file, more read and write
// bits than that file had; the replaced file's execute bits stay, as versions
// never carry any. The destination's folder must exist. Gives 1 on success.
[[nodiscard]] int PlaceRestoredFile(const QString& source, const QString& destination,
                                    int permissions = 0777);

// The same from a regular file open for reading, read from its start.
[[nodiscard]] int PlaceRestoredFile(int sourceDescriptor, const QString& destination,
                                    int permissions = 0777);

} // namespace fernhold
