// A scripted FTP server on a loopback address, for checking exact wire dialogues.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace testsupport {

// Replies to FEAT: from a server that does not know the command (its names are GBK), and
// from one whose names are UTF-8.
inline constexpr char featUnknown[] = "500 Unknown command.\r\n";
inline constexpr char featUtf8[] = "211-Features:\r\n SIZE\r\n UTF8\r\n211 End\r\n";

// Whether this machine has the IPv6 loopback address ::1 (tests over IPv6 skip without).
bool hasIPv6Loopback();

// The TLS of the peer as a server (OpenSSL, a certificate made by the peer, session cache on).
struct PeerTls {
    // A data connection that does not resume the control connection's session is refused,
    // as vsftpd's require_ssl_reuse does: "522 ..." on the control connection, a problem noted.
    bool requireSessionReuse = true;
    // The highest version offered: TLS 1.3 (0x0304) or TLS 1.2 (0x0303).
    int maxVersion = 0x0304;
    bool expiredCertificate = false;
    // Each data connection presents a certificate of its own and resumes no session, as a
    // party in the middle would.
    bool dataCertificateOfItsOwn = false;
};

// How a data connection of a TLS session went.
struct PeerDataTls {
    bool encrypted = false;
    bool resumed = false;       // it resumed a session of the control connection
    bool closedWithTls = false; // the client ended it with close_notify
};

// Plays a list of steps on its own thread with blocking sockets, so it keeps working
// while the client under test blocks the test's thread. The control port is bound
// (to a free port unless one is given) as soon as the peer is constructed.
//
// Typical use:
//     ScriptedFtpPeer peer;
//     peer.send("220 Ready\r\n").reply("331 Password?\r\n").reply("230 In\r\n");
//     peer.start();
//     ... drive the client at peer.address():peer.port() ...
//     EXPECT_EQ(peer.commands(), (QList<QByteArray>{"USER u\r\n", "PASS p\r\n"}));
//
// Every command the client sends is recorded byte for byte, line end included, also
// after the script has ended (nothing is answered then), until the client closes the
// control connection or the peer is destroyed. Waits of the peer itself are bounded by
// stepTimeout(); a step that cannot be played is noted in problems() and ends the script.
class ScriptedFtpPeer {
public:
    using milliseconds = std::chrono::milliseconds;

    // Binds the control socket to address:port (port 0: a free one). Only loopback
    // addresses (127.x.y.z and ::1) are accepted.
    explicit ScriptedFtpPeer(QByteArray address = "127.0.0.1", quint16 port = 0);
    ~ScriptedFtpPeer();
    ScriptedFtpPeer(const ScriptedFtpPeer&) = delete;
    ScriptedFtpPeer& operator=(const ScriptedFtpPeer&) = delete;

    QByteArray address() const { return m_address; }
    quint16 port() const { return m_port; }

    // Script steps; add them before start(). Steps that need a control connection
    // accept the client's next one first when none is open.

    // Sends the bytes as they are (a greeting, a reply line the client did not ask for).
    ScriptedFtpPeer& send(QByteArray bytes);
    // Waits for the next command line, records it, then sends the bytes.
    ScriptedFtpPeer& reply(QByteArray bytes);
    // Waits for the next command line and records it without answering.
    ScriptedFtpPeer& command();
    // Waits for the next command (normally PASV), opens a listening data socket on
    // address():dataPort (0: a free port) and answers with replyTemplate, in which
    // "%PASV%" is replaced by the six fields h1,h2,h3,h4,p1,p2 of that socket (IPv4 only)
    // and "%PORT%" by its port.
    ScriptedFtpPeer& passive(QByteArray replyTemplate, quint16 dataPort = 0);
    // passive() for EPSV: answers "229 Entering Extended Passive Mode (|||port|)".
    ScriptedFtpPeer& extendedPassive(quint16 dataPort = 0);
    // Takes the data connection: accepts it on the passive socket of the last passive()
    // step, or else connects from address() to the address of the client's last PORT or
    // EPRT command.
    // Reads until the client closes it and adds the bytes to uploads().
    ScriptedFtpPeer& transfer();
    // Another host calling the client's active data port first: connects from `source` (a
    // second loopback address) to the address of the client's last PORT or EPRT and expects
    // to be closed at once with nothing received. A problem is noted when the client sends
    // a byte, keeps the connection open, or also listens at `source` (on every address).
    ScriptedFtpPeer& strangerCall(QByteArray source = "127.0.0.2");
    // Like transfer(), but takes no byte for `stall` (with a small receive buffer), then
    // closes the data connection.
    ScriptedFtpPeer& stalledTransfer(milliseconds stall);
    // Like transfer(), but resets the data connection once `bytes` have arrived, as a
    // server does whose disk is full.
    ScriptedFtpPeer& cutTransfer(qsizetype bytes);
    // Waits for the next command (AUTH TLS), sends the reply and, as `fault` says, runs the
    // TLS handshake as the server: from then on the control connection is TLS, and so is each
    // data connection after the client sent "PROT P". Needs enableTls().
    enum class TlsFault {
        None,
        Garbage, // sends a line of text instead of a handshake
        Close,   // reads the client's hello and closes the connection
        Silent,  // takes no part in the handshake
    };
    ScriptedFtpPeer& authTls(QByteArray reply = "234 AUTH TLS successful.\r\n",
                             TlsFault fault = TlsFault::None);
    // Implicit TLS, as on port 990: accepts the control connection and at once runs the
    // handshake as `fault` says, before any greeting. Needs enableTls().
    ScriptedFtpPeer& implicitTls(TlsFault fault = TlsFault::None);
    // Waits before the next step.
    ScriptedFtpPeer& delay(milliseconds duration);
    // Closes the control connection, accepting it first when none is open (a later
    // step accepts the client's next one).
    ScriptedFtpPeer& drop();

