#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>

namespace fernhold {

// How a session reaches its server; the numbers are those of FTPTransport.
enum class FtpTransport : std::int8_t
{
    Plain = 0,
    ExplicitTls = 1, // AUTH TLS before the login, never plain after a refusal
    ImplicitTls = 2, // TLS from the first byte (port 990)
    Sftp = 3,        // SSH file transfer (port 22); names always UTF-8
};

// Time limits, the stop check and the transport of one FTP session.
struct FtpSessionOptions
{
    // Polled about once a second during every exchange; true ends it.
    std::function<bool()> stopRequested;
    std::chrono::seconds connectTimeout{30};
    // An exchange that moves no byte and gets no reply this long is ended.
    std::chrono::seconds stallTimeout{60};
    FtpTransport transport = FtpTransport::Plain;
    // The SHA-256 of the server's public key (TLS) or host key (SFTP) that
    // alone is accepted; empty: the certificate must chain to one of the
    // system's authorities, the host key stand in ~/.ssh/known_hosts.
    QByteArray pinnedKey;
    // SFTP: the private key that stands in for the password, which then
    // unlocks it; empty: log in with the password.
    QString keyFile;
};

} // namespace fernhold
