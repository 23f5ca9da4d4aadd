#include "restore/restore_scratch.h"

#include "platform/folders.h"
#include "restore/restore_logging.h"

namespace fernhold {

RestoreScratch::RestoreScratch(const QString& workFolder)
{
    if (workFolder.isEmpty() || EnsurePrivateFolder(workFolder) != PrivateFolderProblem::None) {
        qCWarning(lcRestore) << "work folder not usable:" << workFolder;
        return;
    }
    auto dir =
        std::make_unique<QTemporaryDir>(WithSlash(workFolder) + QStringLiteral("restore-XXXXXX"));
    if (dir->isValid()) {
        m_dir = std::move(dir);
    }
}

RestoreScratch::~RestoreScratch() = default;

QString RestoreScratch::path() const
{
    return m_dir ? WithSlash(m_dir->path()) : QString();
}

} // namespace fernhold
