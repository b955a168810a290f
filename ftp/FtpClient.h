// The FTP client: login, single commands, transfer type, upload by STOR, logout.
#pragma once

#include "ftp/SessionTypes.h"
#include "net/BlockingSocket.h"
#include "platform/exception.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

enum class FirewallStyle { FTUser = 0, FtOpen = 1, FtSite = 2 };

// Which kind of operation succeeded or failed; other ordinals are never produced.
enum class CommandKind : quint8 {
    ctCwd = 0,
    ctMkd = 1,
    ctDele = 2,
    ctRmd = 3,
    ctStor = 9,
    ctOther = 14,
    ctPwd = 15,
};

using FailureEvent = std::function<void(bool& Handled, CommandKind Trans_Type)>;
using SuccessEvent = std::function<void(CommandKind Trans_Type)>;
using UnsupportedEvent = std::function<void(CommandKind Trans_Type)>;

// A refused reply. The message is the complete reply in the server's words (decoded in the
// session's encoding, see ftp::replyText), or a message made of it (both replies when a
// way and its fallback were refused); reply() keeps the last reply's bytes, every line with
// its line end.
class FtpError : public ServerRefusal {
public:
    explicit FtpError(const QByteArray& reply, NameEncoding encoding = NameEncoding::Gbk);
    FtpError(const QByteArray& reply, platform::ReasonPtr reason);
    const QByteArray& reply() const noexcept { return m_reply; }

private:
    QByteArray m_reply;
};

// The server refused to give a file stored under its temporary name its real name (RNFR
// answered with anything but 350, RNTO with anything but 2xx); the temporary file stays.
// The message is the server's reply.
class RenameError : public FtpError {
public:
    using FtpError::FtpError;
};

// A command text with a line break, which would carry a second command to the server;
// it is not sent.
class InvalidCommandError : public platform::Exception {
public:
    using Exception::Exception;
};

namespace ftp {

// How long the client waits for a server that sends nothing (reply, data connection).
constexpr int defaultIdleLimitMs = 60000;

// The reply code of a line: its leading decimal digits (at most ten), 0 when it does not
// begin with a digit. A code beyond 16 bits raises SocketError: the server sent no usable reply.
qint16 replyCode(const QByteArray& line);

// A line that does not end a reply: it begins with a blank or has "-" as its fourth byte.
bool isContinuationLine(const QByteArray& line);

// The kind of operation a command text stands for.
CommandKind commandKind(const QByteArray& command);

// The data port of a PASV reply: fields 5 and 6 of the comma-separated text, the sixth
// up to its ")". Raises ConversionError "Cannot read the passive address in the reply:
// <reply>" when they are missing or no bytes.
quint16 passivePort(const QByteArray& reply);

// A reply as a reader wants it: all its lines joined by one blank, without CR and LF and
// without the code that repeats on continuation lines ("451-Disk full\r\n451 Try later\r\n"
// gives "451 Disk full Try later"); decoded with the session's encoding and made printable
// (platform::printableText): the server's words are shown, never obeyed.
QString replyText(const QByteArray& reply, NameEncoding encoding = NameEncoding::Gbk);

// The features a FEAT reply lists: its lines that begin with a blank, trimmed ("UTF8",
// "REST STREAM"); none unless the reply is a 2xx.
QByteArrayList featureList(const QByteArray& reply);
// Whether the features name `name` (their first word, letter case aside).
bool hasFeature(const QByteArrayList& features, const QByteArray& name);

// "GBK" or "UTF-8".
QString encodingName(NameEncoding encoding);
// The text in the encoding, or nothing when the encoding cannot hold one of its characters.
std::optional<QByteArray> encodeName(const QString& text, NameEncoding encoding);
QString decodeName(const QByteArray& bytes, NameEncoding encoding);

// The data port of an EPSV reply: "229 Entering Extended Passive Mode (|||40123|)", any
// printable delimiter in place of "|". Raises ConversionError when there is none.
quint16 extendedPassivePort(const QByteArray& reply);

// The EPRT command that announces address:port ("EPRT |2|::1|40123|"); an IPv6 address
// goes without its zone ("%eth0"), which means nothing to the server.
QByteArray extendedPortCommand(const QByteArray& address, quint16 port);

// Whether a line begins as an FTP reply does: three digits, then a blank, "-" or its end.
bool startsWithReplyCode(const QByteArray& line);

// The hash algorithms a FEAT reply's "HASH SHA-256*;SHA-1;MD5" offers, upper-cased and
// without the star, and the starred one, the server's current algorithm.
struct HashOffer {
    QByteArrayList algorithms;
    QByteArray current;
};
HashOffer hashOffer(const QByteArrayList& features);

// The digest in a reply to HASH ("213 SHA-256 0-14 <hex digest> a.txt"), lower-case hex,
// when the reply's last line has that form for `algorithm` (letter case aside); nothing
// otherwise. Some servers say "213-Computing SHA-256 digest" first.
std::optional<QByteArray> hashDigest(const QByteArray& reply, const QByteArray& algorithm);

} // namespace ftp

