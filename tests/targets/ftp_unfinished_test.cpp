#include "ftp_test_helpers.h"

namespace fernhold::test {

namespace {

QStringList namesOf(const QList<FtpEntry>& entries)
{
    QStringList names;
    for (const FtpEntry& entry : entries) {
        names << entry.name;
    }
    return names;
}

} // namespace

// A server may end its listing without a line end after the last entry;
// that entry counts like every other.
TEST_F(ScriptedServer, TheLastListingLineNeedsNoLineEnd)
{
    struct Case
    {
        const char* format;
        bool mlsd;
        QByteArray data;
    };
    const QList<Case> cases = {
        {"MLSD", true,
         "type=file;size=5;modify=20240305140709; first.txt\r\n"
         "type=file;size=7;modify=20240305140709; last.txt"},
        {"Unix LIST", false,
         "-rw-r--r--    1 ann      staff           5 Mar 05 14:07 first.txt\r\n"
         "-rw-r--r--    1 ann      staff           7 Mar 05 14:07 last.txt"},
        {"DOS LIST", false,
         "03-05-24  02:07PM                    5 first.txt\r\n"
         "03-05-24  02:07PM                    7 last.txt"},
    };
    for (const Case& c : cases) {
        FtpServerOptions options;
        (c.mlsd ? options.mlsdListing : options.listing) = c.data;
        auto server = startServer(options);
        auto session = open(*server);
        ASSERT_TRUE(session) << c.format;
        const std::optional<QList<FtpEntry>> entries = FtpList(*session);
        ASSERT_TRUE(entries) << c.format;
        EXPECT_EQ(namesOf(*entries),
                  (QStringList{QStringLiteral("first.txt"), QStringLiteral("last.txt")}))
            << c.format;
        ASSERT_EQ(entries->size(), 2) << c.format;
        EXPECT_EQ(entries->at(1).size, 7) << c.format;
        EXPECT_EQ(entries->at(1).attributes, kFtpFile) << c.format;
    }
}

// The server answers 226 but keeps less than it got: no version under the
// name, nothing left behind, and the next try goes through.
TEST_F(ScriptedServer, AnUploadStoredShortIsNotTakenAsDone)
{
    FtpServerOptions options;
    options.shortenFirstStore = true;
    auto server = startServer(options);
    const QByteArray data(64 * 1024, 'v');
    const QString local = m_home.writeFile(QStringLiteral("v.bin"), data);
    auto session = open(*server);
    ASSERT_TRUE(session);

    EXPECT_EQ(FtpUpload(*session, local, QStringLiteral("/v@20240305~140709.bin")), 0);
    EXPECT_FALSE(server->exists("v@20240305~140709.bin"));
    EXPECT_TRUE(server->names().isEmpty()) << server->names().join(' ').constData();

    EXPECT_EQ(FtpUpload(*session, local, QStringLiteral("/v@20240305~140709.bin")), 1);
    EXPECT_EQ(server->readFile("v@20240305~140709.bin"), data);
}

// 426 is a transient reply: the file goes once more. A second 426 fails
// the upload, and nothing is left under the name.
TEST_F(ScriptedServer, AnAbortedUploadIsSentOnceMore)
{
    const QByteArray data(64 * 1024, 'w');
    const QString local = m_home.writeFile(QStringLiteral("w.bin"), data);
    for (const int aborts : {1, 2}) {
        FtpServerOptions options;
        options.abortStores = aborts;
        auto server = startServer(options);
        auto session = open(*server);
        ASSERT_TRUE(session);
        const int uploaded = FtpUpload(*session, local, QStringLiteral("/w@20240305~140709.bin"));
        if (aborts == 1) {
            EXPECT_EQ(uploaded, 1);
            EXPECT_EQ(server->readFile("w@20240305~140709.bin"), data);
        } else {
            EXPECT_EQ(uploaded, 0);
            EXPECT_TRUE(server->names().isEmpty()) << server->names().join(' ').constData();
        }
    }
}

} // namespace fernhold::test
