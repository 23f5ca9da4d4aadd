#pragma once

#include <QString>
#include <functional>
#include <vector>

namespace fernhold {

// Which clean-up decides about the versions of a folder.
enum class CleanupMode
{
    Automatic, // older than BackupDays, beyond BackupCopies per file
    ByAge,     // manual: older than CleanDays
    BySize,    // manual: larger than the size limit
};

struct CleanupRules
{
    CleanupMode mode = CleanupMode::Automatic;
    QString cutOff;          // CutOffDateText of the run
    bool keepLatest = false; // BackupKeepLatest or CleanKeepLatest
    int copies = 100;        // Automatic: versions kept per file
    qint64 sizeLimit = 0;    // BySize: bytes a version may have
};

// One file of a folder at a target.
struct TargetFile
{
    QString name;
    qint64 size = 0;
};

// What happened in one folder or in a whole walk.
struct CleanupCount
{
    int deleted = 0;  // versions really deleted
    qint64 freed = 0; // their bytes
    bool stopped = false;

    CleanupCount& operator+=(const CleanupCount& other)
    {
        deleted += other.deleted;
        freed += other.freed;
        stopped = stopped || other.stopped;
        return *this;
    }
};

// True when the clean-up must stop.
using StopTest = std::function<bool()>;
// Deletes files[index]; true only when the file is gone.
using DeleteTargetFile = std::function<bool(std::size_t index)>;

// Both passes over the files of one folder. The first pass deletes what the
// rules let go at once and collects the rest; the second sorts the collected
// versions by name, newest first, and deletes those beyond the newest of
// their file that the rules do not keep. Files that are not versions are
// never touched. The stop test runs before every file of the first pass
// and before every deletion of the second; once it has fired nothing more
// is deleted. Only deletions that succeeded are counted.
[[nodiscard]] CleanupCount CleanFolderVersions(const std::vector<TargetFile>& files,
                                               const CleanupRules& rules, const StopTest& stop,
                                               const DeleteTargetFile& remove);

} // namespace fernhold