// Stands for the old Boolean setting: true is TransferMode::Passive, false
// TransferMode::Active; it reads true in Passive mode only.
class PassiveSwitch {
public:
    explicit PassiveSwitch(TransferMode& mode);
    Q_DISABLE_COPY_MOVE(PassiveSwitch)
    PassiveSwitch& operator=(bool on);
    operator bool() const { return m_mode == TransferMode::Passive; }

private:
    TransferMode& m_mode;
};

// Waits on the server (greeting and replies, the data connection, a send that makes no
// progress) give up with SocketError after ftp::defaultIdleLimitMs without a byte from the
// server, and a reply must have ended (all its lines, at most 64 KiB) within that time;
// setIdleLimit() changes the limit for the control and the data connections. TimeOut
// keeps its socket-layer meaning. An upload counts as stored only on a 2xx final reply.
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
class FtpClient : public BlockingSocket {
public:
    explicit FtpClient(QObject* AOwner = nullptr);
    ~FtpClient() override;
    Q_DISABLE_COPY_MOVE(FtpClient)

    // Connects to Host (or Proxy), reads the greeting and logs in; nothing when connected.
    // Host is an IPv4 or IPv6 address or a name; over IPv6 uploads use EPSV and EPRT. A
    // greeting that is no FTP reply raises SocketError "Not an FTP server: <its line>".
    void Connect() override;
    // QUIT and close; nothing when not connected. The socket is closed in every case.
    void Disconnect() override;
    // Sends one command and reads one complete reply; returns its first line and sets
    // ReplyCode. A command with a line break raises InvalidCommandError and is not sent.
    QByteArray Transaction(const QByteArray& Command) override;
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
    // The greeting of the last Connect was read: a wait that failed since had the idle limit.
    bool greetingRead() const { return m_greetingRead; }
    // stopWaiting() was called since the last Connect.
    bool stopping() const { return m_stopping; }
    // The last Upload's progress, also after it failed.
    const UploadProgress& lastUpload() const { return m_lastUpload; }

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
    const TlsSessionInfo& tlsSession() const { return m_tlsSession; }

    // Cancels the running data connection, if any.
    void Abort() override;

    // Sends a command; a reply of 400 to 599 is a refusal (OnFailure or FtpError).
    void RunCommand(const QByteArray& Command);
    // The folder as bytes the caller encoded.
    void ChangeDir(const QByteArray& Directory);
    // The folder in the session's encoding; one it cannot hold raises NameEncodingError and
    // nothing is sent.
    void ChangeDir(const QString& Directory);
    void ChangeDir(const char* Directory) { ChangeDir(QString::fromUtf8(Directory)); }
    // 1 "TYPE A", 2 "TYPE I", 3 "TYPE L 8"; any other mode does nothing.
    void SetTransferType(int Mode);
    // Stores the local file as `remoteName` (bytes the caller encoded), or under the file
    // name of `localPath` in the session's encoding when `remoteName` is empty.
    void Upload(const QString& localPath, const QByteArray& remoteName);
    // Stores the local file as `remoteName` in the session's encoding (empty: the file name
    // of `localPath`). A name it cannot hold fails with NameEncodingError before anything
    // is sent, through OnFailure as any other failure of the upload.
    void Upload(const QString& localPath, const QString& remoteName);
    void Upload(const QString& localPath, const char* remoteName)
    {
        Upload(localPath, QString::fromUtf8(remoteName));
    }

