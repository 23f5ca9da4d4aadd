#include "engine/source_index.h"

#include <algorithm>
#include <tuple>

namespace fernhold {

namespace {

// Growth steps: large enough that a scan of a million files reallocates only a
// few times, and geometric beyond that so huge trees do not copy quadratically.
constexpr std::size_t kIndexStep = 200001;
constexpr std::size_t kClaimStep = 100000;

template <typename A, typename B> bool recordLess(const A& a, const B& b)
{
    return std::tie(a.creation, a.lastWrite, a.size, a.nameChecksum) <
           std::tie(b.creation, b.lastWrite, b.size, b.nameChecksum);
}

template <typename A, typename B> bool sameRecord(const A& a, const B& b)
{
    return a.creation == b.creation && a.lastWrite == b.lastWrite && a.size == b.size &&
           a.nameChecksum == b.nameChecksum;
}

} // namespace

SourceIndex::Entry SourceIndex::entryOf(const FileRecord& record, std::uint32_t marks)
{
    return {record.creation, record.lastWrite, record.size, record.nameChecksum, marks};
}

const SourceIndex::Entry* SourceIndex::find(const FileRecord& record) const
{
    const auto end = m_entries.begin() + static_cast<std::ptrdiff_t>(m_sorted);
    const auto it = std::lower_bound(
        m_entries.begin(), end, record,
        [](const Entry& entry, const FileRecord& wanted) { return recordLess(entry, wanted); });
    return it != end && sameRecord(*it, record) ? &*it : nullptr;
}

SourceIndex::Entry* SourceIndex::find(const FileRecord& record)
{
    return const_cast<Entry*>(std::as_const(*this).find(record));
}

bool SourceIndex::LookupRecord(const FileRecord& record) const
{
    const Entry* entry = find(record);
    return entry != nullptr && (entry->marks & kIndexed) != 0;
}

bool SourceIndex::InReference(const FileRecord& record) const
{
    const Entry* entry = find(record);
    return entry != nullptr && (entry->marks & kReference) != 0;
}

void SourceIndex::append(const Entry& entry, std::size_t step)
{
    if (m_entries.size() == m_entries.capacity()) {
        m_entries.reserve(m_entries.size() + std::max(step, m_entries.size() / 2));
    }
    m_entries.push_back(entry);
}

void SourceIndex::recount()
{
    m_indexCount = 0;
    m_referenceCount = 0;
    m_claims = 0;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const std::uint32_t marks = m_entries[i].marks;
        m_indexCount += (marks & kIndexed) != 0 ? 1 : 0;
        m_referenceCount += (marks & kReference) != 0 && i < m_sorted ? 1 : 0;
        m_claims += (marks & kClaimed) != 0 ? 1 : 0;
    }
}

void SourceIndex::absorb(bool keepClaims)
{
    std::vector<Entry> claims;
    if (keepClaims && m_claims > 0) {
        const auto tail = m_entries.begin() + static_cast<std::ptrdiff_t>(m_sorted);
        const auto firstClaim = std::stable_partition(
            tail, m_entries.end(), [](const Entry& e) { return (e.marks & kClaimed) == 0; });
        claims.assign(firstClaim, m_entries.end());
        m_entries.erase(firstClaim, m_entries.end());
    }
    const auto middle = m_entries.begin() + static_cast<std::ptrdiff_t>(m_sorted);
    if (middle != m_entries.end()) {
        const auto less = [](const Entry& a, const Entry& b) { return recordLess(a, b); };
        std::sort(middle, m_entries.end(), less);
        // The merge borrows room for the smaller part only: the appended one.
        std::inplace_merge(m_entries.begin(), middle, m_entries.end(), less);
        std::size_t kept = 0;
        for (std::size_t i = 0; i < m_entries.size(); ++i) {
            Entry entry = m_entries[i];
            if ((entry.marks & kClaimed) != 0) {
                entry.marks = (entry.marks & ~kClaimed) | kIndexed;
            }
            if (kept > 0 && sameRecord(m_entries[kept - 1], entry)) {
                m_entries[kept - 1].marks |= entry.marks;
            } else {
                m_entries[kept++] = entry;
            }
        }
        m_entries.resize(kept);
    }
    m_sorted = m_entries.size();
    m_entries.insert(m_entries.end(), claims.begin(), claims.end());
    recount();
}

void SourceIndex::dropUnmarked()
{
    std::size_t kept = 0;
    std::size_t sortedKept = 0;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].marks == 0) {
            continue;
        }
        m_entries[kept++] = m_entries[i];
        sortedKept += i < m_sorted ? 1 : 0;
    }
    m_entries.resize(kept);
    m_sorted = sortedKept;
    recount();
}

void SourceIndex::shrinkWhenSpare()
{
    // Keep the spare room of one claim step; a pass that added much leaves more.
    if (m_entries.capacity() - m_entries.size() > kClaimStep + m_entries.size() / 4) {
        m_entries.shrink_to_fit();
    }
}

