#include "targets/cloud_folders.h"

#include "platform/file_io.h"
#include "platform/folders.h"
#include "platform/registry_file.h"
#include "targets/targets_logging.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <memory>
#include <sqlite3.h>

namespace fernhold {

namespace {

// Far more than any client writes; a bigger file is not read whole and so
// fails to parse.
constexpr qint64 kMaxConfigBytes = 16 * 1024 * 1024;

QString existingFolder(const QString& path)
{
    if (path.isEmpty() || !QDir::isAbsolutePath(path) || !QFileInfo(path).isDir()) {
        return {};
    }
    return path;
}

bool nonEmptyFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.size() >= 1;
}

struct DropboxFolders
{
    QString personal;
    QString business;
};

DropboxFolders readDropboxInfo(const QString& path)
{
    DropboxFolders found;
    const std::optional<QByteArray> bytes = ReadFileCapped(path, kMaxConfigBytes);
    if (!bytes) {
        return found;
    }
    // The parser refuses documents nested deeper than it allows, so a
    // hostile file cannot exhaust the stack.
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(*bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        qCDebug(lcTargets) << "Dropbox info" << path << "not read:"
                           << (error.error == QJsonParseError::NoError ? QStringLiteral("no object")
                                                                       : error.errorString());
        return found;
    }
    const QJsonObject root = document.object();
    for (auto account = root.begin(); account != root.end(); ++account) {
        if (!account.value().isObject()) {
            continue;
        }
        const QJsonObject members = account.value().toObject();
        for (auto member = members.begin(); member != members.end(); ++member) {
            if (member.key() != QStringLiteral("path")) {
                continue;
            }
            const QString folder =
                member.value().isString() ? member.value().toString() : QString();
            if (account.key() == QStringLiteral("personal")) {
                found.personal = folder;
            } else if (account.key() == QStringLiteral("business")) {
                found.business = folder;
            }
        }
    }
    return found;
}

DropboxFolders findDropbox(const Folders& folders)
{
    const QString candidates[] = {
        folders.home + QStringLiteral(".dropbox/info.json"),
        folders.appData + QStringLiteral("Dropbox/info.json"),
        folders.localAppData + QStringLiteral("Dropbox/info.json"),
    };
    for (const QString& candidate : candidates) {
        if (!candidate.startsWith(u'/') || !nonEmptyFile(candidate)) {
            continue;
        }
        const DropboxFolders found = readDropboxInfo(candidate);
        return {existingFolder(found.personal), existingFolder(found.business)};
    }
    return {};
}

// A registry value as written, or trimmed where only that names a folder
// (people write "name = value" by hand).
QString registryFolder(const RegistryFile& registry, const QString& group, const QString& name)
{
    const std::optional<QString> value = registry.value(group, name);
    if (!value) {
        return {};
    }
    if (const QString folder = existingFolder(*value); !folder.isEmpty()) {
        return folder;
    }
    return existingFolder(value->trimmed());
}

// sync_dir of the Linux OneDrive client's configuration; the client's
// default "~/OneDrive" when the file sets none.
QString oneDriveClientFolder(const Folders& folders)
{
    const QString path = folders.configHome + QStringLiteral("onedrive/config");
    if (folders.configHome.isEmpty() || !QFileInfo(path).isFile()) {
        return {};
    }
    const std::optional<QByteArray> bytes = ReadFileCapped(path, kMaxConfigBytes);
    if (!bytes) {
        return {};
    }
    QString folder = QStringLiteral("~/OneDrive");
    for (const QByteArray& rawLine : bytes->split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        const qsizetype equals = line.indexOf(u'=');
        if (line.startsWith(u'#') || equals < 0 ||
            line.left(equals).trimmed() != QStringLiteral("sync_dir")) {
            continue;
        }
        QString value = line.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"')) {
            value = value.mid(1, value.size() - 2);
        }
        folder = value;
    }
    if (folder == QStringLiteral("~") || folder.startsWith(QStringLiteral("~/"))) {
        if (folders.home.isEmpty()) {
            return {};
        }
        folder = WithSlash(folders.home) + folder.mid(2);
    }
    return existingFolder(folder);
}

