#include "core/text_table.h"
#include "platform/folders.h"
#include "platform/registry_file.h"
#include "targets/cloud_folders.h"
#include "temp_home.h"

#include <QDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace fernhold::test {

namespace {

const QString kOneDrivePersonal =
    QStringLiteral("Software\\Microsoft\\OneDrive\\Accounts\\Personal");
const QString kOneDriveBusiness =
    QStringLiteral("Software\\Microsoft\\OneDrive\\Accounts\\Business1");
const QString kGoogleDrive = QStringLiteral("Software\\Google\\Drive");

enum Row
{
    DropboxPersonal,
    DropboxBusiness,
    OneDrivePersonal,
    OneDriveBusiness,
    GoogleDrive,
};

class CloudFolders : public ::testing::Test
{
protected:
    CloudFolders()
        : m_folders(ResolveFolders(Text(QStringLiteral("AppData_Subdir")),
                                   Text(QStringLiteral("TempData_Subdir")))),
          m_registry(m_home.appData() + QStringLiteral("registry.ini"))
    {}

    std::array<CloudFolder, kCloudFolderRows> rows() const
    {
        return FindCloudFolderRows(m_folders, m_registry.path());
    }

    // A folder below the home, created; its path without a trailing "/".
    QString folder(const QString& name) const
    {
        const QString path = m_home.path() + name;
        EXPECT_TRUE(QDir().mkpath(path));
        return path;
    }

    static QByteArray json(const QString& text) { return text.toUtf8(); }

    // A database of the Google Drive client with the given statements run.
    QString database(const QStringList& statements) const
    {
        const QString base = m_home.path() + QStringLiteral("gdrive/");
        QDir().mkpath(base + QStringLiteral("user_default"));
        const QString path = base + QStringLiteral("user_default/sync_config.db");
        QFile::remove(path);
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
        for (const QString& statement : statements) {
            char* error = nullptr;
            EXPECT_EQ(sqlite3_exec(db, statement.toUtf8().constData(), nullptr, nullptr, &error),
                      SQLITE_OK)
                << (error ? error : "");
            sqlite3_free(error);
        }
        sqlite3_close(db);
        return base;
    }

    TempHome m_home;
    Folders m_folders;
    RegistryFile m_registry;
};

} // namespace

TEST_F(CloudFolders, DropboxWithOnlyAPersonalAccount)
{
    const QString dropbox = folder(QStringLiteral("Dropbox (Personal)"));
    m_home.writeFile(QStringLiteral(".dropbox/info.json"),
                     json(QStringLiteral(R"({"personal": {"host": 12, "path": "%1",
                                             "is_team": false}})")
                              .arg(dropbox)));
    const auto found = rows();
    EXPECT_EQ(found[DropboxPersonal].label, QStringLiteral("DropBox (Personal)"));
    EXPECT_EQ(found[DropboxPersonal].folder, dropbox);
    EXPECT_EQ(found[DropboxBusiness].label, QStringLiteral("DropBox (Business)"));
    EXPECT_TRUE(found[DropboxBusiness].folder.isEmpty());
    EXPECT_EQ(found[OneDrivePersonal].label, QStringLiteral("OneDrive (Personal)"));
    EXPECT_EQ(found[OneDriveBusiness].label, QStringLiteral("OneDrive (Business)"));
    EXPECT_EQ(found[GoogleDrive].label, QStringLiteral("GoogleDrive (Backup & Sync)"));
    for (const Row row : {OneDrivePersonal, OneDriveBusiness, GoogleDrive}) {
        EXPECT_TRUE(found[row].folder.isEmpty());
    }
}

TEST_F(CloudFolders, DropboxLooksInThreePlacesInTurn)
{
    const QString one = folder(QStringLiteral("one"));
    const QString two = folder(QStringLiteral("two"));
    const QString three = folder(QStringLiteral("three"));
    const auto info = [](const QString& personal) {
        return json(QStringLiteral(R"({"personal": {"path": "%1"}})").arg(personal));
    };
    m_home.writeFile(QStringLiteral(".local/share/Dropbox/info.json"), info(three));
    EXPECT_EQ(rows()[DropboxPersonal].folder, three);
    // An empty file or a folder in an earlier place is passed over.
    QDir().mkpath(m_home.appData() + QStringLiteral("Dropbox/info.json"));
    m_home.writeFile(QStringLiteral(".dropbox/info.json"), {});
    EXPECT_EQ(rows()[DropboxPersonal].folder, three);
    QDir(m_home.appData() + QStringLiteral("Dropbox/info.json")).removeRecursively();
    m_home.writeFile(QStringLiteral(".config/fernhold/Dropbox/info.json"), info(two));
    EXPECT_EQ(rows()[DropboxPersonal].folder, two);
    m_home.writeFile(QStringLiteral(".dropbox/info.json"), info(one));
    EXPECT_EQ(rows()[DropboxPersonal].folder, one);
}

