#pragma once

#include "platform/descriptor.h"

#include <QByteArray>
#include <QString>

namespace fernhold {

// Copies `source` to `destination` so that the destination only ever holds
// a complete file: the bytes go to a temporary file in the destination's
// folder, which is renamed over the destination when everything was
// written. An existing destination is replaced only then. The copy gets the
// source's permission bits, or `permissions` when that is given (>= 0), and
// never more than rw for anyone. On failure the temporary file is removed and
// the destination is untouched. Gives 1 on success.
[[nodiscard]] int CopyFileCompletely(const QString& source, const QString& destination,
                                     int permissions = -1);

// The same for a file whose content is `bytes`, with the permission bits
// `permissions` (rw at most). Gives 1 on success.
[[nodiscard]] int WriteFileCompletely(const QByteArray& bytes, const QString& destination,
                                      int permissions);

// A copy written whole under a temporary name beside its destination, not
// yet in place.
struct PendingCopy
{
    Descriptor folder;    // the destination's folder, open for the rename
    QByteArray temporary; // the temporary file's name in it
    QByteArray name;      // the destination's name in it
};

// CopyFileCompletely and WriteFileCompletely in two halves, for a copy
// written on one thread and put in place on another: CopyToTemporary and
// WriteToTemporary write the bytes (1, and `pending` tells where; on failure
// nothing is left), PlaceCopy renames them over the destination (1) or, with
// `keep` false or when that fails, removes them.
[[nodiscard]] int CopyToTemporary(const QString& source, const QString& destination,
                                  PendingCopy& pending, int permissions = -1);
[[nodiscard]] int WriteToTemporary(const QByteArray& bytes, const QString& destination,
                                   PendingCopy& pending, int permissions);
int PlaceCopy(PendingCopy& pending, bool keep = true);

// The permission bits of the file at `path` as a version may carry them (rw
// at most); 0600 when they cannot be read.
[[nodiscard]] int VersionPermissions(const QString& path);

// The name prefix of those temporary files; nothing else Fernhold writes
// starts with it, so a clean-up can tell them apart.
[[nodiscard]] QString CompleteCopyTemporaryPrefix();

} // namespace fernhold
