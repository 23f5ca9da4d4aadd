#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace fernhold::test {

// A self-signed certificate for 127.0.0.1 made with the openssl program.
struct TestCertificate
{
    QString certificateFile;
    QString keyFile;
    QByteArray keyDigest; // SHA-256 of the certificate's public key (DER)
};

// Writes a fresh key and certificate into `folder`; no value (and `error`
// set) when openssl is missing or fails.
[[nodiscard]] std::optional<TestCertificate> MakeTestCertificate(const QString& folder,
                                                                 QString* error);

} // namespace fernhold::test
