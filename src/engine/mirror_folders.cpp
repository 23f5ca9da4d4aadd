#include "engine/mirror_folders.h"

#include "engine/target_layout.h"
#include "platform/file_name.h"

#include <cerrno>
#include <sys/stat.h>

namespace fernhold {

namespace {

bool isFolder(const QByteArray& path)
{
    struct stat st
    {
    };
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The bits a new mirror of `sourceSide` may have; owner-only when the source
// folder cannot be read.
mode_t mirrorMode(const QByteArray& sourceSide)
{
    struct stat st
    {
    };
    if (::stat(sourceSide.constData(), &st) != 0) {
        return 0700;
    }
    return (st.st_mode & 0077) | 0700;
}

} // namespace

int MakeMirrorFolders(const QString& root, const QString& sourceFolder)
{
    QByteArray target = EncodeFileName(root);
    if (target.isEmpty()) {
        return 0;
    }
    if (!target.endsWith('/')) {
        target.append('/');
    }
    if (isFolder(target + EncodeFileName(MirrorText(sourceFolder)))) {
        return 1;
    }
    QByteArray source("/");
    for (const QString& part : sourceFolder.split(u'/', Qt::SkipEmptyParts)) {
        source += EncodeFileName(part) + '/';
        target += EncodeFileName(MirrorText(part)) + '/';
        // mkdir narrows the bits by the umask too, which only ever takes away.
        if (::mkdir(target.constData(), mirrorMode(source)) != 0 && errno != EEXIST) {
            return 0;
        }
    }
    return isFolder(target) ? 1 : 0;
}

} // namespace fernhold
