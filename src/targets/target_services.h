#pragma once

#include "engine/remote_targets.h"

#include <array>
#include <functional>
#include <memory>

namespace fernhold {

class FtpSession;

// The FTP targets and the version clean-up as the backup pass sees them.
// A pass logs in once a target: the session of the reachability check
// carries every upload, and is opened once more when the server dropped it.
class TargetServices : public RemoteTargets
{
public:
    // The automatic clean-up of one target (settings, target, path); set by
    // the application, which owns what the clean-up needs besides these.
    using Cleaner = std::function<int(const JobSettings&, int, const QString&)>;

    explicit TargetServices(Cleaner cleaner = {});
    ~TargetServices() override;
    TargetServices(const TargetServices&) = delete;
    TargetServices& operator=(const TargetServices&) = delete;

    [[nodiscard]] int FtpCheckTarget(const JobSettings& settings, int target,
                                     const std::function<bool()>& mustStop) override;
    [[nodiscard]] QString lastCheckProblem() const override;
    [[nodiscard]] int uploadVersion(const JobSettings& settings, int target,
                                    const QString& mirrorText, const QString& localFile,
                                    const QString& versionName,
                                    const std::function<bool()>& mustStop) override;
    int CleanTargetVersions(const JobSettings& settings, int target, const QString& path) override;
    void endPass() override;

private:
    struct Open
    {
        std::unique_ptr<FtpSession> session;
        QString root; // the target's folder, absolute on the server
    };
    // A session logged in at the target's folder, or none when it cannot be reached.
    [[nodiscard]] bool open(const JobSettings& settings, int target, QString* problem);
    void close(int target);

    Cleaner m_cleaner;
    QString m_lastCheckProblem;
    std::array<Open, 10> m_open; // by target number 1 to 9
    // The stop check of the call under way; sessions outlive the caller's.
    std::function<bool()> m_mustStop;
};

} // namespace fernhold
