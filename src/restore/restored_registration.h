#pragma once

#include <QString>
#include <QStringList>

namespace fernhold {

class SourceIndex;

// Registers restored files as known in the source index, so the next backup
// pass does not take them for changed files: each file's present state is
// added unless the index has it, then the index is sorted once. A file whose
// state cannot be read is left out. Gives the number of states added.
int RegisterRestoredFiles(SourceIndex& index, const QStringList& files);

// The same for a restore while no instance runs: the file-time table is the
// reference of the next start, so the files' states are added to it. A
// missing table, or one that names no state, is left alone: the next start
// then takes every file as it finds it, the restored ones included, while a
// table holding only these states would make every other file look changed.
// Gives the number of states added; -1 when the table could not be written.
int RegisterInFileTimeTable(const QString& tablePath, const QStringList& files);

} // namespace fernhold
