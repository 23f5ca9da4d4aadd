#include "targets/ftp_connection.h"

#include "targets/curl_library.h"
#include "targets/targets_logging.h"

#include <QIODevice>
#include <cctype>
#include <mutex>

namespace fernhold {

namespace {

using Clock = std::chrono::steady_clock;

// A server may talk, but not without end: reply text kept per exchange.
constexpr qsizetype kMaxReplyLogBytes = 1024 * 1024;
constexpr long kBufferSize = 256 * 1024;

// Every call below runs on a connection made after LoadCurl() succeeded.
const CurlLibrary& curlApi()
{
    return *LoadCurl();
}

// Percent-encodes everything but unreserved characters and "/", so any byte
// of a name reaches the server unchanged.
QByteArray encodePath(const QByteArray& path)
{
    return path.toPercentEncoding("/");
}

bool breaksCommandLine(const QByteArray& bytes)
{
    return bytes.contains('\r') || bytes.contains('\n') || bytes.contains('\0');
}

FtpReply replyOf(const QList<QByteArray>& lines)
{
    FtpReply reply;
    reply.text = lines.join('\n');
    // The code of a multi-line reply stands on its last line.
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        const QByteArray& line = lines[i];
        if (line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
            std::isdigit(static_cast<unsigned char>(line[1])) &&
            std::isdigit(static_cast<unsigned char>(line[2])) &&
            (line.size() == 3 || line[3] == ' ')) {
            reply.code = line.left(3).toInt();
            break;
        }
    }
    return reply;
}

} // namespace

struct FtpConnection::Impl
{
    struct Exchange
    {
        QByteArray sent;
        QList<QByteArray> lines;
    };

    CURL* curl = nullptr;
    QByteArray baseUrl;
    QByteArray user;
    QByteArray password;
    FtpSessionOptions options;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    QString lastError;
    Failure failure = Failure::Other;
    QByteArray pin;
    QByteArray seenKey;

    QList<Exchange> exchanges;
    qsizetype logBytes = 0;

    Clock::time_point lastProgress;
    curl_off_t lastCount = -1;
    bool stalled = false;

    QByteArray* buffer = nullptr;
    qint64 bufferLimit = 0;
    QIODevice* sink = nullptr;
    QIODevice* source = nullptr;
    bool ioFailed = false;

