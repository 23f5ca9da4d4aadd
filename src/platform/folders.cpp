#include "platform/folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace fernhold {

namespace {

QString environmentFolder(const char* name, const QString& fallback)
{
    const QString value = qEnvironmentVariable(name);
    // Relative XDG values are invalid and must be ignored.
    if (!value.isEmpty() && value.startsWith(u'/')) {
        return WithSlash(value);
    }
    return WithSlash(fallback);
}

} // namespace

// Reads one folder of the xdg-user-dirs file, such as XDG_DOCUMENTS_DIR="$HOME/Documents".
QString XdgUserDir(const QString& configHome, const QString& home, const QString& name,
                   const QString& fallback)
{
    QFile file(configHome + QStringLiteral("user-dirs.dirs"));
    if (file.open(QIODevice::ReadOnly) && file.size() < 65536) {
        const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
        static const QRegularExpression entry(QStringLiteral("^\\s*([A-Z_]+)=\"(.*)\"\\s*$"));
        for (const QString& line : lines) {
            const auto match = entry.match(line);
            if (!match.hasMatch() || match.captured(1) != name) {
                continue;
            }
            QString value = match.captured(2);
            if (value.startsWith(QStringLiteral("$HOME"))) {
                value = QDir::cleanPath(home + value.mid(5));
            }
            if (value.startsWith(u'/')) {
                return WithSlash(value);
            }
        }
    }
    return WithSlash(home + fallback);
}

QString WithSlash(const QString& path)
{
    if (path.isEmpty() || path.endsWith(u'/')) {
        return path;
    }
    return path + u'/';
}

Folders ResolveFolders(const QString& appDataSubdir, const QString& tempSubdir)
{
    Folders f;
    QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty()) {
        home = QDir::homePath();
    }
    f.home = WithSlash(home);
    f.configHome = environmentFolder("XDG_CONFIG_HOME", f.home + QStringLiteral(".config"));
    f.dataHome = environmentFolder("XDG_DATA_HOME", f.home + QStringLiteral(".local/share"));
    f.cacheHome = environmentFolder("XDG_CACHE_HOME", f.home + QStringLiteral(".cache"));
    f.runtimeDir = environmentFolder(
        "XDG_RUNTIME_DIR",
        QStringLiteral("/tmp/fernhold-%1").arg(static_cast<qulonglong>(getuid())));
    f.appData = WithSlash(f.configHome + appDataSubdir);
    f.temp = WithSlash(f.cacheHome + tempSubdir);
    f.userTemp = environmentFolder("TMPDIR", QStringLiteral("/tmp"));
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    f.program = WithSlash(QFileInfo(self.symLinkTarget()).absolutePath());
    f.documents = XdgUserDir(f.configHome, f.home, QStringLiteral("XDG_DOCUMENTS_DIR"),
                             QStringLiteral("Documents"));
    f.publicDocuments = XdgUserDir(f.configHome, f.home, QStringLiteral("XDG_PUBLICSHARE_DIR"),
                                   QStringLiteral("Public"));
    f.internetCache = f.cacheHome;
    f.localAppData = f.dataHome;
    f.drives = QStringLiteral("/");
    f.windows = QStringLiteral("/usr/");
    f.system = QStringLiteral("/usr/lib/");
    f.programFiles = QStringLiteral("/opt/");
    f.favorites = QString();
    return f;
}

PrivateFolderProblem EnsurePrivateFolder(const QString& path)
{
    QString bare = path;
    while (bare.size() > 1 && bare.endsWith(u'/')) {
        bare.chop(1);
    }
    const QByteArray native = QFile::encodeName(bare);
    struct stat st
    {
    };
    if (lstat(native.constData(), &st) != 0) {
        if (errno != ENOENT) {
            return PrivateFolderProblem::CannotCreate;
        }
        const QString parent = QFileInfo(bare).absolutePath();
        if (!QDir().mkpath(parent) || mkdir(native.constData(), 0700) != 0) {
            return PrivateFolderProblem::CannotCreate;
        }
        if (lstat(native.constData(), &st) != 0) {
            return PrivateFolderProblem::CannotCreate;
        }
    }
    if (S_ISLNK(st.st_mode)) {
        return PrivateFolderProblem::SymbolicLink;
    }
    if (!S_ISDIR(st.st_mode)) {
        return PrivateFolderProblem::NotAFolder;
    }
    if (st.st_uid != geteuid()) {
        return PrivateFolderProblem::OtherOwner;
    }
    if ((st.st_mode & 0077) != 0 && chmod(native.constData(), 0700) != 0) {
        return PrivateFolderProblem::CannotCreate;
    }
    return PrivateFolderProblem::None;
}

int EnsureFolder(const QString& path)
{
    if (path.isEmpty()) {
        return 0;
    }
    return QDir().mkpath(path) && QFileInfo(path).isDir() ? 1 : 0;
}

} // namespace fernhold
