// The scripted FTP peer: one thread, blocking POSIX sockets, bounded waits.
#include "tests/support/ScriptedFtpPeer.h"

#include "tests/support/TestCertificate.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

namespace testsupport {

namespace {

// A copy that shares no list storage with the peer's thread, which goes on appending: Qt's
// copy-on-write would otherwise hand one buffer to two threads.
template <typename List>
List unshared(const List& list)
{
    return List(list.cbegin(), list.cend());
}

constexpr int smallReceiveBuffer = 4096;
constexpr std::chrono::milliseconds pollSlice(20);

// A loopback address of either family (127.x.y.z, ::1) with the port; nothing else.
std::optional<sockaddr_storage> loopbackAddress(const QByteArray& text, quint16 port)
{
    sockaddr_storage address{};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (::inet_pton(AF_INET, text.constData(), &v4->sin_addr) == 1) {
        if ((ntohl(v4->sin_addr.s_addr) >> 24) != 127)
            return std::nullopt;
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        return address;
    }
    if (::inet_pton(AF_INET6, text.constData(), &v6->sin6_addr) == 1
        && IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr)) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        return address;
    }
    return std::nullopt;
}

socklen_t lengthOf(const sockaddr_storage& address)
{
    return address.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// A TCP socket bound to the address and listening; -1 on failure.
int listenOn(const sockaddr_storage& address, int backlog, bool smallBuffer)
{
    const int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (smallBuffer)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &smallReceiveBuffer, sizeof smallReceiveBuffer);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), lengthOf(address)) != 0
        || ::listen(fd, backlog) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

quint16 boundPort(int fd)
{
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(local).sin6_port
                                             : reinterpret_cast<sockaddr_in&>(local).sin_port);
}

// The address and port of a PORT or EPRT command ("EPRT |2|::1|40123|").
std::optional<std::pair<QByteArray, int>> dataAddressOf(const QByteArray& command)
{
    const QByteArray arguments = command.mid(5).trimmed();
    if (command.startsWith("EPRT ")) {
        const QList<QByteArray> fields = arguments.split(arguments.isEmpty() ? '|' : arguments[0]);
        if (fields.size() != 5)
            return std::nullopt;
        return std::pair(fields[2], fields[3].toInt());
    }
    const QList<QByteArray> fields = arguments.split(',');
    if (fields.size() != 6)
        return std::nullopt;
    return std::pair(fields[0] + '.' + fields[1] + '.' + fields[2] + '.' + fields[3],
                     fields[4].toInt() * 256 + fields[5].toInt());
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

template <auto Free>
struct Deleter {
    template <typename T>
    void operator()(T* object) const
    {
        Free(object);
    }
};
using SslPointer = std::unique_ptr<SSL, Deleter<SSL_free>>;

QString sslReason()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
    return reason ? QString::fromLatin1(reason) : errnoText();
}

// Blocking TLS calls of the peer end within the step's time.
void limitBlocking(int fd, std::chrono::milliseconds timeout)
{
    const timeval limit{static_cast<time_t>(timeout.count() / 1000),
                        static_cast<suseconds_t>(timeout.count() % 1000 * 1000)};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

} // namespace

struct ScriptedFtpPeer::Tls {
    explicit Tls(PeerTls tlsOptions)
        : options(tlsOptions)
        , certificate(tlsOptions.expiredCertificate ? TestCertificate::Validity::Expired
                                                    : TestCertificate::Validity::Current)
    {
    }
    PeerTls options;
    TestCertificate certificate;
    std::unique_ptr<SSL_CTX, Deleter<SSL_CTX_free>> context;
    // The data connections' own certificate, without a session cache (dataCertificateOfItsOwn).
    TestCertificate otherCertificate;
    std::unique_ptr<SSL_CTX, Deleter<SSL_CTX_free>> otherContext;
    SslPointer control;
    SslPointer data;
    PeerDataTls current;
    // The client sent PROT P: data connections are TLS.
    bool protectData = false;
};

