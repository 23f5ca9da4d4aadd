#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace fernhold {

// Replaces the file at `path` with `data` through a temporary file and a
// rename, so readers see the old or the new content, never a mix. With
// `privateMode` the file gets mode 0600. A file that already holds exactly
// `data` is left alone. Gives 1 on success.
[[nodiscard]] int WriteFileAtomically(const QString& path, const QByteArray& data,
                                      bool privateMode);

// Writes all `size` bytes to the descriptor, again after a signal or a short
// write. Gives false when the system refuses them.
[[nodiscard]] bool WriteAll(int fd, const char* data, qint64 size);

// The content of a regular file, at most `maxBytes` of it; no value when the
// file is missing, unreadable or not a regular file.
[[nodiscard]] std::optional<QByteArray> ReadFileCapped(const QString& path, qint64 maxBytes);

} // namespace fernhold
