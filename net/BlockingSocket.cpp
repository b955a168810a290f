// The socket component: blocking operations over the message-driven socket layer.
#include "net/BlockingSocket.h"

#include "net/WindowTimer.h"
#include "net/compat/messages.h"
#include "net/compat/winsock.h"
#include "platform/codepage.h"
#include "platform/files.h"

#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

namespace ws = compat::winsock;
using platform::reason;

namespace {

constexpr char socketWindowClass[] = "BlockingSocketWindow";
// Window messages of the socket window: WinSock notices, and completions of a lookup
// or of Listen's connection.
constexpr quint32 NotifyMessage = compat::WM_USER + 101;     // 1125
constexpr quint32 CompletionMessage = compat::WM_USER + 102; // 1126
constexpr quint16 requestedVersion = 257;
constexpr qint32 allEventsButWrite =
    ws::FD_READ | ws::FD_OOB | ws::FD_ACCEPT | ws::FD_CONNECT | ws::FD_CLOSE; // 61
constexpr int bufferSize = 65536; // also the piece a zero-copy send hands over at once
constexpr int sleepingPassMs = 2;
constexpr int windowsSharingViolation = 32;

QString secondsText(int milliseconds)
{
    return QString::number(milliseconds / 1000.0, 'g', 6);
}

// The kind of failure a WinSock error number stands for.
SocketFailure failureOfError(int error)
{
    switch (error) {
    case ws::WSAECONNREFUSED: return SocketFailure::Refused;
    case ws::WSAETIMEDOUT: return SocketFailure::TimedOut;
    case ws::WSAENETDOWN:
    case ws::WSAENETUNREACH:
    case ws::WSAEHOSTDOWN:
    case ws::WSAEHOSTUNREACH: return SocketFailure::Unreachable;
    case ws::WSAENETRESET:
    case ws::WSAECONNABORTED:
    case ws::WSAECONNRESET: return SocketFailure::Reset;
    case ws::WSAENOTCONN:
    case ws::WSAESHUTDOWN: return SocketFailure::Closed;
    case ws::WSAHOST_NOT_FOUND:
    case ws::WSATRY_AGAIN:
    case ws::WSANO_RECOVERY:
    case ws::WSANO_DATA: return SocketFailure::LookupFailed;
    default: return SocketFailure::Other;
    }
}

// The shorter of two waits in milliseconds, where -1 is no limit.
int shorterWait(int first, int second)
{
    if (first < 0)
        return second;
    return second < 0 ? first : std::min(first, second);
}

// A name without an address. Only the control connection is given a name: a data
// connection goes to an address the control connection already has.
SocketError hostLookupFailed(const QByteArray& name, quint16 port,
                             const platform::ReasonPtr& systemCause)
{
    return SocketError(reason(NetCode::HostLookupFailed, {platform::fromCodePage(name)}),
                       SocketFailure::LookupFailed,
                       SocketEndpoint{SocketEndpoint::Role::Control, name, port}, systemCause);
}

// How long a wait has gone without progress, against the component's idle limit.
class IdleClock {
public:
    explicit IdleClock(int limit)
        : m_limit(limit)
    {
        m_clock.start();
    }
    void progress() { m_clock.restart(); }
    bool expired() const { return m_limit > 0 && m_clock.elapsed() >= m_limit; }
    // What a blocking wait may take before the limit is due (-1: no limit).
    int remaining() const
    {
        return m_limit > 0 ? int(std::max<qint64>(0, m_limit - m_clock.elapsed())) : -1;
    }
    QString seconds() const { return secondsText(m_limit); }

private:
    QElapsedTimer m_clock;
    int m_limit;
};

// One pass of a sleeping wait: at most 2 ms, over as soon as a message arrives.
void sleepingPass()
{
    compat::waitMessages(sleepingPassMs);
    compat::processMessages();
}

// One pass of a busy wait with nothing to do: blocks until the socket or anything else
// (a notice, the timer, user input) needs attention, then dispatches all messages.
void blockingPass(ws::SOCKET s, int maxMilliseconds)
{
    ws::wakeOnSocketActivity(s);
    compat::waitMessages(maxMilliseconds);
    compat::processMessages();
}

// Lingering on with a time of 0 makes a close reset the connection; off, a close
// delivers what was sent and then ends the connection in order.
void setLinger(ws::SOCKET s, bool on)
{
    const ws::Linger linger{quint16(on ? 1 : 0), 0};
    ws::setsockopt(s, ws::SOL_SOCKET_LEVEL, ws::SO_LINGER_OPTION,
                   reinterpret_cast<const char*>(&linger), sizeof linger);
}

class FileCloser {
public:
    explicit FileCloser(int fd)
        : m_fd(fd)
    {
    }
    ~FileCloser() { ::close(m_fd); }
    Q_DISABLE_COPY_MOVE(FileCloser)

private:
    int m_fd;
};

// Message text for a socket error number: "10061:Connection refused".
struct SocketErrorEntry {
    qint32 Number;
    const char* Text;
};

constexpr std::array<SocketErrorEntry, 50> socketErrorTable{{
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Wrong protocol type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to Host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "Incompatible version of WINSOCK.DLL"},
    {10093, "Successful WSAStartup not yet performed"},
    {11001, "Host not found"},
    {11002, "Non-Authoritative Host not found"},
    {11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record of requested type"},
}};

} // namespace

SocketError::SocketError(platform::ReasonPtr reason, SocketFailure failure,
                         std::optional<SocketEndpoint> endpoint, platform::ReasonPtr systemCause)
    : platform::Exception(std::move(reason))
    , m_failure(failure)
    , m_endpoint(std::move(endpoint))
    , m_systemReason(systemCause ? systemCause->englishText() : QString())
    , m_systemCause(std::move(systemCause))
{
}

