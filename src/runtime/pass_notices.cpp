#include "runtime/pass_notices.h"

#include "core/text_table.h"
#include "engine/backup_pass.h"
#include "runtime/program_shell.h"

#include <QDateTime>

namespace fernhold {

void TellPassOutcome(ProgramShell& shell, const BackupPassResult& result, const QDateTime& ended)
{
    const QString title = Text("Program_Name");
    if (result.switchedInactive) {
        shell.notify(title, Text("TXT00075") + u'\n' + Text("TXT00068"));
        return;
    }
    if (result.readyTargets == 0) {
        return; // stopped while waiting for a target: nothing to tell
    }
    shell.showLastPass(Text("TXT00556") + u' ' +
                       ended.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")));
    if (result.failedFiles > 0) {
        shell.notify(title, Text("TXT00557") + u' ' + QString::number(result.failedFiles) + u'\n' +
                                Text("TXT00558"));
    }
}

} // namespace fernhold
