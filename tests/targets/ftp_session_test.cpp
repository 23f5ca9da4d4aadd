#include "ftp_test_helpers.h"
#include "platform/file_name.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <unistd.h>

namespace fernhold::test {

namespace {

QByteArray everyByteValue(int repeats)
{
    QByteArray data;
    for (int r = 0; r < repeats; ++r) {
        for (int b = 0; b < 256; ++b) {
            data.append(static_cast<char>(b));
        }
    }
    return data;
}

QByteArray randomBytes(qint64 size)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(20240305);
    generator.fillRange(reinterpret_cast<quint32*>(data.data()), size / 4);
    return data;
}

const FtpEntry* findEntry(const QList<FtpEntry>& entries, const QString& name)
{
    for (const FtpEntry& entry : entries) {
        if (entry.name == name) {
            return &entry;
        }
    }
    return nullptr;
}

bool noTemporaryFiles(const FtpServer& server, const QByteArray& folder = {})
{
    for (const QByteArray& name : server.names(folder)) {
        if (IsFtpTemporaryName(QString::fromUtf8(name))) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST_P(BothServers, OneControlConnectionServesEveryCall)
{
    auto server = startServer();
    server->writeFile("keep.txt", "hello");
    auto session = open(*server);
    ASSERT_TRUE(session);
    const int port = session->controlPort();
    EXPECT_GT(port, 0);

    EXPECT_EQ(FtpEnter(*session, server->ftpFolder()), 1);
    EXPECT_TRUE(FtpList(*session).has_value());
    EXPECT_TRUE(FtpCurrentFolder(*session).has_value());
    const QString local = m_home.writeFile(QStringLiteral("up.txt"), "data");
    EXPECT_EQ(FtpUpload(*session, local, QStringLiteral("up.txt")), 1);
    EXPECT_EQ(FtpDownload(*session, QStringLiteral("keep.txt"), m_home.path() + "down.txt"), 1);
    EXPECT_EQ(FtpDelete(*session, QStringLiteral("up.txt")), 1);
    EXPECT_EQ(session->controlPort(), port);
}

TEST_P(BothServers, EnterCreatingMakesEveryMissingLevel)
{
    auto server = startServer();
    server->makeFolder("a");
    auto session = open(*server);
    ASSERT_TRUE(session);

    EXPECT_EQ(FtpEnterCreating(*session, server->ftpFolder() + "a/b/c/"), 1);
    EXPECT_EQ(server->names("a"), QList<QByteArray>{"b"});
    EXPECT_EQ(server->names("a/b"), QList<QByteArray>{"c"});
    EXPECT_EQ(FtpCurrentFolder(*session), server->ftpFolder() + "a/b/c");

    // Relative to the current folder, and an existing folder is just entered.
    EXPECT_EQ(FtpEnterCreating(*session, QStringLiteral("d/e/")), 1);
    EXPECT_TRUE(server->exists("a/b/c/d/e"));
    EXPECT_EQ(FtpEnterCreating(*session, server->ftpFolder() + "a/"), 1);
    EXPECT_EQ(FtpCurrentFolder(*session), server->ftpFolder() + "a");
}

TEST_P(BothServers, EnterFailsForMissingFolderAndKeepsPlace)
{
    auto server = startServer();
    server->makeFolder("here");
    auto session = open(*server);
    ASSERT_TRUE(session);
    ASSERT_EQ(FtpEnter(*session, server->ftpFolder() + "here/"), 1);
    EXPECT_EQ(FtpEnter(*session, QStringLiteral("missing/")), 0);
    EXPECT_EQ(FtpCurrentFolder(*session), server->ftpFolder() + "here");
    EXPECT_EQ(FtpEnter(*session, QString()), 1);
    EXPECT_EQ(FtpCurrentFolder(*session), server->ftpFolder() + "here");
}

TEST_P(BothServers, UploadAndDownloadKeepEveryByte)
{
    auto server = startServer();
    const QByteArray content = everyByteValue(40);
    const QString local = m_home.writeFile(QStringLiteral("all.bin"), content);
    auto session = open(*server);
    ASSERT_TRUE(session);

    ASSERT_EQ(FtpUpload(*session, local, server->ftpFolder() + "all.bin@20240305~140709.bin"), 1);
    EXPECT_EQ(server->readFile("all.bin@20240305~140709.bin"), content);
    EXPECT_TRUE(noTemporaryFiles(*server));

    const QString back = m_home.path() + QStringLiteral("back.bin");
    ASSERT_EQ(FtpDownload(*session, server->ftpFolder() + "all.bin@20240305~140709.bin", back), 1);
    EXPECT_EQ(TempHome::readFile(back), content);
    EXPECT_EQ(QDir(m_home.path()).entryList({QStringLiteral("back.bin*")}, QDir::Files),
              QStringList{QStringLiteral("back.bin")});

    // Uploading again replaces the file; an empty file travels too.
    const QString empty = m_home.writeFile(QStringLiteral("empty.bin"), {});
    ASSERT_EQ(FtpUpload(*session, empty, server->ftpFolder() + "all.bin@20240305~140709.bin"), 1);
    EXPECT_EQ(server->readFile("all.bin@20240305~140709.bin"), QByteArray());
    ASSERT_EQ(FtpDownload(*session, server->ftpFolder() + "all.bin@20240305~140709.bin", back), 1);
    EXPECT_EQ(QFileInfo(back).size(), 0);
}

TEST_P(BothServers, FiftyMegabytesTravelBothWays)
{
    auto server = startServer();
    const QByteArray content = randomBytes(50LL * 1024 * 1024);
    const QString local = m_home.writeFile(QStringLiteral("big.bin"), content);
    auto session = open(*server);
    ASSERT_TRUE(session);

    ASSERT_EQ(FtpUpload(*session, local, server->ftpFolder() + "big.bin"), 1);
    EXPECT_TRUE(server->readFile("big.bin") == content);
    const QString back = m_home.path() + QStringLiteral("big.back");
    ASSERT_EQ(FtpDownload(*session, server->ftpFolder() + "big.bin", back), 1);
    EXPECT_TRUE(TempHome::readFile(back) == content);
}

TEST_P(BothServers, ListGivesAttributesAndLargeSizes)
{
    auto server = startServer();
    server->makeFolder("folder");
    server->writeFile("five.txt", "12345");
    server->makeSparseFile("huge.bin", 3221225472LL);
    server->writeFile("with blank and \"quotes\" 'x'.txt", "q");
    ASSERT_EQ(
        ::symlink("five.txt", (QFile::encodeName(server->localFolder()) + "link").constData()), 0);
    auto session = open(*server);
    ASSERT_TRUE(session);
    ASSERT_EQ(FtpEnter(*session, server->ftpFolder()), 1);

    const std::optional<QList<FtpEntry>> entries = FtpList(*session);
    ASSERT_TRUE(entries);
    const FtpEntry* folder = findEntry(*entries, QStringLiteral("folder"));
    const FtpEntry* five = findEntry(*entries, QStringLiteral("five.txt"));
    const FtpEntry* huge = findEntry(*entries, QStringLiteral("huge.bin"));
    const FtpEntry* quoted =
        findEntry(*entries, QStringLiteral("with blank and \"quotes\" 'x'.txt"));
    ASSERT_TRUE(folder && five && huge && quoted);
    EXPECT_EQ(folder->attributes, kFtpFolder);
    EXPECT_EQ(five->attributes, kFtpFile);
    EXPECT_EQ(five->size, 5);
    EXPECT_TRUE(five->modified.has_value());
    EXPECT_EQ(huge->attributes, kFtpFile);
    EXPECT_EQ(huge->size, 3221225472LL);
    EXPECT_EQ(quoted->size, 1);
    // LIST shows the link as such, so callers neither walk nor clean it;
    // pyftpdlib's MLSD follows it and shows the file it points to.
    const FtpEntry* link = findEntry(*entries, QStringLiteral("link"));
    ASSERT_TRUE(link);
    if (GetParam() == FtpServerKind::Vsftpd) {
        EXPECT_EQ(link->attributes, kFtpLink | kFtpFile);
    } else {
        EXPECT_EQ(link->attributes, kFtpFile);
        EXPECT_EQ(link->size, 5);
    }
    for (const FtpEntry& entry : *entries) {
        EXPECT_NE(entry.name, QStringLiteral("."));
        EXPECT_NE(entry.name, QStringLiteral(".."));
    }

    ASSERT_EQ(FtpEnter(*session, QStringLiteral("folder")), 1);
    const std::optional<QList<FtpEntry>> empty = FtpList(*session);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->isEmpty());
    EXPECT_FALSE(FtpEnter(*session, QStringLiteral("nothing-here")));
}

TEST_P(BothServers, DeleteRemovesOneFile)
{
    auto server = startServer();
    server->writeFile("gone.txt", "1");
    server->writeFile("stays.txt", "2");
    auto session = open(*server);
    ASSERT_TRUE(session);
    EXPECT_EQ(FtpDelete(*session, server->ftpFolder() + "gone.txt"), 1);
    EXPECT_EQ(server->names(), QList<QByteArray>{"stays.txt"});
    EXPECT_EQ(FtpDelete(*session, server->ftpFolder() + "gone.txt"), 0);
    ASSERT_EQ(FtpEnter(*session, server->ftpFolder()), 1);
    const std::optional<QList<FtpEntry>> entries = FtpList(*session);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1);
    EXPECT_EQ(entries->first().name, QStringLiteral("stays.txt"));
}

TEST_P(BothServers, ResolveFolderGivesServerPaths)
{
    auto server = startServer();
    server->makeFolder("sub/deeper");
    auto session = open(*server);
    ASSERT_TRUE(session);

    EXPECT_EQ(FtpResolveFolder(*session, QString()), QStringLiteral("/"));
    EXPECT_EQ(FtpResolveFolder(*session, QStringLiteral("/")), QStringLiteral("//"));
    EXPECT_EQ(FtpResolveFolder(*session, server->ftpFolder() + "sub/deeper/"),
              server->ftpFolder() + "sub/deeper/");
    EXPECT_EQ(FtpCurrentFolder(*session), server->ftpFolder() + "sub/deeper");
    EXPECT_EQ(FtpResolveFolder(*session, QStringLiteral("../")), server->ftpFolder() + "sub/");
    EXPECT_EQ(FtpResolveFolder(*session, QStringLiteral("no/such/")), QStringLiteral("no/such/"));
    // A resolved root is usable as it is.
    EXPECT_EQ(FtpEnter(*session, QStringLiteral("//")), 1);
    EXPECT_EQ(FtpCurrentFolder(*session), QStringLiteral("/"));
}

TEST_P(BothServers, Utf8ModeSendsAndReadsUtf8Names)
{
    auto server = startServer();
    server->writeFile("caf\xE9-ansi.txt", "latin");
    auto session = open(*server, FtpNameMode::Utf8);
    ASSERT_TRUE(session);
    EXPECT_EQ(session->mode(), FtpNameMode::Utf8);

    const QString folder = server->ftpFolder() + QStringLiteral("Übersicht Größe/Ärger/");
    ASSERT_EQ(FtpEnterCreating(*session, folder), 1);
    EXPECT_TRUE(server->exists("\xC3\x9C"
                               "bersicht Gr\xC3\xB6\xC3\x9F"
                               "e/\xC3\x84rger"));
    const QString local = m_home.writeFile(QStringLiteral("x"), "umlaut");
    ASSERT_EQ(FtpUpload(*session, local, folder + QStringLiteral("Straße.txt")), 1);
    EXPECT_EQ(server->readFile("\xC3\x9C"
                               "bersicht Gr\xC3\xB6\xC3\x9F"
                               "e/\xC3\x84rger/Stra\xC3\x9F"
                               "e.txt"),
              QByteArray("umlaut"));
    EXPECT_EQ(FtpCurrentFolder(*session), folder.chopped(1));

    ASSERT_EQ(FtpEnter(*session, server->ftpFolder()), 1);
    const std::optional<QList<FtpEntry>> entries = FtpList(*session);
    ASSERT_TRUE(entries);
    const FtpEntry* created = findEntry(*entries, QStringLiteral("Übersicht Größe"));
    ASSERT_TRUE(created);
    EXPECT_TRUE(created->isFolder());
    // A name that is not UTF-8 keeps its bytes and leads back to its file.
    const QString latin = DecodeFileName("caf\xE9-ansi.txt");
    EXPECT_TRUE(findEntry(*entries, latin));
    const QString latinBack = m_home.path() + QStringLiteral("latin");
    EXPECT_EQ(FtpDownload(*session, server->ftpFolder() + latin, latinBack), 1);
    EXPECT_EQ(TempHome::readFile(latinBack), QByteArray("latin"));

    const QString back = m_home.path() + QStringLiteral("back");
    EXPECT_EQ(FtpDownload(*session, folder + QStringLiteral("Straße.txt"), back), 1);
    EXPECT_EQ(TempHome::readFile(back), QByteArray("umlaut"));
}

TEST_P(BothServers, PlainModeSendsWindows1252)
{
    auto server = startServer();
    auto session = open(*server, FtpNameMode::Plain);
    ASSERT_TRUE(session);
    const QString local = m_home.writeFile(QStringLiteral("x"), "euro");
    ASSERT_EQ(FtpUpload(*session, local, server->ftpFolder() + QStringLiteral("5€ café.txt")), 1);
    EXPECT_EQ(server->names(), QList<QByteArray>{"5\x80 caf\xE9.txt"});
    ASSERT_EQ(FtpEnter(*session, server->ftpFolder()), 1);
    const std::optional<QList<FtpEntry>> entries = FtpList(*session);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1);
    EXPECT_EQ(entries->first().name, QStringLiteral("5€ café.txt"));
    // A name the code page cannot carry fails instead of arriving mangled.
    EXPECT_EQ(FtpUpload(*session, local, server->ftpFolder() + QStringLiteral("日本.txt")), 0);
    EXPECT_EQ(server->names(), QList<QByteArray>{"5\x80 caf\xE9.txt"});
}

