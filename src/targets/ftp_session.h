#pragma once

#include "targets/ftp_listing.h"
#include "targets/ftp_names.h"
#include "targets/ftp_session_options.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

namespace fernhold {

// One FTP connection: passive mode, binary transfers, one control
// connection for every call (libcurl reconnects by itself only after the
// server dropped it). A session belongs to the thread that opened it.
//
// Names and paths go in and come out in the user's form; the session turns
// them into wire bytes with FtpWireName and back with FtpListedName in the
// mode it was opened with. Folder paths use "/" and may end in "/"; a path
// without a leading "/" is taken relative to the session's current folder.
// The current folder is kept by the session itself, so every call sends
// absolute paths and none depends on what an earlier call left behind.
//
// Every call is bounded: 30 s to connect, and an exchange ends after 60 s
// without a byte moved or a reply (FtpSessionOptions changes both), or
// as soon as the stop check asks for it; while it does, every call fails
// at once.
class FtpSession
{
public:
    ~FtpSession();
    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    [[nodiscard]] FtpNameMode mode() const;
    // Local port of the control connection; stays the same while the
    // session keeps one connection.
    [[nodiscard]] int controlPort() const;

private:
    struct State;
    explicit FtpSession(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;

    friend struct FtpSessionAccess;
};

// Why FtpOpen gave no session.
enum class FtpOpenError
{
    None,
    Transport,  // no transport could be set up on this computer
    Connection, // the server could not be reached or refused the login
    Untrusted,  // TLS: the certificate does not chain to a system authority
    Mismatch,   // TLS: the server's key is not the pinned one
    TlsRefused, // TLS: the server would not switch to TLS
};

// Connects to `server` at `port` (0 means 21, 990 for implicit TLS) over the
// transport of `options` and logs in with `user` and `password` (sent in
// Windows-1252 in plain mode where they fit, else in UTF-8). No session when
// the server cannot be reached, refuses the login or does not answer in
// time; nothing is retried. When the server's identity is refused,
// `serverKey` gets the SHA-256 of the key it showed (where it could be read),
// and the login was never sent.
[[nodiscard]] std::unique_ptr<FtpSession>
FtpOpen(const QString& server, int port, const QString& user, const QString& password,
        FtpNameMode mode, const FtpSessionOptions& options = {}, FtpOpenError* error = nullptr,
        QByteArray* serverKey = nullptr);

// The SHA-256 of the public key a TLS server shows, read without trusting it
// and without logging in. No value for a plain transport or when no TLS
// connection came about.
[[nodiscard]] std::optional<QByteArray> FtpServerKey(const QString& server, int port,
                                                     const FtpSessionOptions& options);

// Ends the session (QUIT) and clears the pointer; the destructor does the same.
void FtpClose(std::unique_ptr<FtpSession>& session);

// Makes `path` the current folder. 1 when the server accepted it, else 0
// (the current folder stays). The empty path re-enters the current folder.
[[nodiscard]] int FtpEnter(FtpSession& session, const QString& path);

// The server's answer for the current folder (PWD), trailing blanks removed.
[[nodiscard]] std::optional<QString> FtpCurrentFolder(FtpSession& session);

// The absolute form of a folder: "" gives "/"; a folder that can be entered
// gives the server's current folder after entering it, followed by "/" (so
// the server root gives "//"); any other path comes back unchanged. A
// successful call leaves the session in that folder.
[[nodiscard]] QString FtpResolveFolder(FtpSession& session, const QString& path);

// The entries of the current folder: MLSD where the server's FEAT offers
// it, else LIST. "." and ".." and names that would lead elsewhere are left
// out. No value when the folder cannot be listed; an empty list for an
// empty folder.
[[nodiscard]] std::optional<QList<FtpEntry>> FtpList(FtpSession& session);

// Deletes one file. 1 when the server confirmed it.
int FtpDelete(FtpSession& session, const QString& path);

// Stores the local file under `remotePath`. The data goes to a temporary
// name in the same folder first and is renamed only when the server has
// all of it, so a failed upload never leaves a file under `remotePath`; the
// temporary file is removed again where the connection allows. An existing
// file under `remotePath` is replaced. 1 on success.
[[nodiscard]] int FtpUpload(FtpSession& session, const QString& localPath,
                            const QString& remotePath);

// Fetches `remotePath` into `localPath`, replacing a file there. The data
// goes to a temporary file beside it that is renamed on success, so a failed
// download leaves any earlier file untouched and no partial one. 1 on success.
[[nodiscard]] int FtpDownload(FtpSession& session, const QString& remotePath,
                              const QString& localPath);

// Enters `folder`, creating the levels that are missing: it tries the whole
// path, then creates it in one step (servers whose MKD makes parents), then
// enters the deepest existing ancestor and creates each level below it. 1
// when the folder could be entered in the end.
[[nodiscard]] int FtpEnterCreating(FtpSession& session, const QString& folder);

// The server's FEAT reply text when it accepted FEAT; asked once per session.
[[nodiscard]] std::optional<QByteArray> FtpFeatures(FtpSession& session);

// True for names of FtpUpload's temporary files, which a broken connection
// can leave behind at a target.
[[nodiscard]] bool IsFtpTemporaryName(const QString& name);

} // namespace fernhold
