// The FTP client: login, single commands, transfer type, upload by STOR, logout.
#pragma once

#include "ftp/ControlConnection.h"
#include "ftp/DataChannel.h"
#include "ftp/FtpReplies.h"
#include "ftp/FtpTls.h"
#include "ftp/SessionTypes.h"
#include "ftp/UploadCheck.h"
#include "net/BlockingSocket.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

enum class FirewallStyle { FTUser = 0, FtOpen = 1, FtSite = 2 };

using FailureEvent = std::function<void(bool& Handled, CommandKind Trans_Type)>;
using SuccessEvent = std::function<void(CommandKind Trans_Type)>;
using UnsupportedEvent = std::function<void(CommandKind Trans_Type)>;

// Waits on the server (greeting and replies, the data connection, a send that makes no
// progress) give up with SocketError after ftp::defaultIdleLimitMs without a byte from the
// server, and a reply must have ended (all its lines, at most 64 KiB) within that time;
// setIdleLimit() changes the limit for the control and the data connections. An upload
// counts as stored only on a 2xx final reply.
// A failed or stopped login closes without waiting for the server's goodbye.
// After the login the client asks for the server's features (FEAT); when they list UTF8 it
// sends "OPTS UTF8 ON" and writes every name of the session in UTF-8, otherwise in GBK.
// TLS (tlsMode(), Off unless set): "AUTH TLS" after the greeting, on 234 the handshake and
// the check of the certificate before USER (Implicit: the handshake and the check right after
// connecting, before the greeting; a server that answers in clear raises TlsError with its
// first line), "PBSZ 0" and "PROT P" after the login; every data
// connection is then TLS too, resumes the control connection's session, must present the
// control connection's certificate (else TlsError before a byte of the file goes), and ends
// with a TLS close. An active data connection is taken from the server's address only. A
// certificate that the system trusts for Host is accepted; any other when no fingerprint is
// remembered or it is the remembered one, else CertificateChangedError. One outside its validity
// dates raises TlsError. The failures of TLS raise TlsError.
class FtpClient : public QObject {
public:
    explicit FtpClient(QObject* AOwner = nullptr);
    ~FtpClient() override;
    Q_DISABLE_COPY_MOVE(FtpClient)

    // Connects to Host (or Proxy), reads the greeting and logs in; nothing when connected.
    // Host is an IPv4 or IPv6 address or a name; over IPv6 uploads use EPSV and EPRT. A
    // greeting that is no FTP reply raises SocketError "Not an FTP server: <its line>".
    void Connect();
    // QUIT and close; nothing when not connected. The socket is closed in every case.
    void Disconnect();
    // The control connection is open.
    bool connected() const { return m_control.Connected; }
    // Closes the control connection at once, without QUIT and without waiting for the
    // server: for a window that is closing.
    void dropConnection();
    // Stop, first step: every wait for the server ends at once with an AbortError of
    // SocketFailure::Stopped, now and until the next Connect; a file whose data is being
    // sent goes on to its end and its final reply is still read. Commands are no longer
    // sent; Disconnect sends QUIT and closes without waiting for the reply.
    void stopWaiting();
    // Stop, second step: the file being sent is cut at once (AbortError "Socket send
    // aborted", SocketFailure::Stopped), and every later wait ends as after stopWaiting().
    void abortTransfer();
    // The limit of connecting and of the greeting (0: the idle limit serves them too); every
    // later wait keeps the idle limit.
    void setConnectLimit(int milliseconds) { m_connectLimit = milliseconds; }
    int connectLimit() const { return m_connectLimit > 0 ? m_connectLimit : idleLimit(); }
    void setIdleLimit(int milliseconds) { m_control.setIdleLimit(milliseconds); }
    int idleLimit() const { return m_control.idleLimit(); }
    // The greeting of the last Connect was read: a wait that failed since had the idle limit.
    bool greetingRead() const { return m_greetingRead; }
    // stopWaiting() was called since the last Connect.
    bool stopping() const { return m_control.stopToken()->stopped(); }
    // The session's stop state, shared with the control and data connections.
    void setStopToken(std::shared_ptr<StopToken> token)
    {
        m_control.setStopToken(std::move(token));
    }
    const std::shared_ptr<StopToken>& stopToken() const { return m_control.stopToken(); }
    // The last Upload's progress, also after it failed.
    const UploadProgress& lastUpload() const { return m_lastUpload; }
    // Status texts up to this level reach OnStatus; 0 reports nothing.
    void setReportLevel(qint32 level) { m_control.ReportLevel = level; }
    qint32 reportLevel() const { return m_control.ReportLevel; }

    // TLS of the next Connect.
    void setTlsMode(TlsMode mode) { m_tlsMode = mode; }
    TlsMode tlsMode() const { return m_tlsMode; }
    // The fingerprint remembered for the station ("AB:CD:..."; letter case and colons aside);
    // empty: none remembered yet, the first certificate is accepted.
    void setRememberedFingerprint(const QByteArray& fingerprint)
    {
        m_rememberedFingerprint = fingerprint;
    }
    const QByteArray& rememberedFingerprint() const { return m_rememberedFingerprint; }
    // The TLS of the session since the last Connect.
    const TlsSessionInfo& tlsSession() const { return m_tls.session(); }

    // Sends a command; a reply of 400 to 599 is a refusal (OnFailure or FtpError).
    void RunCommand(const QByteArray& Command);
    // The folder in the session's encoding; one it cannot hold raises NameEncodingError and
    // nothing is sent.
    void ChangeDir(const QString& Directory);
    // 1 "TYPE A", 2 "TYPE I", 3 "TYPE L 8"; any other mode does nothing.
    void SetTransferType(int Mode);
    // Stores the local file as `remoteName` in the session's encoding (empty: the file name
    // of `localPath`). A name it cannot hold fails with NameEncodingError before anything
    // is sent, through OnFailure as any other failure of the upload.
    void Upload(const QString& localPath, const QString& remoteName);

