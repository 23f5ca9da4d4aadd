#include "commands/cloud_command.h"

#include "core/text_table.h"
#include "runtime/app_paths.h"
#include "targets/cloud_folders.h"

namespace fernhold {

int RunCloudFoldersCommand()
{
    const AppPaths paths = ResolveAppPaths();
    const QString notFound = Text(QStringLiteral("GAD00193"));
    for (const CloudFolder& row : FindCloudFolderRows(paths.folders, paths.registryPath)) {
        PrintOut(row.label + u'\t' + (row.folder.isEmpty() ? notFound : row.folder));
    }
    return 0;
}

} // namespace fernhold
