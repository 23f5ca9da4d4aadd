#include "file_io.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace fernhold {

int WriteFileAtomically(const QString& path, const QByteArray& data, bool privateMode)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return 0;
    }
    if (privateMode && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        return 0;
    }
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        return 0;
    }
    return file.commit() ? 1 : 0;
}

std::optional<QByteArray> ReadFileCapped(const QString& path, qint64 maxBytes)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.read(std::min(maxBytes, file.size()));
}

} // namespace fernhold
