#include "core/job_settings.h"

namespace fernhold {

JobSettings::JobSettings()
{
    for (int i = 0; i < 7; ++i) {
        Schedule += QStringLiteral("0,0,0,0,0,0,0,0,0,0,0;");
    }
    targets[1].TargetType = QStringLiteral("WIN");
}

std::int64_t SizeLimitBytes(int size, int unit)
{
    return static_cast<std::int64_t>(size) * 1024 * (1 + 1023 * static_cast<std::int64_t>(unit));
}

} // namespace fernhold