    static int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* user)
    {
        auto* self = static_cast<Impl*>(user);
        if (type == CURLINFO_TEXT) {
            self->noteKey(QByteArray(data, static_cast<qsizetype>(size)));
            return 0;
        }
        if (type != CURLINFO_HEADER_OUT && type != CURLINFO_HEADER_IN) {
            return 0;
        }
        QByteArray line(data, static_cast<qsizetype>(size));
        while (line.endsWith('\n') || line.endsWith('\r')) {
            line.chop(1);
        }
        if (type == CURLINFO_HEADER_OUT) {
            self->exchanges.append(Exchange{line, {}});
            return 0;
        }
        self->lastProgress = Clock::now();
        if (self->exchanges.isEmpty()) {
            self->exchanges.append(Exchange{}); // the greeting
        }
        if (self->logBytes + line.size() <= kMaxReplyLogBytes) {
            self->logBytes += line.size();
            self->exchanges.last().lines.append(line);
        }
        return 0;
    }

    // libcurl names the key it checks against a pin only in its debug text.
    void noteKey(const QByteArray& text)
    {
        static const QByteArray kMark = "public key hash: sha256//";
        const qsizetype at = text.indexOf(kMark);
        if (at < 0) {
            return;
        }
        const QByteArray encoded = text.mid(at + kMark.size()).trimmed();
        const auto decoded =
            QByteArray::fromBase64Encoding(encoded, QByteArray::AbortOnBase64DecodingErrors);
        if (decoded && decoded.decoded.size() == 32) {
            seenKey = decoded.decoded;
        }
    }

    static int onProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t,
                          curl_off_t uploaded)
    {
        auto* self = static_cast<Impl*>(user);
        if (self->options.stopRequested && self->options.stopRequested()) {
            return 1;
        }
        const curl_off_t count = downloaded + uploaded;
        const Clock::time_point now = Clock::now();
        if (count != self->lastCount) {
            self->lastCount = count;
            self->lastProgress = now;
        } else if (now - self->lastProgress > self->options.stallTimeout) {
            self->stalled = true;
            return 1;
        }
        return 0;
    }

    static size_t onWrite(char* data, size_t size, size_t count, void* user)
    {
        auto* self = static_cast<Impl*>(user);
        const auto bytes = static_cast<qint64>(size * count);
        if (self->buffer != nullptr) {
            if (self->buffer->size() + bytes > self->bufferLimit) {
                self->ioFailed = true;
                return 0;
            }
            self->buffer->append(data, bytes);
            return size * count;
        }
        if (self->sink == nullptr || self->sink->write(data, bytes) != bytes) {
            self->ioFailed = true;
            return 0;
        }
        return size * count;
    }

    static size_t onRead(char* data, size_t size, size_t count, void* user)
    {
        auto* self = static_cast<Impl*>(user);
        if (self->source == nullptr) {
            return 0;
        }
        const qint64 got = self->source->read(data, static_cast<qint64>(size * count));
        if (got < 0) {
            self->ioFailed = true;
            return CURL_READFUNC_ABORT;
        }
        return static_cast<size_t>(got);
    }

    // Options stick to a reused handle: every call starts from the same state.
    void prepare(const QByteArray& path)
    {
        curlApi().easy_setopt(curl, CURLOPT_URL, (baseUrl + encodePath(path)).constData());
        curlApi().easy_setopt(curl, CURLOPT_QUOTE, nullptr);
        curlApi().easy_setopt(curl, CURLOPT_NOBODY, 0L);
        curlApi().easy_setopt(curl, CURLOPT_CUSTOMREQUEST, nullptr);
        curlApi().easy_setopt(curl, CURLOPT_UPLOAD, 0L);
        curlApi().easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(-1));
        exchanges.clear();
        logBytes = 0;
        lastProgress = Clock::now();
        lastCount = -1;
        stalled = false;
        buffer = nullptr;
        sink = nullptr;
        source = nullptr;
        ioFailed = false;
        failure = Failure::Other;
        errorBuffer[0] = '\0';
    }

    bool perform(const char* what)
    {
        if (options.stopRequested && options.stopRequested()) {
            lastError = QStringLiteral("stopped before %1").arg(QLatin1StringView(what));
            return false;
        }
        const CURLcode result = curlApi().easy_perform(curl);
        if (result == CURLE_OK && !ioFailed) {
            return true;
        }
        if (result == CURLE_PEER_FAILED_VERIFICATION) {
            failure = Failure::Untrusted;
        } else if (result == CURLE_SSL_PINNEDPUBKEYNOTMATCH) {
            failure = Failure::Mismatch;
        } else if (result == CURLE_USE_SSL_FAILED) {
            failure = Failure::TlsRefused;
        }
        lastError =
            QStringLiteral("%1: %2%3")
                .arg(QLatin1StringView(what),
                     QString::fromLocal8Bit(
                         errorBuffer[0] != '\0' ? errorBuffer : curlApi().easy_strerror(result)),
                     stalled ? QStringLiteral(" (no progress)") : QString());
        qCDebug(lcFtp) << lastError;
        return false;
    }
};