SocketError::SocketError(const QString& message, SocketFailure failure,
                         std::optional<SocketEndpoint> endpoint, QString systemReason)
    : platform::Exception(message)
    , m_failure(failure)
    , m_endpoint(std::move(endpoint))
    , m_systemReason(std::move(systemReason))
{
}

struct BlockingSocket::Impl {
    static compat::LRESULT windowProc(compat::HWND window, quint32 message, compat::WPARAM wParam,
                                      compat::LPARAM lParam);
    static ws::SockAddr localAddress(BlockingSocket& component);

    ws::SOCKET socket = ws::INVALID_SOCKET;
    compat::HWND window = compat::NoWindow;
    std::unique_ptr<WindowTimer> timer;
    // Host names, outgoing text, peeks, received lines and file blocks; one more byte
    // for a terminating zero.
    std::array<char, bufferSize + 1> buffer{};
    // The reply being read under a ReplyLimit: since when, and its bytes so far.
    bool replyLimited = false;
    QElapsedTimer replyClock;
    qint64 replyBytes = 0;
    // The addresses of Host (or Proxy) that Connect tries, in order.
    std::vector<ws::SockAddr> remoteAddresses;
    // The connection's TLS once started; it ends with the socket.
    std::unique_ptr<TlsChannel> tls;

    // Milliseconds left for the reply being read (-1: no limit).
    int replyRemaining(int limit) const
    {
        if (!replyLimited || limit <= 0)
            return -1;
        return int(std::max<qint64>(0, limit - replyClock.elapsed()));
    }
};

QByteArray ExtractField(const QByteArray& Text, char Separator, int N)
{
    if (N < 1)
        return {};
    int field = 1;
    qsizetype start = 0;
    for (qsizetype i = 0; i < Text.size(); ++i) {
        if (Text[i] != Separator)
            continue;
        if (field == N)
            return Text.mid(start, i - start);
        ++field;
        start = i + 1;
    }
    return field == N ? Text.mid(start) : QByteArray();
}

// ---- The socket window ----

compat::LRESULT BlockingSocket::Impl::windowProc(compat::HWND window, quint32 message,
                                                 compat::WPARAM wParam, compat::LPARAM lParam)
{
    auto* component = static_cast<BlockingSocket*>(compat::windowPointer(window));
    if (component && message >= NotifyMessage) {
        component->HandleNotification(message, compat::lowWord(lParam), compat::highWord(lParam));
        return 0;
    }
    return compat::defWindowProc(window, message, wParam, lParam);
}

// ---- BlockingSocket: life cycle ----

BlockingSocket::BlockingSocket(QObject* AOwner)
    : QObject(AOwner)
    , m_impl(std::make_unique<Impl>())
{
    ReportStatus(StatusLevel::Detail, "Create");
    m_impl->window = compat::createObjectWindow(socketWindowClass, Impl::windowProc, this);
    m_impl->timer = std::make_unique<WindowTimer>();
    m_impl->timer->setEnabled(false);
    m_impl->timer->setOnTimer([this](QObject* Sender) { TimerTriggered(Sender); });
    try {
        StartStack();
    } catch (...) {
        // The destructor does not run for a failed construction.
        compat::destroyWindow(m_impl->window);
        m_impl->window = compat::NoWindow;
        throw;
    }
}

BlockingSocket::~BlockingSocket()
{
    m_destroying = true;
    try {
        ReportStatus(StatusLevel::Detail, "Destroy");
        Abort();
        Cancel();
    } catch (...) {
    }
    m_impl->timer.reset();
    compat::destroyWindow(m_impl->window);
    m_impl->window = compat::NoWindow;
    try {
        CloseSocket(); // opens no fresh socket now
    } catch (...) {
    }
    ws::WSACleanup();
}

void BlockingSocket::StartStack()
{
    ReportStatus(StatusLevel::Detail, "Initializing Winsock");
    // Start-ups are counted per process: the stack runs while any component lives.
    ws::WSAData stack; // what it tells about itself is of no use here
    ws::WSAStartup(requestedVersion, &stack);
    bool ok = false;
    try {
        m_impl->socket =
            ws::socket(ws::AF_INET_FAMILY, ws::SOCK_STREAM_TYPE, ws::IPPROTO_TCP_PROTOCOL);
        // Closing this first socket resets the connection instead of closing it gracefully.
        if (m_impl->socket != ws::INVALID_SOCKET)
            setLinger(m_impl->socket, true);
        if (m_impl->socket == ws::INVALID_SOCKET)
            CheckSocketError(ws::WSAEWOULDBLOCK);
        ok = m_impl->socket != ws::INVALID_SOCKET
            && ws::WSAAsyncSelect(m_impl->socket, m_impl->window, NotifyMessage, allEventsButWrite)
                != ws::SOCKET_ERROR;
    } catch (const SocketError&) {
        ok = false;
    }
    if (ok)
        return;
    if (m_impl->socket != ws::INVALID_SOCKET)
        ws::closesocket(m_impl->socket);
    m_impl->socket = ws::INVALID_SOCKET;
    ws::WSACleanup();
    throw SocketError(reason(NetCode::WinsockUnavailable));
}

void BlockingSocket::replaceSocket()
{
    m_impl->tls.reset();
    ws::closesocket(m_impl->socket);
    Connected = false;
    openNotifiedSocket();
}

