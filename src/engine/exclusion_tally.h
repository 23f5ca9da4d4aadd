#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace fernhold {

class ExclusionRules;

// How many files each exclusion rule kept out of the backup walks of a pass,
// for one line of the log. Counting is an increment, cheap enough for the walk.
class ExclusionTally
{
public:
    explicit ExclusionTally(const ExclusionRules& rules);

    // A file kept out by `rule`, a value of FolderExclusion::ExcludingRule().
    void countFile(int rule)
    {
        if (rule > 0 && static_cast<std::size_t>(rule) < m_files.size()) {
            ++m_files[static_cast<std::size_t>(rule)];
        }
    }
    // A folder not entered because of fragment number `fragment` (as
    // ExclusionRules::ExcludingFragment() gives it, counted from 1).
    void countFolder(int fragment)
    {
        if (fragment > 0 && static_cast<std::size_t>(fragment) <= m_folders.size()) {
            ++m_folders[static_cast<std::size_t>(fragment) - 1];
        }
    }

    // "excluded types 3, source filter 2, path fragment "/tmp/" 4 (2 folders
    // not entered)": every rule that kept something out; "" when none did.
    [[nodiscard]] QString summary() const;

private:
    QStringList m_fragments;
    std::vector<qint64> m_files;   // by ExclusionRule value
    std::vector<qint64> m_folders; // by fragment
};

} // namespace fernhold