FtpConnection::FtpConnection(QString host, int port, QByteArray user, QByteArray password,
                             FtpSessionOptions options)
    : m_impl(std::make_unique<Impl>())
{
    Impl& d = *m_impl;
    // No name means an anonymous login: USER without a name is a syntax
    // error to servers. The password follows the custom of FTP clients.
    if (user.isEmpty()) {
        user = "anonymous";
        if (password.isEmpty()) {
            password = "anonymous@";
        }
    }
    d.user = std::move(user);
    d.password = std::move(password);
    d.options = std::move(options);
    const QByteArray hostPart =
        host.contains(u':') ? "[" + host.toUtf8() + "]" : host.toUtf8(); // IPv6 literal
    const bool implicitTls = d.options.transport == FtpTransport::ImplicitTls;
    d.baseUrl =
        (implicitTls ? "ftps://" : "ftp://") + hostPart + ":" + QByteArray::number(port) + "/";
    if (LoadCurl() == nullptr) {
        return; // no transport: the session cannot be opened
    }
    d.curl = curlApi().easy_init();
    if (d.curl == nullptr) {
        return;
    }
    CURL* c = d.curl;
    curlApi().easy_setopt(c, CURLOPT_PROTOCOLS_STR, implicitTls ? "ftps" : "ftp");
    if (d.options.transport != FtpTransport::Plain) {
        // Login and every data connection protected (PROT P); a server that
        // refuses TLS fails the connection instead of getting the password.
        curlApi().easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        curlApi().easy_setopt(c, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
        curlApi().easy_setopt(c, CURLOPT_FTP_SSL_CCC, static_cast<long>(CURLFTPSSL_CCC_NONE));
        if (!d.options.pinnedKey.isEmpty()) {
            // A pinned key stands for itself: no authority has to vouch for it.
            d.pin = "sha256//" + d.options.pinnedKey.toBase64();
            curlApi().easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 0L);
            curlApi().easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 0L);
            curlApi().easy_setopt(c, CURLOPT_PINNEDPUBLICKEY, d.pin.constData());
        } else {
            curlApi().easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
            curlApi().easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
        }
    }
    curlApi().easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curlApi().easy_setopt(c, CURLOPT_PROXY, ""); // direct access, whatever the environment says
    curlApi().easy_setopt(c, CURLOPT_USERNAME, d.user.constData());
    curlApi().easy_setopt(c, CURLOPT_PASSWORD, d.password.constData());
    curlApi().easy_setopt(c, CURLOPT_ERRORBUFFER, d.errorBuffer);
    curlApi().easy_setopt(c, CURLOPT_CONNECTTIMEOUT,
                          static_cast<long>(d.options.connectTimeout.count()));
    curlApi().easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT,
                          static_cast<long>(d.options.stallTimeout.count()));
    curlApi().easy_setopt(c, CURLOPT_TCP_KEEPALIVE, 1L);
    // Absolute paths, no CWD of libcurl's own: the session's folder stays
    // where the session's own CWD put it.
    curlApi().easy_setopt(c, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    curlApi().easy_setopt(c, CURLOPT_FTP_CREATE_MISSING_DIRS, 0L);
    curlApi().easy_setopt(c, CURLOPT_TRANSFERTEXT, 0L); // binary
    curlApi().easy_setopt(c, CURLOPT_BUFFERSIZE, kBufferSize);
    curlApi().easy_setopt(c, CURLOPT_UPLOAD_BUFFERSIZE, kBufferSize);
    curlApi().easy_setopt(c, CURLOPT_VERBOSE, 1L); // feeds the debug callback, prints nothing
    curlApi().easy_setopt(c, CURLOPT_DEBUGFUNCTION, &Impl::onDebug);
    curlApi().easy_setopt(c, CURLOPT_DEBUGDATA, &d);
    curlApi().easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curlApi().easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &Impl::onProgress);
    curlApi().easy_setopt(c, CURLOPT_XFERINFODATA, &d);
    curlApi().easy_setopt(c, CURLOPT_WRITEFUNCTION, &Impl::onWrite);
    curlApi().easy_setopt(c, CURLOPT_WRITEDATA, &d);
    curlApi().easy_setopt(c, CURLOPT_READFUNCTION, &Impl::onRead);
    curlApi().easy_setopt(c, CURLOPT_READDATA, &d);
}

FtpConnection::~FtpConnection()
{
    if (m_impl->curl != nullptr) {
        curlApi().easy_cleanup(m_impl->curl); // sends QUIT on a live connection
    }
}

std::optional<QByteArray> FtpConnection::login()
{
    Impl& d = *m_impl;
    if (d.curl == nullptr || breaksCommandLine(d.user) || breaksCommandLine(d.password)) {
        return std::nullopt;
    }
    d.prepare("/");
    curlApi().easy_setopt(d.curl, CURLOPT_NOBODY, 1L);
    if (!d.perform("login")) {
        return std::nullopt;
    }
    const char* entry = nullptr;
    if (curlApi().easy_getinfo(d.curl, CURLINFO_FTP_ENTRY_PATH, &entry) == CURLE_OK &&
        entry != nullptr && entry[0] != '\0') {
        return QByteArray(entry);
    }
    const std::optional<QList<FtpReply>> replies = commands({"PWD"});
    if (!replies) {
        return std::nullopt;
    }
    return ParsePwdReply(replies->first()).value_or(QByteArray("/"));
}

std::optional<QList<FtpReply>> FtpConnection::commands(const QList<QByteArray>& lines)
{
    Impl& d = *m_impl;
    if (d.curl == nullptr || lines.isEmpty()) {
        return std::nullopt;
    }
    curl_slist* quote = nullptr;
    for (const QByteArray& line : lines) {
        if (breaksCommandLine(line)) {
            curlApi().slist_free_all(quote);
            return std::nullopt;
        }
        // "*": a rejected command must not make libcurl drop the connection.
        quote = curlApi().slist_append(quote, ("*" + line).constData());
    }
    d.prepare("/");
    curlApi().easy_setopt(d.curl, CURLOPT_NOBODY, 1L);
    curlApi().easy_setopt(d.curl, CURLOPT_QUOTE, quote);
    const bool ok = d.perform("command");
    curlApi().easy_setopt(d.curl, CURLOPT_QUOTE, nullptr);
    curlApi().slist_free_all(quote);
    if (!ok) {
        return std::nullopt;
    }
    // Match every command with the reply after the line that carried it;
    // libcurl's own commands in between are passed over.
    QList<FtpReply> replies;
    qsizetype next = 0;
    for (const QByteArray& line : lines) {
        FtpReply reply;
        for (qsizetype i = next; i < d.exchanges.size(); ++i) {
            if (d.exchanges[i].sent == line) {
                reply = replyOf(d.exchanges[i].lines);
                next = i + 1;
                break;
            }
        }
        replies.append(reply);
    }
    return replies;
}

