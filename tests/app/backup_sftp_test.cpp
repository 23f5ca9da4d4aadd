#include "backup_run_fixture.h"
#include "core/server_fingerprint.h"
#include "ssh_server.h"

#include <QThread>
#include <memory>

namespace fernhold::test {

namespace {

// Target 1 is an SFTP target at sshd: the client key with its passphrase as
// the password, the host key pinned; versions are plain copies.
class SftpBackupRun : public BackupRunTest
{
protected:
    void SetUp() override
    {
        FERNHOLD_REQUIRE_SSH_SERVER();
        m_server = std::make_unique<SshServer>();
        ASSERT_TRUE(m_server->started()) << m_server->error().toStdString();
        QDir().mkpath(m_server->folder() + QStringLiteral("backup"));
        TargetEntry& ftp = m_settings.target(1);
        ftp = TargetEntry();
        ftp.TargetType = QStringLiteral("FTP");
        ftp.FTPServerName = m_server->host();
        ftp.FTPServerPort = QString::number(m_server->port());
        ftp.FTPUserName = m_server->user();
        ftp.FTPPassword = m_server->passphrase();
        ftp.FTPKeyFile = m_server->keyFile();
        ftp.FTPSubDir = m_server->folder() + QStringLiteral("backup");
        ftp.FTPTransport = 3;
        ftp.FTPFingerprint = fingerprint();
        m_settings.CompressData = 0;
        m_settings.TempCharacterOn = 0;
    }

    [[nodiscard]] QString fingerprint() const { return FingerprintText(m_server->hostKeyDigest()); }

    [[nodiscard]] QString mirrored() const
    {
        return m_server->folder() + QStringLiteral("backup/") + MirrorText(m_source);
    }

    [[nodiscard]] QStringList versions(const QString& below = {}) const
    {
        return QDir(mirrored() + below).entryList(QDir::Files);
    }

    std::unique_ptr<SshServer> m_server;
};

QStringList outLines(const RunResult& r)
{
    return QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

TEST_F(SftpBackupRun, PassesCleanUpBrowseAndRestoreGoThroughSftp)
{
    source(QStringLiteral("a.txt"), "first");
    source(QStringLiteral("sub/big.bin"), QByteArray(5000, 'b'));
    source(QStringLiteral("Grüße/it's \"quoted\".txt"), "named");
    const RunResult full = once();
    ASSERT_EQ(full.exitCode, 0) << full.err.toStdString() << m_server->log().toStdString();
    const QStringList first = versions().filter(QStringLiteral("a.txt@"));
    ASSERT_EQ(first.size(), 1) << filesBelow(mirrored()).join(u' ').toStdString();
    ASSERT_EQ(versions(QStringLiteral("sub/")).filter(QStringLiteral("big.bin@")).size(), 1);
    ASSERT_EQ(versions(QStringLiteral("Grüße/")).size(), 1);
    const QString older = first.first();
    EXPECT_EQ(fileBytes(mirrored() + older), QByteArray("first"));

    QThread::sleep(1);
    source(QStringLiteral("a.txt"), "second, longer");
    const RunResult change = once(false);
    ASSERT_EQ(change.exitCode, 0) << change.err.toStdString();
    const QStringList both = versions().filter(QStringLiteral("a.txt@"));
    ASSERT_EQ(both.size(), 2);
    const QString newer = both.at(0) == older ? both.at(1) : both.at(0);
    EXPECT_EQ(fileBytes(mirrored() + newer), QByteArray("second, longer"));

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

    const RunResult clean =
        RunFernhold({QStringLiteral("clean"), QStringLiteral("--target"), QStringLiteral("1"),
                     QStringLiteral("--size"), QStringLiteral("2"), QStringLiteral("--unit"),
                     QStringLiteral("kb"), QStringLiteral("--yes")});
    ASSERT_EQ(clean.exitCode, 0) << clean.err.toStdString();
    EXPECT_TRUE(versions(QStringLiteral("sub/")).isEmpty());
    EXPECT_EQ(versions().filter(QStringLiteral("a.txt@")).size(), 2);
    // No temporary upload was left anywhere.
    EXPECT_TRUE(filesBelow(m_server->folder()).filter(QStringLiteral("~fernhold-")).isEmpty());
}

TEST_F(SftpBackupRun, AnUnknownHostKeyIsRefusedUntilTargetTrustPinsIt)
{
    source(QStringLiteral("a.txt"), "secret");
    m_settings.target(1).FTPFingerprint.clear();
    const RunResult unpinned = once();
    EXPECT_EQ(unpinned.exitCode, 1) << unpinned.err.toStdString();
    const QString line = logTexts().filter(text("TXT00159")).value(0);
    EXPECT_TRUE(line.contains(text("TXT00501"))) << logTexts().join(u'\n').toStdString();
    EXPECT_TRUE(line.contains(fingerprint())) << line.toStdString();
    EXPECT_TRUE(versions().isEmpty());

    const RunResult trust = RunFernhold({QStringLiteral("target"), QStringLiteral("trust"),
                                         QStringLiteral("1"), QStringLiteral("--yes")});
    ASSERT_EQ(trust.exitCode, 0) << trust.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(trust.out).trimmed(), fingerprint());
    const RunResult pinned =
        RunFernhold({QStringLiteral("--once"), QStringLiteral("--verbose")}, {}, 120000);
    EXPECT_EQ(pinned.exitCode, 0) << pinned.err.toStdString();
    EXPECT_EQ(versions().filter(QStringLiteral("a.txt@")).size(), 1);
}

} // namespace fernhold::test
