#include "engine/target_layout.h"

#include "core/time_text.h"
#include "platform/file_name.h"

#include <QStringList>

namespace fernhold {

namespace {

constexpr QChar kBrokenBar(0x00A6);
constexpr QChar kCopyright(0x00A9);

} // namespace

QString MirrorText(const QString& sourceFolder)
{
    QString text = sourceFolder.startsWith(u'/') ? sourceFolder.mid(1) : sourceFolder;
    text.replace(u':', kBrokenBar);
    return text;
}

QString SourceFolderOfMirror(const QString& relativeFolder)
{
    QString text = relativeFolder;
    text.replace(kBrokenBar, u':');
    return u'/' + text;
}

QString VersionStamp(const QDateTime& started)
{
    return StampText(started.date(), started.time());
}

QString VersionSuffix(const QString& fileName, bool packed, bool encrypted)
{
    if (packed) {
        return encrypted ? QString(kCopyright) + QStringLiteral(".zip") : QStringLiteral(".zip");
    }
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return u'.' + (dot < 0 ? QString() : fileName.mid(dot + 1));
}

QString VersionName(const QString& fileName, const QString& stamp, const QString& suffix)
{
    return fileName + u'@' + stamp + suffix;
}

bool PathFitsPlatform(const QString& path)
{
    if (EncodeFileName(path).size() > 4095) {
        return false;
    }
    for (const QString& part : path.split(u'/')) {
        if (EncodeFileName(part).size() > 255) {
            return false;
        }
    }
    return true;
}

} // namespace fernhold
