#pragma once

#include <QString>
#include <optional>

namespace fernhold {

// The archiver Fernhold runs.
struct ArchiverProgram
{
    QString named;   // as found: FERNHOLD_7ZA, else 7za on PATH
    QString program; // the file started: `named`, or the program its wrapper script runs
};

// Finds the archiver without starting it: the program FERNHOLD_7ZA names (a
// path, or a name looked up on PATH), else "7za" on PATH. A wrapper script
// that does nothing but exec one program with its arguments (Debian's
// /usr/bin/7za) is replaced by that program, which saves a shell per run.
// No value when nothing executable is found.
[[nodiscard]] std::optional<ArchiverProgram> locateArchiver();

// The program a wrapper script at `path` execs, or `path` itself when it is
// not such a script.
[[nodiscard]] QString resolveWrapperScript(const QString& path);

enum class ArchiverCheck
{
    StartUp,    // locate the archiver, run it once and look for 7-Zip's banner
    BeforePass, // cheap, no process: the located file is still there and executable
};

// Makes sure the archiver can be run. StartUp fills `archiver`; BeforePass
// checks the program in `archiver` (and follows a wrapper script anew when
// its program went away). `workFolder` is the current folder of the banner
// run. Gives 1 when the archiver is usable; 0 tells the caller to show
// TXT00006 and end.
[[nodiscard]] int InstallArchiver(ArchiverCheck check, ArchiverProgram& archiver,
                                  const QString& workFolder);

} // namespace fernhold
