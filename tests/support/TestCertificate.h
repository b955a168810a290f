// A self-signed certificate made at test time, for TLS servers of the tests.
#pragma once

#include <QByteArray>
#include <QString>

namespace testsupport {

// An EC P-256 key and a self-signed certificate for "localhost", 127.0.0.1 and ::1, made
// fresh by each instance (so two instances never share a fingerprint).
class TestCertificate {
public:
    enum class Validity { Current, Expired };
    explicit TestCertificate(Validity validity = Validity::Current);

    // PEM texts; empty when OpenSSL could not make them.
    const QByteArray& certificatePem() const { return m_certificate; }
    const QByteArray& keyPem() const { return m_key; }
    // Key and certificate in one PEM text, as servers that take one file want it.
    QByteArray combinedPem() const { return m_key + m_certificate; }
    // SHA-256 of the certificate: "AB:CD:...".
    const QByteArray& fingerprint() const { return m_fingerprint; }
    // Writes the certificate into `folder` under its hashed name, as a trust store folder
    // (SSL_CERT_DIR) holds it: a client that trusts that folder trusts this certificate.
    bool addToTrustFolder(const QString& folder) const;

private:
    QByteArray m_certificate;
    QByteArray m_key;
    QByteArray m_fingerprint;
    QByteArray m_subjectHash;
};

} // namespace testsupport
