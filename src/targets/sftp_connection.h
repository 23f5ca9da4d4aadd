#pragma once

#include "targets/ftp_connection.h"
#include "targets/ftp_session_options.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

class QIODevice;

namespace fernhold {

// The SFTP transport under FtpSession: one libcurl easy handle that keeps its
// SSH connection between calls. Paths are absolute wire paths. The host key
// must be the pinned one (FtpSessionOptions::pinnedKey) or, without a pin,
// stand in ~/.ssh/known_hosts. Internal to the FTP session.
class SftpConnection
{
public:
    SftpConnection(const QString& host, int port, QByteArray user, QByteArray password,
                   FtpSessionOptions options);
    ~SftpConnection();
    SftpConnection(const SftpConnection&) = delete;
    SftpConnection& operator=(const SftpConnection&) = delete;

    [[nodiscard]] bool usable() const;

    // Connects and logs in; gives the folder the server starts in.
    [[nodiscard]] std::optional<QByteArray> login();

    // Runs one SFTP command ("mkdir", "rm", "rename") on quoted paths; true
    // when the server carried it out.
    [[nodiscard]] bool command(const QByteArray& verb, const QList<QByteArray>& paths);

    // The long listing of an absolute folder; no value when it is no folder.
    [[nodiscard]] std::optional<QByteArray> listing(const QByteArray& folder);

    [[nodiscard]] bool store(const QByteArray& path, QIODevice& source, qint64 size);
    [[nodiscard]] bool retrieve(const QByteArray& path, QIODevice& sink);

    [[nodiscard]] int localPort() const;
    [[nodiscard]] QString lastError() const;
    [[nodiscard]] FtpConnection::Failure lastFailure() const;
    // The SHA-256 of the host key the server showed; empty before a connection.
    [[nodiscard]] QByteArray seenKey() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace fernhold
