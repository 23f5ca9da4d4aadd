#pragma once

#include "engine/file_record.h"

#include <QString>
#include <QtGlobal>
#include <cstdint>
#include <optional>
#include <vector>

namespace fernhold {

// The states of the files Fernhold knows (the index) and the states of the
// last run (the reference), kept in one flat array of 32-byte entries sorted
// by record: a state both know is held once, with a mark for each. Lookups
// search the sorted part only; records appended by a walk, a backup pass or a
// restore follow it until they are merged or dropped.
//
// Owned by the application and handed by reference to whichever job holds the
// worker slot; nothing else touches it while a job runs, so it has no lock.
class SourceIndex
{
public:
    // Records in the index (appended ones included, a state counted once
    // after a sort).
    [[nodiscard]] qsizetype IndexCount() const { return m_indexCount; }
    // The same, plus the claims of the running pass.
    [[nodiscard]] qsizetype WorkingCount() const { return m_indexCount + m_claims; }

    // True when the sorted part holds `record` in the index (binary search).
    [[nodiscard]] bool LookupRecord(const FileRecord& record) const;

    // Makes appended index records part of the sorted, searched part; the
    // claims of a pass stay apart.
    void SortIndex();

    // No entries in the index at all (a full backup, or the start of a scan);
    // the reference stays.
    void EmptyIndex();

    // A record found by an index walk: part of the index (searched after
    // SortIndex). Claims not yet merged are dropped first.
    void AppendIndexed(const FileRecord& record);

    // A file found by a walk that indexes its source: with `onlyReferenced`
    // its record joins the index only when the reference holds it, otherwise
    // always. Claims stay. Gives true when the file counts as unchanged: it
    // joined the index, or the index knew its state already.
    [[nodiscard]] bool IndexFound(const FileRecord& record, bool onlyReferenced);

    // The start of a backup pass: drops unmerged claims.
    void BeginPass();
    // A file being backed up claims a working entry ...
    void ClaimRecord(const FileRecord& record);
    // ... and gives it back when no target received the file.
    void GiveBackRecord();
    // Makes the claims and appended records part of the searched index and
    // sorts it; gives the number of claims that were merged.
    qsizetype MergeWorking();
    // Drops the claims (a stopped restore).
    void DiscardWorking();

    // A restored file's state: claimed unless the index already has it. Gives
    // 1 when it was claimed. MergeWorking() at the end of the restore makes the
    // claims count.
    int RegisterRecord(const FileRecord& record);

    // The reference: the states of the last run. HasReference() is true when
    // a table declared entries, even if none of them could be read, so that a
    // damaged table makes more files count as changed, not fewer.
    [[nodiscard]] bool HasReference() const { return m_referenceDeclared; }
    [[nodiscard]] qsizetype ReferenceCount() const { return m_referenceCount; }
    [[nodiscard]] bool InReference(const FileRecord& record) const;
    // A copy of the reference's records, sorted.
    [[nodiscard]] std::vector<FileRecord> ReferenceRecords() const;
    // The reference becomes what the index holds.
    void TakeIndexAsReference();
    // Replaces the reference; `declared` says whether its source named any
    // entries. The records need not be sorted.
    void SetReference(const std::vector<FileRecord>& records, bool declared);
    // Adds states known from elsewhere (files a cut-short first save
    // delivered) to the reference, which then counts as declared.
    void AddReference(const std::vector<FileRecord>& records);

    // Replacing the reference record by record, without a second copy of a
    // large table: BeginReference (room for `expected` records), then
    // AppendReference for each, in any order, then EndReference. Unmerged
    // claims are dropped.
    void BeginReference(std::size_t expected);
    void AppendReference(const FileRecord& record);
    void EndReference(bool declared);

    // While some source could not be indexed, the file-time table keeps the
    // reference's entries beside the index's (they may be that source's).
    [[nodiscard]] bool CarriesReference() const { return m_carryReference; }
    void setCarryReference(bool carry) { m_carryReference = carry; }

    // The records of the file-time table: the sorted index, and the reference
    // too while it is carried, ascending; then index records appended since
    // the last sort. Claims not yet merged are left out.
    [[nodiscard]] qsizetype TableCount() const;
    template <typename Function> void forEachTableRecord(Function&& function) const
    {
        const std::uint32_t wanted = kIndexed | (m_carryReference ? kReference : 0U);
        for (std::size_t i = 0; i < m_entries.size(); ++i) {
            if ((m_entries[i].marks & (i < m_sorted ? wanted : kIndexed)) != 0) {
                function(m_entries[i].record());
            }
        }
    }

    // What is known of the table file as it was last read or written, so that
    // a save that would write the same records again writes nothing.
    struct StoredTable
    {
        QString path;
        std::uint64_t digest = 0; // TableDigest of its records
        qint64 bytes = 0;
        qint64 modifiedNs = 0;
        std::uint64_t inode = 0;
    };
    [[nodiscard]] const std::optional<StoredTable>& storedTable() const { return m_storedTable; }
    void setStoredTable(std::optional<StoredTable> table) { m_storedTable = std::move(table); }

    // Seconds since 1970 of the last save of the file-time table.
    [[nodiscard]] qint64 LastIndexSave() const { return m_lastIndexSave; }
    void setLastIndexSave(qint64 seconds) { m_lastIndexSave = seconds; }

    // Bytes of memory the array holds, spare room included.
    [[nodiscard]] qint64 MemoryBytes() const;

    // Gives back spare room (after a scan or a merge).
    void Compact();

private:
    static constexpr std::uint32_t kIndexed = 1;
    static constexpr std::uint32_t kReference = 2;
    static constexpr std::uint32_t kClaimed = 4;

    // A record and its marks in the 32 bytes the record alone would take
    // with its padding.
    struct Entry
    {
        std::uint64_t creation = 0;
        std::uint64_t lastWrite = 0;
        std::uint64_t size = 0;
        std::uint32_t nameChecksum = 0;
        std::uint32_t marks = 0;

        [[nodiscard]] FileRecord record() const
        {
            return {creation, lastWrite, size, nameChecksum};
        }
    };
    static_assert(sizeof(Entry) == 32);

    [[nodiscard]] static Entry entryOf(const FileRecord& record, std::uint32_t marks);
    // The sorted entry holding `record`, or null.
    [[nodiscard]] const Entry* find(const FileRecord& record) const;
    [[nodiscard]] Entry* find(const FileRecord& record);
    void append(const Entry& entry, std::size_t step);
    // Sorts the appended entries into the sorted part, joining the marks of
    // equal records; claims become index records unless `keepClaims`, which
    // leaves them appended.
    void absorb(bool keepClaims);
    // Drops entries that carry no mark any more and recounts.
    void dropUnmarked();
    void recount();
    void shrinkWhenSpare();

    std::vector<Entry> m_entries;
    std::size_t m_sorted = 0; // entries [0, m_sorted) are sorted, each record once
    qsizetype m_indexCount = 0;
    qsizetype m_referenceCount = 0;
    qsizetype m_claims = 0;
    bool m_referenceDeclared = false;
    bool m_carryReference = false;
    qint64 m_lastIndexSave = 0;
    std::optional<StoredTable> m_storedTable;
};

} // namespace fernhold
