#include "targets/ftp_session.h"

#include "targets/ftp_connection.h"
#include "targets/sftp_connection.h"
#include "targets/targets_logging.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>

namespace fernhold {

struct FtpSession::State
{
    FtpNameMode mode = FtpNameMode::Plain;
    std::unique_ptr<FtpConnection> connection;
    std::unique_ptr<SftpConnection> sftp; // instead of `connection` for SFTP
    // Absolute wire path of the current folder, no trailing "/" but at the root.
    QByteArray current;
    bool featAsked = false;
    std::optional<QByteArray> features;
    bool mlsdRefused = false;
};

namespace {

QByteArray collapseSlashes(const QByteArray& path)
{
    QByteArray result;
    result.reserve(path.size());
    for (const char c : path) {
        if (c == '/' && result.endsWith('/')) {
            continue;
        }
        result.append(c);
    }
    if (result.size() > 1 && result.endsWith('/')) {
        result.chop(1);
    }
    return result;
}

bool validHost(const QString& host)
{
    if (host.isEmpty()) {
        return false;
    }
    // Characters that would change the meaning of the URL around the host.
    for (const QChar c : host) {
        if (c.unicode() <= 0x20 || QStringLiteral("/\\?#@[]%").contains(c)) {
            return false;
        }
    }
    return true;
}

QByteArray credential(const QString& text, FtpNameMode mode)
{
    if (mode == FtpNameMode::Plain) {
        if (const std::optional<QByteArray> bytes = EncodeWindows1252(text)) {
            return *bytes;
        }
    }
    return text.toUtf8();
}

QByteArray temporaryName()
{
    return "~fernhold-" +
           QByteArray::number(QRandomGenerator::global()->generate64(), 16)
               .rightJustified(16, '0') +
           ".part";
}

} // namespace

// Helpers with access to the session's state.
struct FtpSessionAccess
{
    using S = FtpSession::State;

    static S& state(FtpSession& session) { return *session.m_state; }

    static std::unique_ptr<FtpSession> make(std::unique_ptr<S> s)
    {
        return std::unique_ptr<FtpSession>(new FtpSession(std::move(s)));
    }

    static std::optional<QByteArray> absolute(const S& s, const QString& path)
    {
        const std::optional<QByteArray> wire = FtpWireName(path, s.mode);
        if (!wire) {
            return std::nullopt;
        }
        if (wire->startsWith('/')) {
            return collapseSlashes(*wire);
        }
        return collapseSlashes(s.current + "/" + *wire);
    }

    static std::optional<FtpReply> command(S& s, const QByteArray& line)
    {
        const std::optional<QList<FtpReply>> replies = s.connection->commands({line});
        if (!replies) {
            return std::nullopt;
        }
        return replies->first();
    }

