#include "engine/source_index.h"

#include <algorithm>

namespace fernhold {

namespace {

// Growth steps: large enough that a scan of a million files reallocates only a
// few times, and geometric beyond that so huge trees do not copy quadratically.
constexpr std::size_t kIndexStep = 200001;
constexpr std::size_t kClaimStep = 100000;

} // namespace

bool SourceIndex::LookupRecord(const FileRecord& record) const
{
    const auto end = m_records.begin() + m_indexCount;
    return std::binary_search(m_records.begin(), end, record);
}

void SourceIndex::SortIndex()
{
    std::sort(m_records.begin(), m_records.begin() + m_indexCount);
}

void SourceIndex::EmptyIndex()
{
    std::vector<FileRecord>().swap(m_records);
    m_indexCount = 0;
}

void SourceIndex::ensureRoom(std::size_t step)
{
    if (m_records.size() == m_records.capacity()) {
        m_records.reserve(m_records.size() + std::max(step, m_records.size() / 2));
    }
}

void SourceIndex::AppendIndexed(const FileRecord& record)
{
    if (WorkingCount() != m_indexCount) {
        m_records.resize(static_cast<std::size_t>(m_indexCount));
    }
    ensureRoom(kIndexStep);
    m_records.push_back(record);
    ++m_indexCount;
}

void SourceIndex::BeginPass()
{
    DiscardWorking();
}

void SourceIndex::ClaimRecord(const FileRecord& record)
{
    ensureRoom(kClaimStep);
    m_records.push_back(record);
}

void SourceIndex::GiveBackRecord()
{
    if (WorkingCount() > m_indexCount) {
        m_records.pop_back();
    }
}

qsizetype SourceIndex::MergeWorking()
{
    const qsizetype added = WorkingCount() - m_indexCount;
    if (added > 0) {
        m_indexCount = WorkingCount();
        SortIndex();
    }
    // Keep the spare room of one claim step; a pass that added much leaves more.
    if (m_records.capacity() - m_records.size() > kClaimStep + m_records.size() / 4) {
        m_records.shrink_to_fit();
    }
    return added;
}

void SourceIndex::DiscardWorking()
{
    m_records.resize(static_cast<std::size_t>(m_indexCount));
}

int SourceIndex::RegisterRecord(const FileRecord& record)
{
    if (LookupRecord(record)) {
        return 0;
    }
    ClaimRecord(record);
    return 1;
}

bool SourceIndex::InReference(const FileRecord& record) const
{
    return std::binary_search(m_reference.begin(), m_reference.end(), record);
}

void SourceIndex::TakeIndexAsReference()
{
    const auto records = IndexedRecords();
    m_reference.assign(records.begin(), records.end());
    m_referenceDeclared = !m_reference.empty();
}

void SourceIndex::AddReference(const std::vector<FileRecord>& records)
{
    if (records.empty()) {
        return;
    }
    m_reference.insert(m_reference.end(), records.begin(), records.end());
    std::sort(m_reference.begin(), m_reference.end());
    m_reference.erase(std::unique(m_reference.begin(), m_reference.end()), m_reference.end());
    m_referenceDeclared = true;
}

void SourceIndex::SetReference(std::vector<FileRecord> records, bool declared)
{
    m_reference = std::move(records);
    std::sort(m_reference.begin(), m_reference.end());
    m_reference.shrink_to_fit();
    m_referenceDeclared = declared || !m_reference.empty();
}

qint64 SourceIndex::MemoryBytes() const
{
    return static_cast<qint64>((m_records.capacity() + m_reference.capacity()) *
                               sizeof(FileRecord));
}

void SourceIndex::Compact()
{
    m_records.shrink_to_fit();
    m_reference.shrink_to_fit();
}

} // namespace fernhold