std::optional<QByteArray> FtpConnection::listing(const QByteArray& folder, bool mlsd)
{
    Impl& d = *m_impl;
    if (d.curl == nullptr) {
        return std::nullopt;
    }
    QByteArray data;
    QByteArray path = folder;
    if (!path.endsWith('/')) {
        path.append('/');
    }
    d.prepare(path);
    if (mlsd) {
        curlApi().easy_setopt(d.curl, CURLOPT_CUSTOMREQUEST, "MLSD");
    }
    d.buffer = &data;
    d.bufferLimit = kMaxListingBytes;
    const bool ok = d.perform(mlsd ? "MLSD" : "LIST");
    curlApi().easy_setopt(d.curl, CURLOPT_CUSTOMREQUEST, nullptr);
    if (!ok) {
        return std::nullopt;
    }
    return data;
}

bool FtpConnection::store(const QByteArray& path, QIODevice& source, qint64 size)
{
    Impl& d = *m_impl;
    if (d.curl == nullptr) {
        return false;
    }
    const qint64 start = source.pos();
    bool ok = false;
    // A 4xx reply is transient by definition (426: the data connection
    // broke, as vsftpd reports now and then after a TLS 1.3 upload): the
    // file is sent once more before the upload counts as failed.
    for (int attempt = 0; attempt < 2 && !ok; ++attempt) {
        if (attempt > 0) {
            long code = 0;
            curlApi().easy_getinfo(d.curl, CURLINFO_RESPONSE_CODE, &code);
            if (code < 400 || code >= 500 || source.isSequential() || !source.seek(start)) {
                break;
            }
            qCDebug(lcFtp) << "STOR answered" << code << "- sending" << path << "once more";
        }
        d.prepare(path);
        curlApi().easy_setopt(d.curl, CURLOPT_UPLOAD, 1L);
        curlApi().easy_setopt(d.curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
        d.source = &source;
        ok = d.perform("STOR");
        curlApi().easy_setopt(d.curl, CURLOPT_UPLOAD, 0L);
    }
    if (!ok) {
        return false;
    }
    curl_off_t sent = 0;
    curlApi().easy_getinfo(d.curl, CURLINFO_SIZE_UPLOAD_T, &sent);
    if (sent != size) {
        d.lastError = QStringLiteral("STOR: sent %1 of %2 bytes").arg(sent).arg(size);
        return false;
    }
    return true;
}

bool FtpConnection::retrieve(const QByteArray& path, QIODevice& sink)
{
    Impl& d = *m_impl;
    if (d.curl == nullptr) {
        return false;
    }
    d.prepare(path);
    d.sink = &sink;
    if (!d.perform("RETR")) {
        return false;
    }
    curl_off_t expected = -1;
    curl_off_t received = 0;
    curlApi().easy_getinfo(d.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
    curlApi().easy_getinfo(d.curl, CURLINFO_SIZE_DOWNLOAD_T, &received);
    if (expected >= 0 && received != expected) {
        d.lastError = QStringLiteral("RETR: got %1 of %2 bytes").arg(received).arg(expected);
        return false;
    }
    return true;
}

bool FtpConnection::usable() const
{
    return m_impl->curl != nullptr;
}

int FtpConnection::localPort() const
{
    long port = 0;
    if (m_impl->curl == nullptr ||
        curlApi().easy_getinfo(m_impl->curl, CURLINFO_LOCAL_PORT, &port) != CURLE_OK) {
        return 0;
    }
    return static_cast<int>(port);
}

QString FtpConnection::lastError() const
{
    return m_impl->lastError;
}

FtpConnection::Failure FtpConnection::lastFailure() const
{
    return m_impl->failure;
}

QByteArray FtpConnection::seenKey() const
{
    return m_impl->seenKey;
}

std::optional<QByteArray> ParsePwdReply(const FtpReply& reply)
{
    if (reply.code != 257) {
        return std::nullopt;
    }
    const QByteArray& text = reply.text;
    const qsizetype open = text.indexOf('"');
    if (open < 0) {
        return std::nullopt;
    }
    QByteArray folder;
    for (qsizetype i = open + 1; i < text.size(); ++i) {
        if (text[i] == '"') {
            if (i + 1 < text.size() && text[i + 1] == '"') {
                folder.append('"');
                ++i;
                continue;
            }
            while (folder.endsWith(' ')) {
                folder.chop(1);
            }
            return folder;
        }
        if (text[i] == '\n') {
            break;
        }
        folder.append(text[i]);
    }
    return std::nullopt;
}

} // namespace fernhold
