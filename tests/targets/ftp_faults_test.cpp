#include "ftp_test_helpers.h"
#include "platform/file_name.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <atomic>

namespace fernhold::test {

namespace {

constexpr qint64 kMiB = 1024 * 1024;

QByteArray patterned(qint64 size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i) {
        data[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    }
    return data;
}

QStringList namesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

FtpSessionOptions quickTimeouts()
{
    FtpSessionOptions options;
    options.connectTimeout = std::chrono::seconds(2);
    options.stallTimeout = std::chrono::seconds(2);
    return options;
}

} // namespace

TEST_F(ScriptedServer, LoginFailuresGiveNoSession)
{
    auto server = startServer();
    EXPECT_FALSE(FtpOpen(server->host(), server->port(), server->user(), QStringLiteral("wrong"),
                         FtpNameMode::Plain));
    EXPECT_FALSE(FtpOpen(server->host(), server->port(), QStringLiteral("nobody"),
                         server->password(), FtpNameMode::Plain));
    EXPECT_FALSE(FtpOpen(server->host(), UnusedLocalPort(), server->user(), server->password(),
                         FtpNameMode::Plain));
    EXPECT_FALSE(FtpOpen(QStringLiteral("127.0.0.1/evil"), server->port(), server->user(),
                         server->password(), FtpNameMode::Plain));
    EXPECT_FALSE(
        FtpOpen(server->host(), 70000, server->user(), server->password(), FtpNameMode::Plain));
    EXPECT_FALSE(FtpOpen(server->host(), server->port(), server->user(),
                         QStringLiteral("pass\r\nDELE x"), FtpNameMode::Plain));
    // The right password, with its blank and quotes, gets in.
    EXPECT_TRUE(open(*server));
}

TEST_F(ScriptedServer, ServerClosingAfterUserGivesNoSession)
{
    FtpServerOptions options;
    options.dropAfterUser = true;
    auto server = startServer(options);
    EXPECT_FALSE(open(*server, FtpNameMode::Plain, quickTimeouts()));
}

TEST_F(ScriptedServer, SilentServerEndsAtConnectTimeout)
{
    SilentListener silent;
    ASSERT_GT(silent.port(), 0);
    FtpSessionOptions options;
    options.connectTimeout = std::chrono::seconds(1);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(FtpOpen(QStringLiteral("127.0.0.1"), silent.port(), QStringLiteral("u"),
                         QStringLiteral("p"), FtpNameMode::Plain, options));
    EXPECT_LT(clock.elapsed(), 10000);
}

TEST_F(ScriptedServer, DroppedUploadLeavesNoFileUnderTheName)
{
    FtpServerOptions options;
    options.dropTransferAfter = 1 * kMiB;
    auto server = startServer(options);
    const QString local = m_home.writeFile(QStringLiteral("big.bin"), patterned(6 * kMiB));
    auto session = open(*server, FtpNameMode::Plain, quickTimeouts());
    ASSERT_TRUE(session);

    EXPECT_EQ(FtpUpload(*session, local, QStringLiteral("/v@20240305~140709.bin")), 0);
    EXPECT_FALSE(server->exists("v@20240305~140709.bin"));
    // The session reconnected and removed the partial temporary file.
    EXPECT_TRUE(server->names().isEmpty()) << server->names().join(' ').constData();

    // The server drops only once: the next upload goes through.
    EXPECT_EQ(FtpUpload(*session, local, QStringLiteral("/v@20240305~140709.bin")), 1);
    EXPECT_EQ(server->names(), QList<QByteArray>{"v@20240305~140709.bin"});
}

TEST_F(ScriptedServer, DroppedDownloadKeepsTheEarlierLocalFile)
{
    FtpServerOptions options;
    options.dropTransferAfter = 1 * kMiB;
    auto server = startServer(options);
    server->writeFile("big.bin", patterned(6 * kMiB));
    const QString folder = m_home.path() + QStringLiteral("restore/");
    const QString target = m_home.writeFile(QStringLiteral("restore/big.bin"), "earlier");
    auto session = open(*server, FtpNameMode::Plain, quickTimeouts());
    ASSERT_TRUE(session);

    EXPECT_EQ(FtpDownload(*session, QStringLiteral("/big.bin"), target), 0);
    EXPECT_EQ(TempHome::readFile(target), QByteArray("earlier"));
    EXPECT_EQ(namesIn(folder), QStringList{QStringLiteral("big.bin")});

    EXPECT_EQ(FtpDownload(*session, QStringLiteral("/big.bin"), target), 1);
    EXPECT_EQ(TempHome::readFile(target), patterned(6 * kMiB));
}

TEST_F(ScriptedServer, StalledDownloadEndsAfterTheStallTimeout)
{
    FtpServerOptions options;
    options.stallTransferAfter = 1 * kMiB;
    auto server = startServer(options);
    server->writeFile("big.bin", patterned(6 * kMiB));
    const QString target = m_home.path() + QStringLiteral("big.bin");
    FtpSessionOptions timeouts;
    timeouts.stallTimeout = std::chrono::seconds(1);
    auto session = open(*server, FtpNameMode::Plain, timeouts);
    ASSERT_TRUE(session);

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(FtpDownload(*session, QStringLiteral("/big.bin"), target), 0);
    EXPECT_LT(clock.elapsed(), 15000);
    EXPECT_TRUE(namesIn(m_home.path()).isEmpty());
}

TEST_F(ScriptedServer, StopCheckEndsTransfersAndLaterCalls)
{
    auto server = startServer();
    const QString local = m_home.writeFile(QStringLiteral("big.bin"), patterned(30 * kMiB));
    std::atomic<bool> uploading{false};
    std::atomic<int> polls{0};
    std::atomic<bool> released{false};
    FtpSessionOptions options;
    // Asks to stop once the upload is under way, until released.
    options.stopRequested = [&] { return !released && uploading && ++polls > 2; };
    auto session = open(*server, FtpNameMode::Plain, options);
    ASSERT_TRUE(session);

    uploading = true;
    EXPECT_EQ(FtpUpload(*session, local, QStringLiteral("/v.bin")), 0);
    EXPECT_GT(polls.load(), 2);
    EXPECT_FALSE(server->exists("v.bin"));
    // While the stop stands nothing else goes out.
    EXPECT_EQ(FtpEnter(*session, QStringLiteral("/")), 0);
    EXPECT_EQ(FtpDownload(*session, QStringLiteral("/v.bin"), m_home.path() + "v.bin"), 0);

    released = true;
    EXPECT_EQ(FtpUpload(*session, local, QStringLiteral("/v.bin")), 1);
    EXPECT_EQ(server->readFile("v.bin").size(), 30 * kMiB);
}

TEST_F(ScriptedServer, ListingSkipsGarbageAndHostileNames)
{
    FtpServerOptions options;
    options.listing =
        QByteArray("total 42\r\n"
                   "drwxr-xr-x    2 1000     1000         4096 Mar 05 14:07 good folder\r\n"
                   "-rw-r--r--    1 ann      staff  3221225472 Jan 01  2023 huge.bin\r\n"
                   "this line means nothing\r\n"
                   "-rw-r--r--    1 0        0               3 Mar 05 14:07 ..\r\n"
                   "-rw-r--r--    1 0        0               3 Mar 05 14:07 ../../etc/passwd\r\n"
                   "-rw-r--r--    1 0        0               3 Mar 05 14:07 .\r\n"
                   "lrwxrwxrwx    1 0        0               9 Mar 05 14:07 link -> /etc/passwd\r\n"
                   "-rw-r--r--    1 0        0             abc Mar 05 14:07 bad-size\r\n"
                   "03-05-24  02:07PM       <DIR>          dos folder\r\n"
                   "03-05-2024  09:15AM                 1234 dos file.txt\r\n"
                   "-rw-r--r--    1 0        0               1 Mar 05 14:07 caf\xE9.txt\r\n"
                   "\r\n"
                   "\xFF\xFE\x00garbage\r\n",
                   -1);
    options.listing.append(QByteArray("-rw-r--r-- 1 0 0 1 Mar 05 14:07 nul\0inside\r\n", 45));
    auto server = startServer(options);
    auto session = open(*server, FtpNameMode::Utf8);
    ASSERT_TRUE(session);

    const std::optional<QList<FtpEntry>> entries = FtpList(*session);
    ASSERT_TRUE(entries);
    QStringList names;
    for (const FtpEntry& entry : *entries) {
        names << entry.name;
    }
    EXPECT_EQ(names, (QStringList{QStringLiteral("good folder"), QStringLiteral("huge.bin"),
                                  QStringLiteral("link"), QStringLiteral("dos folder"),
                                  QStringLiteral("dos file.txt"), DecodeFileName("caf\xE9.txt")}));
    ASSERT_EQ(entries->size(), 6);
    EXPECT_EQ(entries->at(0).attributes, kFtpFolder);
    EXPECT_EQ(entries->at(1).size, 3221225472LL);
    EXPECT_EQ(entries->at(2).attributes, kFtpLink | kFtpFile);
    EXPECT_EQ(entries->at(3).attributes, kFtpFolder);
    EXPECT_EQ(entries->at(4).attributes, kFtpFile);
    EXPECT_EQ(entries->at(4).size, 1234);
}

TEST_F(ScriptedServer, ServersWithoutMlsdAreListedWithList)
{
    for (const bool refuseFeat : {false, true}) {
        FtpServerOptions options;
        options.mlsd = false;
        if (refuseFeat) {
            options.feat = QStringLiteral("refuse");
        }
        auto server = startServer(options);
        server->makeFolder("dir with blank");
        server->makeSparseFile("huge.bin", 3221225472LL);
        server->writeFile(" leading blank.txt", "12");
        auto session = open(*server);
        ASSERT_TRUE(session);
        const std::optional<QList<FtpEntry>> entries = FtpList(*session);
        ASSERT_TRUE(entries);
        ASSERT_EQ(entries->size(), 3);
        EXPECT_EQ(entries->at(0).name, QStringLiteral(" leading blank.txt"));
        EXPECT_EQ(entries->at(0).size, 2);
        EXPECT_EQ(entries->at(1).name, QStringLiteral("dir with blank"));
        EXPECT_TRUE(entries->at(1).isFolder());
        EXPECT_EQ(entries->at(2).size, 3221225472LL);
        EXPECT_TRUE(entries->at(2).modified.has_value());
    }
}

TEST_F(ScriptedServer, HugeReplyLinesDoNotBreakTheSession)
{
    for (const char* name : {"banner", "pwd"}) {
        const QString which = QString::fromLatin1(name);
        FtpServerOptions options;
        options.longReply = which;
        auto server = startServer(options);
        server->writeFile("file.txt", "abc");
        auto session = open(*server, FtpNameMode::Plain, quickTimeouts());
        ASSERT_TRUE(session) << which.toStdString();
        // A folder answer that long is no folder; the commands still work.
        if (which == QStringLiteral("pwd")) {
            EXPECT_FALSE(FtpCurrentFolder(*session).has_value());
        }
        const QString back = m_home.path() + which;
        EXPECT_EQ(FtpDownload(*session, QStringLiteral("/file.txt"), back), 1);
        EXPECT_EQ(TempHome::readFile(back), QByteArray("abc"));
    }
}

} // namespace fernhold::test
