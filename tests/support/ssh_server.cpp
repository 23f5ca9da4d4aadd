#include "ssh_server.h"

#include "ftp_server.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <arpa/inet.h>
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

const QString kSshd = QStringLiteral("/usr/sbin/sshd");
const QString kKeygen = QStringLiteral("/usr/bin/ssh-keygen");
// sshd refuses to start without its privilege-separation folder.
const QString kPrivsepDir = QStringLiteral("/run/sshd");

bool makeKey(const QString& file, const QString& passphrase, QString* error)
{
    QProcess keygen;
    keygen.start(kKeygen, {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"),
                           QStringLiteral("-N"), passphrase, QStringLiteral("-f"), file});
    if (!keygen.waitForFinished(30000) || keygen.exitCode() != 0) {
        *error = QStringLiteral("ssh-keygen failed: ") +
                 QString::fromUtf8(keygen.readAllStandardError());
        return false;
    }
    return true;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The first bytes the port sends; empty when nothing answers.
QByteArray banner(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QByteArray text;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        timeval wait{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        char buffer[256];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        text = QByteArray(buffer, got > 0 ? got : 0);
    }
    ::close(fd);
    return text;
}

} // namespace

QString SshServer::unavailableReason()
{
    if (!QFileInfo(kSshd).isExecutable() || !QFileInfo(kKeygen).isExecutable()) {
        return QStringLiteral("%1 or %2 is missing (package openssh-server)").arg(kSshd, kKeygen);
    }
    if (::geteuid() != 0 && !QFileInfo(kPrivsepDir).isDir()) {
        return QStringLiteral("sshd needs %1, which only root can make").arg(kPrivsepDir);
    }
    return {};
}

SshServer::SshServer()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return;
    }
    const passwd* me = ::getpwuid(::geteuid());
    m_user = me != nullptr ? QString::fromLocal8Bit(me->pw_name) : QStringLiteral("root");
    const QString base = m_dir.path() + u'/';
    m_folder = base + QStringLiteral("served/");
    QDir().mkpath(m_folder);
    QDir().mkpath(kPrivsepDir);
    const QString hostKey = base + QStringLiteral("host_key");
    m_keyFile = base + QStringLiteral("client_key");
    if (!makeKey(hostKey, {}, &m_error) || !makeKey(m_keyFile, passphrase(), &m_error)) {
        return;
    }
    const QList<QByteArray> hostParts =
        readAll(hostKey + QStringLiteral(".pub")).trimmed().split(' ');
    m_hostKey = hostParts.value(0) + ' ' + hostParts.value(1);
    m_hostKeyDigest = QCryptographicHash::hash(QByteArray::fromBase64(hostParts.value(1)),
                                               QCryptographicHash::Sha256);
    const QString authorised = base + QStringLiteral("authorized_keys");
    QFile::copy(m_keyFile + QStringLiteral(".pub"), authorised);

    for (int attempt = 0; attempt < 5 && !started(); ++attempt) {
        const int port = UnusedLocalPort();
        const QString config = QStringLiteral("Port %1\n"
                                              "ListenAddress 127.0.0.1\n"
                                              "HostKey %2\n"
                                              "PidFile none\n"
                                              "UsePAM no\n"
                                              "StrictModes no\n"
                                              "PermitRootLogin yes\n"
                                              "PasswordAuthentication no\n"
                                              "KbdInteractiveAuthentication no\n"
                                              "PubkeyAuthentication yes\n"
                                              "AuthorizedKeysFile %3\n"
                                              "Subsystem sftp internal-sftp\n"
                                              "LogLevel VERBOSE\n")
                                   .arg(port)
                                   .arg(hostKey, authorised);
        const QString configFile = base + QStringLiteral("sshd_config");
        QFile file(configFile);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(config.toUtf8()) != config.toUtf8().size()) {
            m_error = QStringLiteral("cannot write the sshd configuration");
            return;
        }
        file.close();
        m_process = std::make_unique<QProcess>();
        m_process->setChildProcessModifier([] {
            ::setsid();
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        });
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        m_process->setStandardOutputFile(base + QStringLiteral("sshd.log"), QIODevice::Append);
        m_process->start(
            kSshd, {QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"), configFile});
        const QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired()) {
            if (banner(port).startsWith("SSH-2.0-OpenSSH")) {
                m_port = port;
                break;
            }
            if (m_process->waitForFinished(50) || m_process->state() == QProcess::NotRunning) {
                m_error = QStringLiteral("sshd ended with code %1").arg(m_process->exitCode());
                break;
            }
        }
        if (!started()) {
            stop();
        }
    }
    if (!started()) {
        m_error += QStringLiteral("\nsshd log:\n") + log();
    }
}

SshServer::~SshServer()
{
    stop();
}

void SshServer::stop()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        ::kill(-static_cast<pid_t>(m_process->processId()), SIGKILL);
        m_process->waitForFinished(5000);
    }
    m_process.reset();
}

QByteArray SshServer::knownHostsLine() const
{
    return "[127.0.0.1]:" + QByteArray::number(m_port) + ' ' + m_hostKey + '\n';
}

QString SshServer::log() const
{
    return QString::fromUtf8(readAll(m_dir.path() + QStringLiteral("/sshd.log")).right(20000));
}

} // namespace fernhold::test
