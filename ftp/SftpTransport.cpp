// SSH for SFTP: libssh on a descriptor of the socket component's connection.
#include "ftp/SftpTransport.h"

#include "ftp/SessionTypes.h"
#include "net/DescriptorWait.h"
#include "platform/printable.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QStringList>

#include <libssh/libssh.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace {

// "SHA256:<base64 without padding>", as ssh shows a key.
QByteArray sha256Print(ssh_key key)
{
    unsigned char* hash = nullptr;
    size_t length = 0;
    if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &length) != 0)
        return {};
    const QByteArray digest(reinterpret_cast<const char*>(hash), qsizetype(length));
    ssh_clean_pubkey_hash(&hash);
    return "SHA256:" + digest.toBase64(QByteArray::OmitTrailingEquals);
}

// RFC 4253 allows at most 255 bytes for the identification line.
constexpr int bannerLimit = 255;
constexpr int receivePiece = 65536;
// How often a banner that came in part is looked at again.
constexpr int bannerPassMs = 5;
// AES-GCM first: processors encrypt it in hardware, on both ends, so a file goes at the
// speed of the link rather than of the server's processor.
constexpr auto preferredCiphers = "aes128-gcm@openssh.com,aes256-gcm@openssh.com,"
                                  "chacha20-poly1305@openssh.com,aes128-ctr,aes256-ctr";

QString secondsText(int milliseconds)
{
    return QString::number(milliseconds / 1000.0, 'g', 6);
}

// What the server offers for logging in, in its own protocol's words.
QString methodsText(int methods)
{
    QStringList names;
    if (methods & SSH_AUTH_METHOD_PUBLICKEY)
        names << QStringLiteral("publickey");
    if (methods & SSH_AUTH_METHOD_PASSWORD)
        names << QStringLiteral("password");
    if (methods & SSH_AUTH_METHOD_INTERACTIVE)
        names << QStringLiteral("keyboard-interactive");
    if (methods & SSH_AUTH_METHOD_HOSTBASED)
        names << QStringLiteral("hostbased");
    if (methods & SSH_AUTH_METHOD_GSSAPI_MIC)
        names << QStringLiteral("gssapi-with-mic");
    return names.isEmpty() ? QStringLiteral("nothing") : names.join(QStringLiteral(", "));
}

} // namespace

void SftpTransport::SessionFree::operator()(ssh_session_struct* session) const
{
    ssh_free(session);
}

void SftpTransport::ChannelFree::operator()(ssh_channel_struct* channel) const
{
    ssh_channel_free(channel);
}

SftpTransport::SftpTransport(std::shared_ptr<StopToken> stop)
    : m_stop(std::move(stop))
{
    m_socket.setStopToken(m_stop); // a connect under way
}

SftpTransport::~SftpTransport()
{
    drop();
}

void SftpTransport::setLimits(int connectLimitMs, int idleLimitMs)
{
    m_connectLimitMs = connectLimitMs;
    m_idleLimitMs = idleLimitMs;
}

QString SftpTransport::endpointText() const
{
    return QString::fromLatin1(m_host) + u':' + QString::number(m_port);
}

SocketEndpoint SftpTransport::endpoint() const
{
    return {SocketEndpoint::Role::Control, m_host, m_port};
}

