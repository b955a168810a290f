// The socket component: one TCP socket turned into blocking operations that keep the
// window alive by dispatching messages while they wait.
#pragma once

#include "net/StopToken.h"
#include "net/TlsChannel.h"
#include "platform/exception.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// Event types: an empty std::function is "not assigned".
using NotifyEvent = std::function<void(QObject* Sender)>;
using HostResolvedEvent = std::function<void(QObject* Sender)>;
using StatusEvent = std::function<void(QObject* Sender, const QByteArray& Status)>;
using ErrorEvent = std::function<void(QObject* Sender, quint16 Errno, const QByteArray& Errmsg)>;
using HandledEvent = std::function<void(bool& Handled)>;

// Why a connection could not be made or was lost, so that the caller can word it for its
// reader; Other when the message says all there is.
enum class SocketFailure {
    Other,
    Refused,      // nothing listens on that port
    TimedOut,     // no answer within the idle limit
    Unreachable,  // no route to the host or network
    Reset,        // the peer reset the connection
    Closed,       // the peer closed the connection instead of answering
    LookupFailed, // the host name has no address
    Stopped,      // the user stopped the run
};

// The connection a failure belongs to: the control connection or a data connection, and
// the address and port it went to.
struct SocketEndpoint {
    enum class Role { Control, Data };
    Role role = Role::Control;
    QByteArray address;
    quint16 port = 0;
};

class SocketError : public platform::Exception {
public:
    // `systemCause`: the system's words for the error number behind it, if any.
    explicit SocketError(platform::ReasonPtr reason, SocketFailure failure = SocketFailure::Other,
                         std::optional<SocketEndpoint> endpoint = {},
                         platform::ReasonPtr systemCause = {});
    // Words alone, without a reason of this layer.
    explicit SocketError(const QString& message, SocketFailure failure = SocketFailure::Other,
                         std::optional<SocketEndpoint> endpoint = {}, QString systemReason = {});
    explicit SocketError(const char* message)
        : SocketError(QString::fromLatin1(message))
    {
    }

    SocketFailure failure() const noexcept { return m_failure; }
    const std::optional<SocketEndpoint>& endpoint() const noexcept { return m_endpoint; }
    // The system's own words for the cause ("connection refused"), empty when none.
    const QString& systemReason() const noexcept { return m_systemReason; }
    // The same as a reason (NetCode), empty when the error came with words alone.
    const platform::ReasonPtr& systemCause() const noexcept { return m_systemCause; }

private:
    SocketFailure m_failure = SocketFailure::Other;
    std::optional<SocketEndpoint> m_endpoint;
    QString m_systemReason;
    platform::ReasonPtr m_systemCause;
};

// A transfer ended because it was canceled.
class AbortError : public SocketError {
public:
    using SocketError::SocketError;
};

// How much a status text tells; ReportStatus passes on the texts up to ReportLevel.
enum class StatusLevel : qint32 {
    Dialogue = 1, // reply lines and the commands the FTP client reports
    Transfer = 4, // "Sending Buffer", "Accepting" and "Request Close Socket"
    Detail = 8,   // every other step
};

// The n-th field (from 1) of a text split at a separator; empty when missing.
QByteArray ExtractField(const QByteArray& Text, char Separator, int N);

// The destructor runs this class's Abort (C++ calls no override from a base destructor),
// so a derived class that redefines Abort cancels what it owns in its own destructor.
class BlockingSocket : public QObject {
public:
    explicit BlockingSocket(QObject* AOwner = nullptr);
    ~BlockingSocket() override;
    Q_DISABLE_COPY_MOVE(BlockingSocket)

    // Connection.
    virtual void Connect();
    // Closes the socket (a component's first socket with a reset, later ones in order)
    // and opens a fresh one for the next Connect or Listen.
    virtual void Disconnect();
    // Sends the command as one line and returns the reply line (empty when the peer
    // closed instead of replying).
    virtual QByteArray Transaction(const QByteArray& Command);
    virtual void Abort();
    // Ends the running wait or send; see cancelPending().
    void Cancel();
    // A Cancel that no operation has ended yet: the next wait or send ends at once.
    bool cancelPending() const { return Canceled; }
    // Closes so that the peer receives all that was sent and then an orderly end, never
    // a reset: for a data connection whose close marks the end of a file.
    void closeGracefully();
    // Hands the connected socket over to another library: a descriptor of it (non-blocking,
    // closed on exec) that the caller now owns and closes, and an orderly close, not a reset,
    // when it does. This component lets go of the connection without a notice and is ready
    // for the next Connect; -1 when it has no connection.
    int takeDescriptor();

