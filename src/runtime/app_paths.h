#pragma once

#include "platform/folders.h"

#include <QString>

namespace fernhold {

// The folders of this run and the files that live in them.
struct AppPaths
{
    Folders folders;
    QString registryPath; // the status "registry"
    QString crashReportPath;
    QString programPath; // the running program file
};

[[nodiscard]] AppPaths ResolveAppPaths();

// True when a Fernhold instance runs for this user.
[[nodiscard]] bool InstanceRuns(const AppPaths& paths);

// Prints a line to standard output / standard error (UTF-8, LF). Standard
// output carries names as their own bytes (EncodeFileName); standard error is
// for reading and shows the bytes of names that are not UTF-8 as "\xNN".
void PrintOut(const QString& text);
void PrintError(const QString& text);

} // namespace fernhold
