// TLS on OpenSSL, its records carried by the socket layer's own send and recv (a BIO of
// ours), so that its notices, errors and waits hold for TLS connections as for plain ones.
#include "net/TlsChannel.h"

#include "net/compat/winsock.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>

namespace ws = compat::winsock;

namespace {

struct SslContextFree {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
struct SslFree {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};
struct X509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct BioMethodFree {
    void operator()(BIO_METHOD* method) const { BIO_meth_free(method); }
};
using X509Pointer = std::unique_ptr<X509, X509Free>;

// How much a receive takes in at a time when its caller asks for little (a peek of a byte).
constexpr int fillChunk = 16384;

// OpenSSL's words for the oldest error it noted ("wrong version number"), none when it
// noted none; the queue is emptied.
platform::ReasonPtr openSslReason()
{
    const unsigned long code = ERR_get_error();
    const char* words = code != 0 ? ERR_reason_error_string(code) : nullptr;
    ERR_clear_error();
    if (words)
        return platform::reason(NetCode::OpenSslWords, {QString::fromLatin1(words)});
    if (code == 0)
        return {};
    return platform::reason(NetCode::OpenSslNumber, {QString::number(code, 16)});
}

// The most of a server's clear answer that is kept.
constexpr int clearAnswerLimit = 256;

// What a channel's BIO carries its records over, and the first bytes the server sent
// while the handshake ran (they tell a clear answer from TLS).
struct SocketEnd {
    ws::SOCKET socket = 0;
    bool handshaking = true;
    QByteArray handshakeBytes;
};

SocketEnd& socketEndOf(BIO* bio)
{
    return *static_cast<SocketEnd*>(BIO_get_data(bio));
}

int bioWrite(BIO* bio, const char* data, int length)
{
    BIO_clear_retry_flags(bio);
    const int sent = ws::send(socketEndOf(bio).socket, data, length, 0);
    if (sent < 0 && ws::WSAGetLastError() == ws::WSAEWOULDBLOCK)
        BIO_set_retry_write(bio);
    return sent;
}

int bioRead(BIO* bio, char* data, int length)
{
    BIO_clear_retry_flags(bio);
    SocketEnd& end = socketEndOf(bio);
    const int received = ws::recv(end.socket, data, length, 0);
    if (received < 0 && ws::WSAGetLastError() == ws::WSAEWOULDBLOCK)
        BIO_set_retry_read(bio);
    const int room = clearAnswerLimit - int(end.handshakeBytes.size());
    if (received > 0 && end.handshaking && room > 0)
        end.handshakeBytes.append(data, std::min(received, room));
    return received;
}

// The first line of what a server sent in clear where a TLS record was due, completed from
// what already waits on the socket; empty when the bytes began as a TLS record does.
QByteArray clearAnswerOf(SocketEnd& end)
{
    QByteArray& bytes = end.handshakeBytes;
    // Records begin with their content type, 20 to 24; a text line never does.
    if (bytes.isEmpty() || (bytes[0] >= 20 && bytes[0] <= 24))
        return {};
    char more[clearAnswerLimit];
    while (!bytes.contains('\n') && bytes.size() < clearAnswerLimit) {
        const int received = ws::recv(end.socket, more, int(clearAnswerLimit - bytes.size()), 0);
        if (received <= 0)
            break;
        bytes.append(more, received);
    }
    QByteArray line = bytes.left(bytes.indexOf('\n') < 0 ? bytes.size() : bytes.indexOf('\n'));
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

long bioControl(BIO*, int command, long, void*)
{
    // Every byte goes straight to the socket: there is nothing to flush.
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int bioCreate(BIO* bio)
{
    BIO_set_init(bio, 1);
    return 1;
}

QString protocolName(int version)
{
    switch (version) {
    case TLS1_3_VERSION: return QStringLiteral("TLS 1.3");
    case TLS1_2_VERSION: return QStringLiteral("TLS 1.2");
    default: return QStringLiteral("TLS (version %1)").arg(version, 0, 16);
    }
}

QString timeText(const ASN1_TIME* time)
{
    std::tm parts{};
    if (ASN1_TIME_to_tm(time, &parts) != 1)
        return QStringLiteral("an unreadable date");
    return QString::asprintf("%04d-%02d-%02d %02d:%02d UTC", parts.tm_year + 1900, parts.tm_mon + 1,
                             parts.tm_mday, parts.tm_hour, parts.tm_min);
}

// A numeric address without its zone ("fe80::1%eth0"), or nothing for a host name.
std::optional<QByteArray> numericAddress(const QByteArray& name)
{
    const QByteArray address = name.left(name.indexOf('%') < 0 ? name.size() : name.indexOf('%'));
    unsigned char bytes[16];
    if (::inet_pton(AF_INET, address.constData(), bytes) == 1
        || ::inet_pton(AF_INET6, address.constData(), bytes) == 1)
        return address;
    return std::nullopt;
}

} // namespace

struct TlsContext::Impl {
    std::unique_ptr<SSL_CTX, SslContextFree> context;
    std::unique_ptr<BIO_METHOD, BioMethodFree> socketMethod;
};

TlsContext::TlsContext()
    : m_impl(std::make_unique<Impl>())
{
    m_impl->context.reset(SSL_CTX_new(TLS_client_method()));
    m_impl->socketMethod.reset(
        BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "socket layer"));
    SSL_CTX* context = m_impl->context.get();
    BIO_METHOD* method = m_impl->socketMethod.get();
    if (!context || !method || !SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION)
        || !SSL_CTX_set_max_proto_version(context, TLS1_3_VERSION))
        throw TlsError(platform::reason(NetCode::TlsSetupFailed, {openSslReason()}));
    SSL_CTX_set_options(context, SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_COMPRESSION);
    // A send hands over what fits and reports it, as a socket's send does.
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Certificates are judged after the handshake: trusted, or remembered for the station.
    SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);
    // The system's trust store as a folder of hashed names, looked up when a chain is checked:
    // reading the whole bundle would cost every session tens of milliseconds. Without a
    // trust store no certificate is trusted by the system; remembering still works.
    const char* folder = std::getenv(X509_get_default_cert_dir_env());
    if (SSL_CTX_load_verify_dir(context, folder ? folder : X509_get_default_cert_dir()) != 1)
        SSL_CTX_set_default_verify_paths(context);
    ERR_clear_error();
    BIO_meth_set_write(method, bioWrite);
    BIO_meth_set_read(method, bioRead);
    BIO_meth_set_ctrl(method, bioControl);
    BIO_meth_set_create(method, bioCreate);
}

