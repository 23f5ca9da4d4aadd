#include "backup_run_fixture.h"
#include "ftp_server.h"

#include <memory>
#include <tuple>

namespace fernhold::test {

namespace {

using ServerAndForm = std::tuple<FtpServerKind, int>;

// A source listed for target 1, an FTP server (UTF-8 names), and target 2, a
// folder: both must end up with the same tree of versions.
class FtpBackupRun : public BackupRunTest, public ::testing::WithParamInterface<ServerAndForm>
{
protected:
    void SetUp() override
    {
        FERNHOLD_REQUIRE_FTP_SERVER(kind());
        m_server = std::make_unique<FtpServer>(kind());
        ASSERT_TRUE(m_server->started()) << m_server->error().toStdString();
        m_server->makeFolder("backup");
        TargetEntry& ftp = m_settings.target(1);
        ftp = TargetEntry();
        ftp.TargetType = QStringLiteral("FTP");
        ftp.FTPServerName = m_server->host();
        ftp.FTPServerPort = QString::number(m_server->port());
        ftp.FTPUserName = m_server->user();
        ftp.FTPPassword = m_server->password();
        ftp.FTPSubDir = m_server->ftpFolder().mid(1) + QStringLiteral("backup");
        ftp.FTPUnicode = 1;
        m_settings.target(2).TargetType = QStringLiteral("WIN");
        m_settings.target(2).TargetDir = m_target;
        m_settings.sources[0].SourceDirTarget = QStringLiteral("1,2");
        m_settings.CompressData = static_cast<std::int8_t>(std::get<1>(GetParam()));
        m_settings.TempCharacterOn = 0;
    }

    [[nodiscard]] FtpServerKind kind() const { return std::get<0>(GetParam()); }

    // The versions below the resolved FTP root, on the server's disk.
    [[nodiscard]] QString ftpMirror() const
    {
        return m_server->localFolder() + QStringLiteral("backup/") + MirrorText(m_source);
    }