bool hasIPv6Loopback()
{
    int fd = listenOn(*loopbackAddress("::1", 0), 1, false);
    const bool available = fd >= 0;
    closeFd(fd);
    return available;
}

ScriptedFtpPeer::ScriptedFtpPeer(QByteArray address, quint16 port)
    : m_address(std::move(address))
{
    const auto local = loopbackAddress(m_address, port);
    if (!local) {
        m_problems
            << QStringLiteral("not a loopback address: %1").arg(QString::fromLatin1(m_address));
        return;
    }
    m_listenFd = listenOn(*local, 4, false);
    if (m_listenFd < 0) {
        m_problems << QStringLiteral("cannot listen on %1:%2: %3")
                          .arg(QString::fromLatin1(m_address))
                          .arg(port)
                          .arg(errnoText());
        return;
    }
    m_port = boundPort(m_listenFd);
}

ScriptedFtpPeer::~ScriptedFtpPeer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    closeFd(m_passiveFd);
    closeFd(m_controlFd);
    closeFd(m_listenFd);
}

ScriptedFtpPeer& ScriptedFtpPeer::send(QByteArray bytes)
{
    m_steps.push_back({StepKind::Send, std::move(bytes)});
    return *this;
}

ScriptedFtpPeer& ScriptedFtpPeer::reply(QByteArray bytes)
{
    m_steps.push_back({StepKind::Reply, std::move(bytes)});
    return *this;
}

ScriptedFtpPeer& ScriptedFtpPeer::command()
{
    m_steps.push_back({StepKind::Command, {}});
    return *this;
}

ScriptedFtpPeer& ScriptedFtpPeer::passive(QByteArray replyTemplate, quint16 dataPort)
{
    m_steps.push_back({StepKind::Passive, std::move(replyTemplate), dataPort});
    return *this;
}

ScriptedFtpPeer& ScriptedFtpPeer::extendedPassive(quint16 dataPort)
{
    return passive("229 Entering Extended Passive Mode (|||%PORT%|)\r\n", dataPort);
}

ScriptedFtpPeer& ScriptedFtpPeer::transfer()
{
    m_steps.push_back({StepKind::Transfer, {}});
    return *this;
}

ScriptedFtpPeer& ScriptedFtpPeer::strangerCall(QByteArray source)
{
    m_steps.push_back({StepKind::StrangerCall, std::move(source)});
    return *this;
}

ScriptedFtpPeer& ScriptedFtpPeer::stalledTransfer(milliseconds stall)
{
    m_steps.push_back({StepKind::StalledTransfer, {}, 0, stall});
    return *this;
}

ScriptedFtpPeer& ScriptedFtpPeer::cutTransfer(qsizetype bytes)
{
    m_steps.push_back({StepKind::CutTransfer, QByteArray::number(bytes)});
    return *this;
}

ScriptedFtpPeer& ScriptedFtpPeer::authTls(QByteArray reply, TlsFault fault)
{
    Step step{StepKind::AuthTls, std::move(reply)};
    step.fault = fault;
    m_steps.push_back(step);
    return *this;
}

ScriptedFtpPeer& ScriptedFtpPeer::implicitTls(TlsFault fault)
{
    Step step{StepKind::ImplicitTls, {}};
    step.fault = fault;
    m_steps.push_back(step);
    return *this;
}

