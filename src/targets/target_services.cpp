#include "targets/target_services.h"

#include "targets/ftp_session.h"
#include "targets/ftp_target.h"

namespace fernhold {

namespace {

bool validNumber(int target)
{
    return target >= 1 && target <= 9;
}

} // namespace

TargetServices::TargetServices(Cleaner cleaner) : m_cleaner(std::move(cleaner)) {}

TargetServices::~TargetServices()
{
    endPass();
}

bool TargetServices::open(const JobSettings& settings, int target, QString* problem)
{
    close(target);
    FtpSessionOptions options;
    options.stopRequested = [this]() { return m_mustStop && m_mustStop(); };
    std::unique_ptr<FtpSession> session = FtpOpenTarget(settings, target, options, problem);
    if (!session) {
        return false;
    }
    const QString root = FtpResolveFolder(*session, FtpTargetSubDir(settings, target));
    if (FtpEnter(*session, root) != 1) {
        FtpClose(session);
        return false;
    }
    m_open[target] = {std::move(session), root};
    return true;
}

void TargetServices::close(int target)
{
    if (m_open[target].session) {
        FtpClose(m_open[target].session);
    }
    m_open[target].root.clear();
}

int TargetServices::FtpCheckTarget(const JobSettings& settings, int target,
                                   const std::function<bool()>& mustStop)
{
    m_lastCheckProblem.clear();
    if (!validNumber(target)) {
        return 0;
    }
    m_mustStop = mustStop;
    const bool reachable = open(settings, target, &m_lastCheckProblem);
    m_mustStop = {};
    return reachable ? 1 : 0;
}

QString TargetServices::lastCheckProblem() const
{
    return m_lastCheckProblem;
}

int TargetServices::uploadVersion(const JobSettings& settings, int target,
                                  const QString& mirrorText, const QString& localFile,
                                  const QString& versionName, const std::function<bool()>& mustStop)
{
    if (!validNumber(target)) {
        return 0;
    }
    m_mustStop = mustStop;
    const auto upload = [&]() {
        Open& o = m_open[target];
        const QString folder = o.root + mirrorText;
        return FtpEnterCreating(*o.session, folder) == 1 &&
               FtpUpload(*o.session, localFile, folder + versionName) == 1;
    };
    int ok = 0;
    const bool reused = m_open[target].session != nullptr;
    if (reused || open(settings, target, nullptr)) {
        const int connection = m_open[target].session->controlPort();
        ok = upload() ? 1 : 0;
        // A kept session the server dropped: log in once more and send the
        // file again. One that still answers on its connection refused this
        // file, which a new one would too.
        if (ok == 0 && reused && !(mustStop && mustStop())) {
            FtpSession& session = *m_open[target].session;
            const bool dropped = !FtpCurrentFolder(session) || session.controlPort() != connection;
            if (dropped && open(settings, target, nullptr)) {
                ok = upload() ? 1 : 0;
            }
        }
    }
    m_mustStop = {};
    return ok;
}

int TargetServices::CleanTargetVersions(const JobSettings& settings, int target,
                                        const QString& path)
{
    return m_cleaner ? m_cleaner(settings, target, path) : 0;
}

void TargetServices::endPass()
{
    for (int target = 1; target <= 9; ++target) {
        close(target);
    }
}

} // namespace fernhold
