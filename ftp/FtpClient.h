// The FTP client: login, single commands, transfer type, upload by STOR, logout.
#pragma once

#include "net/BlockingSocket.h"
#include "platform/exception.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>

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

// A refused reply. The message is the reply's first line exactly as received, line end
// included (decoded from the code page); reply() keeps its bytes.
class FtpError : public platform::Exception {
public:
    explicit FtpError(const QByteArray& reply);
    const QByteArray& reply() const noexcept { return m_reply; }

private:
    QByteArray m_reply;
};

// What an upload got across: the local file's size and the bytes handed to the data
// connection, also when the upload failed.
struct UploadProgress {
    qint64 size = 0;
    qint64 sent = 0;
};

// A local file that cannot be opened for an upload: "Cannot open file <path>".
class FileOpenError : public platform::Exception {
public:
    using Exception::Exception;
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
// up to its ")". Raises ConversionError when they are missing or not numbers.
quint16 passivePort(const QByteArray& reply);

// The data port of an EPSV reply: "229 Entering Extended Passive Mode (|||40123|)", any
// printable delimiter in place of "|". Raises ConversionError when there is none.
quint16 extendedPassivePort(const QByteArray& reply);

// The EPRT command that announces address:port ("EPRT |2|::1|40123|"); an IPv6 address
// goes without its zone ("%eth0"), which means nothing to the server.
QByteArray extendedPortCommand(const QByteArray& address, quint16 port);

// Whether a line begins as an FTP reply does: three digits, then a blank, "-" or its end.
bool startsWithReplyCode(const QByteArray& line);

} // namespace ftp

// Waits on the server (greeting and replies, the data connection, a send that makes no
// progress) give up with SocketError after ftp::defaultIdleLimitMs without a byte from the
// server; setIdleLimit() changes the limit for the control and the data connections.
// TimeOut keeps its socket-layer meaning.
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
    // sent goes on to its end and its final reply is still read.
    void stopWaiting();
    // Stop, second step: the file being sent is cut at once.
    void abortTransfer();
    // stopWaiting() was called since the last Connect.
    bool stopping() const { return m_stopping; }
    // The last Upload's progress, also after it failed.
    const UploadProgress& lastUpload() const { return m_lastUpload; }

    // Cancels the running data connection, if any.
    void Abort() override;

    // Sends a command; a reply of 400 to 599 is a refusal (OnFailure or FtpError).
    void RunCommand(const QByteArray& Command);
    void ChangeDir(const QByteArray& Directory);
    // 1 "TYPE A", 2 "TYPE I", 3 "TYPE L 8"; any other mode does nothing.
    void SetTransferType(int Mode);
    // Stores the local file as `remoteName` (code-page bytes), or under the file name of
    // `localPath` when `remoteName` is empty.
    void Upload(const QString& localPath, const QByteArray& remoteName);

    // Fields.
    // The code of the last reply (0: none, or a line without a code).
    qint16 ReplyCode = 0;
    std::unique_ptr<std::recursive_mutex> TransferLock;
    QByteArray UserID;
    QByteArray Password;
    bool Passive = false;
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
    // Reads the rest of a multi-line reply whose first line is `Line`.
    void ReadContinuationLines(const QByteArray& Line);
    void logIn();
    void readGreeting();
    // Transaction that treats a closed connection (no reply at all) as a failure.
    QByteArray command(const QByteArray& Command);
    void checkLoginReply(const QByteArray& reply);
    // Before a command: drops what is left of earlier replies, waiting briefly for the
    // final reply of a transfer that ended before it was read.
    void discardStaleReplies();
    // The refusal of an upload step: returns when OnFailure handled it, else raises.
    void refuseUpload(const QByteArray& reply);
    // The upload on its data connection: true when the server stored the file, false
    // after a refusal that OnFailure handled.
    bool transfer(BlockingSocket& data, const QString& localPath, const QByteArray& remoteName);
    // Opens the passive data connection: PASV, or EPSV over IPv6 and when PASV is unknown
    // to the server (500-502). False after a refusal that OnFailure handled.
    bool openPassiveData(BlockingSocket& data);
    // Listens for the active data connection and announces it: PORT, or EPRT over IPv6.
    // False after a refusal that OnFailure handled.
    bool openActiveData(BlockingSocket& data);
    // Closes the control connection unless the server's own close already did.
    void closeIfOpen();

    bool m_stopping = false;
    UploadProgress m_lastUpload;
    // STOR was accepted and its final reply has not been read yet.
    bool m_finalReplyDue = false;
};