void BlockingSocket::openNotifiedSocket()
{
    m_impl->socket = ws::socket(ws::AF_INET_FAMILY, ws::SOCK_STREAM_TYPE, 0);
    ws::WSAAsyncSelect(m_impl->socket, m_impl->window, NotifyMessage, allEventsButWrite);
}

// ---- BlockingSocket: connection ----

void BlockingSocket::ResolveHost()
{
    ReportStatus(StatusLevel::Detail, "Resolve Host");
    m_impl->remoteAddresses.clear();
    const QByteArray& name = Proxy.isEmpty() ? Host : Proxy;
    const qsizetype length = std::min<qsizetype>(name.size(), bufferSize);
    std::memcpy(m_impl->buffer.data(), name.constData(), std::size_t(length));
    m_impl->buffer[std::size_t(length)] = 0;
    if (const auto numeric = ws::SockAddr::fromText(m_impl->buffer.data())) {
        m_impl->remoteAddresses = {*numeric};
        return;
    }
    ws::AddrInfoAnswer answer;
    bool answered = false;
    TimerOn();
    {
        const auto timerOff = qScopeGuard([this] { TimerOff(); });
        m_waitDone = false;
        // Only this lookup's own answer is taken; given up, it can answer no later one.
        const quintptr task =
            ws::WSAAsyncGetAddrInfo(m_impl->window, CompletionMessage, m_impl->buffer.data());
        if (task == 0)
            throw hostLookupFailed(name, quint16(Proxy.isEmpty() ? Port : ProxyPort), {});
        const auto giveUp = qScopeGuard([&] {
            if (!answered)
                ws::WSACancelAsyncRequest(task);
        });
        const IdleClock idle(m_idleLimit);
        do {
            sleepingPass();
            answered = ws::takeAddrInfoAnswer(task, &answer);
            if (!answered && !TimedOut && !Canceled && !waitsStopped() && idle.expired())
                throw connectFailure(reason(NetCode::NameLookupTimedOut), SocketFailure::TimedOut);
        } while (!answered && !TimedOut && !Canceled && !waitsStopped());
    }
    if (TimedOut)
        throw SocketError(reason(NetCode::LookupTimedOut), SocketFailure::TimedOut, endpoint());
    if (waitsStopped() && !m_waitDone)
        raiseStopped(QStringLiteral("looking up %1").arg(QString::fromLatin1(name)));
    if (Canceled)
        throw SocketError(reason(NetCode::LookupCanceled));
    if (answer.error != 0) {
        m_notifyError = answer.error;
        throw hostLookupFailed(name, quint16(Proxy.isEmpty() ? Port : ProxyPort),
                               systemCause(answer.error));
    }
    m_impl->remoteAddresses = std::move(answer.addresses);
    if (OnHostResolved)
        OnHostResolved(this);
}

void BlockingSocket::Connect()
{
    ReportStatus(StatusLevel::Detail, "Connecting");
    Canceled = false;
    if (Connected)
        throw SocketError(reason(NetCode::AlreadyConnected));
    // A host without an address; the lookup's own words say why.
    const auto lookupFailed = [this] {
        const QByteArray& name = Proxy.isEmpty() ? Host : Proxy;
        if (name.isEmpty())
            return SocketError(reason(NetCode::NoHostAddress), SocketFailure::LookupFailed,
                               endpoint());
        return hostLookupFailed(name, quint16(Proxy.isEmpty() ? Port : ProxyPort),
                                systemCause(m_notifyError));
    };
    int attempts = 0;
    for (;;) {
        m_notifyError = 0;
        try {
            ResolveHost();
        } catch (const SocketError& error) {
            // A lookup that was stopped, canceled or not answered in time ends the connect;
            // a host without an address gets OnInvalidHost's chance.
            if (error.failure() == SocketFailure::TimedOut
                || error.failure() == SocketFailure::Stopped
                || platform::isCode(error.reason(), NetCode::LookupCanceled))
                throw;
        }
        if (!m_impl->remoteAddresses.empty())
            break;
        if (attempts > 0 || !OnInvalidHost)
            throw lookupFailed();
        bool handled = false;
        OnInvalidHost(handled);
        if (!handled)
            throw lookupFailed();
        ++attempts;
    }
    for (ws::SockAddr& remote : m_impl->remoteAddresses)
        remote.setPort(quint16(Proxy.isEmpty() ? Port : ProxyPort));
    m_waitDone = false;
    m_notifyOk = true;
    m_notifyError = 0;
    // A name's addresses are tried in turn until one takes the connection.
    if (ws::connectByList(m_impl->socket, m_impl->remoteAddresses) == ws::SOCKET_ERROR)
        CheckSocketError(ws::WSAEWOULDBLOCK);
    bool idleExpired = false;
    TimerOn();
    {
        const auto timerOff = qScopeGuard([this] { TimerOff(); });
        const IdleClock idle(m_idleLimit);
        do {
            sleepingPass();
            idleExpired = !Connected && idle.expired();
        } while (!Connected && !TimedOut && !Canceled && m_notifyOk && !idleExpired
                 && !waitsStopped());
    }
    const bool stopped = waitsStopped() && !Connected;
    if (!TimedOut && !Canceled && m_notifyOk && !idleExpired && !stopped)
        return;
    // A failed socket cannot connect again, and one given up on could still complete
    // later: the next Connect always starts from a fresh socket.
    replaceSocket();
    if (OnConnectionFailed)
        OnConnectionFailed(this);
    if (stopped)
        raiseStopped(QStringLiteral("connecting to %1").arg(endpointText()));
    if (TimedOut || (idleExpired && !Canceled && m_notifyOk))
        throw connectFailure(reason(NetCode::TimedOut), SocketFailure::TimedOut);
    if (Canceled)
        throw SocketError(reason(NetCode::ConnectionCanceled));
    const platform::ReasonPtr cause = systemCause(m_notifyError);
    throw connectFailure(
        cause ? cause
              : reason(NetCode::SocketErrorText, {QString::fromLatin1(ErrorText(m_notifyError))}),
        failureOfError(m_notifyError), cause);
}

