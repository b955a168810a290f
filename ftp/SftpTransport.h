// The SSH connection under an SFTP session: libssh driven without blocking the thread.
#pragma once

#include "net/BlockingSocket.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class DescriptorWait;
struct ssh_session_struct;
struct ssh_channel_struct;

// One SSH connection and its "sftp" channel. The TCP connection is the socket component's
// (lookup, IPv6, connect limit, Stop); libssh runs non-blocking on it and every wait for
// the server goes through DescriptorWait, so the thread's loop keeps dispatching.
//
// Waits raise SocketError: a limit passed (TimedOut), the connection lost (Closed, Reset),
// a stop (AbortError of SocketFailure::Stopped).
class SftpTransport {
public:
    // Every wait obeys `stop`: the session's.
    explicit SftpTransport(std::shared_ptr<StopToken> stop);
    ~SftpTransport();
    Q_DISABLE_COPY_MOVE(SftpTransport)

    // The connect limit holds from the connect to the end of the key exchange, the idle
    // limit for each later wait that sees no progress; 0: none.
    void setLimits(int connectLimitMs, int idleLimitMs);
    // The folder of known_hosts and the user's keys; empty: the user's ~/.ssh.
    void setSshFolder(const QString& folder) { m_sshFolder = folder; }

    // Connects, makes sure an SSH server answers and runs the key exchange.
    void connect(const QString& host, quint16 port);
    bool serverAnswered() const { return m_answered; }
    // The server's host key: "SHA256:<base64 without padding>", as ssh shows it.
    QByteArray fingerprint() const;
    // What the user's known_hosts says of the server's key for the host and port: it holds
    // this key, it holds nothing for the host, or it holds another key (as ssh would warn).
    enum class KnownHosts { Vouches, Silent, Contradicts };
    KnownHosts knownHosts() const;
    // The key known_hosts holds for the host, by its fingerprint when libssh hands the entry
    // out, else as "known_hosts" (the file that holds it).
    QByteArray knownHostsKey() const;
    // With a password when it is not empty (one attempt), else with the agent or the
    // user's keys; ServerRefusal naming what the server offers when it refuses.
    void logIn(const QString& user, const QString& password);
    // Opens the channel and starts the "sftp" subsystem on it.
    void openSftp();

    // Hands all bytes to the channel. A file's data (while the stop token says a file is in
    // transfer) goes on after the first press of Stop; only a cut ends it.
    void send(const QByteArray& bytes);
    // What the channel has now; waits for at least one byte.
    QByteArray receive();

    // Between pieces of a file: lets queued calls run, and raises when they stopped it.
    void checkpoint();
    // The polite end: the server is told goodbye; the connection is closed.
    void close();
    // Closes without a word.
    void drop();
    bool isConnected() const { return m_session != nullptr; }

    // Bytes came or went.
    std::function<void()> OnActivity;

private:
    struct SessionFree {
        void operator()(ssh_session_struct* session) const;
    };
    struct ChannelFree {
        void operator()(ssh_channel_struct* channel) const;
    };

    // Repeats `step` while libssh has to wait for the server, waiting between.
    int drive(const std::function<int()>& step, int again, const QString& during);
    // Waits until the connection can move on; raises on a limit or a stop.
    void await(const QString& during);
    bool givesUp() const { return m_stop->waitsStopped(); }
    [[noreturn]] void raiseStopped(const QString& during) const;
    [[noreturn]] void raiseHandshakeTimedOut() const;
    void readBanner();
    // Moves what the channel holds into m_incoming, so that libssh handles what came.
    void takeIncoming(const QString& during);
    void closeIfOurs(int descriptor) const;
    [[noreturn]] void raiseLost(const QString& during) const;
    QString endpointText() const;
    SocketEndpoint endpoint() const;

    BlockingSocket m_socket;
    // The channel goes before its session.
    std::unique_ptr<ssh_session_struct, SessionFree> m_session;
    std::unique_ptr<ssh_channel_struct, ChannelFree> m_channel;
    // Ours, for the waits; libssh has a copy of its own.
    int m_descriptor = -1;
    std::unique_ptr<DescriptorWait> m_wait;
    QByteArray m_incoming;
    QString m_sshFolder;
    QByteArray m_host;
    quint16 m_port = 0;
    int m_connectLimitMs = 0;
    int m_idleLimitMs = 0;
    // Until the key exchange ends, the waits share the connect limit.
    qint64 m_handshakeDeadline = -1;
    bool m_answered = false;
    // The session's stop, shared with the socket that connects.
    std::shared_ptr<StopToken> m_stop;
};