ScriptedFtpPeer& ScriptedFtpPeer::enableTls(PeerTls options)
{
    // A TLS close to a client that has gone must not end the test program.
    std::signal(SIGPIPE, SIG_IGN);
    m_tls = std::make_unique<Tls>(options);
    const auto serverContext = [&options](const TestCertificate& pem) {
        std::unique_ptr<SSL_CTX, Deleter<SSL_CTX_free>> context(SSL_CTX_new(TLS_server_method()));
        const auto load = [](const QByteArray& text, auto read) {
            std::unique_ptr<BIO, Deleter<BIO_free>> bio(
                BIO_new_mem_buf(text.constData(), int(text.size())));
            return read(bio.get());
        };
        std::unique_ptr<X509, Deleter<X509_free>> certificate(
            load(pem.certificatePem(),
                 [](BIO* bio) { return PEM_read_bio_X509(bio, nullptr, nullptr, nullptr); }));
        std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>> key(load(pem.keyPem(), [](BIO* bio) {
            return PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
        }));
        if (!context || !certificate || !key
            || SSL_CTX_use_certificate(context.get(), certificate.get()) != 1
            || SSL_CTX_use_PrivateKey(context.get(), key.get()) != 1
            || SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION) != 1
            || SSL_CTX_set_max_proto_version(context.get(), options.maxVersion) != 1)
            context.reset();
        return context;
    };
    m_tls->context = serverContext(m_tls->certificate);
    m_tls->otherContext = serverContext(m_tls->otherCertificate);
    SSL_CTX* context = m_tls->context.get();
    if (!context || !m_tls->otherContext) {
        m_problems << QStringLiteral("cannot set up TLS: %1").arg(sslReason());
        m_tls->context.reset();
        return *this;
    }
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_SERVER);
    SSL_CTX_set_session_cache_mode(m_tls->otherContext.get(), SSL_SESS_CACHE_OFF);
    SSL_CTX_set_options(m_tls->otherContext.get(), SSL_OP_NO_TICKET);
    static const unsigned char sessionContext[] = "scripted peer";
    SSL_CTX_set_session_id_context(context, sessionContext, sizeof sessionContext - 1);
    return *this;
}

QByteArray ScriptedFtpPeer::certificateFingerprint() const
{
    return m_tls ? m_tls->certificate.fingerprint() : QByteArray();
}

bool ScriptedFtpPeer::addCertificateToTrustFolder(const QString& folder) const
{
    return m_tls && m_tls->certificate.addToTrustFolder(folder);
}

QList<PeerDataTls> ScriptedFtpPeer::dataTls() const
{
    std::lock_guard lock(m_mutex);
    return m_dataTls;
}

ScriptedFtpPeer& ScriptedFtpPeer::delay(milliseconds duration)
{
    m_steps.push_back({StepKind::Delay, {}, 0, duration});
    return *this;
}

ScriptedFtpPeer& ScriptedFtpPeer::drop()
{
    m_steps.push_back({StepKind::Drop, {}});
    return *this;
}

ScriptedFtpPeer& ScriptedFtpPeer::answerFeat(QByteArray reply)
{
    m_featReply = std::move(reply);
    return *this;
}

void ScriptedFtpPeer::start()
{
    if (m_thread.joinable())
        return;
    m_thread = std::thread([this] { run(); });
}

bool ScriptedFtpPeer::waitUntilPlayed(milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [this] { return m_played; });
}

bool ScriptedFtpPeer::waitUntilFinished(milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [this] { return m_finished; });
}

QList<QByteArray> ScriptedFtpPeer::commands() const
{
    std::lock_guard lock(m_mutex);
    return unshared(m_commands);
}

QList<QByteArray> ScriptedFtpPeer::uploads() const
{
    std::lock_guard lock(m_mutex);
    return unshared(m_uploads);
}

QStringList ScriptedFtpPeer::problems() const
{
    std::lock_guard lock(m_mutex);
    return unshared(m_problems);
}

int ScriptedFtpPeer::connectionCount() const
{
    std::lock_guard lock(m_mutex);
    return m_connections;
}

void ScriptedFtpPeer::run()
{
    if (m_listenFd >= 0) {
        for (const Step& step : m_steps) {
            if (m_stop || !play(step))
                break;
        }
    }
    {
        std::lock_guard lock(m_mutex);
        m_played = true;
    }
    m_changed.notify_all();
    recordRemainingCommands();
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_changed.notify_all();
}

