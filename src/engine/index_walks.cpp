#include "engine/index_walks.h"

#include "core/run_state.h"
#include "engine/backup_state.h"
#include "engine/exclusion_rules.h"
#include "engine/exclusion_tally.h"
#include "engine/source_index.h"
#include "platform/folders.h"

#include <sys/stat.h>

namespace fernhold {

namespace {

class IndexVisitor final : public WalkVisitor
{
public:
    IndexVisitor(const IndexWalk& walk, bool onlyReferenced)
        : m_walk(walk), m_onlyReferenced(onlyReferenced)
    {}

    [[nodiscard]] bool mustStop() const override { return IndexMustStop(m_walk.run); }

    void visitFile(QStringView name, const struct statx* state) override
    {
        if (state == nullptr) {
            return;
        }
        ++m_recorded;
        (void)m_walk.index.IndexFound(MakeFileRecord(*state, name), m_onlyReferenced);
    }

    [[nodiscard]] qint64 recorded() const { return m_recorded; }

private:
    const IndexWalk& m_walk;
    const bool m_onlyReferenced;
    qint64 m_recorded = 0;
};

// The part CountFolder and BackupFolder share: exclusion rules, lookup, size limit.
class ChangeVisitor : public WalkVisitor
{
public:
    // With `unchangedTargets` a file found in the index is handed on too, for
    // those targets only: they still owe the source every file.
    ChangeVisitor(const BackupWalk& walk, const QString& filter, QString unchangedTargets,
                  ExclusionTally* tally)
        : m_walk(walk), m_filter(filter), m_unchangedTargets(std::move(unchangedTargets)),
          m_tally(tally)
    {}

    [[nodiscard]] bool mustStop() const override { return PassMustStop(m_walk.run); }

    [[nodiscard]] bool admitsFolder(const QString& path) override
    {
        const int fragment = m_walk.rules.ExcludingFragment(path);
        if (fragment > 0 && m_tally != nullptr) {
            m_tally->countFolder(fragment);
        }
        return fragment == 0;
    }

    void enterFolder(const QString& folderPath) override
    {
        m_folderPath = folderPath;
        m_exclusion.emplace(m_walk.rules.forFolder(folderPath, m_filter));
    }

    [[nodiscard]] bool admitsFile(QStringView name) override
    {
        const int rule = m_exclusion->ExcludingRule(name);
        if (rule != kNotExcluded && m_tally != nullptr) {
            m_tally->countFile(rule);
        }
        return rule == kNotExcluded;
    }

    void visitFile(QStringView name, const struct statx* state) override
    {
        std::optional<FileRecord> record;
        qint64 size = 0;
        bool unchanged = false;
        if (state != nullptr) {
            record = MakeFileRecord(*state, name);
            unchanged = m_walk.index.LookupRecord(*record);
            if (unchanged && (m_unchangedTargets.isEmpty() || deliveredBefore(*record))) {
                return;
            }
            size = static_cast<qint64>(state->stx_size);
        }
        if (size > m_walk.sizeLimit) {
            return;
        }
        changedFile(name, size, record, unchanged);
    }

protected:
    // An unchanged file a first save cut short had already delivered.
    [[nodiscard]] bool deliveredBefore(const FileRecord& record) const
    {
        return m_walk.firstSave != nullptr && m_walk.firstSave->savedInFirstSave(record);
    }

    virtual void changedFile(QStringView name, qint64 size, const std::optional<FileRecord>& record,
                             bool unchanged) = 0;

    const BackupWalk& m_walk;
    const QString& m_filter;
    const QString m_unchangedTargets;
    ExclusionTally* m_tally; // null: nothing is counted
    QString m_folderPath;
    std::optional<FolderExclusion> m_exclusion;
};

class CountVisitor final : public ChangeVisitor
{
public:
    CountVisitor(const BackupWalk& walk, const QString& filter, qint64& bytesToDo,
                 bool countUnchanged)
        : ChangeVisitor(walk, filter, countUnchanged ? QStringLiteral("*") : QString(), nullptr),
          m_bytesToDo(bytesToDo)
    {}

private:
    void changedFile(QStringView name, qint64 size, const std::optional<FileRecord>& record,
                     bool unchanged) override
    {
        (void)name;
        (void)record;
        (void)unchanged;
        m_bytesToDo += size;
    }

    qint64& m_bytesToDo;
};

class BackupVisitor final : public ChangeVisitor
{
public:
    BackupVisitor(const BackupWalk& walk, const QString& filter, const QString& sourceDirTarget,
                  const QString& unchangedTargets, const BackupFileFunction& backupFile,
                  ExclusionTally* tally)
        : ChangeVisitor(walk, filter, unchangedTargets, tally), m_target(sourceDirTarget),
          m_backupFile(backupFile)
    {}

private:
    void changedFile(QStringView name, qint64 size, const std::optional<FileRecord>& record,
                     bool unchanged) override
    {
        m_backupFile(m_folderPath, name.toString(), size, record,
                     unchanged ? m_unchangedTargets : m_target);
    }

    const QString& m_target;
    const BackupFileFunction& m_backupFile;
};

// The walk of a source not yet indexed, during a pass: it indexes the source
// as IndexFolder would and hands on what BackupFolder would find new or
// changed after that, reading each listing and each state once. The index
// records every file, so folders the rules exclude are walked too; nothing in
// them is handed on.
class IndexingBackupVisitor final : public WalkVisitor
{
public:
    IndexingBackupVisitor(const BackupWalk& walk, const SourcePassWalk& source, SourceIndex& index,
                          bool onlyReferenced, const BackupFileFunction& backupFile,
                          ExclusionTally* tally)
        : m_walk(walk), m_source(source), m_index(index), m_onlyReferenced(onlyReferenced),
          m_root(WithSlash(source.folderPath)), m_backupFile(backupFile), m_tally(tally)
    {}

