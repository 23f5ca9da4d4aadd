#include "ftp_server.h"

#include "test_certificate.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fernhold::test {

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kVsftpd = QStringLiteral("/usr/sbin/vsftpd");
constexpr int kStartSeconds = 20;

// The server and everything it forks form one process group that dies
// with the test, even when the test itself is killed.
void detachIntoOwnGroup()
{
    ::setsid();
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

// The greeting of whatever listens on the port; empty when nothing does.
QByteArray greeting(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    QByteArray text;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        timeval wait{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        char buffer[512];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        text = QByteArray(buffer, got > 0 ? got : 0);
        if (text.isEmpty()) {
            text = "?"; // something listens but did not greet
        }
    }
    ::close(fd);
    return text;
}

bool accepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

std::unique_ptr<QProcess> newProcess(const QString& logFile)
{
    auto process = std::make_unique<QProcess>();
    process->setChildProcessModifier(detachIntoOwnGroup);
    process->setStandardErrorFile(logFile, QIODevice::Append);
    return process;
}

} // namespace

int UnusedLocalPort()
{
    return freePort();
}

SilentListener::SilentListener()
{
    m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::listen(m_fd, 8) == 0 &&
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        m_port = ntohs(address.sin_port);
    }
}

SilentListener::~SilentListener()
{
    ::close(m_fd);
}

QString FtpServer::unavailableReason(FtpServerKind kind)
{
    if (kind == FtpServerKind::Pyftpdlib) {
        static const QString reason = [] {
            if (!QFileInfo(kPython).isExecutable()) {
                return QStringLiteral("%1 is missing (packages python3, python3-pyftpdlib)")
                    .arg(kPython);
            }
            QProcess probe;
            probe.start(kPython, {QStringLiteral("-c"), QStringLiteral("import pyftpdlib")});
            if (!probe.waitForFinished(30000) || probe.exitCode() != 0) {
                return QStringLiteral("pyftpdlib is not installed for %1 (package "
                                      "python3-pyftpdlib)")
                    .arg(kPython);
            }
            return QString();
        }();
        return reason;
    }
    if (!QFileInfo(kVsftpd).isExecutable()) {
        return QStringLiteral("%1 is missing (package vsftpd)").arg(kVsftpd);
    }
    if (::geteuid() != 0) {
        return QStringLiteral("vsftpd serves the tests only when they run as root");
    }
    if (::getpwnam("ftp") == nullptr) {
        return QStringLiteral("vsftpd needs the user ftp, which this system lacks");
    }
    return {};
}

FtpServer::FtpServer(FtpServerKind kind, FtpServerOptions options) : m_kind(kind)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return;
    }
    if (kind == FtpServerKind::Pyftpdlib) {
        startPyftpdlib(options);
    } else {
        startVsftpd(options.tls);
    }
    if (!started()) {
        m_error += QStringLiteral("\nserver log:\n") + log();
        stop();
    }
}

