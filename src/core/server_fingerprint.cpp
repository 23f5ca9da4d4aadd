#include "core/server_fingerprint.h"

#include <cctype>

namespace fernhold {

namespace {

constexpr qsizetype kDigestBytes = 32;

} // namespace

std::optional<QByteArray> FingerprintDigest(const QString& text)
{
    const QString prefix = QStringLiteral("SHA256:");
    if (!text.startsWith(prefix, Qt::CaseInsensitive)) {
        return std::nullopt;
    }
    QByteArray encoded = text.mid(prefix.size()).toLatin1();
    if (encoded.endsWith('=')) {
        encoded.chop(1);
    }
    // 32 bytes are 43 Base64 digits; anything longer or shorter names another key.
    if (encoded.size() != 43) {
        return std::nullopt;
    }
    for (const char c : encoded) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '/') {
            return std::nullopt;
        }
    }
    const auto decoded =
        QByteArray::fromBase64Encoding(encoded + "=", QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != kDigestBytes) {
        return std::nullopt;
    }
    return decoded.decoded;
}

QString FingerprintText(const QByteArray& digest)
{
    return QStringLiteral("SHA256:") +
           QString::fromLatin1(digest.toBase64(QByteArray::OmitTrailingEquals));
}

} // namespace fernhold
