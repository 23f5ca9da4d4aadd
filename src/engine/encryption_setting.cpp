#include "engine/encryption_setting.h"

#include "core/job_settings.h"
#include "core/text_table.h"
#include "engine/archiver.h"

namespace fernhold {

std::optional<QString> EncryptionSettingProblem(const JobSettings& settings)
{
    // Copies are never encrypted: the settings matter only for archives.
    if (settings.CompressData == 0 || settings.CryptData == 0) {
        return std::nullopt;
    }
    if (settings.CryptPassword.isEmpty()) {
        return Text(QStringLiteral("TXT00460"));
    }
    if (!ZipMethodFromSetting(settings.CryptMethode)) {
        return Text(QStringLiteral("TXT00461"));
    }
    return std::nullopt;
}

} // namespace fernhold
