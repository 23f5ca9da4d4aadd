#include "ssh_server.h"
#include "targets/ftp_session.h"
#include "temp_home.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace fernhold::test {

namespace {

class SftpSession : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FERNHOLD_REQUIRE_SSH_SERVER();
        m_server = std::make_unique<SshServer>();
        ASSERT_TRUE(m_server->started()) << m_server->error().toStdString();
    }

    [[nodiscard]] FtpSessionOptions options(const QByteArray& pin) const
    {
        FtpSessionOptions o;
        o.transport = FtpTransport::Sftp;
        o.pinnedKey = pin;
        o.keyFile = m_server->keyFile();
        return o;
    }

    std::unique_ptr<FtpSession> open(const FtpSessionOptions& o, FtpOpenError* error = nullptr,
                                     QByteArray* key = nullptr,
                                     const QString& passphrase = {}) const
    {
        return FtpOpen(m_server->host(), m_server->port(), m_server->user(),
                       passphrase.isEmpty() ? m_server->passphrase() : passphrase,
                       FtpNameMode::Plain, o, error, key);
    }

    static QByteArray readAll(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    std::unique_ptr<SshServer> m_server;
    TempHome m_home;
};

} // namespace

TEST_F(SftpSession, APinnedServerCarriesEveryOperation)
{
    QFile old(m_server->folder() + QStringLiteral("old \"one\".txt"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    auto session = open(options(m_server->hostKeyDigest()));
    ASSERT_TRUE(session) << m_server->log().toStdString();

    const QString folder = m_server->folder() + QStringLiteral("a b/Grüße/");
    ASSERT_EQ(FtpEnterCreating(*session, folder), 1);
    EXPECT_EQ(FtpResolveFolder(*session, folder), folder);
    QByteArray data(300000, Qt::Uninitialized);
    for (qsizetype i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(i * 13);
    }
    const QString local = m_home.writeFile(QStringLiteral("up.bin"), data);
    ASSERT_EQ(FtpUpload(*session, local, QStringLiteral("v@1 x.bin")), 1);
    EXPECT_EQ(readAll(folder + QStringLiteral("v@1 x.bin")), data);
    // An upload replaces the version of the same name.
    const QString other = m_home.writeFile(QStringLiteral("other.bin"), "short");
    ASSERT_EQ(FtpUpload(*session, other, QStringLiteral("v@1 x.bin")), 1);
    EXPECT_EQ(readAll(folder + QStringLiteral("v@1 x.bin")), QByteArray("short"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("v@1 x.bin")});

    ASSERT_EQ(FtpEnter(*session, m_server->folder()), 1);
    const std::optional<QList<FtpEntry>> entries = FtpList(*session);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 2);
    QStringList names;
    for (const FtpEntry& entry : *entries) {
        names << entry.name;
        if (entry.name == QStringLiteral("a b")) {
            EXPECT_TRUE(entry.isFolder());
        } else {
            EXPECT_EQ(entry.attributes, kFtpFile);
            EXPECT_EQ(entry.size, 3);
        }
    }
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral("a b"), QStringLiteral("old \"one\".txt")}));

    const QString back = m_home.path() + QStringLiteral("back.bin");
    ASSERT_EQ(FtpDownload(*session, QStringLiteral("a b/Grüße/v@1 x.bin"), back), 1);
    EXPECT_EQ(readAll(back), QByteArray("short"));
    EXPECT_EQ(FtpDownload(*session, QStringLiteral("missing.bin"), back), 0);
    EXPECT_EQ(readAll(back), QByteArray("short"));
    EXPECT_EQ(FtpDelete(*session, QStringLiteral("old \"one\".txt")), 1);
    EXPECT_FALSE(QFile::exists(m_server->folder() + QStringLiteral("old \"one\".txt")));
    EXPECT_EQ(FtpEnter(*session, QStringLiteral("no such folder")), 0);
}

TEST_F(SftpSession, TheHostKeyMustBePinnedOrKnown)
{
    FtpOpenError error = FtpOpenError::None;
    QByteArray key;
    EXPECT_FALSE(open(options({}), &error, &key));
    EXPECT_EQ(error, FtpOpenError::Untrusted);
    EXPECT_EQ(key, m_server->hostKeyDigest());

    QByteArray other = m_server->hostKeyDigest();
    other[3] = static_cast<char>(other[3] ^ 2);
    key.clear();
    EXPECT_FALSE(open(options(other), &error, &key));
    EXPECT_EQ(error, FtpOpenError::Mismatch);
    EXPECT_EQ(key, m_server->hostKeyDigest());
    EXPECT_EQ(FtpServerKey(m_server->host(), m_server->port(), options({})),
              m_server->hostKeyDigest());

    // In ~/.ssh/known_hosts the key needs no pin.
    QDir().mkpath(m_home.path() + QStringLiteral(".ssh"));
    m_home.writeFile(QStringLiteral(".ssh/known_hosts"), m_server->knownHostsLine());
    EXPECT_TRUE(open(options({}), &error));
    EXPECT_EQ(error, FtpOpenError::None);
}

TEST_F(SftpSession, AWrongPassphraseOrMissingKeyGivesNoSession)
{
    FtpOpenError error = FtpOpenError::None;
    EXPECT_FALSE(open(options(m_server->hostKeyDigest()), &error, nullptr,
                      QStringLiteral("not the passphrase")));
    EXPECT_EQ(error, FtpOpenError::Connection);
    FtpSessionOptions missing = options(m_server->hostKeyDigest());
    missing.keyFile = m_home.path() + QStringLiteral("no such key");
    EXPECT_FALSE(open(missing, &error));
    EXPECT_EQ(error, FtpOpenError::Connection);
}

} // namespace fernhold::test