bool ScriptedFtpPeer::play(const Step& step)
{
    QByteArray line;
    switch (step.kind) {
    case StepKind::Send: return ensureControl() && sendAll(m_controlFd, step.bytes);
    case StepKind::Reply: return readCommand(&line) && sendAll(m_controlFd, step.bytes);
    case StepKind::Command: return readCommand(&line);
    case StepKind::Passive: return openPassive(step);
    case StepKind::Transfer:
    case StepKind::StalledTransfer:
    case StepKind::CutTransfer: return takeData(step);
    case StepKind::Delay:
        for (auto waited = milliseconds(0); waited < step.duration && !m_stop; waited += pollSlice)
            std::this_thread::sleep_for(std::min(pollSlice, step.duration - waited));
        return !m_stop;
    case StepKind::Drop:
        if (!ensureControl())
            return false;
        closeControl();
        return true;
    case StepKind::AuthTls:
        return readCommand(&line) && sendAll(m_controlFd, step.bytes) && startControlTls(step);
    case StepKind::ImplicitTls: return ensureControl() && startControlTls(step);
    case StepKind::StrangerCall: return callAsStranger(step.bytes);
    }
    return false;
}

bool ScriptedFtpPeer::ensureControl()
{
    if (m_controlFd >= 0)
        return true;
    if (!waitReadable(m_listenFd, m_stepTimeout)) {
        problem(QStringLiteral("no control connection arrived"));
        return false;
    }
    m_controlFd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (m_controlFd < 0) {
        problem(QStringLiteral("accept failed: %1").arg(errnoText()));
        return false;
    }
    m_pending.clear();
    std::lock_guard lock(m_mutex);
    ++m_connections;
    return true;
}

bool ScriptedFtpPeer::readCommand(QByteArray* line)
{
    if (!ensureControl())
        return false;
    for (;;) {
        const qsizetype end = m_pending.indexOf('\n');
        if (end >= 0) {
            *line = m_pending.left(end + 1);
            m_pending.remove(0, end + 1);
            if (line->startsWith("PORT ") || line->startsWith("EPRT "))
                m_lastPort = *line;
            if (!record(*line))
                return true;
            continue;
        }
        if (!waitControl(m_stepTimeout)) {
            problem(QStringLiteral("no command arrived"));
            return false;
        }
        char buffer[4096];
        const ssize_t received = receiveControl(buffer, sizeof buffer);
        if (received <= 0) {
            if (!m_pending.isEmpty()) {
                std::lock_guard lock(m_mutex);
                m_commands << m_pending;
            }
            m_pending.clear();
            closeControl();
            problem(QStringLiteral("the client closed the control connection"));
            return false;
        }
        m_pending.append(buffer, received);
    }
}

bool ScriptedFtpPeer::sendAll(int fd, const QByteArray& bytes)
{
    if (fd == m_controlFd && m_tls && m_tls->control) {
        if (bytes.isEmpty()
            || SSL_write(m_tls->control.get(), bytes.constData(), int(bytes.size())) > 0)
            return true;
        problem(QStringLiteral("TLS send failed: %1").arg(sslReason()));
        return false;
    }
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            problem(QStringLiteral("send failed: %1").arg(errnoText()));
            return false;
        }
        sent += n;
    }
    return true;
}

bool ScriptedFtpPeer::openPassive(const Step& step)
{
    QByteArray line;
    if (!readCommand(&line))
        return false;
    closeFd(m_passiveFd);
    m_passiveFd = listenOn(*loopbackAddress(m_address, step.port), 1, false);
    if (m_passiveFd < 0) {
        problem(QStringLiteral("cannot listen for the data connection on port %1: %2")
                    .arg(step.port)
                    .arg(errnoText()));
        return false;
    }
    const quint16 port = boundPort(m_passiveFd);
    QByteArray fields = m_address;
    fields.replace('.', ',');
    fields += ',' + QByteArray::number(port / 256) + ',' + QByteArray::number(port % 256);
    QByteArray text = step.bytes;
    text.replace("%PASV%", fields);
    text.replace("%PORT%", QByteArray::number(port));
    return sendAll(m_controlFd, text);
}

