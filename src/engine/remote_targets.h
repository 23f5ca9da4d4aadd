#pragma once

#include <QString>
#include <functional>

namespace fernhold {

struct JobSettings;

// What the backup pass needs from the FTP targets and the version clean-up,
// which live in a layer above the engine; the application hands in the
// implementation.
class RemoteTargets
{
public:
    virtual ~RemoteTargets() = default;

    // 1 when the FTP target `target` can be reached and its folder entered.
    // `mustStop` is polled while the server keeps the check waiting.
    [[nodiscard]] virtual int FtpCheckTarget(const JobSettings& settings, int target,
                                             const std::function<bool()>& mustStop) = 0;

    // Why the last FtpCheckTarget failed where the user can act on it (a
    // server identity not trusted, TLS refused); "" otherwise.
    [[nodiscard]] virtual QString lastCheckProblem() const { return {}; }

    // Uploads `localFile` as the version `versionName` into the mirrored
    // folder `mirrorText` below the FTP target's root, creating missing
    // folders; the version appears only complete. 1 on success.
    [[nodiscard]] virtual int uploadVersion(const JobSettings& settings, int target,
                                            const QString& mirrorText, const QString& localFile,
                                            const QString& versionName,
                                            const std::function<bool()>& mustStop) = 0;

    // The pass is over: connections kept open for its uploads are closed.
    virtual void endPass() = 0;

    // The automatic clean-up of one target: `path` is TargetDir for a folder
    // target and "" for an FTP target. 1 when it ran.
    virtual int CleanTargetVersions(const JobSettings& settings, int target,
                                    const QString& path) = 0;
};

} // namespace fernhold
