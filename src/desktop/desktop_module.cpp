#include "core/text_table.h"
#include "desktop/desktop_entry.h"
#include "runtime/application.h"
#include "ui/desktop_shell.h"
#include "ui/display_check.h"
#include "ui/qt_user_interface.h"
#include "ui/status_icons.h"

#include <QApplication>
#include <cstdio>

// The module holds its own copies of the libraries below the desktop, so it
// sets up their constants itself.
extern "C" __attribute__((visibility("default"))) int
fernhold_run_desktop(int* argc, char** argv, const fernhold::DesktopStart* start)
{
    fernhold::UnscrambleConstants();
    if (!fernhold::DisplayAvailable()) {
        std::fprintf(stderr, "fernhold: %s: %s\n",
                     qPrintable(fernhold::Text(QStringLiteral("TXT00001"))),
                     qPrintable(fernhold::Text(QStringLiteral("TXT00002"))));
        return 0;
    }
    QApplication app(*argc, argv);
    // The tray icon is the program's window: closing the last window (the
    // about box) does not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(fernhold::ApplicationIcon());
    fernhold::QtUserInterface ui;
    fernhold::DesktopShell shell(ui);
    fernhold::Application::Options options;
    options.headless = start->headless;
    options.once = start->once;
    options.full = start->full;
    fernhold::Application application(options, ui, app);
    application.setShell(shell);
    return application.run();
}