SocketEndpoint BlockingSocket::endpoint() const
{
    const bool viaProxy = !Proxy.isEmpty();
    const quint16 port = m_boundPort != 0 ? m_boundPort : quint16(viaProxy ? ProxyPort : Port);
    return {m_role, viaProxy ? Proxy : Host, port};
}

QString BlockingSocket::endpointText() const
{
    const SocketEndpoint where = endpoint();
    return QString::fromLatin1(where.address) + u':' + QString::number(where.port);
}

SocketError BlockingSocket::connectFailure(const platform::ReasonPtr& cause, SocketFailure failure,
                                           const platform::ReasonPtr& systemCause) const
{
    const NetCode code = m_role == SocketEndpoint::Role::Data ? NetCode::DataConnectionFailed
                                                              : NetCode::ConnectionFailed;
    return SocketError(reason(code, {endpointText(), cause}), failure, endpoint(), systemCause);
}

void BlockingSocket::raiseStopped(const QString& during) const
{
    throw AbortError(reason(NetCode::Stopped, {during}), SocketFailure::Stopped, endpoint());
}

void BlockingSocket::raiseReplyTimedOut(qsizetype lineBytes) const
{
    const NetCode code =
        m_impl->replyBytes + lineBytes == 0 ? NetCode::NoReply : NetCode::ReplyUnfinished;
    throw SocketError(reason(code, {secondsText(m_idleLimit)}), SocketFailure::TimedOut,
                      endpoint());
}

BlockingSocket::ReplyLimit::ReplyLimit(BlockingSocket& socket)
    : m_socket(socket)
    , m_outer(!socket.m_impl->replyLimited)
{
    if (!m_outer)
        return;
    socket.m_impl->replyLimited = true;
    socket.m_impl->replyBytes = 0;
    socket.m_impl->replyClock.start();
}

BlockingSocket::ReplyLimit::~ReplyLimit()
{
    if (m_outer)
        m_socket.m_impl->replyLimited = false;
}

void BlockingSocket::Disconnect()
{
    ReportStatus(StatusLevel::Detail, "Disconnecting");
    CloseSocket();
}

void BlockingSocket::CloseSocket()
{
    ReportStatus(StatusLevel::Transfer, "Request Close Socket");
    Connected = false;
    m_boundPort = 0;
    m_impl->tls.reset();
    if (m_impl->socket == ws::INVALID_SOCKET)
        return;
    if (ws::closesocket(m_impl->socket) == ws::SOCKET_ERROR) {
        CheckSocketError(ws::WSAEWOULDBLOCK);
        return;
    }
    m_impl->socket = ws::INVALID_SOCKET;
    // The fresh socket is there even when the disconnect handler fails.
    struct FreshSocket {
        BlockingSocket& component;
        ~FreshSocket()
        {
            if (!component.m_destroying)
                component.openNotifiedSocket();
        }
    } fresh{*this};
    if (!m_destroying && OnDisconnect)
        OnDisconnect(this);
}

void BlockingSocket::closeGracefully()
{
    // The peer learns that TLS ended on purpose; a close_notify that does not fit is left out.
    if (m_impl->tls)
        m_impl->tls->sendClose();
    setLinger(m_impl->socket, false);
    CloseSocket();
}

int BlockingSocket::takeDescriptor()
{
    if (!Connected || m_impl->tls)
        return -1;
    const int descriptor = ::fcntl(m_impl->socket, F_DUPFD_CLOEXEC, 0);
    if (descriptor < 0)
        return -1;
    // Its linger setting belongs to the socket, which the copy shares.
    setLinger(m_impl->socket, false);
    replaceSocket();
    return descriptor;
}

void BlockingSocket::CheckConnection()
{
    ReportStatus(StatusLevel::Detail, "Checking Connection");
    int pass = 0;
    while (!Connected) {
        if (pass > 0 || !OnConnectionRequired)
            throw platform::Exception(reason(NetCode::NotConnected));
        bool handled = false;
        OnConnectionRequired(handled);
        if (!handled)
            throw platform::Exception(reason(NetCode::NotConnected));
        ++pass;
    }
}

void BlockingSocket::Cancel()
{
    ReportStatus(StatusLevel::Detail, "Canceling");
    Canceled = true;
}

void BlockingSocket::Abort()
{
    ReportStatus(StatusLevel::Detail, "Abort");
    Cancel();
}

// ---- BlockingSocket: time-out ----

void BlockingSocket::TimerOn()
{
    ReportStatus(StatusLevel::Detail, "Timer On");
    TimedOut = false;
    m_impl->timer->setInterval(quint32(TimeOut));
    m_impl->timer->setEnabled(true);
}

void BlockingSocket::TimerOff()
{
    ReportStatus(StatusLevel::Detail, "Timer Off");
    if (m_impl->timer)
        m_impl->timer->setEnabled(false);
}

void BlockingSocket::TimerTriggered(QObject*)
{
    ReportStatus(StatusLevel::Detail, "Timer Triggered");
    TimerOff();
    TimedOut = true;
    m_waitDone = true;
    Abort();
}

// ---- BlockingSocket: notifications, status, errors ----

