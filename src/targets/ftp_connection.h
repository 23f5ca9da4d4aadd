#pragma once

#include "targets/ftp_session_options.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

class QIODevice;

namespace fernhold {

// One reply of the server to one command.
struct FtpReply
{
    int code = 0;    // the three-digit code; 0 when no reply was seen
    QByteArray text; // every line of the reply, joined by "\n", without CR LF

    [[nodiscard]] bool positive() const { return code >= 200 && code < 400; }
};

// The transport under FtpSession: one libcurl easy handle that keeps its
// control connection between calls. Paths are absolute wire paths (bytes as
// they go to the server); the connection never changes the server's
// current folder on its own, so quoted CWD commands of the caller stay in
// step. Internal to the FTP session: other code uses ftp_session.h.
class FtpConnection
{
public:
    FtpConnection(QString host, int port, QByteArray user, QByteArray password,
                  FtpSessionOptions options);
    ~FtpConnection();
    FtpConnection(const FtpConnection&) = delete;
    FtpConnection& operator=(const FtpConnection&) = delete;

    // False when libcurl could not set up a handle.
    [[nodiscard]] bool usable() const;

    // Connects and logs in. Gives the folder the server starts in (from its
    // PWD answer), or no value when connecting or logging in failed.
    [[nodiscard]] std::optional<QByteArray> login();

    // Sends the commands in order over the control connection, each ending
    // in CR LF, and gives one reply per command (code 0 where none came).
    // A rejected command does not end the connection. No value when the
    // connection failed.
    [[nodiscard]] std::optional<QList<FtpReply>> commands(const QList<QByteArray>& lines);

    // The data of MLSD or LIST for an absolute folder path; no value on failure.
    [[nodiscard]] std::optional<QByteArray> listing(const QByteArray& folder, bool mlsd);

    // Stores `size` bytes of `source` as the absolute file path.
    [[nodiscard]] bool store(const QByteArray& path, QIODevice& source, qint64 size);

    // Retrieves the absolute file path into `sink`.
    [[nodiscard]] bool retrieve(const QByteArray& path, QIODevice& sink);

    // Local port of the control connection (0 when none), to tell whether
    // calls kept one connection.
    [[nodiscard]] int localPort() const;

    // libcurl's text for the last failure, for the developer log.
    [[nodiscard]] QString lastError() const;

    // Why the last call failed, as far as the server's identity and TLS go.
    enum class Failure
    {
        Other,
        Untrusted,  // the certificate does not chain to a system authority
        Mismatch,   // the server's key is not the pinned one
        TlsRefused, // the server would not switch to TLS
    };
    [[nodiscard]] Failure lastFailure() const;

    // The SHA-256 of the public key the server showed, where libcurl
    // compared it with a pin; empty otherwise.
    [[nodiscard]] QByteArray seenKey() const;

    // The largest listing accepted; a server sending more is cut off.
    static constexpr qint64 kMaxListingBytes = 128LL * 1024 * 1024;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The folder named in a PWD reply ("257 "/a ""b"" c" is current"): the text
// between the first quote and its closing quote, doubled quotes read as one,
// trailing blanks removed. No value for any other reply.
[[nodiscard]] std::optional<QByteArray> ParsePwdReply(const FtpReply& reply);

} // namespace fernhold