bool ScriptedFtpPeer::takeData(const Step& step)
{
    const bool stalled = step.kind == StepKind::StalledTransfer;
    int fd = openDataConnection(stalled);
    if (fd < 0)
        return false;
    if (m_tls && m_tls->protectData && !startDataTls(fd)) {
        closeFd(fd);
        return false;
    }
    bool closedWithTls = false;
    QByteArray received;
    if (stalled) {
        for (auto waited = milliseconds(0); waited < step.duration && !m_stop; waited += pollSlice)
            std::this_thread::sleep_for(pollSlice);
    } else {
        const qsizetype cutAfter =
            step.kind == StepKind::CutTransfer ? step.bytes.toLongLong() : -1;
        char buffer[65536];
        while (cutAfter < 0 || received.size() < cutAfter) {
            const bool pending = m_tls && m_tls->data && SSL_pending(m_tls->data.get()) > 0;
            if (!pending && !waitReadable(fd, m_stepTimeout)) {
                problem(QStringLiteral("the data connection stayed silent"));
                break;
            }
            const ssize_t n = receiveData(fd, buffer, sizeof buffer, &closedWithTls);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            received.append(buffer, n);
        }
        if (cutAfter >= 0) {
            const linger reset{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        }
    }
    endDataTls(closedWithTls);
    closeFd(fd);
    {
        std::lock_guard lock(m_mutex);
        m_uploads << received;
    }
    return !m_stop;
}

bool ScriptedFtpPeer::callAsStranger(const QByteArray& source)
{
    const auto target = dataAddressOf(m_lastPort);
    const auto from = loopbackAddress(source, 0);
    const auto there =
        target ? loopbackAddress(target->first, quint16(target->second)) : std::nullopt;
    const auto atSource = target ? loopbackAddress(source, quint16(target->second)) : std::nullopt;
    if (!there || !from || !atSource) {
        problem(QStringLiteral("no loopback PORT or EPRT address for the stranger to call"));
        return false;
    }
    const auto connectFrom = [&](const sockaddr_storage& remote) {
        const int fd = ::socket(remote.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0
            && (::bind(fd, reinterpret_cast<const sockaddr*>(&*from), lengthOf(*from)) != 0
                || ::connect(fd, reinterpret_cast<const sockaddr*>(&remote), lengthOf(remote))
                    != 0)) {
            ::close(fd);
            return -1;
        }
        return fd;
    };
    if (const int fd = connectFrom(*atSource); fd >= 0) {
        problem(QStringLiteral("the client's data port is open on %1 too")
                    .arg(QString::fromLatin1(source)));
        ::close(fd);
    }
    const int fd = connectFrom(*there);
    if (fd < 0) {
        problem(QStringLiteral("the stranger could not call the data port: %1").arg(errnoText()));
        return false;
    }
    char buffer[4096];
    QByteArray received;
    bool closed = false;
    while (!closed && waitReadable(fd, m_stepTimeout)) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        closed = n <= 0;
        if (n > 0)
            received.append(buffer, n);
    }
    if (!received.isEmpty())
        problem(QStringLiteral("the client sent %1 bytes to the stranger").arg(received.size()));
    else if (!closed)
        problem(QStringLiteral("the client kept the stranger's connection open"));
    ::close(fd);
    return true;
}

