#include "targets/version_passes.h"

#include "targets/version_name.h"

#include <algorithm>
#include <optional>

namespace fernhold {

namespace {

struct CollectedVersion
{
    std::size_t index;
    QString fileName;
    QString dateText;
    QString sortKey; // the name with letter case folded
};

bool oldEnoughToGo(const VersionParts& version, const CleanupRules& rules)
{
    return IsAboveOldestDate(version.dateText) && IsOlderThanCutOff(version.dateText, rules.cutOff);
}

// Descending by name ignoring case, so within one file the newest comes
// first. Names equal but for case fall back to their exact text, which keeps
// the order the same from run to run.
void sortNewestFirst(std::vector<CollectedVersion>& versions, const std::vector<TargetFile>& files)
{
    std::sort(versions.begin(), versions.end(),
              [&files](const CollectedVersion& a, const CollectedVersion& b) {
                  const int byKey = QString::compare(a.sortKey, b.sortKey, Qt::CaseSensitive);
                  if (byKey != 0) {
                      return byKey > 0;
                  }
                  return files[a.index].name > files[b.index].name;
              });
}

} // namespace

CleanupCount CleanFolderVersions(const std::vector<TargetFile>& files, const CleanupRules& rules,
                                 const StopTest& stop, const DeleteTargetFile& remove)
{
    CleanupCount count;
    const auto deleteFile = [&](std::size_t index) {
        if (remove(index)) {
            ++count.deleted;
            count.freed += files[index].size;
        }
    };

    std::vector<CollectedVersion> versions;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (stop()) {
            count.stopped = true;
            return count;
        }
        std::optional<VersionParts> version = ParseVersionName(files[i].name, VersionRule::Cleanup);
        if (!version) {
            continue;
        }
        bool collect = false;
        switch (rules.mode) {
        case CleanupMode::Automatic:
        case CleanupMode::ByAge:
            if (!rules.keepLatest && oldEnoughToGo(*version, rules)) {
                deleteFile(i);
            } else {
                // The automatic clean-up groups only versions with a base name.
                collect = rules.mode == CleanupMode::ByAge || !version->fileName.isEmpty();
            }
            break;
        case CleanupMode::BySize:
            if (files[i].size > 0 && files[i].size > rules.sizeLimit) {
                deleteFile(i);
            }
            break;
        }
        if (collect) {
            QString sortKey = files[i].name.toCaseFolded();
            versions.push_back({i, std::move(version->fileName), std::move(version->dateText),
                                std::move(sortKey)});
        }
    }

    const bool secondPass = rules.mode == CleanupMode::Automatic ||
                            (rules.mode == CleanupMode::ByAge && rules.keepLatest);
    if (!secondPass || versions.empty()) {
        return count;
    }
    sortNewestFirst(versions, files);

    // Each change of the exact base name starts a group whose first entry,
    // its newest version, is kept.
    std::optional<QString> previous;
    int copies = 0;
    for (const CollectedVersion& v : versions) {
        if (!previous || v.fileName != *previous) {
            previous = v.fileName;
            copies = 1;
            continue;
        }
        bool drop = false;
        if (rules.mode == CleanupMode::ByAge) {
            drop = IsAboveOldestDate(v.dateText) && IsOlderThanCutOff(v.dateText, rules.cutOff);
        } else if (rules.keepLatest && IsOlderThanCutOff(v.dateText, rules.cutOff)) {
            drop = true; // not counted among the copies kept
        } else {
            ++copies;
            drop = copies > rules.copies;
        }
        if (!drop) {
            continue;
        }
        if (stop()) {
            count.stopped = true;
            break;
        }
        deleteFile(v.index);
    }
    return count;
}

} // namespace fernhold
