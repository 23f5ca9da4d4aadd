#include "runtime/start_updater.h"

#include "core/text_table.h"
#include "core/user_interface.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <unistd.h>

namespace fernhold {

namespace {

const QString kBreak = QStringLiteral("\r\n");

} // namespace

int StartUpdater(UserInterface& ui, const QString& programFolder, bool administrator)
{
    const QString title = QStringLiteral("Update - ") + Text("Program_Title");
    const QString updater = QDir(programFolder).absoluteFilePath(QStringLiteral("Update"));
    if (!QFileInfo(updater).isFile()) {
        // Installed from a package: the system's package manager updates it.
        ui.showMessage(title, Text("TXT00534"), MessageIcon::Information, true);
        return 0;
    }
    QString text;
    if (!administrator) {
        text = Text("TXT00109") + kBreak + kBreak;
    }
    text += Text("TXT00110") + kBreak + Text("TXT00111") + kBreak;
    if (!ui.askOkCancel(title, text, MessageIcon::Information)) {
        return 0;
    }
    if (!QProcess::startDetached(updater, {}, programFolder)) {
        ui.showMessage(title, Text("TXT00112"), MessageIcon::Warning, true);
        return 0;
    }
    return 1;
}

int StartUpdater(UserInterface& ui, const QString& programFolder)
{
    return StartUpdater(ui, programFolder, ::geteuid() == 0);
}

} // namespace fernhold