int ScriptedFtpPeer::openDataConnection(bool smallBuffer)
{
    if (m_passiveFd >= 0) {
        if (smallBuffer)
            ::setsockopt(m_passiveFd, SOL_SOCKET, SO_RCVBUF, &smallReceiveBuffer,
                         sizeof smallReceiveBuffer);
        if (!waitReadable(m_passiveFd, m_stepTimeout)) {
            problem(QStringLiteral("the client did not open the passive data connection"));
            closeFd(m_passiveFd);
            return -1;
        }
        const int fd = ::accept4(m_passiveFd, nullptr, nullptr, SOCK_CLOEXEC);
        closeFd(m_passiveFd);
        if (fd < 0)
            problem(QStringLiteral("accepting the data connection failed: %1").arg(errnoText()));
        return fd;
    }

    // Active: connect to the address of the last PORT or EPRT command, loopback only.
    const auto target = dataAddressOf(m_lastPort);
    if (!target) {
        problem(QStringLiteral("no usable PORT or EPRT command for the data connection"));
        return -1;
    }
    const auto remote = loopbackAddress(target->first, static_cast<quint16>(target->second));
    if (!remote) {
        problem(QStringLiteral("refusing to connect to a non-loopback data address %1")
                    .arg(QString::fromLatin1(target->first)));
        return -1;
    }
    const int fd = ::socket(remote->ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    // A server calls from its own address: the client takes the call from nobody else.
    if (const auto own = loopbackAddress(m_address, 0); own && own->ss_family == remote->ss_family
        && ::bind(fd, reinterpret_cast<const sockaddr*>(&*own), lengthOf(*own)) != 0) {
        problem(QStringLiteral("cannot call from %1: %2")
                    .arg(QString::fromLatin1(m_address), errnoText()));
        ::close(fd);
        return -1;
    }
    if (smallBuffer)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &smallReceiveBuffer, sizeof smallReceiveBuffer);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&*remote), lengthOf(*remote)) != 0) {
        problem(QStringLiteral("connecting to the data address failed: %1").arg(errnoText()));
        ::close(fd);
        return -1;
    }
    return fd;
}

void ScriptedFtpPeer::recordRemainingCommands()
{
    while (m_controlFd >= 0 && !m_stop) {
        if (!waitControl(milliseconds(3600 * 1000)))
            break;
        char buffer[4096];
        const ssize_t received = receiveControl(buffer, sizeof buffer);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0)
            break;
        m_pending.append(buffer, received);
        for (qsizetype end = m_pending.indexOf('\n'); end >= 0; end = m_pending.indexOf('\n')) {
            const QByteArray line = m_pending.left(end + 1);
            m_pending.remove(0, end + 1);
            record(line);
        }
    }
    if (!m_pending.isEmpty()) {
        std::lock_guard lock(m_mutex);
        m_commands << m_pending;
    }
    closeControl();
}

bool ScriptedFtpPeer::record(const QByteArray& line)
{
    {
        std::lock_guard lock(m_mutex);
        m_commands << line;
    }
    if (m_tls && line.trimmed().toUpper() == "PROT P")
        m_tls->protectData = true;
    if (m_featReply.isEmpty() || line.trimmed().toUpper() != "FEAT")
        return false;
    sendAll(m_controlFd, m_featReply); // a failure is noted; the next read tells the rest
    return true;
}

bool ScriptedFtpPeer::waitReadable(int fd, milliseconds timeout)
{
    for (auto waited = milliseconds(0); waited < timeout; waited += pollSlice) {
        if (m_stop)
            return false;
        pollfd entry{fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(pollSlice.count()));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
    return false;
}

void ScriptedFtpPeer::closeControl()
{
    if (m_tls && m_tls->control) {
        SSL_shutdown(m_tls->control.get());
        m_tls->control.reset();
    }
    closeFd(m_controlFd);
    m_pending.clear();
}

void ScriptedFtpPeer::problem(const QString& text)
{
    std::lock_guard lock(m_mutex);
    m_problems << text;
}

} // namespace testsupport

