// One station's session, whatever protocol it speaks: what a send run asks of a server.
#pragma once

#include "ftp/SessionTypes.h"
#include "net/StopToken.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

// Everything a session needs to know of its station, given at once to open().
struct SessionSettings {
    Protocol protocol = Protocol::Ftp;
    QString host; // an IPv4 or IPv6 address or a name
    quint16 port = 21;
    QString user;
    QString password;
    // FTP only: the data connection, TLS and the encoding of names (SFTP names are UTF-8).
    TransferMode mode = TransferMode::Auto;
    TlsMode tls = TlsMode::Auto;
    EncodingChoice encoding = EncodingChoice::Auto;
    // Store each file as its name plus ".part" and rename it once stored and checked.
    bool tempNames = false;
    // The server's identity remembered for the station: the SHA-256 of its certificate
    // ("AB:CD:...") for FTP over TLS, of its host key ("SHA256:...") for SFTP. Empty: none
    // yet, the first one is accepted.
    QByteArray rememberedIdentity;
};

// How the session is protected and who the server proved to be, as open() found it.
struct SessionSecurity {
    bool encrypted = false;
    // FTP: AUTH TLS was sent, and the server accepted it.
    bool asked = false;
    bool offered = false;
    QString protocol; // "TLS 1.3", "TLS 1.2", "SSH"
    // The server's identity: "AB:CD:..." of a certificate, "SHA256:..." of a host key.
    QByteArray fingerprint;
    // Accepted without a remembered fingerprint: the system's trust store (a certificate)
    // or the user's ~/.ssh/known_hosts (a host key) vouches for the host.
    bool trustedBySystem = false;
};

// Lives and is used on one thread; its stop is pressed on that thread too, from the waits'
// own event loop, so that a stop takes effect within a wait.
//
// Failures raised: SocketError (no connection, a limit passed, a stop: SocketFailure::Stopped,
// a server that speaks another protocol), ServerRefusal (a refusal in the server's words:
// login, folder, a write; RenameError and FtpError among them), TlsError and
// CertificateChangedError, HostKeyChangedError, VerifyError (stored, but not as sent),
// NameEncodingError and FileOpenError (nothing sent).
class StationSession {
public:
    // Stopped by `stop` when given (one pressed before the session began), else by its own.
    explicit StationSession(std::shared_ptr<StopToken> stop = nullptr)
        : m_stop(stop ? std::move(stop) : std::make_shared<StopToken>())
    {
    }
    virtual ~StationSession() = default;
    StationSession(const StationSession&) = delete;
    StationSession& operator=(const StationSession&) = delete;

    virtual Protocol protocol() const = 0;
    // Connects, checks the server's identity and logs in. Nothing is sent with the password
    // to a server whose identity was not accepted.
    virtual void open(const SessionSettings& settings) = 0;
    virtual bool isOpen() const = 0;
    // The server has answered (FTP greeting, SSH banner): a wait that failed since then had
    // the idle limit, one before it the connect limit.
    virtual bool serverAnswered() const = 0;
    // The limit of connecting and of the greeting or SSH handshake, and of every later wait
    // for the server; set before open().
    virtual void setLimits(int connectLimitMs, int idleLimitMs) = 0;
    virtual int connectLimitMs() const = 0;
    virtual int idleLimitMs() const = 0;
    // What open() found; also after it failed, as far as it got.
    virtual const SessionSecurity& security() const = 0;
    // The encoding of this session's names.
    virtual NameEncoding nameEncoding() const = 0;

    // The folder every later upload goes into; "." is the login folder.
    virtual void changeFolder(const QString& folder) = 0;
    // What comes before the first file (FTP: the transfer type).
    virtual void prepareUploads() = 0;
    // Stores the local file as `remoteName` in the current folder (through remoteName plus
    // ".part" with tempNames), checks it where the server can tell, and renames it.
    virtual void upload(const QString& localPath, const QString& remoteName) = 0;
    // The last upload's progress, also after it failed and while it runs.
    virtual const UploadProgress& lastUpload() const = 0;

    // The polite goodbye and close; the connection is closed in every case, but a failing
    // goodbye raises.
    virtual void close() = 0;
    // Closes at once without a goodbye: a window that is closing, a server that is silent.
    virtual void drop() = 0;
    // The session's one stop state, which each of its connections reads, and which knows
    // whether a file is in transfer.
    StopToken& stop() const { return *m_stop; }
    // Stop, first press: every wait for the server ends at once with an AbortError of
    // SocketFailure::Stopped; a file being sent goes on to its end.
    void stopWaiting() { m_stop->stopWaiting(); }
    // Stop, second press: the file being sent is cut at once too.
    void abortTransfer() { m_stop->cutNow(); }

    // Events, on the session's thread.
    // Something came from the server or went to it: a sign of life for the limit's display.
    std::function<void()> OnActivity;
    // FTP: Auto mode gave up on passive data connections, and why.
    std::function<void(const FallbackReason& reason)> OnModeFallback;
    // FTP: an active data connection came from another address than the server's.
    std::function<void(const QByteArray& address)> OnDataCallerRefused;

protected:
    const std::shared_ptr<StopToken>& stopToken() const { return m_stop; }

private:
    const std::shared_ptr<StopToken> m_stop;
};
