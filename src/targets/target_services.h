#pragma once

#include "engine/remote_targets.h"

#include <functional>

namespace fernhold {

// The FTP targets and the version clean-up as the backup pass sees them.
class TargetServices : public RemoteTargets
{
public:
    // The automatic clean-up of one target (settings, target, path); set by
    // the application, which owns what the clean-up needs besides these.
    using Cleaner = std::function<int(const JobSettings&, int, const QString&)>;

    explicit TargetServices(Cleaner cleaner = {});

    [[nodiscard]] int FtpCheckTarget(const JobSettings& settings, int target) override;
    [[nodiscard]] QString lastCheckProblem() const override;
    [[nodiscard]] int uploadVersion(const JobSettings& settings, int target,
                                    const QString& mirrorText, const QString& localFile,
                                    const QString& versionName,
                                    const std::function<bool()>& mustStop) override;
    int CleanTargetVersions(const JobSettings& settings, int target, const QString& path) override;

private:
    Cleaner m_cleaner;
    QString m_lastCheckProblem;
};

} // namespace fernhold
