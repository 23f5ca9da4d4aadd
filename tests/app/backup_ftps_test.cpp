#include "backup_run_fixture.h"
#include "core/server_fingerprint.h"
#include "ftp_server.h"

#include <QThread>
#include <memory>

namespace fernhold::test {

namespace {

// Target 1 is an FTP target over TLS at vsftpd with a self-signed
// certificate, its key pinned; versions are plain copies.
class FtpsBackupRun : public BackupRunTest, public ::testing::WithParamInterface<FtpServerTls>
{
protected:
    void SetUp() override
    {
        FERNHOLD_REQUIRE_FTP_SERVER(FtpServerKind::Vsftpd);
        FtpServerOptions options;
        options.tls = GetParam();
        m_server = std::make_unique<FtpServer>(FtpServerKind::Vsftpd, options);
        ASSERT_TRUE(m_server->started()) << m_server->error().toStdString();
        m_server->makeFolder("backup");
        TargetEntry& ftp = m_settings.target(1);
        ftp = TargetEntry();
        ftp.TargetType = QStringLiteral("FTP");
        ftp.FTPServerName = m_server->host();
        ftp.FTPServerPort = QString::number(m_server->port());
        ftp.FTPSubDir = m_server->ftpFolder().mid(1) + QStringLiteral("backup");
        ftp.FTPTransport = GetParam() == FtpServerTls::Implicit ? 2 : 1;
        ftp.FTPFingerprint = fingerprint();
        m_settings.CompressData = 0;
        m_settings.TempCharacterOn = 0;
    }

    [[nodiscard]] QString fingerprint() const { return FingerprintText(m_server->keyDigest()); }

    // Names of the versions in the mirrored source folder (or one below it).
    [[nodiscard]] QStringList versions(const QString& below = {}) const
    {
        QStringList names;
        const QByteArray folder =
            QByteArray("backup/") + MirrorText(m_source).toUtf8() + below.toUtf8();
        for (const QByteArray& name : m_server->names(folder)) {
            names << QString::fromUtf8(name);
        }
        return names;
    }

    [[nodiscard]] QByteArray version(const QString& name) const
    {
        return m_server->readFile(QByteArray("backup/") + MirrorText(m_source).toUtf8() +
                                  name.toUtf8());
    }

    std::unique_ptr<FtpServer> m_server;
};

std::string tlsName(const ::testing::TestParamInfo<FtpServerTls>& info)
{
    return info.param == FtpServerTls::Implicit ? "implicit" : "explicit";
}

QStringList outLines(const RunResult& r)
{
    return QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

TEST_P(FtpsBackupRun, PassesCleanUpBrowseAndRestoreGoThroughTls)
{
    source(QStringLiteral("a.txt"), "first");
    source(QStringLiteral("sub/big.bin"), QByteArray(5000, 'b'));
    const RunResult full = once();
    ASSERT_EQ(full.exitCode, 0) << full.err.toStdString() << m_server->log().toStdString();
    const QStringList first = versions();
    ASSERT_EQ(first.filter(QStringLiteral("a.txt@")).size(), 1) << first.join(u' ').toStdString();
    ASSERT_EQ(versions(QStringLiteral("sub/")).filter(QStringLiteral("big.bin@")).size(), 1);
    const QString older = first.filter(QStringLiteral("a.txt@")).first();
    EXPECT_EQ(version(older), QByteArray("first"));

    // A change pass adds a second version beside the first.
    QThread::sleep(1);
    source(QStringLiteral("a.txt"), "second, longer");
    const RunResult change = once(false);
    ASSERT_EQ(change.exitCode, 0) << change.err.toStdString();
    const QStringList both = versions().filter(QStringLiteral("a.txt@"));
    ASSERT_EQ(both.size(), 2) << both.join(u' ').toStdString();
    const QString newer = both.at(0) == older ? both.at(1) : both.at(0);
    EXPECT_EQ(version(newer), QByteArray("second, longer"));

    // The browser lists both versions, the older one comes back.
    const RunResult list =
        RunFernhold({QStringLiteral("restore"), QStringLiteral("list"), QStringLiteral("--target"),
                     QStringLiteral("1"), MirrorText(m_source)});
    ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
    EXPECT_EQ(outLines(list).filter(QStringLiteral("a.txt\t")).size(), 2) << list.out.toStdString();
    EXPECT_EQ(outLines(list).filter(QStringLiteral("sub/")).size(), 1);
    const QString restored = m_home.path() + QStringLiteral("restored/");
    QDir().mkpath(restored);
    const RunResult back =
        RunFernhold({QStringLiteral("restore"), QStringLiteral("version"),
                     QStringLiteral("--target"), QStringLiteral("1"), QStringLiteral("--to"),
                     restored, QStringLiteral("--yes"), MirrorText(m_source), older});
    ASSERT_EQ(back.exitCode, 0) << back.err.toStdString();
    EXPECT_EQ(fileBytes(restored + QStringLiteral("a.txt")), QByteArray("first"));

    // The clean-up by size takes the large version only.
    const RunResult clean =
        RunFernhold({QStringLiteral("clean"), QStringLiteral("--target"), QStringLiteral("1"),
                     QStringLiteral("--size"), QStringLiteral("2"), QStringLiteral("--unit"),
                     QStringLiteral("kb"), QStringLiteral("--yes")});
    ASSERT_EQ(clean.exitCode, 0) << clean.err.toStdString();
    EXPECT_TRUE(versions(QStringLiteral("sub/")).filter(QStringLiteral("big.bin@")).isEmpty());
    EXPECT_EQ(versions().filter(QStringLiteral("a.txt@")).size(), 2);
}

TEST_P(FtpsBackupRun, AnUnknownOrChangedServerKeyIsRefusedWithItsFingerprint)
{
    source(QStringLiteral("a.txt"), "secret");
    m_settings.target(1).FTPFingerprint.clear();
    const RunResult unpinned = once();
    EXPECT_EQ(unpinned.exitCode, 1) << unpinned.err.toStdString();
    QString line = logTexts().filter(text("TXT00159")).value(0);
    EXPECT_TRUE(line.contains(text("TXT00501"))) << logTexts().join(u'\n').toStdString();
    EXPECT_TRUE(line.contains(fingerprint())) << line.toStdString();

    // Another key pinned: refused, the log names the key the server shows.
    QByteArray other = m_server->keyDigest();
    other[5] = static_cast<char>(other[5] ^ 0x40);
    m_settings.target(1).FTPFingerprint = FingerprintText(other);
    const RunResult changed = once();
    EXPECT_EQ(changed.exitCode, 1) << changed.err.toStdString();
    line = logTexts().filter(text("TXT00159")).value(0);
    EXPECT_TRUE(line.contains(text("TXT00502"))) << logTexts().join(u'\n').toStdString();
    EXPECT_TRUE(line.contains(fingerprint())) << line.toStdString();

    EXPECT_TRUE(versions().isEmpty());
    EXPECT_FALSE(m_server->log().contains(QStringLiteral("OK LOGIN")));
}

TEST_P(FtpsBackupRun, TargetTrustShowsTheKeyAndPinsItOnlyWithYes)
{
    m_settings.target(1).FTPFingerprint.clear();
    save();
    const auto stored = [] {
        return QString::fromUtf8(RunFernhold({QStringLiteral("config"), QStringLiteral("get"),
                                              QStringLiteral("FTPFingerprint")})
                                     .out)
            .trimmed();
    };
    const QStringList trust{QStringLiteral("target"), QStringLiteral("trust"), QStringLiteral("1")};
    const RunResult shown = RunFernhold(trust);
    EXPECT_EQ(shown.exitCode, 1) << shown.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(shown.out).trimmed(), fingerprint());
    EXPECT_TRUE(QString::fromUtf8(shown.err).contains(text("TXT00506")));
    EXPECT_EQ(stored(), QString());

    const RunResult pinned = RunFernhold(trust + QStringList{QStringLiteral("--yes")});
    ASSERT_EQ(pinned.exitCode, 0) << pinned.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(pinned.out).trimmed(), fingerprint());
    EXPECT_EQ(stored(), fingerprint());