    // Stop: from now on every wait for the peer (lookup, connect, accept, a read) ends at
    // once with AbortError of SocketFailure::Stopped, until resumeWaits(), unless a file is
    // in transfer (see StopToken). Sending does not wait for the peer in that sense and goes
    // on; Cancel or a cut stop ends it.
    void stopWaits() { m_stop->stopWaiting(); }
    void resumeWaits() { m_stop->reset(); }
    bool waitsStopped() const { return m_stop->waitsStopped(); }
    // The stop this connection obeys: its own, or its session's shared with other connections.
    void setStopToken(std::shared_ptr<StopToken> token) { m_stop = std::move(token); }
    const std::shared_ptr<StopToken>& stopToken() const { return m_stop; }

    // What this connection is for, and where it goes: Host (or Proxy) and the port of
    // Connect, or the port Listen bound. Carried by the errors it raises.
    void setRole(SocketEndpoint::Role role) { m_role = role; }
    SocketEndpoint endpoint() const;

    // TLS. From startTls() on, this connection reads and writes through TLS as its client:
    // the handshake waits as a read does (idle limit, stop) and raises TlsError when it
    // fails. `peerName` is the host name or address the certificate is checked against;
    // `resumeFrom` offers the session of that connection (a data connection resumes the
    // control connection's). A record that fails raises TlsError; the connection closes
    // with its TLS.
    void startTls(std::shared_ptr<TlsContext> context, const QByteArray& peerName,
                  const BlockingSocket* resumeFrom = nullptr);
    bool tlsActive() const;
    // What the handshake established; empty without TLS.
    TlsPeer tlsPeer() const;
    // Whether a connection that resumes this one's session can do so now.
    bool tlsSessionResumable() const;
    // Ends TLS in order before the close: sends close_notify and reads until the peer's own
    // or the end of the connection, so that nothing unread turns the close into a reset and
    // the peer can tell a complete stream from a cut one. `enough` is asked on every pass and
    // ends the wait when it says so. Nothing without TLS.
    void finishTls(const std::function<bool()>& enough = {});
    // The next wait of any connection also ends when this one has news (data, its end).
    void wakeOnActivity();

    // Data transfer.
    QByteArray ReadLn();
    void SendFile(const QString& FileName);
    // The bytes the last SendFile handed to the connection so far.
    qint64 bytesSent() const { return m_bytesSent; }

    // A connection the peer opens: Listen on Port (0: a port the stack chooses) of Host
    // when that is an IPv4 or IPv6 address (else of every IPv4 address), tell the peer
    // LocalAddressCommas() and LocalPortCommas() (or localAddress() and localPort()),
    // then Accept.
    void Listen();
    // Waits for the connection that Listen announces and goes on with it: the
    // listening socket is closed and the accepted one becomes this component's socket.
    // `duringWait` runs on every pass of the wait; what it raises ends the wait.
    // With `caller` set, only a connection from that address is taken: any other is
    // closed at once, nothing read from or written to it, reported to `refused` with its
    // address, and the wait goes on within the same idle limit.
    void Accept(const std::function<void()>& duringWait = {}, const QByteArray& caller = {},
                const std::function<void(const QByteArray& address)>& refused = {});
    QByteArray LocalAddressCommas();
    QByteArray LocalPortCommas();
    // The socket's own address, and its peer's, as numbers: "127.0.0.1", "::1",
    // "fe80::1%eth0"; empty when it has none (a peer's once the connection is gone).
    QByteArray localAddress();
    QByteArray peerAddress();
    quint16 localPort();

    // Optional guard against a silent peer: a wait (lookup, connect, accept, a read
    // with a count, ReadLn, a blocked send) that sees no progress for this many
    // milliseconds raises SocketError of SocketFailure::TimedOut ("No data received
    // within 60 s" and the like; a connect ends as "Connection to <host>:<port> failed:
    // timed out"). 0 (the default) means no limit.
    void setIdleLimit(int milliseconds) { m_idleLimit = milliseconds; }
    int idleLimit() const { return m_idleLimit; }

    // Settings.
    QByteArray Host;
    qint32 Port = 0;
    // When set, Connect goes to Proxy:ProxyPort instead of Host:Port.
    QByteArray Proxy;
    qint32 ProxyPort = 0;
    // Milliseconds a lookup, a connect, a sent line or a read line may take before it is
    // aborted; 0: no limit.
    qint32 TimeOut = 0;
    // Status texts up to this level reach OnStatus; 0 reports nothing.
    qint32 ReportLevel = 0;

