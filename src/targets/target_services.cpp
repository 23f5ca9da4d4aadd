#include "targets/target_services.h"

#include "targets/ftp_target.h"

namespace fernhold {

TargetServices::TargetServices(Cleaner cleaner) : m_cleaner(std::move(cleaner)) {}

int TargetServices::FtpCheckTarget(const JobSettings& settings, int target)
{
    m_lastCheckProblem.clear();
    return fernhold::FtpCheckTarget(settings, target, {}, &m_lastCheckProblem);
}

QString TargetServices::lastCheckProblem() const
{
    return m_lastCheckProblem;
}

int TargetServices::uploadVersion(const JobSettings& settings, int target,
                                  const QString& mirrorText, const QString& localFile,
                                  const QString& versionName, const std::function<bool()>& mustStop)
{
    FtpSessionOptions options;
    options.stopRequested = mustStop;
    auto session = FtpOpenTarget(settings, target, options);
    if (!session) {
        return 0;
    }
    const QString root = FtpResolveFolder(*session, FtpTargetSubDir(settings, target));
    const QString folder = root + mirrorText;
    int ok = 0;
    if (FtpEnterCreating(*session, folder) == 1) {
        ok = FtpUpload(*session, localFile, folder + versionName);
    }
    FtpClose(session);
    return ok;
}

int TargetServices::CleanTargetVersions(const JobSettings& settings, int target,
                                        const QString& path)
{
    return m_cleaner ? m_cleaner(settings, target, path) : 0;
}

} // namespace fernhold
