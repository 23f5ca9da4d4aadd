#include "index_scan.h"

#include "file_time_table.h"
#include "index_walks.h"
#include "job_settings.h"
#include "run_state.h"
#include "source_index.h"
#include "source_walk.h"
#include "status_line.h"
#include "text_table.h"

namespace fernhold {

namespace {

IndexedSource indexedSource(const JobSettings& settings, int number)
{
    const SourceEntry& entry = settings.sources.at(number - 1);
    return {number, entry.SourceDirPfad, entry.SourceDirSub};
}

} // namespace

IndexScanResult IndexScan(const JobSettings& settings, const IndexEnvironment& env)
{
    env.statusLine.ShowStatusLine(Text(QStringLiteral("TXT00061")));
    env.index.EmptyIndex();

    IndexScanResult result;
    const FolderIdSet targetRoots = TargetRootFolders(settings);
    const IndexWalk walk{env.index, env.run, settings.WorkModeExtended, targetRoots};
    const bool takeAsReference = env.run.TakeIndexAsReference.load() >= 1;
    IndexCounts counts;
    for (int i = 1; i <= settings.SourceDirCount(); ++i) {
        if (IndexMustStop(env.run)) {
            break;
        }
        const SourceEntry& entry = settings.sources.at(i - 1);
        if (CanListFolder(entry.SourceDirPfad)) {
            (void)IndexFolder(walk, entry.SourceDirPfad, entry.SourceDirSub == 1, takeAsReference,
                              counts);
            result.indexed.push_back(indexedSource(settings, i));
        }
    }
    env.index.SortIndex();
    env.index.Compact();

    if (env.run.TakeIndexAsReference.load() >= 1) {
        env.run.TakeIndexAsReference = 0;
        env.index.TakeIndexAsReference();
    }
    if (settings.WorkModeExtended >= 1) {
        (void)SaveFileTimeTable(env.index, env.fileTimePath, env.clock, env.ui);
    }
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

std::vector<IndexedSource> IndexLateSources(JobSettings& settings, const IndexEnvironment& env)
{
    std::vector<IndexedSource> added;
    const FolderIdSet targetRoots = TargetRootFolders(settings);
    const IndexWalk walk{env.index, env.run, settings.WorkModeExtended, targetRoots};
    const bool takeAsReference = env.run.TakeIndexAsReference.load() >= 1;
    IndexCounts counts;
    for (int i = 1; i <= settings.SourceDirCount(); ++i) {
        if (PassMustStop(env.run)) {
            break;
        }
        SourceEntry& entry = settings.sources[i - 1];
        if (entry.Indexed == 0 && CanListFolder(entry.SourceDirPfad)) {
            (void)IndexFolder(walk, entry.SourceDirPfad, entry.SourceDirSub == 1, takeAsReference,
                              counts);
            entry.Indexed = 1;
            added.push_back(indexedSource(settings, i));
        }
    }
    if (!added.empty()) {
        env.index.SortIndex();
        env.index.Compact();
        if (settings.WorkModeExtended >= 1) {
            (void)SaveFileTimeTable(env.index, env.fileTimePath, env.clock, env.ui);
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

void PreCountSources(const JobSettings& settings, const BackupWalk& walk, PassState& state)
{
    state.BytesToDo = 0;
    state.BytesDone = 0;
    for (const SourceEntry& entry : settings.sources) {
        if (PassMustStop(walk.run)) {
            break;
        }
        if (entry.Indexed == 1 && FirstReadyTarget(entry.SourceDirTarget, state.TargetReady) > 0 &&
            CanListFolder(entry.SourceDirPfad)) {
            (void)CountFolder(walk, entry.SourceDirSub == 1, entry.SourceDirFilter,
                              entry.SourceDirPfad, state.BytesToDo);
        }
    }
}

} // namespace fernhold
