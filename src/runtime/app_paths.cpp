#include "runtime/app_paths.h"

#include "core/text_table.h"
#include "platform/file_name.h"
#include "platform/named_lock.h"

#include <QFileInfo>
#include <cstdio>

namespace fernhold {

AppPaths ResolveAppPaths()
{
    AppPaths paths;
    paths.folders = ResolveFolders(Text(QStringLiteral("AppData_Subdir")),
                                   Text(QStringLiteral("TempData_Subdir")));
    paths.registryPath = paths.folders.appData + QStringLiteral("registry.ini");
    paths.crashReportPath = paths.folders.appData + QStringLiteral("crash-report.txt");
    paths.programPath = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    return paths;
}

bool InstanceRuns(const AppPaths& paths)
{
    return NamedLock::isHeldElsewhere(paths.folders.runtimeDir,
                                      Text(QStringLiteral("Program_Name")));
}

namespace {

void print(std::FILE* stream, QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QByteArray bytes = EncodeFileName(text);
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

void PrintOut(const QString& text)
{
    // Names come out as the bytes they have on disk, so a name that is not
    // UTF-8 can be handed back to another command as it was printed.
    print(stdout, text);
}

void PrintError(const QString& text)
{
    print(stderr, DisplayFileName(text));
}

} // namespace fernhold
