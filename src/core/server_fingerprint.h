#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace fernhold {

// A pinned server identity: the SHA-256 of a TLS certificate's public key or
// of an SSH host key, written as "SHA256:" and its Base64 without padding
// (the form ssh-keygen -l prints).

// The 32 digest bytes of a fingerprint text; padding "=" is accepted. No value
// for anything else.
[[nodiscard]] std::optional<QByteArray> FingerprintDigest(const QString& text);

// The text form of 32 digest bytes.
[[nodiscard]] QString FingerprintText(const QByteArray& digest);

} // namespace fernhold