TEST_P(BothServers, AwkwardNamesTravelBothWays)
{
    auto server = startServer();
    server->writeFile("caf\xE9 latin.txt", "latin");
    const QString local = m_home.writeFile(QStringLiteral("source"), "content");
    const QStringList names = {QStringLiteral("with blank.txt"),
                               QStringLiteral("quote\"d 'single'.txt"),
                               QStringLiteral("100% #hash ?q &amp; +plus.txt"),
                               QStringLiteral(" leading blank.txt"),
                               QStringLiteral("semi;colon=x,y.txt"),
                               QStringLiteral("-dash*star[x].txt"),
                               QStringLiteral("Größe €.txt")};
    for (const FtpNameMode mode : {FtpNameMode::Plain, FtpNameMode::Utf8}) {
        auto session = open(*server, mode);
        ASSERT_TRUE(session);
        const QString folder = server->ftpFolder() + QStringLiteral("a \"folder\" [1]/");
        ASSERT_EQ(FtpEnterCreating(*session, folder), 1);
        for (const QString& name : names) {
            SCOPED_TRACE(name.toStdString());
            ASSERT_EQ(FtpUpload(*session, local, folder + name), 1);
            const QString back = m_home.path() + QStringLiteral("back");
            ASSERT_EQ(FtpDownload(*session, folder + name, back), 1);
            EXPECT_EQ(TempHome::readFile(back), QByteArray("content"));
        }
        ASSERT_EQ(FtpEnter(*session, folder), 1);
        const std::optional<QList<FtpEntry>> entries = FtpList(*session);
        ASSERT_TRUE(entries);
        QStringList listed;
        for (const FtpEntry& entry : *entries) {
            listed << entry.name;
        }
        listed.sort();
        QStringList expected = names;
        expected.sort();
        EXPECT_EQ(listed, expected);
        for (const QString& name : names) {
            EXPECT_EQ(FtpDelete(*session, name), 1) << name.toStdString();
        }
        EXPECT_EQ(FtpList(*session).value_or(QList<FtpEntry>{{}}).size(), 0);
    }
    // A listed name in plain mode finds its way back to the same bytes.
    auto plain = open(*server, FtpNameMode::Plain);
    ASSERT_TRUE(plain);
    ASSERT_EQ(FtpEnter(*plain, server->ftpFolder()), 1);
    const std::optional<QList<FtpEntry>> entries = FtpList(*plain);
    ASSERT_TRUE(entries);
    const FtpEntry* latin = findEntry(*entries, QStringLiteral("café latin.txt"));
    ASSERT_TRUE(latin);
    const QString back = m_home.path() + QStringLiteral("latin");
    EXPECT_EQ(FtpDownload(*plain, latin->name, back), 1);
    EXPECT_EQ(TempHome::readFile(back), QByteArray("latin"));
}

