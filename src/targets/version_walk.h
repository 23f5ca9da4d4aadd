#pragma once

#include "targets/version_passes.h"

#include <QString>
#include <functional>

namespace fernhold {

// Shows the folder a walk is about to clean (a path or a relative path).
using ShowFolder = std::function<void(const QString& folder)>;

// A clean-up of one target, one folder at a time, so that a job can run it
// in steps: each call of cleanNextFolder handles the files of one folder and
// queues its sub-folders.
class VersionWalk
{
public:
    virtual ~VersionWalk() = default;

    // True when no folder is left: the walk ended or was stopped.
    [[nodiscard]] virtual bool done() const = 0;
    virtual void cleanNextFolder() = 0;

    [[nodiscard]] const CleanupCount& count() const { return m_count; }

    // Cleans every folder that is left.
    void runToEnd()
    {
        while (!done()) {
            cleanNextFolder();
        }
    }

protected:
    CleanupCount m_count;
};

} // namespace fernhold