void SftpTransport::connect(const QString& host, quint16 port)
{
    drop();
    m_host = host.toUtf8();
    m_port = port;
    m_answered = false;
    m_stop->reset();
    QElapsedTimer clock;
    clock.start();
    m_socket.Host = m_host;
    m_socket.Port = port;
    m_socket.setIdleLimit(m_connectLimitMs);
    m_socket.Connect();
    m_descriptor = m_socket.takeDescriptor();
    if (m_descriptor < 0)
        throw SocketError(
            platform::reason(NetCode::ConnectionFailed,
                             {endpointText(), platform::reason(FtpCode::SocketNotHandedOver)}),
            SocketFailure::Other, endpoint());
    // Small requests (an SFTP status, a window adjustment) must not wait for the ACK of the
    // previous segment.
    const int noDelay = 1;
    ::setsockopt(m_descriptor, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    m_wait = std::make_unique<DescriptorWait>(m_descriptor);
    m_handshakeDeadline = m_connectLimitMs > 0
        ? QDeadlineTimer::current().deadline() + m_connectLimitMs - clock.elapsed()
        : -1;
    readBanner();

    m_session.reset(ssh_new());
    if (!m_session)
        throw SocketError(platform::reason(FtpCode::SshUnavailable));
    ssh_session session = m_session.get();
    // libssh closes the descriptor it is given; ours stays for the waits.
    const int libraryCopy = ::fcntl(m_descriptor, F_DUPFD_CLOEXEC, 0);
    const bool processConfig = false; // the station's address and port, not ~/.ssh/config's
    const unsigned int portNumber = port;
    if (libraryCopy < 0 || ssh_options_set(session, SSH_OPTIONS_HOST, m_host.constData()) != 0
        || ssh_options_set(session, SSH_OPTIONS_PORT, &portNumber) != 0
        || ssh_options_set(session, SSH_OPTIONS_PROCESS_CONFIG, &processConfig) != 0
        || (!m_sshFolder.isEmpty()
            && ssh_options_set(session, SSH_OPTIONS_SSH_DIR, m_sshFolder.toUtf8().constData()) != 0)
        || ssh_options_set(session, SSH_OPTIONS_CIPHERS_C_S, preferredCiphers) != 0
        || ssh_options_set(session, SSH_OPTIONS_CIPHERS_S_C, preferredCiphers) != 0
        || ssh_options_set(session, SSH_OPTIONS_FD, &libraryCopy) != 0) {
        if (libraryCopy >= 0)
            ::close(libraryCopy);
        throw SocketError(
            platform::reason(FtpCode::SshSetupFailed, {QString::fromUtf8(ssh_get_error(session))}));
    }
    ssh_set_blocking(session, 0);
    drive([session] { return ssh_connect(session); }, SSH_AGAIN,
          QStringLiteral("the SSH handshake with %1").arg(endpointText()));
    m_handshakeDeadline = -1;
}

// An FTP server (or anything else) on the port says so in its first line: that line is
// peeked, not read, so libssh still sees a real server's identification.
void SftpTransport::readBanner()
{
    const QString during = QStringLiteral("waiting for the SSH banner of %1").arg(endpointText());
    char peeked[bannerLimit + 1];
    for (;;) {
        const ssize_t count = ::recv(m_descriptor, peeked, bannerLimit, MSG_PEEK | MSG_DONTWAIT);
        if (count == 0)
            throw SocketError(platform::reason(FtpCode::ClosedBeforeBanner, {endpointText()}),
                              SocketFailure::Closed, endpoint());
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            raiseLost(during);
        if (count > 0) {
            m_answered = true;
            const QByteArray text(peeked, count);
            const qsizetype end = text.indexOf('\n');
            if (!text.startsWith(QByteArray("SSH-").left(count))) {
                const QByteArray line = end < 0 ? text : text.left(end);
                throw SocketError(
                    platform::reason(FtpCode::NotSshServer,
                                     {platform::printableText(QString::fromUtf8(line).trimmed())}),
                    SocketFailure::Other, endpoint());
            }
            if (end >= 0 || count >= bannerLimit)
                return;
            // The line's start came and the descriptor stays readable: no busy loop.
            if (m_wait->pause(bannerPassMs, [this] { return givesUp(); })
                == DescriptorWait::Outcome::GaveUp)
                raiseStopped(during);
            if (QDeadlineTimer::current().deadline() >= m_handshakeDeadline
                && m_handshakeDeadline >= 0)
                raiseHandshakeTimedOut();
            continue;
        }
        await(during);
    }
}

int SftpTransport::drive(const std::function<int()>& step, int again, const QString& during)
{
    for (;;) {
        const int result = step();
        if (result != again) {
            if (result == SSH_ERROR)
                raiseLost(during);
            return result;
        }
        await(during);
    }
}

void SftpTransport::await(const QString& during)
{
    int limit = m_idleLimitMs > 0 ? m_idleLimitMs : -1;
    if (m_handshakeDeadline >= 0)
        limit = int(qMax<qint64>(1, m_handshakeDeadline - QDeadlineTimer::current().deadline()));
    // libssh keeps what the socket did not take and sends more only when called: what it
    // holds goes out now, and the wait is for room when some of it is still left.
    const bool write = m_session
        && (ssh_blocking_flush(m_session.get(), 0) == SSH_AGAIN
            || (ssh_get_poll_flags(m_session.get()) & SSH_WRITE_PENDING));
    // A server that holds small replies back until its last segment is acknowledged (Nagle)
    // would otherwise wait for our delayed ACK on every pause.
    const int quickAck = 1;
    ::setsockopt(m_descriptor, IPPROTO_TCP, TCP_QUICKACK, &quickAck, sizeof quickAck);
    const auto outcome = m_wait->wait(write, limit, [this] { return givesUp(); });
    switch (outcome) {
    case DescriptorWait::Outcome::Ready:
        if (OnActivity)
            OnActivity();
        return;
    case DescriptorWait::Outcome::GaveUp: raiseStopped(during);
    case DescriptorWait::Outcome::TimedOut: break;
    }
    if (m_handshakeDeadline >= 0)
        raiseHandshakeTimedOut();
    throw SocketError(platform::reason(NetCode::NoReply, {secondsText(m_idleLimitMs)}),
                      SocketFailure::TimedOut, endpoint());
}

void SftpTransport::checkpoint()
{
    if (m_wait->wait(false, 0, [this] { return givesUp(); }) == DescriptorWait::Outcome::GaveUp)
        raiseStopped(QStringLiteral("sending to %1").arg(endpointText()));
}

void SftpTransport::raiseHandshakeTimedOut() const
{
    throw SocketError(
        platform::reason(FtpCode::NoSshHandshake, {endpointText(), secondsText(m_connectLimitMs)}),
        SocketFailure::TimedOut, endpoint());
}

void SftpTransport::raiseStopped(const QString& during) const
{
    throw AbortError(platform::reason(NetCode::Stopped, {during}), SocketFailure::Stopped,
                     endpoint());
}

// libssh tells what went wrong only in words; the socket itself tells how it ended.
void SftpTransport::raiseLost(const QString& during) const
{
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(m_descriptor, SOL_SOCKET, SO_ERROR, &error, &length);
    char byte = 0;
    const ssize_t peeked = ::recv(m_descriptor, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (peeked < 0 && error == 0)
        error = errno == EAGAIN || errno == EWOULDBLOCK ? 0 : errno;
    SocketFailure failure = SocketFailure::Other;
    if (error == ECONNRESET || error == EPIPE)
        failure = SocketFailure::Reset;
    else if (peeked == 0)
        failure = SocketFailure::Closed;
    const QString reason = m_session ? QString::fromUtf8(ssh_get_error(m_session.get()))
                                     : QString::fromLocal8Bit(strerror(error));
    throw SocketError(platform::reason(FtpCode::ConnectionLost,
                                       {endpointText(), during, platform::printableText(reason)}),
                      failure, endpoint());
}

QByteArray SftpTransport::fingerprint() const
{
    ssh_key key = nullptr;
    if (!m_session || ssh_get_server_publickey(m_session.get(), &key) != SSH_OK)
        return {};
    const std::unique_ptr<ssh_key_struct, decltype(&ssh_key_free)> owned(key, ssh_key_free);
    return sha256Print(key);
}

SftpTransport::KnownHosts SftpTransport::knownHosts() const
{
    if (!m_session)
        return KnownHosts::Silent;
    switch (ssh_session_is_known_server(m_session.get())) {
    case SSH_KNOWN_HOSTS_OK: return KnownHosts::Vouches;
    case SSH_KNOWN_HOSTS_CHANGED:
    case SSH_KNOWN_HOSTS_OTHER: return KnownHosts::Contradicts;
    default: return KnownHosts::Silent;
    }
}

QByteArray SftpTransport::knownHostsKey() const
{
    ssh_knownhosts_entry* entry = nullptr;
    if (m_session)
        ssh_session_get_known_hosts_entry(m_session.get(), &entry);
    // libssh hands out the entry of a matching key only.
    if (entry == nullptr)
        return "known_hosts";
    const std::unique_ptr<ssh_knownhosts_entry, decltype(&ssh_knownhosts_entry_free)> owned(
        entry, ssh_knownhosts_entry_free);
    return entry->publickey ? sha256Print(entry->publickey) : QByteArray("known_hosts");
}

void SftpTransport::logIn(const QString& user, const QString& password)
{
    ssh_session session = m_session.get();
    const QByteArray name = user.toUtf8();
    const QString during = QStringLiteral("the login at %1").arg(endpointText());
    ssh_options_set(session, SSH_OPTIONS_USER, name.constData());
    // "none" asks the server which ways it offers.
    int result =
        drive([session] { return ssh_userauth_none(session, nullptr); }, SSH_AUTH_AGAIN, during);
    if (result == SSH_AUTH_SUCCESS)
        return;
    const int methods = ssh_userauth_list(session, nullptr);
    const QString offered = methodsText(methods);
    if (!password.isEmpty()) {
        if (!(methods & SSH_AUTH_METHOD_PASSWORD))
            throw ServerRefusal(platform::reason(FtpCode::NoPasswordLogin, {offered}));
        const QByteArray secret = password.toUtf8();
        result = drive([&] { return ssh_userauth_password(session, nullptr, secret.constData()); },
                       SSH_AUTH_AGAIN, during);
        if (result == SSH_AUTH_SUCCESS)
            return;
        throw ServerRefusal(platform::reason(FtpCode::WrongPassword, {user, offered}));
    }
    if (!(methods & SSH_AUTH_METHOD_PUBLICKEY))
        throw ServerRefusal(platform::reason(FtpCode::NoKeyLogin, {offered}));
    result = drive([session] { return ssh_userauth_publickey_auto(session, nullptr, nullptr); },
                   SSH_AUTH_AGAIN, during);
    if (result == SSH_AUTH_SUCCESS)
        return;
    throw ServerRefusal(platform::reason(FtpCode::KeysRefused, {user, offered}));
}

void SftpTransport::openSftp()
{
    ssh_session session = m_session.get();
    m_channel.reset(ssh_channel_new(session));
    if (!m_channel)
        raiseLost(QStringLiteral("opening a channel"));
    ssh_channel channel = m_channel.get();
    const QString during = QStringLiteral("opening the SFTP channel at %1").arg(endpointText());
    drive([channel] { return ssh_channel_open_session(channel); }, SSH_AGAIN, during);
    try {
        drive([channel] { return ssh_channel_request_subsystem(channel, "sftp"); }, SSH_AGAIN,
              during);
    } catch (const AbortError&) {
        throw;
    } catch (const SocketError&) {
        if (!ssh_is_connected(session))
            throw;
        throw ServerRefusal(
            platform::reason(FtpCode::NoSftp, {QString::fromUtf8(ssh_get_error(session))}));
    }
}

void SftpTransport::send(const QByteArray& bytes)
{
    ssh_channel channel = m_channel.get();
    const QString during = QStringLiteral("sending to %1").arg(endpointText());
    qsizetype done = 0;
    while (done < bytes.size()) {
        const int written =
            ssh_channel_write(channel, bytes.constData() + done, uint32_t(bytes.size() - done));
        if (written < 0)
            raiseLost(during);
        done += written;
        if (written > 0) {
            if (OnActivity)
                OnActivity();
            continue;
        }
        // The server's window is full: its adjustments come in among the replies, which
        // libssh handles only while they are read.
        takeIncoming(during);
        if (ssh_channel_window_size(channel) == 0)
            await(during);
    }
}

void SftpTransport::takeIncoming(const QString& during)
{
    ssh_channel channel = m_channel.get();
    for (;;) {
        const qsizetype had = m_incoming.size();
        m_incoming.resize(had + receivePiece);
        const int count =
            ssh_channel_read_nonblocking(channel, m_incoming.data() + had, receivePiece, 0);
        m_incoming.resize(had + qMax(count, 0));
        if (count > 0)
            continue;
        if (count == SSH_EOF || (count == 0 && ssh_channel_is_eof(channel)))
            throw SocketError(platform::reason(FtpCode::ClosedByServer, {endpointText()}),
                              SocketFailure::Closed, endpoint());
        if (count < 0)
            raiseLost(during);
        return;
    }
}

QByteArray SftpTransport::receive()
{
    const QString during = QStringLiteral("waiting for %1").arg(endpointText());
    for (;;) {
        if (m_incoming.isEmpty())
            takeIncoming(during);
        if (!m_incoming.isEmpty())
            return std::exchange(m_incoming, {});
        await(during);
    }
}

void SftpTransport::close()
{
    // ssh_disconnect frees the session's channels itself, and leaves the descriptor it
    // was given open.
    m_channel.reset();
    if (m_session && ssh_is_connected(m_session.get())) {
        const int libraryCopy = ssh_get_fd(m_session.get());
        ssh_disconnect(m_session.get());
        m_session.reset();
        closeIfOurs(libraryCopy);
    }
    drop();
}

// Closes the descriptor only if it still is our connection's socket: a number another
// thread opened meanwhile is left alone.
void SftpTransport::closeIfOurs(int descriptor) const
{
    struct stat ours {};
    struct stat theirs {};
    if (descriptor >= 0 && descriptor != m_descriptor && ::fstat(m_descriptor, &ours) == 0
        && ::fstat(descriptor, &theirs) == 0 && ours.st_ino == theirs.st_ino
        && ours.st_dev == theirs.st_dev)
        ::close(descriptor);
}

void SftpTransport::drop()
{
    m_channel.reset();
    m_session.reset();
    m_wait.reset();
    m_incoming.clear();
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
    m_handshakeDeadline = -1;
}