TEST_F(CloudFolders, DropboxBusinessAndLaterMembersWin)
{
    const QString first = folder(QStringLiteral("first"));
    const QString second = folder(QStringLiteral("second"));
    const QString team = folder(QStringLiteral("team"));
    m_home.writeFile(QStringLiteral(".dropbox/info.json"),
                     json(QStringLiteral(R"({"personal": {"path": "%1"},
                                             "business": {"path": "%3"},
                                             "personal": {"path": "%2"}})")
                              .arg(first, second, team)));
    const auto found = rows();
    EXPECT_EQ(found[DropboxPersonal].folder, second);
    EXPECT_EQ(found[DropboxBusiness].folder, team);
}

TEST_F(CloudFolders, MalformedDropboxInfoLeavesBothRowsEmpty)
{
    const QString dropbox = folder(QStringLiteral("Dropbox"));
    QByteArray deepObjects;
    while (deepObjects.size() < 10 * 1024 * 1024) {
        deepObjects += "{\"personal\":";
    }
    QByteArray binary(4096, '\0');
    for (int i = 0; i < binary.size(); ++i) {
        binary[i] = static_cast<char>((i * 131) & 0xff);
    }
    const QList<QByteArray> bad = {
        json(QStringLiteral(R"({"personal": {"path": "%1")").arg(dropbox)), // cut short
        json(QStringLiteral(R"({"personal": {"path": 5}, "business": {"path": null}})")),
        json(QStringLiteral(R"({"personal": ["path", "%1"]})").arg(dropbox)),
        json(QStringLiteral(R"([{"personal": {"path": "%1"}}])").arg(dropbox)),
        json(QStringLiteral(R"({"personal": {"path": "%1/missing"}})").arg(dropbox)),
        json(QStringLiteral(R"({"personal": {"path": "Dropbox"}})")), // not absolute
        json(QStringLiteral(R"({"personal": {"path": "%1"}} trailing)").arg(dropbox)),
        QByteArray(10 * 1024 * 1024, '['),
        deepObjects,
        binary,
    };
    for (const QByteArray& content : bad) {
        m_home.writeFile(QStringLiteral(".dropbox/info.json"), content);
        const auto found = rows();
        EXPECT_TRUE(found[DropboxPersonal].folder.isEmpty()) << content.left(60).toStdString();
        EXPECT_TRUE(found[DropboxBusiness].folder.isEmpty()) << content.left(60).toStdString();
    }
}

TEST_F(CloudFolders, OneDriveFromTheRegistryFile)
{
    const QString personal = folder(QStringLiteral("OneDrive"));
    ASSERT_EQ(m_registry.setValues(kOneDrivePersonal, {{QStringLiteral("UserFolder"), personal}}),
              1);
    ASSERT_EQ(m_registry.setValues(kOneDriveBusiness,
                                   {{QStringLiteral("UserFolder"), m_home.path() + "gone"}}),
              1);
    auto found = rows();
    EXPECT_EQ(found[OneDrivePersonal].folder, personal);
    EXPECT_TRUE(found[OneDriveBusiness].folder.isEmpty());

    const QString business = folder(QStringLiteral("OneDrive - Firm"));
    ASSERT_EQ(m_registry.setValues(kOneDriveBusiness, {{QStringLiteral("UserFolder"), business}}),
              1);
    EXPECT_EQ(rows()[OneDriveBusiness].folder, business);
}

TEST_F(CloudFolders, TheLinuxOneDriveClientsSyncFolder)
{
    const QString home = QDir::cleanPath(m_home.path());
    // Without sync_dir the client uses ~/OneDrive.
    m_home.writeFile(QStringLiteral(".config/onedrive/config"), "# sync_dir = \"~/elsewhere\"\n");
    EXPECT_TRUE(rows()[OneDrivePersonal].folder.isEmpty());
    folder(QStringLiteral("OneDrive"));
    EXPECT_EQ(rows()[OneDrivePersonal].folder, home + QStringLiteral("/OneDrive"));

    folder(QStringLiteral("Cloud/My Files"));
    m_home.writeFile(QStringLiteral(".config/onedrive/config"),
                     "# configuration\nmonitor_interval = \"300\"\n"
                     "  sync_dir   =   \"~/Cloud/My Files\"  \n");
    EXPECT_EQ(rows()[OneDrivePersonal].folder, home + QStringLiteral("/Cloud/My Files"));
    // A value without quotes, and the registry file before the client.
    const QString absolute = folder(QStringLiteral("Absolute"));
    m_home.writeFile(QStringLiteral(".config/onedrive/config"), ("sync_dir=" + absolute).toUtf8());
    EXPECT_EQ(rows()[OneDrivePersonal].folder, absolute);
    const QString registered = folder(QStringLiteral("Registered"));
    ASSERT_EQ(m_registry.setValues(kOneDrivePersonal, {{QStringLiteral("UserFolder"), registered}}),
              1);
    EXPECT_EQ(rows()[OneDrivePersonal].folder, registered);
    EXPECT_TRUE(rows()[OneDriveBusiness].folder.isEmpty());
}

