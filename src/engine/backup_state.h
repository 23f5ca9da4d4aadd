#pragma once

#include "engine/file_record.h"
#include "platform/append_file.h"

#include <QHash>
#include <QMutex>
#include <QString>
#include <array>
#include <optional>
#include <vector>

namespace fernhold {

struct JobSettings;
struct SourceEntry;

// What Fernhold must remember between runs besides the settings, so that no
// file is left without a version in silence:
// - per source, the targets that have received every file of it once (a new
//   source, a new target of a source, or a full backup that did not get
//   through owe that save), and whether the source's file states are in the
//   file-time table;
// - per target, when its automatic clean-up last ran;
// - whether the next start must compare with the file-time table whatever the
//   work mode (the last run could not trust its settings);
// - the states of the files a first save has delivered so far (a journal
//   beside the state file, one record a line, appended as each is saved), so
//   a first save cut short goes on where it stopped instead of saving again.
// A source is known by its folder, sub-folder flag and filter: changing either
// of them makes it a new source whose files are all saved once.
//
// Shared by the main thread and the one worker; every call locks.
class BackupState
{
public:
    explicit BackupState(QString path);

    // Reads the file and the journal of a first save. Gives false when there
    // was no state file; a damaged one reads as far as it can be understood.
    bool load();
    // A run that must not replace what the last good run left: nothing is
    // written from now on.
    void setReadOnly() { m_readOnly = true; }
    // Writes the file atomically (mode 0600). Gives 1 on success.
    [[nodiscard]] int save() const;
    [[nodiscard]] QString path() const { return m_path; }

    // Makes the entries match the source list: sources without an entry owe
    // every target (or, with `assumeSaved`, owe nothing and count as known: an
    // installation that kept a file-time table before this file existed), and
    // entries of sources that are gone are dropped.
    void adoptSources(const JobSettings& settings, bool assumeSaved);

    // The targets of `SourceDirTarget` that have not yet received every file
    // of the source, as the digits of their numbers ("" when none).
    [[nodiscard]] QString owedTargets(const SourceEntry& source) const;
    // The targets in `targets` now hold every file of the source.
    void markSaved(const SourceEntry& source, const QString& targets);
    // Every source owes every target again (a full backup was asked for).
    void requestFullSave(const JobSettings& settings);
    // A source added to back up only later changes: it owes nothing.
    void markChangesOnly(const SourceEntry& source);

    // The source's file states are in the file-time table, so a later walk can
    // tell what changed while it could not be read.
    [[nodiscard]] bool known(const SourceEntry& source) const;
    void markKnown(const SourceEntry& source);

    // Seconds since 1970 of the last automatic clean-up of target t, 0 never.
    [[nodiscard]] qint64 lastCleanup(int target) const;
    void setLastCleanup(int target, qint64 seconds);

    // A file a first save delivered: its state goes to the journal at once.
    void recordSaved(const FileRecord& record);
    // True when a first save already delivered the file in this state: by
    // the journal read at the start, or as recorded before the last call of
    // takeInRecordedSaves().
    [[nodiscard]] bool savedInFirstSave(const FileRecord& record) const;
    // The files recorded since then count as delivered too. A pass calls it
    // before its walk, so a first save a pause cut short goes on where it
    // stopped instead of saving those files again.
    void takeInRecordedSaves();
    // The journal's states, sorted: they have versions, so they count as known.
    [[nodiscard]] std::vector<FileRecord> firstSaveRecords() const;
    // No first save is under way any more (or a new one starts): the journal goes.
    void clearFirstSave();

    [[nodiscard]] bool compareAtNextStart() const;
    void setCompareAtNextStart(bool compare);

    [[nodiscard]] static QString sourceKey(const SourceEntry& source);

private:
    struct Mark
    {
        QString saved; // target digits
        bool known = false;
    };

    mutable QMutex m_mutex;
    QString m_path;
    bool m_readOnly = false;
    AppendFile m_journal;
    std::vector<FileRecord> m_firstSave; // sorted
    std::vector<FileRecord> m_recorded;  // recorded since, not yet in m_firstSave
    QHash<QString, Mark> m_sources;
    std::array<qint64, 10> m_cleanup{};
    bool m_compareAtNextStart = false;
    mutable QByteArray m_written; // the file as last read or written
};

} // namespace fernhold