TEST_P(BothServers, MissingFilesFailCleanly)
{
    auto server = startServer();
    auto session = open(*server);
    ASSERT_TRUE(session);
    const QString target = m_home.path() + QStringLiteral("target.txt");
    EXPECT_EQ(FtpDownload(*session, server->ftpFolder() + "absent.txt", target), 0);
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_TRUE(QDir(m_home.path()).entryList({QStringLiteral("target.txt*")}).isEmpty());

    EXPECT_EQ(FtpUpload(*session, m_home.path() + QStringLiteral("absent"),
                        server->ftpFolder() + "x.txt"),
              0);
    const QString local = m_home.writeFile(QStringLiteral("y"), "y");
    EXPECT_EQ(FtpUpload(*session, local, server->ftpFolder() + "no/such/folder/x.txt"), 0);
    EXPECT_TRUE(server->names().isEmpty());
    // A name with a line break would smuggle a second command.
    EXPECT_EQ(FtpUpload(*session, local, server->ftpFolder() + "a\r\nDELE x"), 0);
    EXPECT_EQ(FtpEnter(*session, QStringLiteral("x\nCWD /")), 0);
}

INSTANTIATE_TEST_SUITE_P(Servers, BothServers,
                         ::testing::Values(FtpServerKind::Pyftpdlib, FtpServerKind::Vsftpd),
                         serverName);

} // namespace fernhold::test