    // The pin is what the next pass goes by.
    source(QStringLiteral("a.txt"), "pinned");
    QStringList arguments{QStringLiteral("--once"), QStringLiteral("--verbose")};
    const RunResult r = RunFernhold(arguments, {}, 120000);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(versions().filter(QStringLiteral("a.txt@")).size(), 1);

    // Neither a plain target nor a bad number has a key to trust.
    m_settings.target(1).FTPTransport = 0;
    save();
    const RunResult plain = RunFernhold(trust + QStringList{QStringLiteral("--yes")});
    EXPECT_EQ(plain.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(plain.err).contains(text("TXT00504")));
    EXPECT_EQ(RunFernhold({QStringLiteral("target"), QStringLiteral("trust"), QStringLiteral("10")})
                  .exitCode,
              2);
    EXPECT_EQ(
        RunFernhold({QStringLiteral("target"), QStringLiteral("distrust"), QStringLiteral("1")})
            .exitCode,
        2);
}

INSTANTIATE_TEST_SUITE_P(Ftps, FtpsBackupRun,
                         ::testing::Values(FtpServerTls::Explicit, FtpServerTls::Implicit),
                         tlsName);

// A TLS target at a server that speaks plain FTP only: no login, no version.
class PlainServerFtpsRun : public BackupRunTest
{
};

TEST_F(PlainServerFtpsRun, AServerRefusingAuthTlsFailsTheTarget)
{
    FERNHOLD_REQUIRE_FTP_SERVER(FtpServerKind::Pyftpdlib);
    FtpServer server(FtpServerKind::Pyftpdlib);
    ASSERT_TRUE(server.started()) << server.error().toStdString();
    TargetEntry& ftp = m_settings.target(1);
    ftp = TargetEntry();
    ftp.TargetType = QStringLiteral("FTP");
    ftp.FTPServerName = server.host();
    ftp.FTPServerPort = QString::number(server.port());
    ftp.FTPUserName = server.user();
    ftp.FTPPassword = server.password();
    ftp.FTPTransport = 1;
    source(QStringLiteral("a.txt"), "secret");

    const RunResult r = once();
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_TRUE(logTexts().filter(text("TXT00159")).value(0).contains(text("TXT00503")))
        << logTexts().join(u'\n').toStdString();
    EXPECT_TRUE(server.names().isEmpty());
    EXPECT_FALSE(server.log().contains(server.password())) << server.log().toStdString();
}

} // namespace fernhold::test
