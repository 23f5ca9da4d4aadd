#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace fernhold::test {

// OpenSSH's sshd on a free port of 127.0.0.1 for the lifetime of the object,
// with a host key and an authorised client key made for it. The user is the
// one the tests run as; logins take the client key only.
class SshServer
{
public:
    // "" when sshd can run here, else why not.
    [[nodiscard]] static QString unavailableReason();

    SshServer();
    ~SshServer();
    SshServer(const SshServer&) = delete;
    SshServer& operator=(const SshServer&) = delete;

    [[nodiscard]] bool started() const { return m_port > 0; }
    [[nodiscard]] QString error() const { return m_error; }
    [[nodiscard]] QString host() const { return QStringLiteral("127.0.0.1"); }
    [[nodiscard]] int port() const { return m_port; }
    [[nodiscard]] QString user() const { return m_user; }
    // The client's private key and the passphrase that unlocks it.
    [[nodiscard]] QString keyFile() const { return m_keyFile; }
    [[nodiscard]] QString passphrase() const { return QStringLiteral("open sesame"); }
    // The SHA-256 of the host key blob.
    [[nodiscard]] QByteArray hostKeyDigest() const { return m_hostKeyDigest; }
    // The line for a known_hosts file that names this server's host key.
    [[nodiscard]] QByteArray knownHostsLine() const;
    // A writable folder served: its absolute path (also its path over SFTP),
    // ending in "/".
    [[nodiscard]] QString folder() const { return m_folder; }
    [[nodiscard]] QString log() const;

    void stop();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
    int m_port = 0;
    QString m_error;
    QString m_user;
    QString m_keyFile;
    QString m_folder;
    QByteArray m_hostKey; // "ssh-ed25519 AAAA..."
    QByteArray m_hostKeyDigest;
};

#define FERNHOLD_REQUIRE_SSH_SERVER()                                                              \
    do {                                                                                           \
        const QString fernholdWhy = ::fernhold::test::SshServer::unavailableReason();              \
        if (!fernholdWhy.isEmpty()) {                                                              \
            GTEST_SKIP() << fernholdWhy.toStdString();                                             \
        }                                                                                          \
    } while (false)

} // namespace fernhold::test