    static bool enterWire(S& s, const QByteArray& folder)
    {
        if (s.sftp) {
            // SFTP has no current folder: one that can be listed is entered.
            if (!s.sftp->listing(folder)) {
                return false;
            }
            s.current = folder;
            return true;
        }
        const std::optional<FtpReply> reply = command(s, "CWD " + folder);
        if (!reply || reply->code < 200 || reply->code >= 300) {
            return false;
        }
        s.current = folder;
        return true;
    }
};

FtpSession::FtpSession(std::unique_ptr<State> state) : m_state(std::move(state)) {}

FtpSession::~FtpSession() = default;

FtpNameMode FtpSession::mode() const
{
    return m_state->mode;
}

int FtpSession::controlPort() const
{
    if (m_state->sftp) {
        return m_state->sftp->localPort();
    }
    return m_state->connection->localPort();
}

namespace {

int portOrDefault(int port, const FtpSessionOptions& options)
{
    if (port != 0) {
        return port;
    }
    switch (options.transport) {
    case FtpTransport::ImplicitTls:
        return 990;
    case FtpTransport::Sftp:
        return 22;
    case FtpTransport::Plain:
    case FtpTransport::ExplicitTls:
        break;
    }
    return 21;
}

std::optional<QString> hostOf(const QString& server, int port)
{
    QString host = server.trimmed();
    if (host.startsWith(u'[') && host.endsWith(u']')) {
        host = host.mid(1, host.size() - 2); // an IPv6 address as written in URLs
    }
    if (!validHost(host) || port < 0 || port > 65535) {
        return std::nullopt;
    }
    return host;
}

} // namespace

std::optional<QByteArray> FtpServerKey(const QString& server, int port,
                                       const FtpSessionOptions& options)
{
    port = portOrDefault(port, options);
    if (options.transport == FtpTransport::Plain || !hostOf(server, port)) {
        return std::nullopt;
    }
    // A pin no key has: libcurl reads the server's key, names it and stops
    // before the login.
    FtpSessionOptions probe = options;
    probe.pinnedKey = QByteArray(32, '\0');
    if (options.transport == FtpTransport::Sftp) {
        SftpConnection connection(server, port, QByteArrayLiteral("fernhold"), {}, probe);
        if (!connection.usable() || connection.login() ||
            connection.lastFailure() != FtpConnection::Failure::Mismatch ||
            connection.seenKey().isEmpty()) {
            return std::nullopt;
        }
        return connection.seenKey();
    }
    FtpConnection connection(server, port, {}, {}, probe);
    if (!connection.usable() || connection.login() ||
        connection.lastFailure() != FtpConnection::Failure::Mismatch ||
        connection.seenKey().isEmpty()) {
        return std::nullopt;
    }
    return connection.seenKey();
}

std::unique_ptr<FtpSession> FtpOpen(const QString& server, int port, const QString& user,
                                    const QString& password, FtpNameMode mode,
                                    const FtpSessionOptions& options, FtpOpenError* error,
                                    QByteArray* serverKey)
{
    const auto fail = [&](FtpOpenError why) {
        if (error != nullptr) {
            *error = why;
        }
        return std::unique_ptr<FtpSession>();
    };
    port = portOrDefault(port, options);
    if (!hostOf(server, port)) {
        return fail(FtpOpenError::Connection);
    }
    auto state = std::make_unique<FtpSessionAccess::S>();
    if (options.transport == FtpTransport::Sftp) {
        // SFTP names are bytes; Fernhold sends them as UTF-8.
        state->mode = FtpNameMode::Utf8;
        state->sftp = std::make_unique<SftpConnection>(server, port, user.toUtf8(),
                                                       password.toUtf8(), options);
        if (!state->sftp->usable()) {
            return fail(FtpOpenError::Transport);
        }
        const std::optional<QByteArray> home = state->sftp->login();
        if (!home) {
            qCDebug(lcFtp) << "open" << server << port << "failed:" << state->sftp->lastError();
            const FtpConnection::Failure why = state->sftp->lastFailure();
            if (serverKey != nullptr && why != FtpConnection::Failure::Other) {
                *serverKey = state->sftp->seenKey();
            }
            return fail(why == FtpConnection::Failure::Untrusted  ? FtpOpenError::Untrusted
                        : why == FtpConnection::Failure::Mismatch ? FtpOpenError::Mismatch
                                                                  : FtpOpenError::Connection);
        }
        state->current = collapseSlashes(*home);
        if (error != nullptr) {
            *error = FtpOpenError::None;
        }
        return FtpSessionAccess::make(std::move(state));
    }
    state->mode = mode;
    state->connection = std::make_unique<FtpConnection>(server, port, credential(user, mode),
                                                        credential(password, mode), options);
    if (!state->connection->usable()) {
        return fail(FtpOpenError::Transport);
    }
    const std::optional<QByteArray> entry = state->connection->login();
    if (!entry) {
        qCDebug(lcFtp) << "open" << server << port << "failed:" << state->connection->lastError();
        switch (state->connection->lastFailure()) {
        case FtpConnection::Failure::Untrusted:
            if (serverKey != nullptr) {
                *serverKey = FtpServerKey(server, port, options).value_or(QByteArray());
            }
            return fail(FtpOpenError::Untrusted);
        case FtpConnection::Failure::Mismatch:
            if (serverKey != nullptr) {
                *serverKey = state->connection->seenKey();
            }
            return fail(FtpOpenError::Mismatch);
        case FtpConnection::Failure::TlsRefused:
            return fail(FtpOpenError::TlsRefused);
        case FtpConnection::Failure::Other:
            break;
        }
        return fail(FtpOpenError::Connection);
    }
    state->current = collapseSlashes(*entry);
    if (mode == FtpNameMode::Utf8) {
        // Some servers switch to UTF-8 names only when asked; others reject
        // the command, which does no harm.
        (void)state->connection->commands({"OPTS UTF8 ON"});
    }
    if (error != nullptr) {
        *error = FtpOpenError::None;
    }
    return FtpSessionAccess::make(std::move(state));
}

void FtpClose(std::unique_ptr<FtpSession>& session)
{
    session.reset();
}

int FtpEnter(FtpSession& session, const QString& path)
{
    FtpSessionAccess::S& s = FtpSessionAccess::state(session);
    const std::optional<QByteArray> folder = FtpSessionAccess::absolute(s, path);
    if (!folder) {
        return 0;
    }
    return FtpSessionAccess::enterWire(s, *folder) ? 1 : 0;
}

std::optional<QString> FtpCurrentFolder(FtpSession& session)
{
    FtpSessionAccess::S& s = FtpSessionAccess::state(session);
    if (s.sftp) {
        return FtpListedName(s.current, s.mode);
    }
    // The CWD first puts a connection that libcurl had to renew back in place.
    const std::optional<QList<FtpReply>> replies =
        s.connection->commands({"CWD " + s.current, "PWD"});
    if (!replies || replies->at(0).code < 200 || replies->at(0).code >= 300) {
        return std::nullopt;
    }
    const std::optional<QByteArray> folder = ParsePwdReply(replies->at(1));
    if (!folder) {
        return std::nullopt;
    }
    return FtpListedName(*folder, s.mode);
}

QString FtpResolveFolder(FtpSession& session, const QString& path)
{
    if (path.isEmpty()) {
        return QStringLiteral("/");
    }
    if (FtpEnter(session, path) == 0) {
        return path;
    }
    const std::optional<QString> folder = FtpCurrentFolder(session);
    if (!folder) {
        return path;
    }
    return *folder + u'/';
}

std::optional<QByteArray> FtpFeatures(FtpSession& session)
{
    FtpSessionAccess::S& s = FtpSessionAccess::state(session);
    if (s.sftp) {
        return std::nullopt;
    }
    if (!s.featAsked) {
        s.featAsked = true;
        const std::optional<FtpReply> reply = FtpSessionAccess::command(s, "FEAT");
        if (reply && reply->code >= 200 && reply->code < 300) {
            s.features = reply->text;
        }
    }
    return s.features;
}

namespace {

bool offersMlsd(const QByteArray& features)
{
    for (const QByteArray& line : features.split('\n')) {
        const QByteArray feature = line.trimmed().toUpper();
        if (feature.startsWith("MLST") || feature.startsWith("MLSD")) {
            return true;
        }
    }
    return false;
}

} // namespace

std::optional<QList<FtpEntry>> FtpList(FtpSession& session)
{
    FtpSessionAccess::S& s = FtpSessionAccess::state(session);
    const std::optional<QByteArray> features = FtpFeatures(session);
    bool mlsd = !s.sftp && !s.mlsdRefused && features && offersMlsd(*features);
    // SFTP listings come in the long form of a Unix LIST.
    std::optional<QByteArray> data =
        s.sftp ? s.sftp->listing(s.current) : s.connection->listing(s.current, mlsd);
    if (!data && mlsd) {
        // A server that announces MLST but fails MLSD still has LIST.
        data = s.connection->listing(s.current, false);
        if (data) {
            s.mlsdRefused = true;
            mlsd = false;
        }
    }
    if (!data) {
        return std::nullopt;
    }
    QList<FtpEntry> entries;
    const QList<FtpListedEntry> listed =
        ParseFtpListing(*data, mlsd ? FtpListingFormat::Mlsd : FtpListingFormat::List,
                        QDateTime::currentDateTimeUtc());
    entries.reserve(listed.size());
    for (const FtpListedEntry& item : listed) {
        entries.append(
            {FtpListedName(item.name, s.mode), item.attributes, item.size, item.modified});
    }
    return entries;
}

int FtpDelete(FtpSession& session, const QString& path)
{
    FtpSessionAccess::S& s = FtpSessionAccess::state(session);
    const std::optional<QByteArray> file = FtpSessionAccess::absolute(s, path);
    if (path.isEmpty() || !file || *file == "/") {
        return 0;
    }
    if (s.sftp) {
        return s.sftp->command("rm", {*file}) ? 1 : 0;
    }
    const std::optional<FtpReply> reply = FtpSessionAccess::command(s, "DELE " + *file);
    return reply && reply->code >= 200 && reply->code < 300 ? 1 : 0;
}

namespace {

int sftpUpload(SftpConnection& sftp, QFile& source, qint64 size, const QByteArray& temporary,
               const QByteArray& target)
{
    bool ok = sftp.store(temporary, source, size);
    if (ok) {
        ok = sftp.command("rename", {temporary, target});
        // Servers that do not rename onto an existing file: replace it.
        if (!ok && sftp.command("rm", {target})) {
            ok = sftp.command("rename", {temporary, target});
        }
    }
    if (!ok) {
        qCDebug(lcFtp) << "upload of" << target << "failed:" << sftp.lastError();
        (void)sftp.command("rm", {temporary});
        return 0;
    }
    return 1;
}

} // namespace

int FtpUpload(FtpSession& session, const QString& localPath, const QString& remotePath)
{
    FtpSessionAccess::S& s = FtpSessionAccess::state(session);
    const std::optional<QByteArray> target = FtpSessionAccess::absolute(s, remotePath);
    if (remotePath.isEmpty() || !target || *target == "/" || remotePath.endsWith(u'/')) {
        return 0;
    }
    QFile source(localPath);
    if (!QFileInfo(localPath).isFile() || !source.open(QIODevice::ReadOnly)) {
        qCDebug(lcFtp) << "upload: cannot read" << localPath;
        return 0;
    }
    const qint64 size = source.size();
    const qsizetype slash = target->lastIndexOf('/');
    const QByteArray temporary = target->left(slash + 1) + temporaryName();
    if (s.sftp) {
        return sftpUpload(*s.sftp, source, size, temporary, *target);
    }

    bool ok = s.connection->store(temporary, source, size);
    if (ok) {
        // The server's own count of what it stored, where it tells.
        const std::optional<FtpReply> stored = FtpSessionAccess::command(s, "SIZE " + temporary);
        if (stored && stored->code == 213) {
            bool numberOk = false;
            const qint64 storedSize = stored->text.mid(4).trimmed().toLongLong(&numberOk);
            ok = !numberOk || storedSize == size;
        }
    }
    if (ok) {
        const auto renamed = [&]() {
            const std::optional<QList<FtpReply>> replies =
                s.connection->commands({"RNFR " + temporary, "RNTO " + *target});
            return replies && replies->at(0).code == 350 && replies->at(1).code >= 200 &&
                   replies->at(1).code < 300;
        };
        ok = renamed();
        if (!ok) {
            // Servers that do not rename onto an existing file: replace it.
            const std::optional<FtpReply> existing =
                FtpSessionAccess::command(s, "SIZE " + *target);
            if (existing && existing->code == 213) {
                (void)FtpSessionAccess::command(s, "DELE " + *target);
                ok = renamed();
            }
        }
    }
    if (!ok) {
        qCDebug(lcFtp) << "upload of" << localPath << "failed:" << s.connection->lastError();
        (void)s.connection->commands({"DELE " + temporary});
        return 0;
    }
    return 1;
}

int FtpDownload(FtpSession& session, const QString& remotePath, const QString& localPath)
{
    FtpSessionAccess::S& s = FtpSessionAccess::state(session);
    const std::optional<QByteArray> file = FtpSessionAccess::absolute(s, remotePath);
    if (remotePath.isEmpty() || !file || *file == "/" || remotePath.endsWith(u'/')) {
        return 0;
    }
    QSaveFile target(localPath);
    target.setDirectWriteFallback(false);
    if (!target.open(QIODevice::WriteOnly)) {
        qCDebug(lcFtp) << "download: cannot write" << localPath << target.errorString();
        return 0;
    }
    const bool fetched =
        s.sftp ? s.sftp->retrieve(*file, target) : s.connection->retrieve(*file, target);
    if (!fetched) {
        qCDebug(lcFtp) << "download of" << remotePath
                       << "failed:" << (s.sftp ? s.sftp->lastError() : s.connection->lastError());
        target.cancelWriting();
        return 0;
    }
    return target.commit() ? 1 : 0;
}

namespace {

// Every level from the root down; a level that exists refuses its mkdir.
int sftpEnterCreating(FtpSessionAccess::S& s, const QByteArray& path)
{
    for (qsizetype i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path.at(i) == '/') {
            (void)s.sftp->command("mkdir", {path.left(i)});
        }
    }
    return FtpSessionAccess::enterWire(s, path) ? 1 : 0;
}

} // namespace