struct DatabaseCloser
{
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StatementFinisher
{
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

// data_value of the row local_sync_root_path in the client's database.
QString readSyncRoot(const QString& databasePath)
{
    // Only a regular file: SQLite must not sit on a pipe or a device.
    if (!QFileInfo(databasePath).isFile()) {
        return {};
    }
    sqlite3* rawDb = nullptr;
    const int opened = sqlite3_open_v2(QFile::encodeName(databasePath).constData(), &rawDb,
                                       SQLITE_OPEN_READONLY, nullptr);
    const std::unique_ptr<sqlite3, DatabaseCloser> db(rawDb);
    if (opened != SQLITE_OK) {
        return {};
    }
    sqlite3_stmt* rawStatement = nullptr;
    if (sqlite3_prepare_v2(db.get(), "SELECT * FROM data WHERE entry_key='local_sync_root_path';",
                           -1, &rawStatement, nullptr) != SQLITE_OK) {
        qCDebug(lcTargets) << "Google Drive database" << databasePath
                           << "not read:" << sqlite3_errmsg(db.get());
        return {};
    }
    const std::unique_ptr<sqlite3_stmt, StatementFinisher> statement(rawStatement);
    if (sqlite3_step(statement.get()) != SQLITE_ROW) {
        return {};
    }
    for (int column = 0; column < sqlite3_column_count(statement.get()); ++column) {
        const char* name = sqlite3_column_name(statement.get(), column);
        if (name == nullptr || qstrcmp(name, "data_value") != 0) {
            continue;
        }
        const auto* text =
            reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), column));
        const int length = sqlite3_column_bytes(statement.get(), column);
        return text == nullptr ? QString() : QString::fromUtf8(text, length);
    }
    return {};
}

QString findGoogleDrive(const RegistryFile& registry)
{
    const std::optional<QString> base =
        registry.value(QStringLiteral("Software\\Google\\Drive"), QStringLiteral("Path"));
    if (!base || base->isEmpty()) {
        return {};
    }
    QString folder = readSyncRoot(*base + QStringLiteral("user_default/sync_config.db"));
    // A long-path prefix before a drive letter goes: keep from the character
    // before the first ":".
    const qsizetype colon = folder.indexOf(u':');
    if (colon >= 1) {
        folder = folder.mid(colon - 1);
    }
    return existingFolder(folder);
}

} // namespace

std::array<CloudFolder, kCloudFolderRows> FindCloudFolderRows(const Folders& folders,
                                                              const QString& registryPath)
{
    const DropboxFolders dropbox = findDropbox(folders);
    const RegistryFile registry(registryPath);
    QString oneDrivePersonal = registryFolder(
        registry, QStringLiteral("Software\\Microsoft\\OneDrive\\Accounts\\Personal"),
        QStringLiteral("UserFolder"));
    if (oneDrivePersonal.isEmpty()) {
        oneDrivePersonal = oneDriveClientFolder(folders);
    }
    const QString oneDriveBusiness = registryFolder(
        registry, QStringLiteral("Software\\Microsoft\\OneDrive\\Accounts\\Business1"),
        QStringLiteral("UserFolder"));
    return {{
        {QStringLiteral("DropBox (Personal)"), dropbox.personal},
        {QStringLiteral("DropBox (Business)"), dropbox.business},
        {QStringLiteral("OneDrive (Personal)"), oneDrivePersonal},
        {QStringLiteral("OneDrive (Business)"), oneDriveBusiness},
        {QStringLiteral("GoogleDrive (Backup & Sync)"), findGoogleDrive(registry)},
    }};
}

} // namespace fernhold