void SourceIndex::SortIndex()
{
    absorb(true);
}

void SourceIndex::EmptyIndex()
{
    m_entries.resize(m_sorted);
    for (Entry& entry : m_entries) {
        entry.marks &= ~kIndexed;
    }
    dropUnmarked();
    if (m_entries.empty()) {
        std::vector<Entry>().swap(m_entries);
    }
}

void SourceIndex::AppendIndexed(const FileRecord& record)
{
    DiscardWorking();
    (void)IndexFound(record, false);
}

bool SourceIndex::IndexFound(const FileRecord& record, bool onlyReferenced)
{
    Entry* entry = find(record);
    const std::uint32_t marks = entry != nullptr ? entry->marks : 0U;
    const bool joins = !onlyReferenced || (marks & kReference) != 0;
    if (joins && (marks & kIndexed) == 0) {
        if (entry != nullptr) {
            entry->marks |= kIndexed;
        } else {
            append(entryOf(record, kIndexed), kIndexStep);
        }
        ++m_indexCount;
    }
    return joins || (marks & kIndexed) != 0;
}

void SourceIndex::BeginPass()
{
    DiscardWorking();
}

void SourceIndex::ClaimRecord(const FileRecord& record)
{
    append(entryOf(record, kClaimed), kClaimStep);
    ++m_claims;
}

void SourceIndex::GiveBackRecord()
{
    if (m_entries.size() > m_sorted && (m_entries.back().marks & kClaimed) != 0) {
        m_entries.pop_back();
        --m_claims;
    }
}

qsizetype SourceIndex::MergeWorking()
{
    const qsizetype added = m_claims;
    if (m_entries.size() > m_sorted) {
        absorb(false);
    }
    shrinkWhenSpare();
    return added;
}

void SourceIndex::DiscardWorking()
{
    if (m_claims == 0) {
        return;
    }
    const auto tail = m_entries.begin() + static_cast<std::ptrdiff_t>(m_sorted);
    m_entries.erase(std::remove_if(tail, m_entries.end(),
                                   [](const Entry& e) { return (e.marks & kClaimed) != 0; }),
                    m_entries.end());
    m_claims = 0;
}

int SourceIndex::RegisterRecord(const FileRecord& record)
{
    if (LookupRecord(record)) {
        return 0;
    }
    ClaimRecord(record);
    return 1;
}

std::vector<FileRecord> SourceIndex::ReferenceRecords() const
{
    std::vector<FileRecord> records;
    records.reserve(static_cast<std::size_t>(m_referenceCount));
    for (std::size_t i = 0; i < m_sorted; ++i) {
        if ((m_entries[i].marks & kReference) != 0) {
            records.push_back(m_entries[i].record());
        }
    }
    return records;
}

void SourceIndex::TakeIndexAsReference()
{
    absorb(true);
    for (std::size_t i = 0; i < m_sorted; ++i) {
        Entry& entry = m_entries[i];
        entry.marks = (entry.marks & kIndexed) != 0 ? (entry.marks | kReference)
                                                    : (entry.marks & ~kReference);
    }
    dropUnmarked();
    m_referenceDeclared = m_referenceCount > 0;
}

void SourceIndex::BeginReference(std::size_t expected)
{
    DiscardWorking();
    absorb(false);
    for (Entry& entry : m_entries) {
        entry.marks &= ~kReference;
    }
    dropUnmarked();
    if (m_entries.capacity() < m_entries.size() + expected) {
        m_entries.reserve(m_entries.size() + expected);
    }
}

void SourceIndex::AppendReference(const FileRecord& record)
{
    append(entryOf(record, kReference), kIndexStep);
}

void SourceIndex::EndReference(bool declared)
{
    absorb(false);
    m_referenceDeclared = declared || m_referenceCount > 0;
    if (m_entries.capacity() - m_entries.size() > 16 + m_entries.size() / 16) {
        m_entries.shrink_to_fit();
    }
}

void SourceIndex::SetReference(const std::vector<FileRecord>& records, bool declared)
{
    BeginReference(records.size());
    for (const FileRecord& record : records) {
        AppendReference(record);
    }
    EndReference(declared);
}

void SourceIndex::AddReference(const std::vector<FileRecord>& records)
{
    if (records.empty()) {
        return;
    }
    for (const FileRecord& record : records) {
        if (Entry* entry = find(record)) {
            entry->marks |= kReference;
        } else {
            append(entryOf(record, kReference), kClaimStep);
        }
    }
    absorb(true);
    m_referenceDeclared = true;
}

qsizetype SourceIndex::TableCount() const
{
    qsizetype count = 0;
    forEachTableRecord([&count](const FileRecord&) { ++count; });
    return count;
}

qint64 SourceIndex::MemoryBytes() const
{
    return static_cast<qint64>(m_entries.capacity() * sizeof(Entry));
}

void SourceIndex::Compact()
{
    m_entries.shrink_to_fit();
}

} // namespace fernhold