FtpServer::~FtpServer()
{
    stop();
    // Names may be bytes that are not UTF-8, which QDir cannot remove, and
    // vsftpd's root is read-only by design: clear the tree byte-wise.
    const QByteArray root = QFile::encodeName(m_dir.path() + QStringLiteral("/root"));
    ::chmod(root.constData(), 0755);
    ::nftw(
        root.constData(),
        [](const char* path, const struct stat*, int, FTW*) {
            ::remove(path); // keep going past anything that stays
            return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
}

void FtpServer::stop()
{
    if (!m_process) {
        return;
    }
    const qint64 pid = m_process->processId();
    if (pid > 0) {
        ::kill(static_cast<pid_t>(-pid), SIGKILL); // the whole group
    }
    m_process->kill();
    m_process->waitForFinished(10000);
    m_process.reset();
}

void FtpServer::startPyftpdlib(const FtpServerOptions& options)
{
    m_user = QStringLiteral("fern");
    m_password = QStringLiteral("s3cret \"pass\"");
    m_ftpFolder = QStringLiteral("/");
    m_localFolder = m_dir.path() + QStringLiteral("/root/");
    QDir().mkpath(m_localFolder);

    QStringList arguments = {QStringLiteral(FERNHOLD_TEST_SUPPORT_DIR "/ftp_server.py"),
                             QStringLiteral("--root"),
                             m_localFolder,
                             QStringLiteral("--user"),
                             m_user,
                             QStringLiteral("--password"),
                             m_password,
                             QStringLiteral("--feat"),
                             options.feat,
                             QStringLiteral("--login-log"),
                             m_dir.path() + QStringLiteral("/logins.txt")};
    if (options.loginDelayMs > 0) {
        arguments << QStringLiteral("--login-delay")
                  << QString::number(options.loginDelayMs / 1000.0);
    }
    if (!options.mlsd) {
        arguments << QStringLiteral("--no-mlsd");
    }
    if (!options.listing.isNull()) {
        const QString listFile = m_dir.path() + QStringLiteral("/listing.txt");
        QFile file(listFile);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(options.listing) != options.listing.size()) {
            m_error = QStringLiteral("cannot write the listing file");
            return;
        }
        arguments << QStringLiteral("--list-file") << listFile;
    }
    if (!options.mlsdListing.isNull()) {
        const QString listFile = m_dir.path() + QStringLiteral("/mlsd.txt");
        QFile file(listFile);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(options.mlsdListing) != options.mlsdListing.size()) {
            m_error = QStringLiteral("cannot write the MLSD listing file");
            return;
        }
        arguments << QStringLiteral("--mlsd-file") << listFile;
    }
    if (options.shortenFirstStore) {
        arguments << QStringLiteral("--shorten-first-store");
    }
    if (options.abortStores > 0) {
        arguments << QStringLiteral("--abort-stores") << QString::number(options.abortStores);
    }
    if (options.dropAfterUser) {
        arguments << QStringLiteral("--drop-after-user");
    }
    if (options.dropTransferAfter >= 0) {
        arguments << QStringLiteral("--drop-transfer-after")
                  << QString::number(options.dropTransferAfter)
                  << QStringLiteral("--drop-transfers") << QString::number(options.dropTransfers);
    }
    if (options.stallTransferAfter >= 0) {
        arguments << QStringLiteral("--stall-transfer-after")
                  << QString::number(options.stallTransferAfter);
    }
    for (const QString& command : options.stallCommands) {
        arguments << QStringLiteral("--stall-command") << command;
    }
    if (!options.longReply.isEmpty()) {
        arguments << QStringLiteral("--long-reply") << options.longReply;
    }
    if (options.anonymous) {
        arguments << QStringLiteral("--anonymous");
    }

    m_process = newProcess(m_dir.path() + QStringLiteral("/server.log"));
    m_process->start(kPython, arguments);
    // The script prints its port once it listens.
    const QDeadlineTimer deadline(kStartSeconds * 1000);
    QByteArray out;
    while (!out.contains('\n')) {
        if (m_process->state() == QProcess::NotRunning || deadline.hasExpired()) {
            m_error = QStringLiteral("pyftpdlib did not start");
            return;
        }
        m_process->waitForReadyRead(
            static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
        out += m_process->readAllStandardOutput();
    }
    const QByteArray line = out.left(out.indexOf('\n')).trimmed();
    if (!line.startsWith("PORT ")) {
        m_error = QStringLiteral("pyftpdlib said: ") + QString::fromUtf8(line);
        return;
    }
    m_port = line.mid(5).toInt();
}

void FtpServer::startVsftpd(FtpServerTls tls)
{
    QString tlsConfig;
    if (tls != FtpServerTls::None) {
        const std::optional<TestCertificate> certificate =
            MakeTestCertificate(m_dir.path(), &m_error);
        if (!certificate) {
            return;
        }
        m_keyDigest = certificate->keyDigest;
        // Anonymous logins must use TLS too: a client that fell back to
        // plain would be refused, not served.
        tlsConfig = QStringLiteral("ssl_enable=YES\n"
                                   "allow_anon_ssl=YES\n"
                                   "force_anon_logins_ssl=YES\n"
                                   "force_anon_data_ssl=YES\n"
                                   "require_ssl_reuse=NO\n"
                                   "ssl_ciphers=HIGH\n"
                                   "rsa_cert_file=%1\n"
                                   "rsa_private_key_file=%2\n")
                        .arg(certificate->certificateFile, certificate->keyFile);
        if (tls == FtpServerTls::Implicit) {
            tlsConfig += QStringLiteral("implicit_ssl=YES\n");
        }
    }
    m_user = QStringLiteral("anonymous");
    m_password = QString();
    m_ftpFolder = QStringLiteral("/pub/");
    const QString base = m_dir.path() + u'/';
    const QString root = base + QStringLiteral("root");
    m_localFolder = root + QStringLiteral("/pub/");
    QDir().mkpath(m_localFolder);
    QDir().mkpath(base + QStringLiteral("empty"));
    // vsftpd refuses a chroot it could write to: the root is read-only and
    // the writable folder below it belongs to the user anonymous logins run as.
    ::chmod(QFile::encodeName(root).constData(), 0555);
    giveToServer(QFile::encodeName(m_localFolder));

    for (int attempt = 0; attempt < 5 && !started(); ++attempt) {
        const int port = freePort();
        // Tells this server from another process that took the port meanwhile.
        const QByteArray banner = "Fernhold vsftpd " + QByteArray::number(::getpid()) + "-" +
                                  QByteArray::number(port) + "-" + QByteArray::number(attempt);
        const QString config =
            QStringLiteral("background=NO\n"
                           "listen=YES\n"
                           "listen_ipv6=NO\n"
                           "listen_address=127.0.0.1\n"
                           "listen_port=%1\n"
                           "seccomp_sandbox=NO\n"
                           "pasv_enable=YES\n"
                           "pasv_address=127.0.0.1\n"
                           "pasv_min_port=20000\n"
                           "pasv_max_port=60000\n"
                           "connect_from_port_20=NO\n"
                           "utf8_filesystem=YES\n"
                           "write_enable=YES\n"
                           "local_enable=NO\n"
                           "anonymous_enable=YES\n"
                           "no_anon_password=YES\n"
                           "anon_root=%2\n"
                           "anon_upload_enable=YES\n"
                           "anon_mkdir_write_enable=YES\n"
                           "anon_other_write_enable=YES\n"
                           "anon_umask=022\n"
                           "secure_chroot_dir=%3\n"
                           "dirmessage_enable=NO\n"
                           "hide_ids=NO\n"
                           "use_localtime=NO\n"
                           "xferlog_enable=YES\n"
                           "vsftpd_log_file=%4\n"
                           "ftpd_banner=%5\n")
                .arg(port)
                .arg(root, base + QStringLiteral("empty"), base + QStringLiteral("vsftpd.log"),
                     QString::fromLatin1(banner)) +
            tlsConfig;
        const QString configFile = base + QStringLiteral("vsftpd.conf");
        QFile file(configFile);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(config.toUtf8()) != config.toUtf8().size()) {
            m_error = QStringLiteral("cannot write the vsftpd configuration");
            return;
        }
        file.close();
        // vsftpd insists on a configuration owned by root and not writable by others.
        ::chmod(QFile::encodeName(configFile).constData(), 0600);

        m_process = newProcess(base + QStringLiteral("server.log"));
        if (tls != FtpServerTls::None) {
            // vsftpd 3.0 reads the end of a TLS 1.3 upload badly now and then
            // (426 although every byte came): the test server speaks TLS 1.2.
            const QString sslConfig = base + QStringLiteral("openssl.cnf");
            QFile ssl(sslConfig);
            if (!ssl.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                ssl.write("openssl_conf = init\n[init]\nssl_conf = ssl\n[ssl]\n"
                          "system_default = tls\n[tls]\nMaxProtocol = TLSv1.2\n") < 0) {
                m_error = QStringLiteral("cannot write the OpenSSL configuration");
                return;
            }
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("OPENSSL_CONF"), sslConfig);
            m_process->setProcessEnvironment(environment);
        }
        m_process->start(kVsftpd, {configFile});
        const QDeadlineTimer deadline(kStartSeconds * 1000);
        while (!deadline.hasExpired()) {
            // Behind implicit TLS the banner comes only after a handshake:
            // a listening port is all this check can see.
            const QByteArray said = tls == FtpServerTls::Implicit
                                        ? (accepts(port) ? banner : QByteArray())
                                        : greeting(port);
            if (said.contains(banner)) {
                m_port = port;
                break;
            }
            if (!said.isEmpty()) {
                m_error = QStringLiteral("another program answers on port %1: %2")
                              .arg(port)
                              .arg(QString::fromLatin1(said));
                break;
            }
            // Doubles as the pause between tries and notices an early exit
            // (a bad configuration line: exit code 2 and no output).
            if (m_process->waitForFinished(20) || m_process->state() == QProcess::NotRunning) {
                m_error = QStringLiteral("vsftpd ended with code %1").arg(m_process->exitCode());
                break;
            }
        }
        if (!started()) {
            stop();
        }
    }
    if (!started() && m_error.isEmpty()) {
        m_error = QStringLiteral("vsftpd did not accept connections");
    }
}

