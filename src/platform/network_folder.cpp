#include "platform/network_folder.h"

#include <QFile>
#include <QStringList>

namespace fernhold {

namespace {

bool networkType(const QString& type)
{
    static const QStringList kTypes{
        QStringLiteral("nfs"),        QStringLiteral("nfs4"),        QStringLiteral("cifs"),
        QStringLiteral("smb3"),       QStringLiteral("smbfs"),       QStringLiteral("sshfs"),
        QStringLiteral("fuse.sshfs"), QStringLiteral("9p"),          QStringLiteral("afs"),
        QStringLiteral("ncpfs"),      QStringLiteral("ceph"),        QStringLiteral("glusterfs"),
        QStringLiteral("davfs"),      QStringLiteral("fuse.davfs2"), QStringLiteral("fuse.rclone"),
        QStringLiteral("coda"),       QStringLiteral("lustre"),
    };
    return kTypes.contains(type);
}

// Mount points escape blanks and tabs as octal (\040).
QString unescape(const QString& field)
{
    QString out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        bool octal = false;
        const int code = field[i] == u'\\' ? field.mid(i + 1, 3).toInt(&octal, 8) : 0;
        if (octal && i + 3 < field.size()) {
            out += QChar(code);
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

} // namespace

bool IsNetworkFolder(const QString& folder, const QString& mounts)
{
    QString text = mounts;
    if (text.isEmpty()) {
        QFile file(QStringLiteral("/proc/self/mounts"));
        if (!file.open(QIODevice::ReadOnly)) {
            return false;
        }
        text = QString::fromUtf8(file.readAll());
    }
    QString path = folder;
    if (!path.endsWith(u'/')) {
        path += u'/';
    }
    // The longest mount point that holds the folder is the one it lies on.
    qsizetype best = -1;
    bool network = false;
    for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(u' ');
        if (fields.size() < 3) {
            continue;
        }
        QString point = unescape(fields[1]);
        if (!point.endsWith(u'/')) {
            point += u'/';
        }
        if (path.startsWith(point) && point.size() > best) {
            best = point.size();
            network = networkType(fields[2]);
        }
    }
    return network;
}

} // namespace fernhold