namespace testsupport {

bool ScriptedFtpPeer::waitControl(milliseconds timeout)
{
    if (m_tls && m_tls->control && SSL_pending(m_tls->control.get()) > 0)
        return true;
    return waitReadable(m_controlFd, timeout);
}

ssize_t ScriptedFtpPeer::receiveControl(char* buffer, std::size_t size)
{
    if (!m_tls || !m_tls->control)
        return ::recv(m_controlFd, buffer, size, 0);
    const int received = SSL_read(m_tls->control.get(), buffer, int(size));
    if (received > 0)
        return received;
    // The client's close_notify, or its connection's end: either way the session is over.
    ERR_clear_error();
    return 0;
}

bool ScriptedFtpPeer::startControlTls(const Step& step)
{
    if (!m_tls || !m_tls->context) {
        problem(QStringLiteral("authTls() needs enableTls()"));
        return false;
    }
    switch (step.fault) {
    case TlsFault::Garbage: return sendAll(m_controlFd, "HTTP/1.1 400 Bad Request\r\n\r\n");
    case TlsFault::Close: {
        char hello[4096];
        if (waitReadable(m_controlFd, m_stepTimeout))
            ::recv(m_controlFd, hello, sizeof hello, 0);
        closeControl();
        return true;
    }
    case TlsFault::Silent: return true;
    case TlsFault::None: break;
    }
    limitBlocking(m_controlFd, m_stepTimeout);
    m_tls->control.reset(SSL_new(m_tls->context.get()));
    SSL_set_fd(m_tls->control.get(), m_controlFd);
    if (SSL_accept(m_tls->control.get()) == 1)
        return true;
    problem(QStringLiteral("TLS handshake on the control connection failed: %1").arg(sslReason()));
    m_tls->control.reset();
    closeControl();
    return false;
}

bool ScriptedFtpPeer::startDataTls(int fd)
{
    limitBlocking(fd, m_stepTimeout);
    m_tls->data.reset(SSL_new(m_tls->options.dataCertificateOfItsOwn ? m_tls->otherContext.get()
                                                                     : m_tls->context.get()));
    SSL* ssl = m_tls->data.get();
    SSL_set_fd(ssl, fd);
    m_tls->current = PeerDataTls{true, false, false};
    QString refusal;
    if (SSL_accept(ssl) != 1) {
        refusal =
            QStringLiteral("TLS handshake on the data connection failed: %1").arg(sslReason());
    } else {
        m_tls->current.resumed = SSL_session_reused(ssl) == 1;
        if (!m_tls->current.resumed && m_tls->options.requireSessionReuse)
            refusal = QStringLiteral("the data connection did not resume the TLS session");
    }
    if (refusal.isEmpty())
        return true;
    problem(refusal);
    {
        std::lock_guard lock(m_mutex);
        m_dataTls << m_tls->current;
    }
    m_tls->data.reset();
    sendAll(m_controlFd,
            "522 Data connections must resume the TLS session of the control "
            "connection.\r\n");
    return false;
}

ssize_t ScriptedFtpPeer::receiveData(int fd, char* buffer, std::size_t size, bool* closedWithTls)
{
    if (!m_tls || !m_tls->data)
        return ::recv(fd, buffer, size, 0);
    const int received = SSL_read(m_tls->data.get(), buffer, int(size));
    if (received > 0)
        return received;
    *closedWithTls = SSL_get_error(m_tls->data.get(), received) == SSL_ERROR_ZERO_RETURN;
    ERR_clear_error();
    return 0;
}

void ScriptedFtpPeer::endDataTls(bool orderly)
{
    if (!m_tls || !m_tls->data)
        return;
    // As servers do, an orderly end is answered with the peer's own close_notify.
    if (orderly)
        SSL_shutdown(m_tls->data.get());
    m_tls->current.closedWithTls = orderly;
    m_tls->data.reset();
    std::lock_guard lock(m_mutex);
    m_dataTls << m_tls->current;
}

} // namespace testsupport