TlsContext::~TlsContext() = default;

struct TlsChannel::Impl {
    std::shared_ptr<TlsContext> context;
    std::unique_ptr<SSL, SslFree> ssl;
    SocketEnd socketEnd;
};

TlsChannel::TlsChannel(std::shared_ptr<TlsContext> context, quint16 socket,
                       const QByteArray& peerName)
    : m_impl(std::make_unique<Impl>())
{
    m_impl->context = std::move(context);
    m_impl->ssl.reset(SSL_new(m_impl->context->impl().context.get()));
    BIO* bio = m_impl->ssl ? BIO_new(m_impl->context->impl().socketMethod.get()) : nullptr;
    if (!bio) {
        m_failure = openSslReason();
        return;
    }
    m_impl->socketEnd.socket = ws::SOCKET(socket);
    BIO_set_data(bio, &m_impl->socketEnd);
    SSL* ssl = m_impl->ssl.get();
    SSL_set_bio(ssl, bio, bio);
    SSL_set_connect_state(ssl);
    // The system's trust store judges the certificate for the name or address of the station.
    if (const auto address = numericAddress(peerName)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), address->constData());
    } else if (!peerName.isEmpty()) {
        SSL_set_tlsext_host_name(ssl, peerName.constData());
        SSL_set1_host(ssl, peerName.constData());
    }
    ERR_clear_error();
}

TlsChannel::~TlsChannel() = default;

void TlsChannel::resumeSessionOf(const TlsChannel& other)
{
    SSL_SESSION* session = other.m_impl->ssl ? SSL_get_session(other.m_impl->ssl.get()) : nullptr;
    if (m_impl->ssl && session)
        SSL_set_session(m_impl->ssl.get(), session);
}

