#pragma once

#include <QString>

namespace fernhold {

// A named, process-wide lock: an exclusive flock on <runtime dir>/<name>.lock.
// Holding it means "a program with this name runs"; it vanishes with the
// process, so a killed instance never leaves a stale lock behind.
class NamedLock
{
public:
    NamedLock(QString runtimeDir, QString name);
    ~NamedLock();
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

    // Takes the lock without waiting. Gives 1 when it is ours now (or already was).
    [[nodiscard]] int tryLock();
    void unlock();
    [[nodiscard]] bool isLocked() const { return m_fd >= 0; }

    // True when some other open of the lock file holds it (another process,
    // or another NamedLock of this process).
    [[nodiscard]] static bool isHeldElsewhere(const QString& runtimeDir, const QString& name);

    // The runtime folder, created with mode 0700 when missing. Gives 1 when usable.
    [[nodiscard]] static int ensureRuntimeDir(const QString& runtimeDir);

private:
    QString m_path;
    int m_fd = -1;
};

} // namespace fernhold