    [[nodiscard]] bool mustStop() const override { return PassMustStop(m_walk.run); }

    [[nodiscard]] bool admitsFolder(const QString& path) override
    {
        if (!m_folderExcluded && m_tally != nullptr) {
            if (const int fragment = m_walk.rules.ExcludingFragment(path); fragment > 0) {
                m_tally->countFolder(fragment);
            }
        }
        return true;
    }

    void enterFolder(const QString& folderPath) override
    {
        m_folderPath = folderPath;
        // Below an excluded folder every path holds its fragment too.
        m_folderExcluded =
            folderPath != m_root && m_walk.rules.ExcludingFragment(folderPath.chopped(1)) > 0;
        if (!m_folderExcluded) {
            m_exclusion.emplace(m_walk.rules.forFolder(folderPath, m_source.filter));
        }
    }

    [[nodiscard]] bool admitsFile(QStringView name) override
    {
        m_fileExcluded = m_folderExcluded;
        if (!m_folderExcluded) {
            const int rule = m_exclusion->ExcludingRule(name);
            if (rule != kNotExcluded && m_tally != nullptr) {
                m_tally->countFile(rule);
            }
            m_fileExcluded = rule != kNotExcluded;
        }
        return true; // the index takes every file's state
    }

    void visitFile(QStringView name, const struct statx* state) override
    {
        std::optional<FileRecord> record;
        qint64 size = 0;
        bool unchanged = false;
        if (state != nullptr) {
            record = MakeFileRecord(*state, name);
            ++m_recorded;
            unchanged = m_index.IndexFound(*record, m_onlyReferenced);
        }
        if (m_fileExcluded) {
            return;
        }
        if (state != nullptr) {
            if (unchanged &&
                (m_source.unchangedTargets.isEmpty() ||
                 (m_walk.firstSave != nullptr && m_walk.firstSave->savedInFirstSave(*record)))) {
                return;
            }
            size = static_cast<qint64>(state->stx_size);
        }
        if (size > m_walk.sizeLimit) {
            return;
        }
        m_backupFile(m_folderPath, name.toString(), size, record,
                     unchanged ? m_source.unchangedTargets : m_source.sourceDirTarget);
    }

    [[nodiscard]] qint64 recorded() const { return m_recorded; }

private:
    const BackupWalk& m_walk;
    const SourcePassWalk& m_source;
    SourceIndex& m_index;
    const bool m_onlyReferenced;
    const QString m_root;
    const BackupFileFunction& m_backupFile;
    ExclusionTally* m_tally;
    QString m_folderPath;
    bool m_folderExcluded = false;
    bool m_fileExcluded = false;
    std::optional<FolderExclusion> m_exclusion;
    qint64 m_recorded = 0;
};

} // namespace

bool IndexMustStop(const RunState& run)
{
    return run.Ending.load() >= 1 || run.RescanRequested.load() >= 1 ||
           run.FullBackupRequested.load() >= 1;
}

int IndexFolder(const IndexWalk& walk, const QString& folderPath, bool includeSub,
                bool takeAsReference, IndexCounts& counts)
{
    const bool onlyReferenced =
        walk.workModeExtended >= 1 && walk.index.HasReference() && !takeAsReference;
    IndexVisitor visitor(walk, onlyReferenced);
    const WalkOutcome outcome = WalkFolder(folderPath, includeSub, walk.skipFolders, visitor);
    counts.folders += outcome.folders;
    counts.files += visitor.recorded();
    return outcome.folders > 0 && !outcome.stopped ? 1 : 0;
}

int CountFolder(const BackupWalk& walk, bool includeSub, const QString& filter,
                const QString& folderPath, qint64& bytesToDo, bool countUnchanged)
{
    CountVisitor visitor(walk, filter, bytesToDo, countUnchanged);
    const WalkOutcome outcome = WalkFolder(folderPath, includeSub, walk.skipFolders, visitor);
    return outcome.folders > 0 && !outcome.stopped ? 1 : 0;
}

int BackupFolder(const BackupWalk& walk, bool includeSub, const QString& filter,
                 const QString& folderPath, const QString& sourceDirTarget,
                 const BackupFileFunction& backupFile, const QString& unchangedTargets,
                 ExclusionTally* tally)
{
    BackupVisitor visitor(walk, filter, sourceDirTarget, unchangedTargets, backupFile, tally);
    const WalkOutcome outcome = WalkFolder(folderPath, includeSub, walk.skipFolders, visitor);
    return outcome.folders > 0 && !outcome.stopped ? 1 : 0;
}

} // namespace fernhold

namespace fernhold {

int IndexAndBackupFolder(const BackupWalk& walk, SourceIndex& index, const SourcePassWalk& source,
                         bool compare, const BackupFileFunction& backupFile, ExclusionTally* tally,
                         IndexCounts& counts)
{
    const bool onlyReferenced = compare && index.HasReference();
    IndexingBackupVisitor visitor(walk, source, index, onlyReferenced, backupFile, tally);
    const WalkOutcome outcome =
        WalkFolder(source.folderPath, source.includeSub, walk.skipFolders, visitor);
    counts.folders += outcome.folders;
    counts.files += visitor.recorded();
    return outcome.folders > 0 && !outcome.stopped ? 1 : 0;
}

} // namespace fernhold