    std::unique_ptr<FtpServer> m_server;
};

std::string caseName(const ::testing::TestParamInfo<ServerAndForm>& info)
{
    return std::string(std::get<0>(info.param) == FtpServerKind::Pyftpdlib ? "pyftpdlib"
                                                                           : "vsftpd") +
           (std::get<1>(info.param) == 1 ? "_zip" : "_copy");
}

} // namespace

TEST_P(FtpBackupRun, TheServerReceivesTheSameTreeAsTheFolderTarget)
{
    QStringList names = {
        QStringLiteral("top.txt"),
        QStringLiteral("no extension"),
        QStringLiteral("sub/with blanks.txt"),
        QStringLiteral("sub/it's \"quoted\".txt"),
        QStringLiteral("sub/deeper/mail@example.org.txt"),
        QStringLiteral("sub/deeper/tilde~name.txt"),
        QStringLiteral("empty folder's sibling/big.bin"),
    };
    if (kind() == FtpServerKind::Pyftpdlib) {
        names << QStringLiteral("Grüße/Køln ĳ.txt") << QStringLiteral("日本語/ファイル.txt");
    }
    for (const QString& name : names) {
        source(name, name.endsWith(QStringLiteral(".bin")) ? noiseBytes(300000, 3) : name.toUtf8());
    }
    QDir().mkpath(m_source + QStringLiteral("empty"));

    const RunResult r = once();
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString() << m_server->log().toStdString();

    const QStringList atFolder = filesBelow(mirror());
    const QStringList atServer = filesBelow(ftpMirror());
    EXPECT_EQ(atFolder.size(), names.size());
    EXPECT_EQ(atServer, atFolder);
    for (const QString& name : atFolder) {
        EXPECT_EQ(fileBytes(ftpMirror() + name), fileBytes(mirror() + name)) << name.toStdString();
    }
    // Every version is on both targets, the log line says so.
    for (const QString& line : logTexts()) {
        if (line.contains(m_source) && !line.startsWith(u'\t')) {
            EXPECT_TRUE(line.endsWith(QStringLiteral(" [1][2]"))) << line.toStdString();
        }
    }
    EXPECT_FALSE(QFile::exists(m_home.cacheHome() + QStringLiteral("fernhold/~fernholdFtp.tmp")));
    // And each restores to its source file.
    const QString suffix =
        m_settings.CompressData == 1 ? QStringLiteral(".zip") : QStringLiteral(".txt");
    const QString version =
        versionOf(QStringLiteral("sub/it's \"quoted\".txt"), suffix, ftpMirror());
    ASSERT_FALSE(version.isEmpty());
    const QByteArray back =
        m_settings.CompressData == 1
            ? extracted(version, QStringLiteral("it's \"quoted\".txt")).value_or("")
            : fileBytes(version);
    EXPECT_EQ(back, QByteArray("sub/it's \"quoted\".txt"));
}

// One case is enough here.
class FtpGoneRun : public FtpBackupRun
{
};

TEST_P(FtpGoneRun, AServerThatIsGoneLeavesTheFolderTargetAlone)
{
    m_server->stop();
    const QString file = source(QStringLiteral("a.txt"), "a");

    const RunResult r = once();
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();

    EXPECT_EQ(filesBelow(mirror()).size(), 1);
    EXPECT_TRUE(
        logTexts().filter(text("TXT00159")).value(0).contains(QStringLiteral("  [1] 127.0.0.1:")))
        << logTexts().join(u'\n').toStdString();
    EXPECT_EQ(logTexts().filter(file).filter(QStringLiteral("KB")).value(0).right(4),
              QStringLiteral(" [2]"));
}

// An FTP target without a user name, at a server that lets "anonymous"
// write: the version arrives.
class AnonymousFtpRun : public BackupRunTest, public ::testing::WithParamInterface<FtpServerKind>
{
};

TEST_P(AnonymousFtpRun, ATargetWithoutAUserNameLogsInAsAnonymous)
{
    FERNHOLD_REQUIRE_FTP_SERVER(GetParam());
    FtpServerOptions options;
    options.anonymous = true;
    FtpServer server(GetParam(), options);
    ASSERT_TRUE(server.started()) << server.error().toStdString();
    server.makeFolder("public");
    TargetEntry& ftp = m_settings.target(1);
    ftp = TargetEntry();
    ftp.TargetType = QStringLiteral("FTP");
    ftp.FTPServerName = server.host();
    ftp.FTPServerPort = QString::number(server.port());
    ftp.FTPSubDir = server.ftpFolder().mid(1) + QStringLiteral("public");
    ftp.FTPUnicode = 1;
    m_settings.CompressData = 0;
    const QString file = source(QStringLiteral("for everyone.txt"), "open to all");

    const RunResult r = once();
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString() << server.log().toStdString();

    const QString folder = server.localFolder() + QStringLiteral("public/") + MirrorText(m_source);
    const QString version =
        versionOf(QStringLiteral("for everyone.txt"), QStringLiteral(".txt"), folder);
    ASSERT_FALSE(version.isEmpty()) << filesBelow(server.localFolder()).join(u' ').toStdString();
    EXPECT_EQ(fileBytes(version), QByteArray("open to all"));
    EXPECT_EQ(logTexts().filter(file).value(0).right(4), QStringLiteral(" [1]"));
}

INSTANTIATE_TEST_SUITE_P(Servers, AnonymousFtpRun,
                         ::testing::Values(FtpServerKind::Pyftpdlib, FtpServerKind::Vsftpd),
                         [](const ::testing::TestParamInfo<FtpServerKind>& info) {
                             return std::string(info.param == FtpServerKind::Pyftpdlib ? "pyftpdlib"
                                                                                       : "vsftpd");
                         });

INSTANTIATE_TEST_SUITE_P(Servers, FtpBackupRun,
                         ::testing::Combine(::testing::Values(FtpServerKind::Pyftpdlib,
                                                              FtpServerKind::Vsftpd),
                                            ::testing::Values(0, 1)),
                         caseName);
INSTANTIATE_TEST_SUITE_P(Server, FtpGoneRun,
                         ::testing::Values(ServerAndForm{FtpServerKind::Pyftpdlib, 0}), caseName);

} // namespace fernhold::test