TEST_F(CloudFolders, GoogleDriveFromItsDatabase)
{
    const QString root = folder(QStringLiteral("Google Drive"));
    const QString base = database({
        QStringLiteral("CREATE TABLE data (entry_key TEXT, data_key TEXT, data_value TEXT)"),
        QStringLiteral("INSERT INTO data VALUES ('other', 'value', '/nothing')"),
        QStringLiteral("INSERT INTO data VALUES ('local_sync_root_path', 'value', '%1')").arg(root),
    });
    ASSERT_EQ(m_registry.setValues(kGoogleDrive, {{QStringLiteral("Path"), base}}), 1);
    EXPECT_EQ(rows()[GoogleDrive].folder, root);

    // No separator is put between the value and the database's name.
    ASSERT_EQ(m_registry.setValues(kGoogleDrive, {{QStringLiteral("Path"), base.chopped(1)}}), 1);
    EXPECT_TRUE(rows()[GoogleDrive].folder.isEmpty());
}

TEST_F(CloudFolders, GoogleDriveValuesWithADriveLetterAreCut)
{
    // On this system the cut leaves a relative path, which names no folder here.
    const QString base = database({
        QStringLiteral("CREATE TABLE data (entry_key TEXT, data_value TEXT)"),
        QStringLiteral("INSERT INTO data VALUES ('local_sync_root_path', '\\\\?\\C:%1')")
            .arg(folder(QStringLiteral("drive"))),
    });
    ASSERT_EQ(m_registry.setValues(kGoogleDrive, {{QStringLiteral("Path"), base}}), 1);
    EXPECT_TRUE(rows()[GoogleDrive].folder.isEmpty());
}

TEST_F(CloudFolders, BrokenGoogleDriveDatabasesGiveNothing)
{
    const QString root = folder(QStringLiteral("Google Drive"));
    const QString base = m_home.path() + QStringLiteral("gdrive/");
    const QString path = base + QStringLiteral("user_default/sync_config.db");
    ASSERT_EQ(m_registry.setValues(kGoogleDrive, {{QStringLiteral("Path"), base}}), 1);
    EXPECT_TRUE(rows()[GoogleDrive].folder.isEmpty()); // no database at all

    m_home.writeFile(QStringLiteral("gdrive/user_default/sync_config.db"),
                     "This is not a database, just some text that is long enough.\n");
    EXPECT_TRUE(rows()[GoogleDrive].folder.isEmpty());
    m_home.writeFile(QStringLiteral("gdrive/user_default/sync_config.db"), {});
    EXPECT_TRUE(rows()[GoogleDrive].folder.isEmpty());
    // SQLite must not have turned the empty file into a database.
    EXPECT_EQ(QFileInfo(path).size(), 0);

    const QList<QStringList> databases = {
        {QStringLiteral("CREATE TABLE other (entry_key TEXT, data_value TEXT)")},
        {QStringLiteral("CREATE TABLE data (entry_key TEXT, data_value TEXT)")},
        {QStringLiteral("CREATE TABLE data (entry_key TEXT, data_value TEXT)"),
         QStringLiteral("INSERT INTO data VALUES ('local_sync_root_path', NULL)")},
        {QStringLiteral("CREATE TABLE data (entry_key TEXT, value TEXT)"),
         QStringLiteral("INSERT INTO data VALUES ('local_sync_root_path', '%1')").arg(root)},
    };
    for (const QStringList& statements : databases) {
        database(statements);
        EXPECT_TRUE(rows()[GoogleDrive].folder.isEmpty()) << statements.join(u';').toStdString();
    }
    // A folder where the database should be.
    QFile::remove(path);
    QDir().mkpath(path);
    EXPECT_TRUE(rows()[GoogleDrive].folder.isEmpty());
}

} // namespace fernhold::test
