#pragma once

#include "engine/file_record.h"

#include <QtGlobal>
#include <span>
#include <vector>

namespace fernhold {

// The states of the files Fernhold knows: a flat array of records whose first
// IndexCount() entries are sorted and searched; entries appended during a
// backup pass or a restore follow them (up to WorkingCount()) until they are
// merged or dropped. Beside it, the reference index of the last run (sorted).
//
// Owned by the application and handed by reference to whichever job holds the
// worker slot; nothing else touches it while a job runs, so it has no lock.
class SourceIndex
{
public:
    // Entries searched by LookupRecord.
    [[nodiscard]] qsizetype IndexCount() const { return m_indexCount; }
    // Entries held, the unmerged ones included.
    [[nodiscard]] qsizetype WorkingCount() const
    {
        return static_cast<qsizetype>(m_records.size());
    }

    // True when `record` is among the first IndexCount() entries (binary search).
    [[nodiscard]] bool LookupRecord(const FileRecord& record) const;

    // Sorts the first IndexCount() entries ascending.
    void SortIndex();

    // No entries at all (a full backup, or the start of a scan).
    void EmptyIndex();

    // A record found by an index walk: stored as entry IndexCount() + 1, which
    // raises IndexCount() (unsorted until SortIndex). Unmerged entries are
    // dropped first.
    void AppendIndexed(const FileRecord& record);

    // The start of a backup pass: drops unmerged entries (WorkingCount = IndexCount).
    void BeginPass();
    // A file being backed up claims the next working entry ...
    void ClaimRecord(const FileRecord& record);
    // ... and gives it back when no target received the file.
    void GiveBackRecord();
    // Makes the working entries part of the searched index and sorts it; gives
    // the number of entries that were added.
    qsizetype MergeWorking();
    // Drops the working entries (a stopped restore).
    void DiscardWorking();

    // A restored file's state: appended as a working entry unless the searched
    // part already has it. Gives 1 when it was appended. MergeWorking() at the
    // end of the restore makes the entries count.
    int RegisterRecord(const FileRecord& record);

    // The searched entries, for the file-time table.
    [[nodiscard]] std::span<const FileRecord> IndexedRecords() const
    {
        return std::span<const FileRecord>(m_records.data(),
                                           static_cast<std::size_t>(m_indexCount));
    }

    // The reference index: the states of the last run. HasReference() is true
    // when a table declared entries, even if none of them could be read, so
    // that a damaged table makes more files count as changed, not fewer.
    [[nodiscard]] bool HasReference() const { return m_referenceDeclared; }
    [[nodiscard]] qsizetype ReferenceCount() const
    {
        return static_cast<qsizetype>(m_reference.size());
    }
    [[nodiscard]] bool InReference(const FileRecord& record) const;
    // The reference entries, sorted.
    [[nodiscard]] std::span<const FileRecord> ReferenceRecords() const
    {
        return std::span<const FileRecord>(m_reference.data(), m_reference.size());
    }
    // The reference becomes a copy of the searched entries.
    void TakeIndexAsReference();
    // Replaces the reference; `declared` says whether its source named any
    // entries. The records need not be sorted.
    void SetReference(std::vector<FileRecord> records, bool declared);
    // Adds states known from elsewhere (files a cut-short first save
    // delivered) to the reference, which then counts as declared.
    void AddReference(const std::vector<FileRecord>& records);

    // While some source could not be indexed, the file-time table keeps the
    // reference's entries beside the index's (they may be that source's).
    [[nodiscard]] bool CarriesReference() const { return m_carryReference; }
    void setCarryReference(bool carry) { m_carryReference = carry; }

    // Seconds since 1970 of the last save of the file-time table.
    [[nodiscard]] qint64 LastIndexSave() const { return m_lastIndexSave; }
    void setLastIndexSave(qint64 seconds) { m_lastIndexSave = seconds; }

    // Bytes of memory the two arrays hold, spare room included.
    [[nodiscard]] qint64 MemoryBytes() const;

    // Gives back spare room (after a scan or a merge).
    void Compact();

private:
    void ensureRoom(std::size_t step);

    std::vector<FileRecord> m_records;
    qsizetype m_indexCount = 0;
    std::vector<FileRecord> m_reference;
    bool m_referenceDeclared = false;
    bool m_carryReference = false;
    qint64 m_lastIndexSave = 0;
};

} // namespace fernhold