namespace fernhold::test {

// The server keeps only part of the first upload but answers 226: that file
// gets no version name and is saved by the next pass.
class ShortStoreFtpRun : public BackupRunTest
{
};

TEST_F(ShortStoreFtpRun, AnUploadStoredShortIsSavedAgainByTheNextPass)
{
    FERNHOLD_REQUIRE_FTP_SERVER(FtpServerKind::Pyftpdlib);
    FtpServerOptions options;
    options.shortenFirstStore = true;
    FtpServer server(FtpServerKind::Pyftpdlib, options);
    ASSERT_TRUE(server.started()) << server.error().toStdString();
    TargetEntry& ftp = m_settings.target(1);
    ftp = TargetEntry();
    ftp.TargetType = QStringLiteral("FTP");
    ftp.FTPServerName = server.host();
    ftp.FTPServerPort = QString::number(server.port());
    ftp.FTPUserName = server.user();
    ftp.FTPPassword = server.password();
    m_settings.CompressData = 0;
    const QByteArray content(20000, 's');
    source(QStringLiteral("only.bin"), content);
    const QString folder = server.localFolder() + MirrorText(m_source);

    const RunResult first = once();
    EXPECT_EQ(first.exitCode, 3) << first.err.toStdString();
    EXPECT_TRUE(filesBelow(server.localFolder()).isEmpty())
        << filesBelow(server.localFolder()).join(u' ').toStdString();

    const RunResult second = once(false);
    ASSERT_EQ(second.exitCode, 0) << second.err.toStdString();
    const QString version = versionOf(QStringLiteral("only.bin"), QStringLiteral(".bin"), folder);
    ASSERT_FALSE(version.isEmpty()) << filesBelow(server.localFolder()).join(u' ').toStdString();
    EXPECT_EQ(fileBytes(version), content);
}

} // namespace fernhold::test

namespace fernhold::test {

namespace {

// One FTP target (copies) at a pyftpdlib server started with `options`.
class SessionFtpRun : public BackupRunTest
{
protected:
    void startServer(const FtpServerOptions& options)
    {
        m_server = std::make_unique<FtpServer>(FtpServerKind::Pyftpdlib, options);
        ASSERT_TRUE(m_server->started()) << m_server->error().toStdString();
        TargetEntry& ftp = m_settings.target(1);
        ftp = TargetEntry();
        ftp.TargetType = QStringLiteral("FTP");
        ftp.FTPServerName = m_server->host();
        ftp.FTPServerPort = QString::number(m_server->port());
        ftp.FTPUserName = m_server->user();
        ftp.FTPPassword = m_server->password();
        m_settings.CompressData = 0;
    }

    [[nodiscard]] int versionsAtServer() const
    {
        return static_cast<int>(filesBelow(m_server->localFolder()).size());
    }

    std::unique_ptr<FtpServer> m_server;
};

} // namespace

// Every file of a pass travels over the session that found the target
// reachable: a pass costs one login, not one a file.
TEST_F(SessionFtpRun, APassLogsInOnceForAllItsFiles)
{
    FERNHOLD_REQUIRE_FTP_SERVER(FtpServerKind::Pyftpdlib);
    startServer({});
    for (int i = 0; i < 20; ++i) {
        source(QStringLiteral("f%1.txt").arg(i), QByteArray::number(i));
    }

    const RunResult r = once();
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString() << m_server->log().toStdString();

    EXPECT_EQ(versionsAtServer(), 20);
    EXPECT_EQ(m_server->logins(), 1) << m_server->log().toStdString();
}

// The server drops the connection in the middle of an upload: the session
// logs in again and the file still gets its version in this pass.
TEST_F(SessionFtpRun, ADroppedSessionIsOpenedOnceMore)
{
    FERNHOLD_REQUIRE_FTP_SERVER(FtpServerKind::Pyftpdlib);
    FtpServerOptions options;
    options.dropTransferAfter = 30000;
    startServer(options);
    QList<QByteArray> contents;
    for (int i = 0; i < 3; ++i) {
        contents << noiseBytes(60000, i + 1);
        source(QStringLiteral("big%1.bin").arg(i), contents.last());
    }

    const RunResult r = once();
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString() << m_server->log().toStdString();

    const QString folder = m_server->localFolder() + MirrorText(m_source);
    for (int i = 0; i < 3; ++i) {
        const QString version =
            versionOf(QStringLiteral("big%1.bin").arg(i), QStringLiteral(".bin"), folder);
        ASSERT_FALSE(version.isEmpty()) << i;
        EXPECT_EQ(fileBytes(version), contents[i]) << i;
    }
    EXPECT_EQ(versionsAtServer(), 3);
}

} // namespace fernhold::test