void BlockingSocket::HandleNotification(quint32 Message, quint16 Event, quint16 Error)
{
    m_notifyOk = Error == 0;
    m_notifyError = Error;
    try {
        if (Message == NotifyMessage) {
            switch (Event) {
            case ws::FD_CONNECT:
                if (m_notifyOk) {
                    Connected = true;
                    if (OnConnect)
                        OnConnect(this);
                }
                break;
            case ws::FD_CLOSE:
                if (!DataAvailable())
                    CloseSocket();
                break;
            default: break;
            }
        } else if (Message == CompletionMessage) {
            m_waitDone = true;
            if (Event == ws::FD_ACCEPT)
                Connected = true;
        }
    } catch (...) {
        // Nothing may escape into the window procedure.
    }
}

void BlockingSocket::ReportStatus(StatusLevel Level, const QByteArray& Text)
{
    if (qint32(Level) > ReportLevel)
        return;
    if (m_destroying || !OnStatus)
        return;
    try {
        OnStatus(this, Text);
    } catch (...) {
    }
}

void BlockingSocket::CheckSocketError(int Tolerated)
{
    const int error = ws::WSAGetLastError();
    if (error == Tolerated || error <= 10000)
        return;
    const QByteArray text = ErrorText(quint16(error));
    if (OnError && !m_destroying)
        OnError(this, quint16(error), text);
    throw SocketError(reason(NetCode::SocketErrorText, {QString::fromLatin1(text)}),
                      failureOfError(error), endpoint(), systemCause(error));
}

QByteArray BlockingSocket::ErrorText(quint16 Number)
{
    ReportStatus(StatusLevel::Detail, "Looking Up Error Message");
    QByteArray result;
    if (Number == 0)
        return result;
    for (const SocketErrorEntry& entry : socketErrorTable) {
        if (entry.Number == Number)
            result = QByteArray::number(Number) + ':' + entry.Text;
    }
    if (result.isEmpty())
        result = "Unknown Error No. " + QByteArray::number(Number);
    return result;
}

// ---- BlockingSocket: data transfer ----

void BlockingSocket::Write(const QByteArray& Text)
{
    ReportStatus(StatusLevel::Detail, "Write");
    const qsizetype length = std::min<qsizetype>(Text.size(), bufferSize);
    std::memcpy(m_impl->buffer.data(), Text.constData(), std::size_t(length));
    m_impl->buffer[std::size_t(length)] = 0;
    if (std::strlen(m_impl->buffer.data()) >= std::size_t(bufferSize))
        throw SocketError(
            reason(NetCode::TextTooLong,
                   {QString::number(Text.indexOf('\0') < 0 ? Text.size() : Text.indexOf('\0'))}));
    SendBuffer(m_impl->buffer.data(), 0);
}

void BlockingSocket::Writeln(const QByteArray& Text)
{
    ReportStatus(StatusLevel::Detail, "Writeln");
    Write(Text + "\r\n");
}

void BlockingSocket::SendBuffer(const char* Buffer, quint16 Count)
{
    ReportStatus(StatusLevel::Transfer, "Sending Buffer");
    TimerOn();
    {
        const auto timerOff = qScopeGuard([this] { TimerOff(); });
        if (!Canceled) {
            const std::size_t count = Count != 0 ? Count : std::strlen(Buffer);
            std::size_t remaining = count;
            IdleClock idle(m_idleLimit);
            while (remaining > 0 && !Canceled) {
                const int sent = transmit(Buffer + (count - remaining),
                                          int(std::min<std::size_t>(remaining, INT_MAX)));
                if (sent == 0)
                    break;
                if (sent > 0) {
                    remaining -= std::size_t(sent);
                    idle.progress();
                    continue;
                }
                CheckSocketError(ws::WSAEWOULDBLOCK);
                // Would block: wait for room without dispatching, as a repeated send would.
                if (!waitToSend(idle.remaining()))
                    throw SocketError(reason(NetCode::PeerTookNoData, {idle.seconds()}),
                                      SocketFailure::TimedOut, endpoint());
            }
        }
    }
    if (Canceled) {
        Canceled = false;
        throw AbortError(reason(NetCode::SendAborted));
    }
}

QByteArray BlockingSocket::Read(quint16 Count)
{
    ReportStatus(StatusLevel::Detail, "Read( " + QByteArray::number(Count) + " )");
    char* buffer = m_impl->buffer.data();
    int count = Count;
    if (count == 0) {
        const int peeked = receive(buffer, bufferSize, true);
        if (peeked == ws::SOCKET_ERROR) {
            CheckSocketError(ws::WSAEWOULDBLOCK);
            count = 0;
        } else {
            count = peeked;
        }
    } else {
        IdleClock idle(m_idleLimit);
        int lastPeeked = 0;
        do {
            const int peeked = receive(buffer, bufferSize, true);
            if (peeked >= count)
                break;
            if (peeked == 0)
                return {};
            if (peeked == ws::SOCKET_ERROR) {
                CheckSocketError(ws::WSAEWOULDBLOCK);
            } else if (peeked != lastPeeked) {
                idle.progress();
                lastPeeked = peeked;
            }
            if (waitsStopped())
                raiseStopped(QStringLiteral("waiting for %1").arg(endpointText()));
            if (idle.expired())
                throw SocketError(reason(NetCode::NoDataReceived, {idle.seconds()}),
                                  SocketFailure::TimedOut, endpoint());
            blockingPass(m_impl->socket, idle.remaining());
        } while (!Canceled);
    }
    if (Canceled) {
        Canceled = false;
        throw AbortError(reason(NetCode::SendAborted));
    }
    if (count <= 0)
        return {};
    QByteArray result(count, Qt::Uninitialized);
    const int received = receive(result.data(), count, false);
    if (received == ws::SOCKET_ERROR) {
        CheckSocketError(ws::WSAEWOULDBLOCK);
        return {};
    }
    result.truncate(received);
    return result;
}

