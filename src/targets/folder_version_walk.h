#pragma once

#include "targets/version_walk.h"

#include <QByteArray>
#include <vector>

namespace fernhold {

// The clean-up of a folder target: the folder and every folder below it,
// depth first, the files of a folder before its sub-folders. Symbolic links
// are never followed below the starting folder: a linked folder is not
// entered and a linked file is not deleted. Only regular files count as
// files. A folder that cannot be listed is skipped with its sub-folders.
// Names are used as the bytes the file system holds, so files whose names
// are not valid UTF-8 are deleted exactly, never a look-alike.
class FolderVersionWalk final : public VersionWalk
{
public:
    // `folder` gets a "/" when it lacks one. `showFolder` (may be empty) is
    // told each folder before it is cleaned.
    FolderVersionWalk(const QString& folder, CleanupRules rules, StopTest stop,
                      ShowFolder showFolder = {});

    [[nodiscard]] bool done() const override { return m_pending.empty(); }
    void cleanNextFolder() override;

private:
    CleanupRules m_rules;
    StopTest m_stop;
    ShowFolder m_showFolder;
    std::vector<QByteArray> m_pending; // folders still to clean, next at the back
    bool m_atStart = true;
};

} // namespace fernhold
