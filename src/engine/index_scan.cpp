#include "engine/index_scan.h"

#include "core/job_settings.h"
#include "core/run_state.h"
#include "core/status_line.h"
#include "core/text_table.h"
#include "engine/backup_state.h"
#include "engine/file_time_table.h"
#include "engine/index_walks.h"
#include "engine/source_index.h"
#include "engine/source_walk.h"

namespace fernhold {

namespace {

IndexedSource indexedSource(const JobSettings& settings, int number)
{
    const SourceEntry& entry = settings.sources.at(number - 1);
    return {number, entry.SourceDirPfad, entry.SourceDirSub};
}

// Indexes one source; gives true when its whole tree was read. With `compare`
// a source whose states are in the table keeps only the unchanged ones.
bool indexSource(const IndexEnvironment& env, const FolderIdSet& targetRoots,
                 const SourceEntry& entry, bool compare, bool takeAsReference, IndexCounts& counts)
{
    const bool referenced = compare && env.state.known(entry);
    const IndexWalk walk{env.index, env.run, referenced ? 1 : 0, targetRoots};
    if (IndexFolder(walk, entry.SourceDirPfad, entry.SourceDirSub == 1, takeAsReference, counts) !=
        1) {
        return false;
    }
    env.state.markKnown(entry);
    return true;
}

bool anyUnindexed(const JobSettings& settings, const std::vector<IndexedSource>& indexed)
{
    return static_cast<int>(indexed.size()) < settings.SourceDirCount();
}

void saveTables(const IndexEnvironment& env)
{
    (void)SaveFileTimeTable(env.index, env.fileTimePath, env.clock, env.ui);
    if (!env.fileTimePath.isEmpty()) {
        (void)env.state.save();
    }
}

} // namespace

IndexScanResult IndexScan(const JobSettings& settings, const IndexEnvironment& env)
{
    env.statusLine.ShowStatusLine(Text(QStringLiteral("TXT00061")));
    env.index.EmptyIndex();

    IndexScanResult result;
    const FolderIdSet targetRoots = TargetRootFolders(settings);
    const bool takeAsReference = env.run.TakeIndexAsReference.load() >= 1;
    IndexCounts counts;
    for (int i = 1; i <= settings.SourceDirCount(); ++i) {
        if (IndexMustStop(env.run)) {
            break;
        }
        const SourceEntry& entry = settings.sources.at(i - 1);
        if (CanListFolder(entry.SourceDirPfad) &&
            indexSource(env, targetRoots, entry, env.compareWithTable, takeAsReference, counts)) {
            result.indexed.push_back(indexedSource(settings, i));
        }
    }
    env.index.SortIndex();
    env.index.Compact();

    if (env.run.TakeIndexAsReference.load() >= 1) {
        env.run.TakeIndexAsReference = 0;
        env.index.TakeIndexAsReference();
    }
    env.index.setCarryReference(anyUnindexed(settings, result.indexed));
    saveTables(env);
    result.folders = counts.folders;
    result.files = counts.files;
    env.statusLine.ShowStatusLine(
        Text(QStringLiteral("TXT00062")) + QStringLiteral(" (") + QString::number(counts.folders) +
        u' ' + Text(QStringLiteral("TXT00063")) + QStringLiteral(", ") +
        QString::number(counts.files) + u' ' + Text(QStringLiteral("TXT00064")) + u')');
    return result;
}

void ApplyIndexedSources(JobSettings& settings, const std::vector<IndexedSource>& indexed)
{
    for (const IndexedSource& source : indexed) {
        if (source.number < 1 || source.number > settings.SourceDirCount()) {
            continue;
        }
        SourceEntry& entry = settings.sources[source.number - 1];
        if (entry.SourceDirPfad == source.SourceDirPfad &&
            entry.SourceDirSub == source.SourceDirSub) {
            entry.Indexed = 1;
        }
    }
}

std::vector<IndexedSource> IndexLateSources(JobSettings& settings, const IndexEnvironment& env,
                                            bool save)
{
    std::vector<IndexedSource> added;
    const FolderIdSet targetRoots = TargetRootFolders(settings);
    const bool takeAsReference = env.run.TakeIndexAsReference.load() >= 1;
    IndexCounts counts;
    for (int i = 1; i <= settings.SourceDirCount(); ++i) {
        if (PassMustStop(env.run)) {
            break;
        }
        SourceEntry& entry = settings.sources[i - 1];
        if (entry.Indexed == 0 && CanListFolder(entry.SourceDirPfad) &&
            indexSource(env, targetRoots, entry, true, takeAsReference, counts)) {
            entry.Indexed = 1;
            added.push_back(indexedSource(settings, i));
        }
    }
    const bool carry = std::any_of(settings.sources.cbegin(), settings.sources.cend(),
                                   [](const SourceEntry& e) { return e.Indexed != 1; });
    env.index.setCarryReference(carry);
    if (!added.empty()) {
        env.index.SortIndex();
        env.index.Compact();
        if (save) {
            saveTables(env);
        }
    }
    return added;
}

int FirstReadyTarget(const QString& sourceDirTarget, const std::array<std::int8_t, 10>& targetReady)
{
    for (int t = 1; t <= kTargetCount; ++t) {
        if (targetReady[static_cast<std::size_t>(t)] == 1 &&
            sourceDirTarget.contains(QString::number(t))) {
            return t;
        }
    }
    return 0;
}

QString ReadyTargets(const QString& targets, const std::array<std::int8_t, 10>& targetReady)
{
    QString ready;
    for (int t = 1; t <= kTargetCount; ++t) {
        const QChar digit(u'0' + t);
        if (targetReady[static_cast<std::size_t>(t)] == 1 && targets.contains(digit)) {
            ready += digit;
        }
    }
    return ready;
}

void PreCountSources(const JobSettings& settings, const BackupWalk& walk,
                     const BackupState& backupState, PassState& state)
{
    state.BytesToDo = 0;
    state.BytesDone = 0;
    for (const SourceEntry& entry : settings.sources) {
        if (PassMustStop(walk.run)) {
            break;
        }
        if (FirstReadyTarget(entry.SourceDirTarget, state.TargetReady) == 0 ||
            !CanListFolder(entry.SourceDirPfad)) {
            continue;
        }
        // A source that owes every file needs no index to be counted, so a
        // first save indexed in its own pass still shows the time it needs.
        const bool owesAll =
            !ReadyTargets(backupState.owedTargets(entry), state.TargetReady).isEmpty();
        if (entry.Indexed == 1 || owesAll) {
            (void)CountFolder(walk, entry.SourceDirSub == 1, entry.SourceDirFilter,
                              entry.SourceDirPfad, state.BytesToDo, owesAll);
        }
    }
}

} // namespace fernhold