QByteArray FtpServer::local(const QByteArray& relativePath) const
{
    return QFile::encodeName(m_localFolder) + relativePath;
}

void FtpServer::giveToServer(const QByteArray& localPath) const
{
    if (m_kind != FtpServerKind::Vsftpd) {
        return;
    }
    if (const passwd* ftp = ::getpwnam("ftp")) {
        ::chown(localPath.constData(), ftp->pw_uid, ftp->pw_gid);
    }
}

void FtpServer::makeFolder(const QByteArray& relativePath) const
{
    QByteArray path;
    for (const QByteArray& part : relativePath.split('/')) {
        if (part.isEmpty()) {
            continue;
        }
        path += (path.isEmpty() ? QByteArray() : QByteArray("/")) + part;
        const QByteArray full = local(path);
        if (::mkdir(full.constData(), 0755) == 0) {
            giveToServer(full);
        }
    }
}

void FtpServer::writeFile(const QByteArray& relativePath, const QByteArray& content) const
{
    const QByteArray full = local(relativePath);
    const int fd = ::open(full.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << full.constData();
    ASSERT_EQ(::write(fd, content.constData(), static_cast<size_t>(content.size())),
              content.size());
    ::close(fd);
    giveToServer(full);
}

void FtpServer::makeSparseFile(const QByteArray& relativePath, qint64 size) const
{
    const QByteArray full = local(relativePath);
    const int fd = ::open(full.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << full.constData();
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
    giveToServer(full);
}

bool FtpServer::exists(const QByteArray& relativePath) const
{
    struct stat info
    {
    };
    return ::lstat(local(relativePath).constData(), &info) == 0;
}

QByteArray FtpServer::readFile(const QByteArray& relativePath) const
{
    QFile file;
    const int fd = ::open(local(relativePath).constData(), O_RDONLY);
    if (fd < 0) {
        return {};
    }
    // QFile would decode the name; open it by its bytes instead.
    QByteArray content;
    if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        content = file.readAll();
    } else {
        ::close(fd);
    }
    return content;
}

QList<QByteArray> FtpServer::names(const QByteArray& relativeFolder) const
{
    QList<QByteArray> result;
    DIR* dir = ::opendir(local(relativeFolder).constData());
    if (dir == nullptr) {
        return result;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..") {
            result.append(name);
        }
    }
    ::closedir(dir);
    std::sort(result.begin(), result.end());
    return result;
}

int FtpServer::logins() const
{
    QFile file(m_dir.path() + QStringLiteral("/logins.txt"));
    return file.open(QIODevice::ReadOnly) ? static_cast<int>(file.readAll().count('\n')) : 0;
}

QString FtpServer::log() const
{
    QString text;
    for (const char* name : {"/server.log", "/vsftpd.log"}) {
        QFile file(m_dir.path() + QLatin1StringView(name));
        if (file.open(QIODevice::ReadOnly)) {
            text += QString::fromUtf8(file.readAll().right(20000));
        }
    }
    return text;
}

} // namespace fernhold::test
