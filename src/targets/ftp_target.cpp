#include "targets/ftp_target.h"

#include "core/job_settings.h"
#include "core/settings_fields.h"

namespace fernhold {

namespace {

bool validTarget(int target)
{
    return target >= 1 && target <= kTargetCount;
}

} // namespace

int FtpTargetPort(const JobSettings& settings, int target)
{
    if (!validTarget(target)) {
        return 21;
    }
    const int port = LenientInt(settings.target(target).FTPServerPort);
    return port == 0 ? 21 : port;
}

QString FtpTargetSubDir(const JobSettings& settings, int target)
{
    if (!validTarget(target)) {
        return {};
    }
    QString folder = settings.target(target).FTPSubDir;
    if (!folder.isEmpty() && !folder.endsWith(u'/')) {
        folder.append(u'/');
    }
    return folder;
}

std::unique_ptr<FtpSession> FtpOpenTarget(const JobSettings& settings, int target,
                                          const FtpSessionOptions& options)
{
    if (!validTarget(target)) {
        return nullptr;
    }
    const TargetEntry& entry = settings.target(target);
    return FtpOpen(entry.FTPServerName, FtpTargetPort(settings, target), entry.FTPUserName,
                   entry.FTPPassword, FtpModeOf(settings), options);
}

int FtpCheckTarget(const JobSettings& settings, int target, const FtpSessionOptions& options)
{
    std::unique_ptr<FtpSession> session = FtpOpenTarget(settings, target, options);
    if (!session) {
        return 0;
    }
    const QString root = FtpResolveFolder(*session, FtpTargetSubDir(settings, target));
    const int reachable = FtpEnter(*session, root);
    FtpClose(session);
    return reachable;
}

} // namespace fernhold