    // Events.
    NotifyEvent OnConnect;
    NotifyEvent OnDisconnect;
    NotifyEvent OnConnectionFailed;
    ErrorEvent OnError;
    HandledEvent OnInvalidHost;
    HostResolvedEvent OnHostResolved;
    HandledEvent OnConnectionRequired;
    StatusEvent OnStatus;
    NotifyEvent OnPacketSent;
    // SendFile: each piece read from the file, before it is sent (a hash of what went out).
    std::function<void(const char* data, qsizetype size)> OnFileData;

    // State.
    bool Connected = false;

protected:
    // The building blocks of a protocol on top of the socket.
    void ReportStatus(StatusLevel Level, const QByteArray& Text);
    // Raises "Not Connected" unless connected, after OnConnectionRequired had its chance.
    void CheckConnection();
    // Takes and returns what is waiting (Count 0), or waits for Count bytes.
    QByteArray Read(quint16 Count);
    bool DataAvailable();
    void ClearInput();
    void Writeln(const QByteArray& Text);
    // While one lives, the lines read by ReadLn form one reply that must have ended within
    // the idle limit in total, however its bytes trickle in: "No reply within 60 s" when
    // none came, "The reply did not end within 60 s" when it began.
    class ReplyLimit {
    public:
        explicit ReplyLimit(BlockingSocket& socket);
        ~ReplyLimit();
        Q_DISABLE_COPY_MOVE(ReplyLimit)

    private:
        BlockingSocket& m_socket;
        bool m_outer;
    };
    // A derived destructor calls this first, so that its own tear-down fires no events.
    void setDestroying() { m_destroying = true; }

    // Set by Cancel; the operation that ends because of it clears it (Accept's wait aside).
    bool Canceled = false;
    // The time-out timer fired during the last operation that armed it.
    bool TimedOut = false;

private:
    // The socket, its window and timer, and the buffers the socket layer fills.
    struct Impl;

    void StartStack();
    void openNotifiedSocket();
    void replaceSocket();
    // Fills the addresses of Proxy, or of Host without a proxy, that Connect tries in
    // order: the address itself, or the answer of this call's own lookup of the name.
    void ResolveHost();
    void CloseSocket();
    void Write(const QByteArray& Text);
    // recv and send of the socket, or through its TLS; TlsError when TLS failed.
    int receive(char* buffer, int length, bool peek);
    int transmit(const char* buffer, int length);
    // Waits (without dispatching) until a blocked send can go on.
    bool waitToSend(int timeoutMs);
    [[noreturn]] void raiseTlsFailure(const platform::ReasonPtr& reason) const;
    void SendBuffer(const char* Buffer, quint16 Count);
    void CheckSocketError(int Tolerated);
    QByteArray ErrorText(quint16 Number);
    void HandleNotification(quint32 Message, quint16 Event, quint16 Error);
    void TimerOn();
    void TimerOff();
    void TimerTriggered(QObject* Sender);
    // "127.0.0.1:21": where this connection goes, for messages.
    QString endpointText() const;
    // A connect that did not succeed: "Connection to 127.0.0.1:21 failed: <reason>".
    SocketError connectFailure(const platform::ReasonPtr& cause, SocketFailure failure,
                               const platform::ReasonPtr& systemCause = {}) const;
    [[noreturn]] void raiseStopped(const QString& during) const;
    // The limit of the reply being read has passed.
    [[noreturn]] void raiseReplyTimedOut(qsizetype lineBytes) const;
    // SendFile's two ways: read into the buffer and send (OnFileData sees each piece), or
    // hand the file to the kernel, which sends it from the page cache without a copy.
    void sendFileCopying(int fd, qint64 size);
    void sendFileZeroCopy(int fd, qint64 size);
    // Calls `sendPiece` (bytes handed over, 0 at the file's end, SOCKET_ERROR with the error
    // set) until `size` bytes went; counts and reports each piece and waits while the peer
    // takes nothing, up to the idle limit.
    void sendPieces(qint64 size, const std::function<int()>& sendPiece);

    const std::unique_ptr<Impl> m_impl;
    bool m_notifyOk = false;
    // The error of the last notification (0: none).
    quint16 m_notifyError = 0;
    std::shared_ptr<StopToken> m_stop = std::make_shared<StopToken>();
    SocketEndpoint::Role m_role = SocketEndpoint::Role::Control;
    quint16 m_boundPort = 0;
    qint64 m_bytesSent = 0;
    bool m_waitDone = false;
    int m_idleLimit = 0;
    bool m_destroying = false;
};
