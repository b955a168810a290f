// The socket component: one TCP socket turned into blocking operations that keep the
// window alive by dispatching messages while they wait; its hidden window.
#pragma once

#include "platform/exception.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// Event types: an empty std::function is "not assigned".
using NotifyEvent = std::function<void(QObject* Sender)>;
using HostResolvedEvent = std::function<void(QObject* Sender)>;
using StatusEvent = std::function<void(QObject* Sender, const QByteArray& Status)>;
using ErrorEvent = std::function<void(QObject* Sender, quint16 Errno, const QByteArray& Errmsg)>;
using HandledEvent = std::function<void(bool& Handled)>;

class SocketError : public platform::Exception {
public:
    explicit SocketError(const QString& message) : platform::Exception(message) {}
    explicit SocketError(const char* message) : platform::Exception(QString::fromLatin1(message)) {}
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
    virtual void Disconnect();
    virtual QByteArray Transaction(const QByteArray& Command);
    virtual void Abort();
    void Cancel();
    void CheckConnection();
    void CloseSocket();
    // Closes so that the peer receives all that was sent and then an orderly end, never
    // a reset: for a data connection whose close marks the end of a file.
    void closeGracefully();
    // The IPv4 address (network order) of Proxy, or of Host without a proxy; 0 when none.
    quint32 ResolveHost();

    // Data transfer.
    void Write(const QByteArray& Text);
    void Writeln(const QByteArray& Text);
    void SendBuffer(const char* Buffer, quint16 Count);
    QByteArray Read(quint16 Count);
    QByteArray ReadLn();
    bool DataAvailable();
    void ClearInput();
    void SendFile(const QString& FileName);
    // Listens on Port (0: a port the stack chooses) for one connection.
    void Listen();
    // Waits for the connection that Listen announces and goes on with it: the
    // listening socket is closed and the accepted one becomes this component's socket.
    void Accept();
    QByteArray LocalAddressCommas();
    QByteArray LocalPortCommas();

    // Status and errors.
    void ReportStatus(StatusLevel Level, const QByteArray& Text);
    void CheckSocketError(int Tolerated);
    QByteArray ErrorText(quint16 Number);
    void HandleNotification(quint32 Message, quint16 Event, quint16 Error);

    // Time-out.
    void TimerOn();
    void TimerOff();
    void TimerTriggered(QObject* Sender);

    // Optional guard against a silent peer: a wait (lookup, connect, accept, a read
    // with a count, ReadLn, a blocked send in SendBuffer or SendFile) that sees no
    // progress for this many milliseconds raises SocketError ("No data received within
    // 60 s" and the like; a connect ends as "Connection Timed out"). 0 (the default)
    // means no limit.
    void setIdleLimit(int milliseconds) { m_idleLimit = milliseconds; }
    int idleLimit() const { return m_idleLimit; }

    // Fields.
    NotifyEvent OnConnect;
    NotifyEvent OnDisconnect;
    ErrorEvent OnError;
    HandledEvent OnInvalidHost;
    HostResolvedEvent OnHostResolved;
    HandledEvent OnConnectionRequired;
    StatusEvent OnStatus;
    NotifyEvent OnConnectionFailed;
    bool Canceled = false;
    qint32 TimeOut = 0;
    // Status texts up to this level reach OnStatus; 0 reports nothing.
    qint32 ReportLevel = 0;
    QByteArray Proxy;
    qint32 ProxyPort = 0;
    bool NotifyOk = false;
    bool TimedOut = false;
    qint32 Port = 0;
    NotifyEvent OnPacketSent;
    bool WaitDone = false;
    QByteArray Host;
    bool Connected = false;

protected:
    // A derived destructor calls this first, so that its own tear-down fires no events.
    void setDestroying() { m_destroying = true; }

private:
    // The socket, its window and timer, and the buffers the socket layer fills.
    struct Impl;

    void StartStack();
    void openNotifiedSocket();
    void replaceSocket();

    const std::unique_ptr<Impl> m_impl;
    int m_idleLimit = 0;
    bool m_destroying = false;
};
