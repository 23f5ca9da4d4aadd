#pragma once

#include <QList>
#include <QString>

namespace fernhold {

struct JobSettings;

// The text of target `target` (1 to 9) in the settings window's target
// choosers: "2. Target --> //ftp.example.org:21/backup"; target 1 is marked
// as the standard one, a target without a type says that it is not used.
[[nodiscard]] QString TargetChooserItem(const JobSettings& settings, int target);

// A source entry's targets as the source list stores them: the numbers
// ascending, each once, joined by "," ("1,3"). No number gives "".
[[nodiscard]] QString JoinTargets(QList<int> targets);

// The target numbers of a stored `SourceDirTarget`, ascending: every digit
// 1 to 9 it holds, as the backup pass reads it.
[[nodiscard]] QList<int> SplitTargets(const QString& stored);

} // namespace fernhold