bool TlsChannel::hasResumableSession() const
{
    SSL_SESSION* session = m_impl->ssl ? SSL_get_session(m_impl->ssl.get()) : nullptr;
    return session && SSL_SESSION_is_resumable(session);
}

TlsChannel::Step TlsChannel::stepOf(int result, bool handshake)
{
    const int error = SSL_get_error(m_impl->ssl.get(), result);
    const int socketError = ws::WSAGetLastError();
    const NetCode closed = handshake ? NetCode::ClosedInHandshake : NetCode::ClosedInTlsClose;
    switch (error) {
    case SSL_ERROR_WANT_READ: m_wantsRead = true; return WantRead;
    case SSL_ERROR_WANT_WRITE: m_wantsRead = false; return WantWrite;
    case SSL_ERROR_ZERO_RETURN:
        m_eof = m_closeReceived = true;
        m_failure = platform::reason(handshake ? NetCode::TlsEndedInHandshake
                                               : NetCode::TlsEndedInTlsClose);
        break;
    case SSL_ERROR_SYSCALL:
        m_failure = openSslReason();
        if (!m_failure)
            m_failure = socketError != 0 && socketError != ws::WSAEWOULDBLOCK
                ? systemCause(socketError)
                : platform::reason(closed);
        break;
    default:
        // However the end came, it reads the same.
        if (ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
            ERR_clear_error();
            m_failure = platform::reason(closed);
        } else {
            m_failure = openSslReason();
        }
        break;
    }
    if (!m_failure)
        m_failure =
            platform::reason(handshake ? NetCode::HandshakeFailed : NetCode::TlsCloseFailed);
    return Failed;
}

TlsChannel::Step TlsChannel::handshake()
{
    if (!m_impl->ssl || m_failure)
        return Failed;
    SSL* ssl = m_impl->ssl.get();
    ERR_clear_error();
    ws::WSASetLastError(0);
    const int result = SSL_do_handshake(ssl);
    if (result != 1) {
        const Step step = stepOf(result, true);
        if (step == Failed)
            m_peer.clearAnswer = clearAnswerOf(m_impl->socketEnd);
        return step;
    }
    m_impl->socketEnd.handshaking = false;
    m_impl->socketEnd.handshakeBytes.clear();
    m_peer.protocol = protocolName(SSL_version(ssl));
    m_peer.resumed = SSL_session_reused(ssl) == 1;
    const X509Pointer certificate(SSL_get1_peer_certificate(ssl));
    if (!certificate) {
        m_peer.untrustedReason = QStringLiteral("the server sent no certificate");
        return Done;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate.get(), EVP_sha256(), digest, &length) == 1)
        m_peer.fingerprint =
            QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex(':').toUpper();
    const long verification = SSL_get_verify_result(ssl);
    m_peer.trustedBySystem = verification == X509_V_OK;
    if (!m_peer.trustedBySystem)
        m_peer.untrustedReason = QString::fromLatin1(X509_verify_cert_error_string(verification));
    if (X509_cmp_current_time(X509_get0_notAfter(certificate.get())) < 0)
        m_peer.expiredOn = timeText(X509_get0_notAfter(certificate.get()));
    if (X509_cmp_current_time(X509_get0_notBefore(certificate.get())) > 0)
        m_peer.notYetValidBefore = timeText(X509_get0_notBefore(certificate.get()));
    return Done;
}

