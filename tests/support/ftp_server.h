#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace fernhold::test {

enum class FtpServerKind
{
    Pyftpdlib, // /usr/bin/python3 with ftp_server.py: MLSD, scriptable faults
    Vsftpd,    // the real vsftpd as root: no MLSD, Unix LIST, anonymous login
};

// TLS of a vsftpd server: none, AUTH TLS required, or TLS from the first byte.
enum class FtpServerTls
{
    None,
    Explicit,
    Implicit,
};

// What the pyftpdlib script should do differently (vsftpd ignores these but `tls`).
struct FtpServerOptions
{
    FtpServerTls tls = FtpServerTls::None;   // vsftpd only; a self-signed certificate
    QString feat = QStringLiteral("normal"); // "normal", "lower" (only " utf8"), "refuse"
    bool mlsd = true;
    QByteArray listing;             // when set: the bytes of every LIST answer
    QByteArray mlsdListing;         // when set: the bytes of every MLSD answer
    bool shortenFirstStore = false; // the first upload is kept half, the reply still 226
    int abortStores = 0;            // the first this many STORs are answered 426
    bool dropAfterUser = false;     // close the control connection after USER
    qint64 dropTransferAfter = -1;  // close everything after this many data bytes of a transfer
    int dropTransfers = 1;          // how many transfers dropTransferAfter cuts short
    qint64 stallTransferAfter = -1; // send nothing more, connections open, after this many
    QStringList stallCommands;      // commands read and never answered ("MLSD", "RETR")
    QString longReply;              // "banner" or "pwd": a reply line of 100 KB
    bool anonymous = false;         // "anonymous" may log in with any password and write
    int loginDelayMs = 0;           // each login takes this long
};

// A real FTP server on a free port of 127.0.0.1 for the lifetime of the
// object, serving a fresh temporary folder. Start-up waits until the port
// accepts connections; destruction kills the server and every process it
// started.
class FtpServer
{
public:
    // "" when the server can run on this machine, else the reason it cannot.
    [[nodiscard]] static QString unavailableReason(FtpServerKind kind);

    explicit FtpServer(FtpServerKind kind, FtpServerOptions options = {});
    ~FtpServer();
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    // False when the server did not come up; error() tells why.
    [[nodiscard]] bool started() const { return m_port > 0; }
    [[nodiscard]] QString error() const { return m_error; }
    [[nodiscard]] FtpServerKind kind() const { return m_kind; }

    [[nodiscard]] QString host() const { return QStringLiteral("127.0.0.1"); }
    [[nodiscard]] int port() const { return m_port; }
    [[nodiscard]] QString user() const { return m_user; }
    [[nodiscard]] QString password() const { return m_password; }
    // The SHA-256 of the TLS certificate's public key; empty without TLS.
    [[nodiscard]] QByteArray keyDigest() const { return m_keyDigest; }

    // The writable folder of the server: its path on the server, ending in
    // "/" ("/" for pyftpdlib, "/pub/" for vsftpd), and the local folder
    // behind it, ending in "/".
    [[nodiscard]] QString ftpFolder() const { return m_ftpFolder; }
    [[nodiscard]] QString localFolder() const { return m_localFolder; }

    // Files and folders below localFolder(), owned so that the server may
    // change them. Names are raw bytes, so tests can use any encoding.
    void writeFile(const QByteArray& relativePath, const QByteArray& content) const;
    void makeFolder(const QByteArray& relativePath) const;
    // A file of `size` bytes that takes no disk space.
    void makeSparseFile(const QByteArray& relativePath, qint64 size) const;
    [[nodiscard]] bool exists(const QByteArray& relativePath) const;
    [[nodiscard]] QByteArray readFile(const QByteArray& relativePath) const;
    // Names in a local folder below localFolder(), as raw bytes, sorted.
    [[nodiscard]] QList<QByteArray> names(const QByteArray& relativeFolder = {}) const;

    // The logins the server accepted so far (pyftpdlib only).
    [[nodiscard]] int logins() const;

    // What the server wrote to its log and standard error.
    [[nodiscard]] QString log() const;

    // Kills the server now (also done by the destructor).
    void stop();

private:
    void startPyftpdlib(const FtpServerOptions& options);
    void startVsftpd(FtpServerTls tls);
    void giveToServer(const QByteArray& localPath) const;
    [[nodiscard]] QByteArray local(const QByteArray& relativePath) const;

    FtpServerKind m_kind;
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
    int m_port = 0;
    QString m_error;
    QString m_user;
    QString m_password;
    QString m_ftpFolder;
    QString m_localFolder;
    QByteArray m_keyDigest;
};

// A port of 127.0.0.1 where nothing listens at the moment.
[[nodiscard]] int UnusedLocalPort();

// A port that takes connections (the kernel completes them) but never says
// a word: a server that hangs before its greeting.
class SilentListener
{
public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    [[nodiscard]] int port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

// Skips the current test when the server program is not available here.
#define FERNHOLD_REQUIRE_FTP_SERVER(kind)                                                          \
    do {                                                                                           \
        const QString fernholdWhy = ::fernhold::test::FtpServer::unavailableReason(kind);          \
        if (!fernholdWhy.isEmpty()) {                                                              \
            GTEST_SKIP() << fernholdWhy.toStdString();                                             \
        }                                                                                          \
    } while (false)

} // namespace fernhold::test