int FtpEnterCreating(FtpSession& session, const QString& folder)
{
    FtpSessionAccess::S& s = FtpSessionAccess::state(session);
    const std::optional<QByteArray> path = FtpSessionAccess::absolute(s, folder);
    if (!path) {
        return 0;
    }
    if (FtpSessionAccess::enterWire(s, *path)) {
        return 1;
    }
    if (s.sftp) {
        return sftpEnterCreating(s, *path);
    }
    (void)FtpSessionAccess::command(s, "MKD " + *path);
    if (FtpSessionAccess::enterWire(s, *path)) {
        return 1;
    }
    // Every ancestor, from the root down: "/a/b" gives "/", "/a".
    QList<QByteArray> levels;
    for (qsizetype i = 0; i < path->size(); ++i) {
        if (path->at(i) == '/') {
            levels.append(i == 0 ? QByteArray("/") : path->left(i));
        }
    }
    qsizetype existing = -1;
    for (qsizetype i = levels.size() - 1; i >= 0; --i) {
        if (FtpSessionAccess::enterWire(s, levels[i])) {
            existing = i;
            break;
        }
    }
    QList<QByteArray> creates;
    for (qsizetype i = existing + 1; i < levels.size(); ++i) {
        creates.append("MKD " + levels[i]);
    }
    creates.append("MKD " + *path);
    (void)s.connection->commands(creates);
    return FtpSessionAccess::enterWire(s, *path) ? 1 : 0;
}

bool IsFtpTemporaryName(const QString& name)
{
    static const QRegularExpression kPattern(QStringLiteral("^~fernhold-[0-9a-f]{16}\\.part$"));
    return kPattern.match(name).hasMatch();
}

} // namespace fernhold
