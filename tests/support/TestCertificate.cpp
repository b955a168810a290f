// Key and certificate with OpenSSL's EVP and X509 calls.
#include "tests/support/TestCertificate.h"

#include <QFile>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <functional>
#include <memory>

namespace testsupport {

namespace {

template <auto Free>
struct Deleter {
    template <typename T>
    void operator()(T* object) const
    {
        Free(object);
    }
};
using KeyPointer = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using X509Pointer = std::unique_ptr<X509, Deleter<X509_free>>;
using BioPointer = std::unique_ptr<BIO, Deleter<BIO_free>>;
using ExtensionPointer = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>>;

constexpr long day = 24 * 3600;

QByteArray pemOf(const std::function<int(BIO*)>& write)
{
    const BioPointer bio(BIO_new(BIO_s_mem()));
    if (!bio || write(bio.get()) != 1)
        return {};
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, int(length));
}

} // namespace

TestCertificate::TestCertificate(Validity validity)
{
    const KeyPointer key(EVP_EC_gen("P-256"));
    const X509Pointer certificate(X509_new());
    if (!key || !certificate)
        return;
    X509* x509 = certificate.get();
    X509_set_version(x509, 2);
    // A random serial: a client that caches certificates by issuer and serial sees new ones.
    quint64 serial = 0;
    RAND_bytes(reinterpret_cast<unsigned char*>(&serial), sizeof serial);
    ASN1_INTEGER_set_uint64(X509_get_serialNumber(x509), serial >> 1);
    const bool expired = validity == Validity::Expired;
    X509_gmtime_adj(X509_getm_notBefore(x509), expired ? -3 * day : -3600);
    X509_gmtime_adj(X509_getm_notAfter(x509), expired ? -day : 2 * day);
    X509_set_pubkey(x509, key.get());
    X509_NAME* name = X509_get_subject_name(x509);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(x509, name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, x509, x509, nullptr, nullptr, 0);
    const ExtensionPointer names(X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name,
                                                     "DNS:localhost,IP:127.0.0.1,IP:::1"));
    if (!names || X509_add_ext(x509, names.get(), -1) != 1
        || X509_sign(x509, key.get(), EVP_sha256()) == 0)
        return;
    m_certificate = pemOf([x509](BIO* bio) { return PEM_write_bio_X509(bio, x509); });
    m_key = pemOf([&key](BIO* bio) {
        return PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
    m_subjectHash =
        QByteArray::number(quint32(X509_subject_name_hash(x509)), 16).rightJustified(8, '0');
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(x509, EVP_sha256(), digest, &length) == 1)
        m_fingerprint =
            QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex(':').toUpper();
}

bool TestCertificate::addToTrustFolder(const QString& folder) const
{
    QFile file(folder + QLatin1Char('/') + QString::fromLatin1(m_subjectHash) + ".0");
    return !m_certificate.isEmpty() && file.open(QIODevice::WriteOnly)
        && file.write(m_certificate) == m_certificate.size();
}

} // namespace testsupport
