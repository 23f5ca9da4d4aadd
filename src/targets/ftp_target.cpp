#include "targets/ftp_target.h"

#include "core/job_settings.h"
#include "core/server_fingerprint.h"
#include "core/settings_fields.h"
#include "core/text_table.h"

namespace fernhold {

namespace {

bool validTarget(int target)
{
    return target >= 1 && target <= kTargetCount;
}

} // namespace

int FtpTargetPort(const JobSettings& settings, int target)
{
    if (!validTarget(target)) {
        return 21;
    }
    const int port = LenientInt(settings.target(target).FTPServerPort);
    if (port != 0) {
        return port;
    }
    switch (settings.target(target).FTPTransport) {
    case 2:
        return 990;
    case 3:
        return 22;
    default:
        return 21;
    }
}

QString FtpTargetSubDir(const JobSettings& settings, int target)
{
    if (!validTarget(target)) {
        return {};
    }
    QString folder = settings.target(target).FTPSubDir;
    if (!folder.isEmpty() && !folder.endsWith(u'/')) {
        folder.append(u'/');
    }
    return folder;
}

FtpSessionOptions FtpTargetOptions(const JobSettings& settings, int target,
                                   FtpSessionOptions options)
{
    if (!validTarget(target)) {
        return options;
    }
    const TargetEntry& entry = settings.target(target);
    switch (entry.FTPTransport) {
    case 1:
        options.transport = FtpTransport::ExplicitTls;
        break;
    case 2:
        options.transport = FtpTransport::ImplicitTls;
        break;
    case 3:
        options.transport = FtpTransport::Sftp;
        options.keyFile = entry.FTPKeyFile.trimmed();
        break;
    default:
        options.transport = FtpTransport::Plain;
        break;
    }
    // A malformed pin (edited by hand) pins a key no server has rather
    // than none: the target fails instead of trusting whatever answers.
    options.pinnedKey =
        entry.FTPFingerprint.trimmed().isEmpty()
            ? QByteArray()
            : FingerprintDigest(entry.FTPFingerprint.trimmed()).value_or(QByteArray(32, '\0'));
    return options;
}

QString FtpOpenProblem(FtpOpenError error, const QByteArray& serverKey)
{
    const QString key =
        serverKey.isEmpty() ? QString() : QStringLiteral(": ") + FingerprintText(serverKey);
    switch (error) {
    case FtpOpenError::Untrusted:
        return Text(QStringLiteral("TXT00501")) + key;
    case FtpOpenError::Mismatch:
        return Text(QStringLiteral("TXT00502")) + key;
    case FtpOpenError::TlsRefused:
        return Text(QStringLiteral("TXT00503"));
    case FtpOpenError::None:
    case FtpOpenError::Transport:
    case FtpOpenError::Connection:
        break;
    }
    return {};
}

std::unique_ptr<FtpSession> FtpOpenTarget(const JobSettings& settings, int target,
                                          const FtpSessionOptions& options, QString* problem)
{
    if (!validTarget(target)) {
        return nullptr;
    }
    const TargetEntry& entry = settings.target(target);
    FtpOpenError error = FtpOpenError::None;
    QByteArray serverKey;
    std::unique_ptr<FtpSession> session = FtpOpen(
        entry.FTPServerName, FtpTargetPort(settings, target), entry.FTPUserName, entry.FTPPassword,
        FtpModeOf(settings), FtpTargetOptions(settings, target, options), &error, &serverKey);
    if (problem != nullptr) {
        *problem = FtpOpenProblem(error, serverKey);
    }
    return session;
}

int FtpCheckTarget(const JobSettings& settings, int target, const FtpSessionOptions& options,
                   QString* problem)
{
    std::unique_ptr<FtpSession> session = FtpOpenTarget(settings, target, options, problem);
    if (!session) {
        return 0;
    }
    const QString root = FtpResolveFolder(*session, FtpTargetSubDir(settings, target));
    const int reachable = FtpEnter(*session, root);
    FtpClose(session);
    return reachable;
}

} // namespace fernhold
