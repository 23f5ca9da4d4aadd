#pragma once

#include <QString>

namespace fernhold {

class Clock;
class SourceIndex;
class UserInterface;

// The file-time table: the searched entries of the source index as text, so an
// edit made while the program was not running can be told at the next start.
// Line 1 is the number of records in decimal, then one 56-character record a
// line, every line ending in CR LF, ASCII only.

// Writes the table through a temporary file and a rename, mode 0600. Gives 1
// on success. Entries not yet merged are not written; while the index carries
// its reference (a source could not be read), the reference's entries are
// written too.
[[nodiscard]] int WriteFileTimeTable(const SourceIndex& index, const QString& path);

// True when the file at `path` is still the table this index last read or
// saved there and holds exactly the records a save would write now.
[[nodiscard]] bool TableUnchanged(const SourceIndex& index, const QString& path);

// Writes the table unless TableUnchanged, remembers the time in the index
// (LastIndexSave) and, when it cannot be written, says so in a message box.
// Gives 1 on success. An empty `path` writes nothing (a run that must not
// replace the last good table).
int SaveFileTimeTable(SourceIndex& index, const QString& path, const Clock& clock,
                      UserInterface& ui);

// Reads a table into the reference index of `index`: every line that holds a
// record; damaged lines are left out (they could never match). Memory stays
// bounded by the file's length whatever the first line says. A table that was
// read is a reference even when it is empty or damaged, so files it does not
// list count as changed. A table read whole, in the order this program
// writes it, is remembered for TableUnchanged. `damaged` tells whether anything besides a count and
// that many records was found (a bad count, junk, missing or extra lines). A
// file that cannot be opened leaves the reference as it was; gives 1 when the
// file was read.
int ReadFileTimeTable(SourceIndex& index, const QString& path, bool& damaged);
int ReadFileTimeTable(SourceIndex& index, const QString& path);

} // namespace fernhold
