#include "engine/archiver_check.h"

#include "core/job_settings.h"
#include "engine/engine_logging.h"
#include "engine/zip_files.h"

namespace fernhold {

QList<ZipMethod> WantedZipMethods(const JobSettings& settings)
{
    if (settings.CompressData == 0 || settings.CryptData == 0 || settings.CryptPassword.isEmpty()) {
        return {};
    }
    const auto method = ZipMethodFromSetting(settings.CryptMethode);
    return method ? QList<ZipMethod>{*method} : QList<ZipMethod>{};
}

QList<ZipMethod> AllZipMethods()
{
    return {ZipMethod::ZipCrypto, ZipMethod::Aes128, ZipMethod::Aes256};
}

int InstallArchiver(ZipUse use, const QList<ZipMethod>& methods)
{
    const int encode = use == ZipUse::Write ? 1 : 0;
    if (zip_compression_method_supported(ZIP_CM_DEFLATE, encode) == 0) {
        qCWarning(lcEngine) << "the zip library cannot deflate";
        return 0;
    }
    for (const ZipMethod method : methods) {
        if (zip_encryption_method_supported(LibzipMethod(method), encode) == 0) {
            qCWarning(lcEngine) << "the zip library lacks the encryption" << ZipMethodText(method);
            return 0;
        }
    }
    return 1;
}

} // namespace fernhold
