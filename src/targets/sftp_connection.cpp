#include "targets/sftp_connection.h"

#include "targets/curl_library.h"
#include "targets/targets_logging.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QIODevice>

namespace fernhold {

namespace {

using Clock = std::chrono::steady_clock;
constexpr long kBufferSize = 256 * 1024;

const CurlLibrary& curlApi()
{
    return *LoadCurl();
}

QByteArray encodePath(const QByteArray& path)
{
    return path.toPercentEncoding("/");
}

bool breaksCommandLine(const QByteArray& bytes)
{
    return bytes.contains('\r') || bytes.contains('\n') || bytes.contains('\0');
}

// A path as one argument of an SFTP quote command: in double quotes, with
// backslash and quote escaped.
QByteArray quoted(const QByteArray& path)
{
    QByteArray text = "\"";
    for (const char c : path) {
        if (c == '"' || c == '\\') {
            text.append('\\');
        }
        text.append(c);
    }
    return text + "\"";
}

} // namespace

struct SftpConnection::Impl
{
    CURL* curl = nullptr;
    QByteArray baseUrl;
    QByteArray user;
    QByteArray password;
    QByteArray keyFile;
    QByteArray knownHosts;
    QByteArray pin;
    FtpSessionOptions options;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    QString lastError;
    FtpConnection::Failure failure = FtpConnection::Failure::Other;
    QByteArray seenKey;
    bool hostKeyRefused = false;

    Clock::time_point lastProgress;
    curl_off_t lastCount = -1;
    bool stalled = false;

    QByteArray* buffer = nullptr;
    QIODevice* sink = nullptr;
    QIODevice* source = nullptr;
    bool ioFailed = false;

    static int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* user)
    {
        if (type != CURLINFO_TEXT) {
            return 0;
        }
        // libcurl names the host key it compares with a pin only here.
        static const QByteArray kMark = "SSH SHA256 fingerprint: ";
        const QByteArray text(data, static_cast<qsizetype>(size));
        const qsizetype at = text.indexOf(kMark);
        if (at >= 0) {
            QByteArray encoded = text.mid(at + kMark.size()).trimmed();
            while (encoded.size() % 4 != 0) {
                encoded.append('=');
            }
            const auto decoded =
                QByteArray::fromBase64Encoding(encoded, QByteArray::AbortOnBase64DecodingErrors);
            if (decoded && decoded.decoded.size() == 32) {
                static_cast<Impl*>(user)->seenKey = decoded.decoded;
            }
        }
        return 0;
    }

