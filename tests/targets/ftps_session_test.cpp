#include "ftp_test_helpers.h"

#include <QFile>

namespace fernhold::test {

namespace {

FtpTransport transportOf(FtpServerTls tls)
{
    return tls == FtpServerTls::Implicit ? FtpTransport::ImplicitTls : FtpTransport::ExplicitTls;
}

// vsftpd with a self-signed certificate, explicit or implicit TLS.
class TlsServer : public ::testing::TestWithParam<FtpServerTls>
{
protected:
    void SetUp() override
    {
        FERNHOLD_REQUIRE_FTP_SERVER(FtpServerKind::Vsftpd);
        FtpServerOptions options;
        options.tls = GetParam();
        m_server = std::make_unique<FtpServer>(FtpServerKind::Vsftpd, options);
        ASSERT_TRUE(m_server->started()) << m_server->error().toStdString();
        ASSERT_EQ(m_server->keyDigest().size(), 32);
    }

    [[nodiscard]] FtpSessionOptions options(const QByteArray& pin) const
    {
        FtpSessionOptions o;
        o.transport = transportOf(GetParam());
        o.pinnedKey = pin;
        return o;
    }

    std::unique_ptr<FtpSession> open(const FtpSessionOptions& o, FtpOpenError* error = nullptr,
                                     QByteArray* key = nullptr) const
    {
        return FtpOpen(m_server->host(), m_server->port(), m_server->user(), m_server->password(),
                       FtpNameMode::Utf8, o, error, key);
    }

    std::unique_ptr<FtpServer> m_server;
    TempHome m_home;
};

std::string tlsName(const ::testing::TestParamInfo<FtpServerTls>& info)
{
    return info.param == FtpServerTls::Implicit ? "implicit" : "explicit";
}

} // namespace

TEST_P(TlsServer, APinnedServerCarriesEveryOperation)
{
    m_server->writeFile("old.txt", "old");
    auto session = open(options(m_server->keyDigest()));
    ASSERT_TRUE(session) << m_server->log().toStdString();

    ASSERT_EQ(FtpEnterCreating(*session, m_server->ftpFolder() + QStringLiteral("a/b/")), 1);
    const QString local = m_home.path() + QStringLiteral("up.bin");
    QByteArray data(300000, Qt::Uninitialized);
    for (qsizetype i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(i * 7);
    }
    {
        QFile file(local);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(data);
    }
    ASSERT_EQ(FtpUpload(*session, local, QStringLiteral("v@1.bin")), 1);
    EXPECT_EQ(m_server->readFile("a/b/v@1.bin"), data);

    ASSERT_EQ(FtpEnter(*session, m_server->ftpFolder()), 1);
    const std::optional<QList<FtpEntry>> entries = FtpList(*session);
    ASSERT_TRUE(entries);
    QStringList names;
    for (const FtpEntry& entry : *entries) {
        names << entry.name;
    }
    names.sort();
    EXPECT_EQ(names, QStringList({QStringLiteral("a"), QStringLiteral("old.txt")}));

    const QString back = m_home.path() + QStringLiteral("back.bin");
    ASSERT_EQ(FtpDownload(*session, QStringLiteral("a/b/v@1.bin"), back), 1);
    QFile file(back);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), data);
    EXPECT_EQ(FtpDelete(*session, QStringLiteral("old.txt")), 1);
    EXPECT_FALSE(m_server->exists("old.txt"));
    FtpClose(session);
    // Every command went through TLS: vsftpd takes anonymous logins only so.
    EXPECT_TRUE(m_server->log().contains(QStringLiteral("OK UPLOAD")))
        << m_server->log().toStdString();
}

TEST_P(TlsServer, ASelfSignedServerIsRefusedUnlessItsKeyIsPinned)
{
    FtpOpenError error = FtpOpenError::None;
    QByteArray key;
    EXPECT_FALSE(open(options({}), &error, &key));
    EXPECT_EQ(error, FtpOpenError::Untrusted);
    EXPECT_EQ(key, m_server->keyDigest());
    // The login was never sent to the untrusted server.
    EXPECT_FALSE(m_server->log().contains(QStringLiteral("OK LOGIN")))
        << m_server->log().toStdString();

    QByteArray other = m_server->keyDigest();
    other[0] = static_cast<char>(other[0] ^ 1);
    key.clear();
    EXPECT_FALSE(open(options(other), &error, &key));
    EXPECT_EQ(error, FtpOpenError::Mismatch);
    EXPECT_EQ(key, m_server->keyDigest());

    EXPECT_EQ(FtpServerKey(m_server->host(), m_server->port(), options({})), m_server->keyDigest());
    EXPECT_TRUE(open(options(m_server->keyDigest()), &error));
    EXPECT_EQ(error, FtpOpenError::None);
}

INSTANTIATE_TEST_SUITE_P(Ftps, TlsServer,
                         ::testing::Values(FtpServerTls::Explicit, FtpServerTls::Implicit),
                         tlsName);

// A server without TLS never gets the login of a TLS target.
TEST(PlainOnlyServer, RefusingAuthTlsFailsTheSessionInsteadOfFallingBack)
{
    for (const FtpServerKind kind : {FtpServerKind::Pyftpdlib, FtpServerKind::Vsftpd}) {
        if (!FtpServer::unavailableReason(kind).isEmpty()) {
            continue;
        }
        FtpServer server(kind);
        ASSERT_TRUE(server.started()) << server.error().toStdString();
        FtpSessionOptions options;
        options.transport = FtpTransport::ExplicitTls;
        FtpOpenError error = FtpOpenError::None;
        EXPECT_FALSE(FtpOpen(server.host(), server.port(), server.user(), server.password(),
                             FtpNameMode::Plain, options, &error));
        EXPECT_EQ(error, FtpOpenError::TlsRefused);
        EXPECT_FALSE(server.log().contains(QStringLiteral("PASS"))) << server.log().toStdString();
        EXPECT_EQ(FtpServerKey(server.host(), server.port(), options), std::nullopt);
    }
}

} // namespace fernhold::test