QByteArray BlockingSocket::ReadLn()
{
    ReportStatus(StatusLevel::Detail, "ReadLn");
    int taken = 0;
    QByteArray result;
    qsizetype lineEnd = -1;
    TimerOn();
    {
        const auto timerOff = qScopeGuard([this] { TimerOff(); });
        char* buffer = m_impl->buffer.data();
        IdleClock idle(m_idleLimit);
        do {
            const int room = bufferSize - taken;
            if (room == 0)
                throw SocketError(reason(NetCode::LineTooLong, {QString::number(bufferSize)}));
            // The buffer mirrors the line so far; only the bytes after it are peeked.
            const int peeked = receive(buffer + taken, room, true);
            if (peeked == 0)
                return {};
            bool progress = false;
            if (peeked == ws::SOCKET_ERROR) {
                if (ws::WSAGetLastError() == ws::WSAENOTCONN)
                    return {};
                CheckSocketError(ws::WSAEWOULDBLOCK);
            } else {
                const void* found = std::memchr(buffer + taken, '\n', std::size_t(peeked));
                if (found) {
                    lineEnd = static_cast<const char*>(found) - buffer;
                    break;
                }
                result.resize(taken + peeked);
                const int received = receive(result.data() + taken, peeked, false);
                if (received == ws::SOCKET_ERROR) {
                    result.resize(taken);
                    CheckSocketError(ws::WSAEWOULDBLOCK);
                } else {
                    taken += received;
                    result.resize(taken);
                    progress = received > 0;
                }
            }
            // No complete line yet: a stop or the end of the reply's time ends the wait.
            if (waitsStopped())
                raiseStopped(QStringLiteral("waiting for %1").arg(endpointText()));
            const int replyLeft = m_impl->replyRemaining(m_idleLimit);
            if (replyLeft == 0)
                raiseReplyTimedOut(taken);
            if (progress) {
                idle.progress();
                compat::processMessages();
            } else {
                if (idle.expired())
                    throw SocketError(reason(NetCode::NoDataReceived, {idle.seconds()}),
                                      SocketFailure::TimedOut, endpoint());
                blockingPass(m_impl->socket, shorterWait(idle.remaining(), replyLeft));
            }
        } while (!Canceled);
    }
    if (Canceled) {
        Canceled = false;
        throw AbortError(reason(NetCode::ReadAborted));
    }
    const int length = int(lineEnd) + 1;
    result.resize(length);
    const int received = receive(result.data() + taken, length - taken, false);
    if (received == ws::SOCKET_ERROR) {
        result.resize(taken);
        CheckSocketError(ws::WSAEWOULDBLOCK);
    } else {
        result.resize(taken + received);
    }
    if (m_impl->replyLimited)
        m_impl->replyBytes += result.size();
    return result;
}

bool BlockingSocket::DataAvailable()
{
    ReportStatus(StatusLevel::Detail, "Data Available");
    return receive(m_impl->buffer.data(), 1, true) >= 1;
}

void BlockingSocket::ClearInput()
{
    ReportStatus(StatusLevel::Detail, "Clearing Input");
    // The component's own buffer: a shared one would be written by several threads at once.
    receive(m_impl->buffer.data(), bufferSize, false);
}

QByteArray BlockingSocket::Transaction(const QByteArray& Command)
{
    ReportStatus(StatusLevel::Detail, "Transaction");
    Writeln(Command);
    const QByteArray reply = ReadLn();
    if (!reply.isEmpty())
        ReportStatus(StatusLevel::Dialogue, reply);
    return reply;
}