    // The encoding of this session's names (GBK until a login chose UTF-8).
    NameEncoding sessionEncoding() const { return m_encoding; }
    // The code of the last reply (0: none, or a line without a code).
    qint16 replyCode() const { return m_control.ReplyCode; }
    // The data connection of the upload under way (the sender of OnPacketSent); null
    // between uploads.
    const BlockingSocket* dataConnection() const { return m_dataConnection; }

    // Settings of the next Connect.
    QByteArray Host;
    qint32 Port = 21;
    // When set, Connect goes to Proxy:ProxyPort and logs in in the FirewallType style.
    QByteArray Proxy;
    qint32 ProxyPort = 0;
    QByteArray UserID;
    QByteArray Password;
    TransferMode Mode = TransferMode::Active;
    // Read at the login.
    EncodingChoice Encoding = EncodingChoice::Auto;
    // After a stored upload in binary type, check it by the server's hash or size (see
    // UploadCheck).
    bool VerifyUploads = true;
    // Store each file as its name plus ".part" and rename it (RNFR, RNTO) once stored and
    // checked, so that nobody reads it half-written; a refused rename raises RenameError.
    bool TempNames = false;
    FirewallStyle FirewallType = FirewallStyle::FTUser;
    QByteArray FWUserID;
    QByteArray FWPassword;
    bool FWAuthenticate = false;

    // Events.
    // Mode Auto gave up on passive data connections for this session, and why: the server's
    // 5xx refusal of PASV ("PASV: 502 ...; EPSV: 500 ..." when EPSV was refused too).
    std::function<void(const FallbackReason& reason)> OnModeFallback;
    // An active data connection came from another address than the server's (the control
    // connection's peer); it was closed at once, unread and unanswered, and the wait for
    // the server goes on within the same limit. The caller's address, "127.0.0.2".
    std::function<void(const QByteArray& address)> OnDataCallerRefused;
    StatusEvent OnStatus;
    NotifyEvent OnDisconnect;
    NotifyEvent OnConnectionFailed;
    // Each piece of a file sent; the sender is the data connection.
    NotifyEvent OnPacketSent;
    NotifyEvent OnTransactionStart;
    NotifyEvent OnTransactionStop;
    SuccessEvent OnSuccess;
    FailureEvent OnFailure;
    HandledEvent OnAuthenticationNeeded;
    // Fired after a successful login.
    NotifyEvent OnConnect;
    UnsupportedEvent OnUnSupportedFunction;

private:
    struct StorName {
        QByteArray wire;
        QByteArray shown;
    };

    // `laterLimit`: the idle limit, which serves every wait after the greeting.
    void logIn(int laterLimit);
    void readGreeting();
    // The user's login, through the proxy's in its firewall style.
    void sendLogin();
    // FEAT and, when the server lists UTF8, "OPTS UTF8 ON": the session's name encoding.
    void chooseEncoding();
    void checkLoginReply(const QByteArray& reply);
    // Closes the control connection unless the server's own close already did.
    void closeIfOpen();
    // The name in the session's encoding, or NameEncodingError.
    QByteArray wireName(const QString& name) const;
    // The STOR name of a file stored under its own name.
    StorName ownName(const QString& localPath) const;
    // Whether the next upload opens its data connection passively.
    bool passiveInUse() const;
    // The upload with the name `name` gives; a failure to name it is a failure of the upload.
    void upload(const QString& localPath, const std::function<StorName()>& name);
    // One attempt on a fresh data connection.
    bool transferOnNewConnection(const QString& localPath, const StorName& name);
    // The upload on its data connection: true when the server stored the file, false
    // after a refusal that OnFailure handled.
    bool transfer(BlockingSocket& data, const QString& localPath, const StorName& name);
    // The data connection opened and STOR accepted (an active connection taken).
    bool openData(BlockingSocket& data, const StorName& name);
    // The last moment to call off a file before its first byte; then its TLS.
    void beginSending(BlockingSocket& data);
    // The file's bytes on the data connection, which then closes; false after a refusal
    // the server sent instead and OnFailure handled.
    bool sendFile(BlockingSocket& data, const QString& localPath);
    // The final reply to STOR: true when the file is stored.
    bool finalReply();
    // The refusal of an upload step: returns when OnFailure handled it, else raises FtpError
    // (with `message` when given, else the reply's text).
    void refuseUpload(const QByteArray& reply, platform::ReasonPtr message = {});
    // RNFR `from`, RNTO `to`; a refusal raises RenameError.
    void rename(const QByteArray& from, const QByteArray& to);
    SocketEndpoint endpoint() const { return m_control.endpoint(); }

    int m_connectLimit = 0;
    bool m_greetingRead = false;
    UploadProgress m_lastUpload;
    NameEncoding m_encoding = NameEncoding::Gbk;
    // The server accepted TYPE I or TYPE L 8 in this session.
    bool m_binaryType = false;
    // Mode Auto fell back to active data connections in this session.
    bool m_passiveFailed = false;
    TlsMode m_tlsMode = TlsMode::Off;
    QByteArray m_rememberedFingerprint;
    BlockingSocket* m_dataConnection = nullptr;
    ControlConnection m_control{m_encoding};
    FtpTls m_tls{m_control, m_encoding};
    DataChannel m_dataChannel{m_control, m_encoding};
    UploadCheck m_check{m_control, m_encoding, m_lastUpload};
};
