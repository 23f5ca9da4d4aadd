#include "encryption_setting.h"

#include "archiver.h"
#include "job_settings.h"
#include "text_table.h"

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
