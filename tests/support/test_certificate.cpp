#include "test_certificate.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QProcess>

namespace fernhold::test {

namespace {

const QString kOpenssl = QStringLiteral("/usr/bin/openssl");

std::optional<QByteArray> run(const QStringList& arguments, QString* error)
{
    QProcess process;
    process.start(kOpenssl, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        *error = QStringLiteral("openssl %1 failed: %2")
                     .arg(arguments.value(0), QString::fromUtf8(process.readAllStandardError()));
        return std::nullopt;
    }
    return process.readAllStandardOutput();
}

} // namespace

std::optional<TestCertificate> MakeTestCertificate(const QString& folder, QString* error)
{
    if (!QFileInfo(kOpenssl).isExecutable()) {
        *error = QStringLiteral("%1 is missing (package openssl)").arg(kOpenssl);
        return std::nullopt;
    }
    TestCertificate made;
    made.certificateFile = folder + QStringLiteral("/server-cert.pem");
    made.keyFile = folder + QStringLiteral("/server-key.pem");
    if (!run({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
              QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"),
              made.keyFile, QStringLiteral("-out"), made.certificateFile, QStringLiteral("-days"),
              QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")},
             error)) {
        return std::nullopt;
    }
    const std::optional<QByteArray> publicKey =
        run({QStringLiteral("x509"), QStringLiteral("-in"), made.certificateFile,
             QStringLiteral("-pubkey"), QStringLiteral("-noout")},
            error);
    if (!publicKey) {
        return std::nullopt;
    }
    // The PEM body is the DER form of the public key that pins are made of.
    QByteArray base64;
    for (const QByteArray& line : publicKey->split('\n')) {
        if (!line.startsWith("-----")) {
            base64 += line.trimmed();
        }
    }
    const QByteArray der = QByteArray::fromBase64(base64);
    if (der.isEmpty()) {
        *error = QStringLiteral("openssl gave no public key");
        return std::nullopt;
    }
    made.keyDigest = QCryptographicHash::hash(der, QCryptographicHash::Sha256);
    return made;
}

} // namespace fernhold::test