void TlsChannel::fill(int wanted)
{
    SSL* ssl = m_impl->ssl.get();
    while (!m_eof && m_socketError == 0 && !m_failure && m_plain.size() < wanted) {
        const qsizetype before = m_plain.size();
        const int room = std::max(int(wanted - before), fillChunk);
        m_plain.resize(before + room);
        ERR_clear_error();
        ws::WSASetLastError(0);
        const int received = SSL_read(ssl, m_plain.data() + before, room);
        m_plain.resize(before + std::max(received, 0));
        if (received > 0)
            continue;
        const int error = SSL_get_error(ssl, received);
        const int socketError = ws::WSAGetLastError();
        switch (error) {
        case SSL_ERROR_WANT_READ: m_wantsRead = true; return;
        case SSL_ERROR_WANT_WRITE: m_wantsRead = false; return;
        case SSL_ERROR_ZERO_RETURN: m_eof = m_closeReceived = true; return;
        case SSL_ERROR_SYSCALL:
            ERR_clear_error();
            if (socketError != 0 && socketError != ws::WSAEWOULDBLOCK)
                m_socketError = socketError;
            else
                m_eof = true;
            return;
        default:
            // A server that just closes is a closed connection, as without TLS.
            if (ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
                ERR_clear_error();
                m_eof = true;
                return;
            }
            m_failure = openSslReason();
            if (!m_failure)
                m_failure = platform::reason(NetCode::ReceivingFailed);
            return;
        }
    }
}

int TlsChannel::receive(char* buffer, int length, bool peek)
{
    if (!m_impl->ssl)
        return failedResult;
    if (m_plain.size() < length)
        fill(length);
    if (!m_plain.isEmpty() && length > 0) {
        const int count = std::min(length, int(m_plain.size()));
        std::memcpy(buffer, m_plain.constData(), std::size_t(count));
        if (!peek)
            m_plain.remove(0, count);
        return count;
    }
    if (m_failure)
        return failedResult;
    if (m_socketError != 0) {
        ws::WSASetLastError(m_socketError);
        return ws::SOCKET_ERROR;
    }
    if (m_eof)
        return 0;
    ws::WSASetLastError(ws::WSAEWOULDBLOCK);
    return ws::SOCKET_ERROR;
}

int TlsChannel::send(const char* buffer, int length)
{
    if (!m_impl->ssl || m_failure)
        return failedResult;
    if (m_socketError != 0) {
        ws::WSASetLastError(m_socketError);
        return ws::SOCKET_ERROR;
    }
    if (length <= 0)
        return 0;
    SSL* ssl = m_impl->ssl.get();
    // A write hands over one record at a time; all that fits goes in one call, so that the
    // caller's work between sends comes once per block, not once per record. A write that
    // would block is retried by the next call from the first byte not counted, as OpenSSL
    // wants it.
    int total = 0;
    int sent = 0;
    do {
        ERR_clear_error();
        ws::WSASetLastError(0);
        sent = SSL_write(ssl, buffer + total, length - total);
        if (sent > 0)
            total += sent;
    } while (sent > 0 && total < length);
    if (sent > 0)
        return total;
    const int error = SSL_get_error(ssl, sent);
    if (total > 0 && (error == SSL_ERROR_WANT_WRITE || error == SSL_ERROR_WANT_READ)) {
        m_wantsRead = error == SSL_ERROR_WANT_READ;
        return total;
    }
    const int socketError = ws::WSAGetLastError();
    switch (error) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
        m_wantsRead = error == SSL_ERROR_WANT_READ;
        ws::WSASetLastError(ws::WSAEWOULDBLOCK);
        return ws::SOCKET_ERROR;
    case SSL_ERROR_SYSCALL:
    case SSL_ERROR_ZERO_RETURN:
        ERR_clear_error();
        // The connection is gone; the socket layer's error says how.
        m_socketError =
            socketError != 0 && socketError != ws::WSAEWOULDBLOCK ? socketError : ws::WSAECONNRESET;
        ws::WSASetLastError(m_socketError);
        return ws::SOCKET_ERROR;
    default:
        m_failure = openSslReason();
        if (!m_failure)
            m_failure = platform::reason(NetCode::SendingFailed);
        return failedResult;
    }
}

TlsChannel::Step TlsChannel::sendClose()
{
    if (!m_impl->ssl || m_failure || m_socketError != 0)
        return Failed;
    if (m_closeSent)
        return Done;
    ERR_clear_error();
    ws::WSASetLastError(0);
    const int result = SSL_shutdown(m_impl->ssl.get());
    if (result >= 0) {
        m_closeSent = true;
        return Done;
    }
    return stepOf(result, false);
}
