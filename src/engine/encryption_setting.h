#pragma once

#include <QString>
#include <optional>

namespace fernhold {

struct JobSettings;

// Why the archive settings cannot give the encrypted versions they ask for:
// encryption is on without a password, or the method is none of 0 to 2.
// The user's text, or no value when they can (or nothing is packed).
// Versions are then not made at all rather than made unencrypted.
[[nodiscard]] std::optional<QString> EncryptionSettingProblem(const JobSettings& settings);

} // namespace fernhold