    // Without a pin: only a host key that stands in known_hosts as it is.
    static int onHostKey(CURL*, const curl_khkey*, const curl_khkey* found, curl_khmatch match,
                         void* user)
    {
        auto* self = static_cast<Impl*>(user);
        if (found != nullptr && found->key != nullptr) {
            const QByteArray raw = found->len > 0
                                       ? QByteArray(found->key, static_cast<qsizetype>(found->len))
                                       : QByteArray::fromBase64(QByteArray(found->key));
            self->seenKey = QCryptographicHash::hash(raw, QCryptographicHash::Sha256);
        }
        if (match == CURLKHMATCH_OK) {
            return CURLKHSTAT_FINE;
        }
        self->hostKeyRefused = true;
        return CURLKHSTAT_REJECT;
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
            if (self->buffer->size() + bytes > FtpConnection::kMaxListingBytes) {
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

    void prepare(const QByteArray& path)
    {
        curlApi().easy_setopt(curl, CURLOPT_URL, (baseUrl + encodePath(path)).constData());
        curlApi().easy_setopt(curl, CURLOPT_QUOTE, nullptr);
        curlApi().easy_setopt(curl, CURLOPT_NOBODY, 0L);
        curlApi().easy_setopt(curl, CURLOPT_UPLOAD, 0L);
        curlApi().easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(-1));
        lastProgress = Clock::now();
        lastCount = -1;
        stalled = false;
        buffer = nullptr;
        sink = nullptr;
        source = nullptr;
        ioFailed = false;
        hostKeyRefused = false;
        failure = FtpConnection::Failure::Other;
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
        if (result == CURLE_PEER_FAILED_VERIFICATION || hostKeyRefused) {
            failure = pin.isEmpty() ? FtpConnection::Failure::Untrusted
                                    : FtpConnection::Failure::Mismatch;
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

SftpConnection::SftpConnection(const QString& host, int port, QByteArray user, QByteArray password,
                               FtpSessionOptions options)
    : m_impl(std::make_unique<Impl>())
{
    Impl& d = *m_impl;
    d.user = std::move(user);
    d.password = std::move(password);
    d.keyFile = QFile::encodeName(options.keyFile);
    d.options = std::move(options);
    d.knownHosts = QFile::encodeName(QDir::homePath() + QStringLiteral("/.ssh/known_hosts"));
    const QByteArray hostPart = host.contains(u':') ? "[" + host.toUtf8() + "]" : host.toUtf8();
    d.baseUrl = "sftp://" + hostPart + ":" + QByteArray::number(port);
    if (LoadCurl() == nullptr) {
        return;
    }
    d.curl = curlApi().easy_init();
    if (d.curl == nullptr) {
        return;
    }
    CURL* c = d.curl;
    curlApi().easy_setopt(c, CURLOPT_PROTOCOLS_STR, "sftp");
    curlApi().easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curlApi().easy_setopt(c, CURLOPT_PROXY, "");
    curlApi().easy_setopt(c, CURLOPT_USERNAME, d.user.constData());
    curlApi().easy_setopt(c, CURLOPT_ERRORBUFFER, d.errorBuffer);
    if (!d.keyFile.isEmpty()) {
        // The password unlocks the key; it never goes to the server.
        curlApi().easy_setopt(c, CURLOPT_SSH_AUTH_TYPES, static_cast<long>(CURLSSH_AUTH_PUBLICKEY));
        curlApi().easy_setopt(c, CURLOPT_SSH_PRIVATE_KEYFILE, d.keyFile.constData());
        curlApi().easy_setopt(c, CURLOPT_KEYPASSWD, d.password.constData());
    } else {
        curlApi().easy_setopt(c, CURLOPT_SSH_AUTH_TYPES,
                              static_cast<long>(CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD));
        curlApi().easy_setopt(c, CURLOPT_PASSWORD, d.password.constData());
    }
    if (!d.options.pinnedKey.isEmpty()) {
        d.pin = d.options.pinnedKey.toBase64(QByteArray::OmitTrailingEquals);
        curlApi().easy_setopt(c, CURLOPT_SSH_HOST_PUBLIC_KEY_SHA256, d.pin.constData());
    } else {
        curlApi().easy_setopt(c, CURLOPT_SSH_KNOWNHOSTS, d.knownHosts.constData());
        curlApi().easy_setopt(c, CURLOPT_SSH_KEYFUNCTION, &Impl::onHostKey);
        curlApi().easy_setopt(c, CURLOPT_SSH_KEYDATA, &d);
    }
    curlApi().easy_setopt(c, CURLOPT_CONNECTTIMEOUT,
                          static_cast<long>(d.options.connectTimeout.count()));
    curlApi().easy_setopt(c, CURLOPT_TCP_KEEPALIVE, 1L);
    curlApi().easy_setopt(c, CURLOPT_FTP_CREATE_MISSING_DIRS, 0L);
    curlApi().easy_setopt(c, CURLOPT_BUFFERSIZE, kBufferSize);
    curlApi().easy_setopt(c, CURLOPT_UPLOAD_BUFFERSIZE, kBufferSize);
    curlApi().easy_setopt(c, CURLOPT_NEW_FILE_PERMS, 0644L);
    curlApi().easy_setopt(c, CURLOPT_NEW_DIRECTORY_PERMS, 0755L);
    curlApi().easy_setopt(c, CURLOPT_VERBOSE, 1L);
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

SftpConnection::~SftpConnection()
{
    if (m_impl->curl != nullptr) {
        curlApi().easy_cleanup(m_impl->curl);
    }
}

bool SftpConnection::usable() const
{
    return m_impl->curl != nullptr;
}

std::optional<QByteArray> SftpConnection::login()
{
    Impl& d = *m_impl;
    if (d.curl == nullptr || d.user.isEmpty() || breaksCommandLine(d.user)) {
        return std::nullopt;
    }
    d.prepare("/~/");
    curlApi().easy_setopt(d.curl, CURLOPT_NOBODY, 1L);
    if (!d.perform("login")) {
        return std::nullopt;
    }
    const char* entry = nullptr;
    if (curlApi().easy_getinfo(d.curl, CURLINFO_FTP_ENTRY_PATH, &entry) == CURLE_OK &&
        entry != nullptr && entry[0] == '/') {
        return QByteArray(entry);
    }
    return QByteArray("/");
}

bool SftpConnection::command(const QByteArray& verb, const QList<QByteArray>& paths)
{
    Impl& d = *m_impl;
    if (d.curl == nullptr) {
        return false;
    }
    QByteArray line = verb;
    for (const QByteArray& path : paths) {
        if (breaksCommandLine(path)) {
            return false;
        }
        line += ' ' + quoted(path);
    }
    curl_slist* quote = curlApi().slist_append(nullptr, line.constData());
    d.prepare("/");
    curlApi().easy_setopt(d.curl, CURLOPT_NOBODY, 1L);
    curlApi().easy_setopt(d.curl, CURLOPT_QUOTE, quote);
    const bool ok = d.perform(verb.constData());
    curlApi().easy_setopt(d.curl, CURLOPT_QUOTE, nullptr);
    curlApi().slist_free_all(quote);
    return ok;
}

std::optional<QByteArray> SftpConnection::listing(const QByteArray& folder)
{
    Impl& d = *m_impl;
    if (d.curl == nullptr) {
        return std::nullopt;
    }
    QByteArray path = folder;
    if (!path.endsWith('/')) {
        path.append('/');
    }
    QByteArray data;
    d.prepare(path);
    d.buffer = &data;
    if (!d.perform("list")) {
        return std::nullopt;
    }
    return data;
}

bool SftpConnection::store(const QByteArray& path, QIODevice& source, qint64 size)
{
    Impl& d = *m_impl;
    if (d.curl == nullptr) {
        return false;
    }
    d.prepare(path);
    curlApi().easy_setopt(d.curl, CURLOPT_UPLOAD, 1L);
    curlApi().easy_setopt(d.curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
    d.source = &source;
    const bool ok = d.perform("upload");
    curlApi().easy_setopt(d.curl, CURLOPT_UPLOAD, 0L);
    if (!ok) {
        return false;
    }
    curl_off_t sent = 0;
    curlApi().easy_getinfo(d.curl, CURLINFO_SIZE_UPLOAD_T, &sent);
    if (sent != size) {
        d.lastError = QStringLiteral("upload: sent %1 of %2 bytes").arg(sent).arg(size);
        return false;
    }
    return true;
}

bool SftpConnection::retrieve(const QByteArray& path, QIODevice& sink)
{
    Impl& d = *m_impl;
    if (d.curl == nullptr) {
        return false;
    }
    d.prepare(path);
    d.sink = &sink;
    if (!d.perform("download")) {
        return false;
    }
    curl_off_t expected = -1;
    curl_off_t received = 0;
    curlApi().easy_getinfo(d.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
    curlApi().easy_getinfo(d.curl, CURLINFO_SIZE_DOWNLOAD_T, &received);
    if (expected >= 0 && received != expected) {
        d.lastError = QStringLiteral("download: got %1 of %2 bytes").arg(received).arg(expected);
        return false;
    }
    return true;
}

int SftpConnection::localPort() const
{
    long port = 0;
    if (m_impl->curl == nullptr ||
        curlApi().easy_getinfo(m_impl->curl, CURLINFO_LOCAL_PORT, &port) != CURLE_OK) {
        return 0;
    }
    return static_cast<int>(port);
}

QString SftpConnection::lastError() const
{
    return m_impl->lastError;
}

FtpConnection::Failure SftpConnection::lastFailure() const
{
    return m_impl->failure;
}

QByteArray SftpConnection::seenKey() const
{
    return m_impl->seenKey;
}

} // namespace fernhold
