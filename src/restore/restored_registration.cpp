#include "restore/restored_registration.h"

#include "engine/file_record.h"
#include "engine/file_time_table.h"
#include "engine/source_index.h"

namespace fernhold {

int RegisterRestoredFiles(SourceIndex& index, const QStringList& files)
{
    for (const QString& file : files) {
        if (const std::optional<FileRecord> record = ReadFileRecord(file)) {
            (void)index.RegisterRecord(*record);
        }
    }
    return static_cast<int>(index.MergeWorking());
}

int RegisterInFileTimeTable(const QString& tablePath, const QStringList& files)
{
    SourceIndex table;
    if (ReadFileTimeTable(table, tablePath) != 1 || !table.HasReference() ||
        table.ReferenceCount() == 0) {
        return 0;
    }
    SourceIndex index;
    for (const FileRecord& record : table.ReferenceRecords()) {
        index.AppendIndexed(record);
    }
    index.SortIndex();
    const int added = RegisterRestoredFiles(index, files);
    if (added == 0) {
        return 0;
    }
    return WriteFileTimeTable(index, tablePath) == 1 ? added : -1;
}

} // namespace fernhold