void BlockingSocket::SendFile(const QString& FileName)
{
    ReportStatus(StatusLevel::Detail, "SendFile");
    const int fd = ::open(QFile::encodeName(FileName).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        platform::raiseInOutError(errno);
    const FileCloser closer(fd);
    // Nobody who locks the file to write it may have it while it is sent; other senders (the
    // same notice to stations side by side) share it.
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            throw platform::InOutError(QStringLiteral("I/O error %1").arg(windowsSharingViolation),
                                       windowsSharingViolation);
        platform::raiseInOutError(errno);
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        platform::raiseInOutError(errno);
    const off_t size = info.st_size;
    m_bytesSent = 0;
    // Unless the bytes must be seen (a hash) or encrypted, the kernel moves them from the
    // page cache into the socket.
    if (OnFileData || m_impl->tls)
        sendFileCopying(fd, size);
    else
        sendFileZeroCopy(fd, size);
    if (Canceled || m_stop->cut()) {
        Canceled = false;
        // Only a stop cuts a file short on purpose; a plain cancel says no more than that.
        throw AbortError(reason(NetCode::SendAborted),
                         waitsStopped() ? SocketFailure::Stopped : SocketFailure::Other,
                         endpoint());
    }
    // The whole file is handed over: closing must now deliver its end instead of
    // resetting the connection (a canceled or failed send keeps the reset, so the
    // receiver sees the transfer was cut short).
    setLinger(m_impl->socket, false);
}

void BlockingSocket::sendFileCopying(int fd, qint64 size)
{
    char* buffer = m_impl->buffer.data();
    qint64 read = 0;
    qsizetype filled = 0;
    qsizetype taken = 0;
    sendPieces(size, [&]() -> int {
        if (taken == filled) {
            ssize_t n = 0;
            do
                n = ::read(fd, buffer, std::size_t(std::min<qint64>(size - read, bufferSize)));
            while (n < 0 && errno == EINTR);
            if (n < 0)
                platform::raiseInOutError(errno);
            if (n == 0)
                return 0;
            read += n;
            if (OnFileData)
                OnFileData(buffer, n);
            filled = n;
            taken = 0;
        }
        const int sent = transmit(buffer + taken, int(filled - taken));
        if (sent > 0)
            taken += sent;
        return sent;
    });
}

void BlockingSocket::sendFileZeroCopy(int fd, qint64 size)
{
    const ws::SigpipeHeld held;
    qint64 position = 0;
    sendPieces(size, [&] {
        return ws::sendFile(m_impl->socket, fd, position,
                            int(std::min<qint64>(size - position, bufferSize)));
    });
}

void BlockingSocket::sendPieces(qint64 size, const std::function<int()>& sendPiece)
{
    qint64 sentOfFile = 0;
    IdleClock idle(m_idleLimit);
    while (sentOfFile < size && !Canceled && !m_stop->cut()) {
        const int sent = sendPiece();
        if (sent == 0)
            break; // the file shrank while it was sent
        if (sent > 0) {
            sentOfFile += sent;
            m_bytesSent += sent;
            idle.progress();
            if (OnPacketSent)
                OnPacketSent(this);
            compat::processMessages();
            continue;
        }
        CheckSocketError(ws::WSAEWOULDBLOCK);
        if (idle.expired())
            throw SocketError(reason(NetCode::PeerTookNoData, {idle.seconds()}),
                              SocketFailure::TimedOut, endpoint());
        blockingPass(m_impl->socket, idle.remaining());
    }
}

void BlockingSocket::Listen()
{
    ReportStatus(StatusLevel::Detail, "Listening");
    // Host, when it holds an address, names where to listen; else every IPv4 address.
    ws::SockAddr local =
        ws::SockAddr::fromText(Host.constData()).value_or(ws::SockAddr::any(ws::AF_INET_FAMILY));
    local.setPort(quint16(Port));
    m_waitDone = false;
    ws::bind(m_impl->socket, local);
    // The arriving connection completes Accept's wait.
    ws::WSAAsyncSelect(m_impl->socket, m_impl->window, CompletionMessage, ws::FD_ACCEPT);
    ws::listen(m_impl->socket, 1);
    ws::SockAddr bound;
    if (ws::getsockname(m_impl->socket, &bound) == 0)
        m_boundPort = bound.port();
}

void BlockingSocket::Accept(const std::function<void()>& duringWait, const QByteArray& caller,
                            const std::function<void(const QByteArray& address)>& refused)
{
    ReportStatus(StatusLevel::Transfer, "Accepting");
    const IdleClock idle(m_idleLimit);
    for (;;) {
        while (!m_waitDone && !Canceled && !waitsStopped()) {
            if (duringWait)
                duringWait();
            sleepingPass();
            if (!m_waitDone && !Canceled && !waitsStopped() && idle.expired())
                throw SocketError(reason(NetCode::NoDataConnection, {idle.seconds()}),
                                  SocketFailure::TimedOut, endpoint());
        }
        if (waitsStopped() && !m_waitDone)
            raiseStopped(
                QStringLiteral("waiting for the data connection on %1").arg(endpointText()));
        if (Canceled)
            throw SocketError(reason(NetCode::AcceptCanceled));
        if (!m_notifyOk)
            throw SocketError(reason(NetCode::DataConnectionError));
        ws::SockAddr from;
        const ws::SOCKET accepted = ws::accept(m_impl->socket, &from);
        if (accepted == ws::INVALID_SOCKET) {
            const int error = ws::WSAGetLastError();
            throw SocketError(
                reason(NetCode::AcceptFailed, {QString::fromLatin1(ErrorText(quint16(error)))}));
        }
        if (caller.isEmpty() || from.text() == caller) {
            ws::WSAAsyncSelect(accepted, m_impl->window, NotifyMessage, allEventsButWrite);
            if (Canceled || m_stop->cut()) {
                // The transfer does not go on, so the accepted socket is not left open.
                ws::closesocket(accepted);
                Canceled = false;
                throw AbortError(reason(NetCode::SendAborted));
            }
            // The listener has done its one job; the connection goes on on the accepted
            // socket.
            ws::closesocket(m_impl->socket);
            m_impl->socket = accepted;
            return;
        }
        // Whoever else calls first must get nothing: not a byte of the file, not a word.
        ws::closesocket(accepted);
        m_waitDone = false;
        Connected = false;
        if (refused)
            refused(from.text());
    }
}

ws::SockAddr BlockingSocket::Impl::localAddress(BlockingSocket& component)
{
    ws::SockAddr local;
    if (ws::getsockname(component.m_impl->socket, &local) == ws::SOCKET_ERROR)
        component.CheckSocketError(ws::WSAEWOULDBLOCK);
    return local;
}

QByteArray BlockingSocket::LocalAddressCommas()
{
    QByteArray text = Impl::localAddress(*this).text();
    text.replace('.', ',');
    return text;
}

QByteArray BlockingSocket::LocalPortCommas()
{
    const int port = localPort();
    return ',' + QByteArray::number(port / 256) + ',' + QByteArray::number(port % 256);
}

QByteArray BlockingSocket::localAddress()
{
    ws::SockAddr local;
    return ws::getsockname(m_impl->socket, &local) == 0 ? local.text() : QByteArray();
}

quint16 BlockingSocket::localPort()
{
    return Impl::localAddress(*this).port();
}

QByteArray BlockingSocket::peerAddress()
{
    ws::SockAddr peer;
    return ws::getpeername(m_impl->socket, &peer) == 0 ? peer.text() : QByteArray();
}

// ---- BlockingSocket: TLS ----

int BlockingSocket::receive(char* buffer, int length, bool peek)
{
    if (!m_impl->tls)
        return ws::recv(m_impl->socket, buffer, length, peek ? ws::MSG_PEEK_FLAG : 0);
    const int received = m_impl->tls->receive(buffer, length, peek);
    if (received == TlsChannel::failedResult)
        raiseTlsFailure(m_impl->tls->failure());
    return received;
}

int BlockingSocket::transmit(const char* buffer, int length)
{
    if (!m_impl->tls)
        return ws::send(m_impl->socket, buffer, length, 0);
    const int sent = m_impl->tls->send(buffer, length);
    if (sent == TlsChannel::failedResult)
        raiseTlsFailure(m_impl->tls->failure());
    return sent;
}

bool BlockingSocket::waitToSend(int timeoutMs)
{
    if (!m_impl->tls || !m_impl->tls->wantsRead())
        return ws::waitWritable(m_impl->socket, timeoutMs);
    // TLS must read before it can send on: the wake of the socket says when.
    IdleClock idle(timeoutMs);
    blockingPass(m_impl->socket, timeoutMs);
    return !idle.expired();
}

void BlockingSocket::raiseTlsFailure(const platform::ReasonPtr& cause) const
{
    const NetCode code =
        m_role == SocketEndpoint::Role::Data ? NetCode::DataTlsFailed : NetCode::TlsFailed;
    throw TlsError(reason(code, {endpointText(), cause}));
}

void BlockingSocket::startTls(std::shared_ptr<TlsContext> context, const QByteArray& peerName,
                              const BlockingSocket* resumeFrom)
{
    ReportStatus(StatusLevel::Detail, "TLS Handshake");
    m_impl->tls = std::make_unique<TlsChannel>(std::move(context), m_impl->socket, peerName);
    if (resumeFrom && resumeFrom->m_impl->tls)
        m_impl->tls->resumeSessionOf(*resumeFrom->m_impl->tls);
    const IdleClock idle(m_idleLimit);
    for (;;) {
        // A close noticed during the wait ends the connection and its TLS with it.
        TlsChannel* tls = m_impl->tls.get();
        const TlsChannel::Step step = tls ? tls->handshake() : TlsChannel::Failed;
        if (step == TlsChannel::Done)
            return;
        if (step == TlsChannel::Failed) {
            const platform::ReasonPtr cause =
                tls ? tls->failure() : reason(NetCode::ClosedInHandshake);
            const NetCode code = m_role == SocketEndpoint::Role::Data
                ? NetCode::DataTlsHandshakeFailed
                : NetCode::TlsHandshakeFailed;
            throw TlsError(reason(code, {endpointText(), cause}));
        }
        if (waitsStopped())
            raiseStopped(QStringLiteral("in the TLS handshake with %1").arg(endpointText()));
        if (Canceled) {
            Canceled = false;
            throw AbortError(reason(NetCode::TlsHandshakeCanceled));
        }
        if (idle.expired())
            throw SocketError(reason(NetCode::NoTlsHandshake, {idle.seconds()}),
                              SocketFailure::TimedOut, endpoint());
        blockingPass(m_impl->socket, idle.remaining());
    }
}

bool BlockingSocket::tlsActive() const
{
    return m_impl->tls != nullptr;
}

TlsPeer BlockingSocket::tlsPeer() const
{
    return m_impl->tls ? m_impl->tls->peer() : TlsPeer{};
}

bool BlockingSocket::tlsSessionResumable() const
{
    return m_impl->tls && m_impl->tls->hasResumableSession();
}

void BlockingSocket::finishTls(const std::function<bool()>& enough)
{
    const IdleClock idle(m_idleLimit);
    const auto wait = [&] {
        if (waitsStopped())
            raiseStopped(QStringLiteral("ending TLS with %1").arg(endpointText()));
        if (idle.expired())
            throw SocketError(reason(NetCode::NoTlsEnd, {endpointText(), idle.seconds()}),
                              SocketFailure::TimedOut, endpoint());
        blockingPass(m_impl->socket, idle.remaining());
    };
    // The connection (and its TLS) ends by itself when a pass notices the peer's close.
    for (;;) {
        if (!m_impl->tls)
            return;
        const TlsChannel::Step step = m_impl->tls->sendClose();
        if (step == TlsChannel::Done)
            break;
        if (step == TlsChannel::Failed)
            return; // the connection is gone: nothing is left to end
        wait();
    }
    // A server that waits for the end of the stream rather than for close_notify hears it too.
    ws::shutdownSending(m_impl->socket);
    std::array<char, 4096> scratch;
    for (;;) {
        if (!m_impl->tls)
            return;
        TlsChannel& tls = *m_impl->tls;
        const int received = tls.receive(scratch.data(), int(scratch.size()), false);
        if (received > 0)
            continue; // data after the end is of no use; what counts is reading it
        if (received == TlsChannel::failedResult)
            raiseTlsFailure(tls.failure());
        if (received == 0 || ws::WSAGetLastError() != ws::WSAEWOULDBLOCK)
            return;
        if (enough && enough())
            return;
        wait();
    }
}

void BlockingSocket::wakeOnActivity()
{
    ws::wakeOnSocketActivity(m_impl->socket);
}
