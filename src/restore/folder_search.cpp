#include "restore/folder_search.h"

#include "core/text_table.h"
#include "engine/target_layout.h"
#include "restore/version_source.h"
#include "restore/version_stamp.h"
#include "targets/version_name.h"

#include <algorithm>
#include <map>

namespace fernhold {

QStringList SelectVersionsInRange(const QStringList& names, const FolderSearchOptions& options)
{
    // Per file the greatest name (newest) or the smallest (oldest) in range;
    // names of one file differ only from the "@" on, stamp first. Grouping
    // by file name keeps the files apart however their names sort.
    std::map<QString, QString> chosen;
    for (const QString& name : names) {
        const std::optional<VersionParts> info = ParseVersionName(name, VersionRule::Restore);
        if (!info || !StampInRange(info->stamp, options.from, options.to)) {
            continue;
        }
        auto [it, inserted] = chosen.try_emplace(info->fileName, name);
        if (!inserted && (options.oldest ? name < it->second : name > it->second)) {
            it->second = name;
        }
    }
    QStringList result;
    result.reserve(static_cast<qsizetype>(chosen.size()));
    for (const auto& [file, name] : chosen) {
        result.append(name);
    }
    std::sort(result.begin(), result.end());
    if (options.oldest) {
        std::reverse(result.begin(), result.end());
    }
    return result;
}

FolderSearch::FolderSearch(QString targetRoot, const QString& folder, FolderSearchOptions options,
                           bool havePassword, QList<FolderRestoreRow>& rows)
    : m_root(std::move(targetRoot)), m_options(std::move(options)), m_havePassword(havePassword),
      m_rows(rows)
{
    if (m_options.nameFilterOn) {
        // Every name contains the empty text: it would let every file through.
        m_patterns = m_options.nameFilter.toLower().split(u',', Qt::SkipEmptyParts);
    }
    if (!m_root.isEmpty() && !m_root.endsWith(u'/')) {
        m_root.append(u'/');
    }
    QString start = folder;
    if (!start.isEmpty() && !start.endsWith(u'/')) {
        start.append(u'/');
    }
    if (!openFolder(start)) {
        m_unreadable.append(start);
        m_over = true;
    }
}

bool FolderSearch::openFolder(const QString& folder)
{
    m_current = folder;
    m_listing.clear();
    m_next = 0;
    m_files.clear();
    // Only a folder target with an absolute root, and only folders that
    // stay below it.
    if (!m_root.startsWith(u'/') || !IsSafeRelativeFolder(folder)) {
        return false;
    }
    // Listed through the name codec, so names that are not UTF-8 keep their bytes.
    std::optional<QList<FolderListEntry>> listed =
        IsRealFolderBelow(m_root, folder) ? ListFolderEntries(m_root + folder) : std::nullopt;
    if (!listed) {
        return false;
    }
    m_listing = std::move(*listed);
    std::sort(m_listing.begin(), m_listing.end(),
              [](const FolderListEntry& a, const FolderListEntry& b) { return a.name < b.name; });
    return true;
}

bool FolderSearch::step()
{
    if (m_over) {
        return false;
    }
    if (m_next < m_listing.size()) {
        const FolderListEntry& entry = m_listing.at(m_next++);
        const QString& name = entry.name;
        if (entry.folder) {
            // A linked folder is never entered (and is no folder entry).
            if (m_options.subFolders && IsSafeName(name)) {
                m_queue.insert(m_insertAt++, m_current + name + u'/');
            }
        } else if (entry.file && !entry.link) {
            // Versions are regular files; a link could lead anywhere.
            if (!m_options.nameFilterOn) {
                m_files.append(name);
            } else {
                const QString file =
                    name.left(std::max<qsizetype>(name.lastIndexOf(u'@'), 0)).toLower();
                if (std::any_of(m_patterns.cbegin(), m_patterns.cend(),
                                [&file](const QString& p) { return file.contains(p); })) {
                    m_files.append(name);
                }
            }
        }
        return true;
    }
    finishFolder();
    while (!m_queue.isEmpty()) {
        const QString next = m_queue.takeFirst();
        m_insertAt = 0;
        if (openFolder(next)) {
            return true;
        }
        m_unreadable.append(next);
    }
    m_over = true;
    return true;
}

void FolderSearch::finishFolder()
{
    const QString sourceFolder = SourceFolderOfMirror(m_current);
    for (const QString& name : SelectVersionsInRange(m_files, m_options)) {
        const std::optional<VersionParts> info = ParseVersionName(name, VersionRule::Restore);
        FolderRestoreRow row;
        row.path = sourceFolder + info->fileName;
        row.version = m_current + name;
        if (info->encrypted && !m_havePassword) {
            row.result = Text(QStringLiteral("TXT00411"));
            row.checked = false;
        } else {
            row.result = RowDateText(info->stamp);
        }
        m_rows.append(row);
    }
    m_files.clear();
}

} // namespace fernhold
