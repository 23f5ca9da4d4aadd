#include "platform/known_folders.h"

#include "platform/folders.h"

#include <QFileInfo>
#include <QStringList>

namespace fernhold {

namespace {

struct UserFolder
{
    const char* captionKey;
    const char* variable;
    const char* fallback;
};

// Documents and the public folder are resolved with the other start-up
// folders; the rest are read here.
constexpr UserFolder kMoreUserFolders[] = {
    {"TXT00551", "XDG_DESKTOP_DIR", "Desktop"},    {"TXT00552", "XDG_PICTURES_DIR", "Pictures"},
    {"TXT00553", "XDG_MUSIC_DIR", "Music"},        {"TXT00554", "XDG_VIDEOS_DIR", "Videos"},
    {"TXT00555", "XDG_DOWNLOAD_DIR", "Downloads"},
};

QString canonicalFolder(const QString& path)
{
    const QFileInfo info(path);
    return info.isDir() ? WithSlash(info.canonicalFilePath()) : QString();
}

} // namespace

std::vector<KnownFolder> KnownFolders(const Folders& folders)
{
    std::vector<KnownFolder> candidates;
    candidates.push_back({QStringLiteral("GAD00134"), folders.documents});
    candidates.push_back({QStringLiteral("GAD00135"), folders.publicDocuments});
    for (const UserFolder& user : kMoreUserFolders) {
        candidates.push_back(
            {QString::fromLatin1(user.captionKey),
             XdgUserDir(folders.configHome, folders.home, QString::fromLatin1(user.variable),
                        QString::fromLatin1(user.fallback))});
    }
    const QString home = canonicalFolder(folders.home);
    std::vector<KnownFolder> found;
    QStringList seen; // canonical paths, so a folder linked twice is one row
    const auto add = [&found, &seen](const QString& key, const QString& path) {
        const QString folder = canonicalFolder(path);
        if (!folder.isEmpty() && !seen.contains(folder)) {
            seen.append(folder);
            found.push_back({key, WithSlash(path)});
        }
    };
    for (const KnownFolder& candidate : candidates) {
        if (canonicalFolder(candidate.path) != home) {
            add(candidate.captionKey, candidate.path);
        }
    }
    add(QStringLiteral("TXT00550"), folders.home);
    add(QStringLiteral("GAD00137"), folders.home + QStringLiteral(".thunderbird/"));
    add(QStringLiteral("GAD00136"), folders.dataHome + QStringLiteral("evolution/mail/"));
    return found;
}

} // namespace fernhold