    // Not a step: from start() on, every FEAT command is answered with `reply` by the peer
    // itself, whatever step waits for a command, also after the script has ended. It is
    // recorded in commands() all the same. For scripts that do not dwell on the login.
    ScriptedFtpPeer& answerFeat(QByteArray reply = featUnknown);

    // Not a step: makes the peer able to speak TLS (authTls()); call before start().
    ScriptedFtpPeer& enableTls(PeerTls options = {});
    // SHA-256 of the peer's certificate, "AB:CD:..."; empty before enableTls().
    QByteArray certificateFingerprint() const;
    // Writes the peer's certificate into a trust store folder (see TestCertificate).
    bool addCertificateToTrustFolder(const QString& folder) const;
    // The data connections of TLS sessions so far, in order.
    QList<PeerDataTls> dataTls() const;

    // Starts playing the script.
    void start();

    // Bound on each wait of the peer (accepting, reading a command, the data connection).
    void setStepTimeout(milliseconds timeout) { m_stepTimeout = timeout; }
    milliseconds stepTimeout() const { return m_stepTimeout; }

    // Waits until every step has been played (or the script was cut short by a problem).
    bool waitUntilPlayed(milliseconds timeout = milliseconds(15000));
    // Waits until the peer is idle: script played and the client has closed the control
    // connection.
    bool waitUntilFinished(milliseconds timeout = milliseconds(15000));

    // Every command received so far, in order, byte for byte.
    QList<QByteArray> commands() const;
    // The bytes received on each data connection so far, in order.
    QList<QByteArray> uploads() const;
    // Steps that could not be played, and other surprises.
    QStringList problems() const;
    // Number of control connections accepted.
    int connectionCount() const;

private:
    enum class StepKind {
        Send,
        Reply,
        Command,
        Passive,
        Transfer,
        StalledTransfer,
        CutTransfer,
        Delay,
        Drop,
        AuthTls,
        ImplicitTls,
        StrangerCall
    };
    struct Step {
        StepKind kind;
        QByteArray bytes;
        quint16 port = 0;
        milliseconds duration{0};
        TlsFault fault = TlsFault::None;
    };
    // OpenSSL's server side, kept out of this header.
    struct Tls;

    void run();
    bool play(const Step& step);
    bool ensureControl();
    bool readCommand(QByteArray* line);
    bool sendAll(int fd, const QByteArray& bytes);
    bool openPassive(const Step& step);
    bool takeData(const Step& step);
    int openDataConnection(bool smallBuffer);
    bool callAsStranger(const QByteArray& source);
    void recordRemainingCommands();
    // Records a command line; answers it when it is a FEAT the peer answers itself (true).
    bool record(const QByteArray& line);
    bool waitReadable(int fd, milliseconds timeout);
    // The control connection's bytes, through TLS once it began.
    bool waitControl(milliseconds timeout);
    ssize_t receiveControl(char* buffer, std::size_t size);
    bool startControlTls(const Step& step);
    // TLS on an accepted data connection (when the client asked for PROT P); false when the
    // connection is to be refused.
    bool startDataTls(int fd);
    ssize_t receiveData(int fd, char* buffer, std::size_t size, bool* closedWithTls);
    void endDataTls(bool orderly);
    void closeControl();
    void problem(const QString& text);

    QByteArray m_address;
    quint16 m_port = 0;
    int m_listenFd = -1;
    int m_controlFd = -1;
    int m_passiveFd = -1;
    QByteArray m_pending;
    QByteArray m_lastPort;
    QByteArray m_featReply;
    std::vector<Step> m_steps;
    milliseconds m_stepTimeout{15000};

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    QList<QByteArray> m_commands;
    QList<QByteArray> m_uploads;
    QStringList m_problems;
    int m_connections = 0;
    bool m_played = false;
    bool m_finished = false;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::unique_ptr<Tls> m_tls;
    QList<PeerDataTls> m_dataTls;
};

} // namespace testsupport