    // The encoding of this session's names (GBK until a login chose UTF-8).
    NameEncoding sessionEncoding() const { return m_encoding; }
    // The features of the server's FEAT reply at the last login.
    const QByteArrayList& features() const { return m_features; }
    // Whether the next upload opens its data connection passively.
    bool passiveInUse() const;

    // Fields.
    // The code of the last reply (0: none, or a line without a code).
    qint16 ReplyCode = 0;
    std::unique_ptr<std::recursive_mutex> TransferLock;
    QByteArray UserID;
    QByteArray Password;
    TransferMode Mode = TransferMode::Active;
    PassiveSwitch Passive{Mode};
    // Read at the login.
    EncodingChoice Encoding = EncodingChoice::Auto;
    // After a stored upload in binary type, ask the server for the file's hash (when FEAT
    // lists HASH with SHA-256 or SHA-1; "OPTS HASH" selects it once per session) and compare
    // it with the hash of the bytes sent, or else for its size (when FEAT lists SIZE) and
    // compare it with their count.
    bool VerifyUploads = true;
    // Store each file as its name plus ".part" and rename it (RNFR, RNTO) once stored and
    // checked, so that nobody reads it half-written; a refused rename raises RenameError.
    bool TempNames = false;
    // Mode Auto gave up on passive data connections for this session, and why: the server's
    // 5xx refusal of PASV ("PASV: 502 ...; EPSV: 500 ..." when EPSV was refused too).
    std::function<void(const FallbackReason& reason)> OnModeFallback;
    // An active data connection came from another address than the server's (the control
    // connection's peer); it was closed at once, unread and unanswered, and the wait for
    // the server goes on within the same limit. The caller's address, "127.0.0.2".
    std::function<void(const QByteArray& address)> OnDataCallerRefused;
    BlockingSocket* DataConnection = nullptr;
    NotifyEvent OnTransactionStart;
    NotifyEvent OnTransactionStop;
    SuccessEvent OnSuccess;
    FailureEvent OnFailure;
    HandledEvent OnAuthenticationNeeded;
    // Fired after a successful login; hides the socket's own connect notification.
    NotifyEvent OnConnect;
    UnsupportedEvent OnUnSupportedFunction;
    FirewallStyle FirewallType = FirewallStyle::FTUser;
    QByteArray FWUserID;
    QByteArray FWPassword;
    bool FWAuthenticate = false;

private:
    // Reads the rest of a multi-line reply whose first line is `Line` and returns those
    // lines; a reply beyond 64 KiB fails.
    QByteArray ReadContinuationLines(const QByteArray& Line);
    // Reads one complete reply without sending anything (empty: the server closed).
    QByteArray readReply();
    // `laterLimit`: the idle limit, which serves every wait after the greeting.
    void logIn(int laterLimit);
    // FEAT and, when the server lists UTF8, "OPTS UTF8 ON": the session's name encoding.
    void chooseEncoding();
    // The name in the session's encoding, or NameEncodingError.
    QByteArray wireName(const QString& name) const;
    struct StorName {
        QByteArray wire;
        QByteArray shown;
    };
    // The STOR name of a file stored under its own name.
    StorName ownName(const QString& localPath) const;
    // The upload with the name `name` gives; a failure to name it is a failure of the upload.
    void upload(const QString& localPath, const std::function<StorName()>& name);
    // One attempt on a fresh data connection.
    bool transferOnNewConnection(const QString& localPath, const StorName& name);
    void readGreeting();
    // AUTH TLS, then secureControl().
    void negotiateTls();
    // The control connection's handshake and the certificate's check.
    void secureControl();
    void checkCertificate(const TlsPeer& peer) const;
    // PBSZ 0 and PROT P: protected data connections.
    void protectData();
    // The TLS handshake of a data connection, resuming the control connection's session;
    // a certificate other than the control connection's raises TlsError.
    void secureData(BlockingSocket& data);
    // The data connection's TLS ends: close_notify out, the server's awaited until its final
    // reply is there.
    void finishDataTls(BlockingSocket& data);
    // Transaction that treats a closed connection (no reply at all) as a failure and
    // returns the complete reply; nothing goes out once the waits are stopped.
    QByteArray command(const QByteArray& Command);
    void checkLoginReply(const QByteArray& reply);
    // Before a command: sets aside what is left of earlier replies, waiting briefly for
    // the final reply of a transfer that ended before it was read.
    void discardStaleReplies();
    // A refusal the server sent before the command that then failed is that failure.
    void raiseStaleRefusal();
    // Sends QUIT without reading the reply and closes: the end of a failed login.
    void quitWithoutWaiting();
    // While the server is to open the data connection: its refusal on the control
    // connection ends the wait.
    void watchControlWhileAccepting();
    // The final reply of a transfer that ended early, waited for a short while only;
    // empty when none came.
    QByteArray readLateFinalReply();
    // The refusal of an upload step: returns when OnFailure handled it, else raises FtpError
    // (with `message` when given, else the reply's text).
    void refuseUpload(const QByteArray& reply, platform::ReasonPtr message = {});
    // The upload on its data connection: true when the server stored the file, false
    // after a refusal that OnFailure handled.
    bool transfer(BlockingSocket& data, const QString& localPath, const StorName& name);
    // Opens the passive data connection: PASV, or EPSV over IPv6 and when PASV is unknown
    // to the server (500-502). False after a refusal that OnFailure handled; in Auto mode
    // a 5xx refusal raises PassiveUnavailable.
    bool openPassiveData(BlockingSocket& data);
    // A 4xx/5xx reply to PASV or EPSV (`earlier`: PASV's refusal when EPSV followed it): in
    // Auto mode a 5xx raises PassiveUnavailable, as the server may take PORT; else the
    // refusal of the upload, with both replies. False when OnFailure handled it.
    bool refusePassive(const QByteArray& earlier, const QByteArray& reply);
    // Listens for the active data connection on the control connection's local address and
    // announces it: PORT, or EPRT over IPv6. False after a refusal that OnFailure handled.
    bool openActiveData(BlockingSocket& data);
    // Closes the control connection unless the server's own close already did.
    void closeIfOpen();
    // Compares the server's size of a stored file with the bytes sent; VerifyError when they
    // differ or the server cannot find the file; unchecked when it does not do SIZE.
    void verifySize(const StorName& name, qint64 sent);
    // RNFR `from`, RNTO `to`; a refusal raises RenameError.
    void rename(const QByteArray& from, const QByteArray& to);
    // The session's hash algorithm for checks: SHA-256 or SHA-1 when FEAT offers one and
    // the server takes it as its current one (OPTS HASH, asked once), else empty.
    QByteArray sessionHash();
    // Compares the server's hash of a stored file with `digest`, the hash of the bytes
    // sent; VerifyError when they differ or the server cannot find the file; unchecked when
    // it does not do HASH.
    void verifyHash(const StorName& name, qint64 sent, const QByteArray& digest);
    // A check the server answered "not understood / not implemented" (500, 501, 502, 504)
    // although FEAT listed it: the file stays stored, unchecked, and lastUpload() says why.
    bool checkNotImplemented(const QByteArray& reply);

    bool m_stopping = false;
    int m_connectLimit = 0;
    bool m_greetingRead = false;
    // The data of a file is being sent, or its final reply read: a stop waits for its end.
    bool m_fileInProgress = false;
    UploadProgress m_lastUpload;
    // The complete last reply, every line with its line end.
    QByteArray m_reply;
    // Replies that came while no command was waiting for one.
    QByteArray m_staleReply;
    // STOR was accepted and its final reply has not been read yet.
    bool m_finalReplyDue = false;
    NameEncoding m_encoding = NameEncoding::Gbk;
    QByteArrayList m_features;
    // The server accepted TYPE I or TYPE L 8 in this session.
    bool m_binaryType = false;
    // sessionHash() once chosen for this session's features.
    std::optional<QByteArray> m_sessionHash;
    // The hash algorithm that checks the upload under way; empty: SIZE or no check.
    QByteArray m_uploadHash;
    // Mode Auto fell back to active data connections in this session.
    bool m_passiveFailed = false;
    TlsMode m_tlsMode = TlsMode::Off;
    QByteArray m_rememberedFingerprint;
    TlsSessionInfo m_tlsSession;
    // Made at the first TLS session, kept for the later ones.
    std::shared_ptr<TlsContext> m_tlsContext;
};
