#pragma once

class QDateTime;

namespace fernhold {

class ProgramShell;
struct BackupPassResult;

// What the desktop learns of a pass that ended at `ended`: a balloon when
// Fernhold switched itself inactive for want of a reachable target or when
// files were not saved everywhere, and the time in the icon's tooltip when
// the pass reached a target.
void TellPassOutcome(ProgramShell& shell, const BackupPassResult& result, const QDateTime& ended);

} // namespace fernhold
