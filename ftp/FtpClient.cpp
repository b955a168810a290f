// The FTP client on the socket component: reply dialogue, login, commands and upload.
#include "ftp/FtpClient.h"

#include "platform/codepage.h"

#include <QFile>
#include <QScopeGuard>

#include <algorithm>
#include <limits>
#include <utility>

namespace {

// How long a command waits for the late final reply of a transfer that ended early.
constexpr int lateReplyLimitMs = 5000;

bool isBetween(qint16 code, int low, int high)
{
    return code >= low && code <= high;
}

// The first word of a command, for messages that must not show its arguments (PASS).
QByteArray verbOf(const QByteArray& command)
{
    qsizetype end = 0;
    while (end < command.size() && command[end] != ' ' && command[end] != '\r'
           && command[end] != '\n')
        ++end;
    return command.left(end);
}

[[noreturn]] void raiseNotANumber(const QByteArray& text)
{
    throw platform::ConversionError(
        QStringLiteral("'%1' is not a valid integer value").arg(platform::fromCodePage(text)));
}

int toInteger(const QByteArray& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok)
        raiseNotANumber(text);
    return value;
}

// A numeric address of the IPv6 family ("::1"), as the socket reports it.
bool isIPv6(const QByteArray& address)
{
    return address.contains(':');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The file name part of a local path: what follows its last "/".
QString fileNamePart(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// Owns the data connection of one upload and clears DataConnection on every way out.
class DataConnectionScope {
public:
    DataConnectionScope(BlockingSocket*& field, std::unique_ptr<BlockingSocket> connection)
        : m_field(field)
        , m_connection(std::move(connection))
    {
        m_field = m_connection.get();
    }
    ~DataConnectionScope()
    {
        m_connection.reset();
        m_field = nullptr;
    }
    DataConnectionScope(const DataConnectionScope&) = delete;
    DataConnectionScope& operator=(const DataConnectionScope&) = delete;

    BlockingSocket& connection() { return *m_connection; }

private:
    BlockingSocket*& m_field;
    std::unique_ptr<BlockingSocket> m_connection;
};

} // namespace

FtpError::FtpError(const QByteArray& reply)
    : platform::Exception(platform::fromCodePage(reply))
    , m_reply(reply)
{
}

namespace ftp {

qint16 replyCode(const QByteArray& line)
{
    qsizetype digits = 0;
    while (digits < line.size() && digits < 10 && line[digits] >= '0' && line[digits] <= '9')
        ++digits;
    if (digits == 0)
        return 0;
    const qint64 value = line.left(digits).toLongLong();
    if (value > std::numeric_limits<qint16>::max())
        throw SocketError(QStringLiteral("Reply code %1 is out of range")
                              .arg(QString::fromLatin1(line.left(digits))));
    return static_cast<qint16>(value);
}

bool isContinuationLine(const QByteArray& line)
{
    if (line.isEmpty())
        return false;
    return line[0] == ' ' || (line.size() >= 4 && line[3] == '-');
}

CommandKind commandKind(const QByteArray& command)
{
    const QByteArray word = ExtractField(command, ' ', 1) + ' ';
    if (word == "CWD ")
        return CommandKind::ctCwd;
    if (word == "DELE ")
        return CommandKind::ctDele;
    if (word == "MKD ")
        return CommandKind::ctMkd;
    if (word == "RMD ")
        return CommandKind::ctRmd;
    return command == "PWD" ? CommandKind::ctPwd : CommandKind::ctOther;
}

quint16 passivePort(const QByteArray& reply)
{
    QByteArray low = ExtractField(reply, ',', 6);
    const qsizetype close = low.indexOf(')');
    low = close < 0 ? QByteArray() : low.left(close);
    const int lowByte = toInteger(low);
    const QByteArray highField = ExtractField(reply, ',', 5);
    const int highByte = toInteger(highField);
    // Each field is one byte of the port; anything else is no port at all.
    if (lowByte < 0 || lowByte > 255)
        raiseNotANumber(low);
    if (highByte < 0 || highByte > 255)
        raiseNotANumber(highField);
    return static_cast<quint16>(highByte * 256 + lowByte);
}

quint16 extendedPassivePort(const QByteArray& reply)
{
    // "(" d d d port d ")": the delimiter is whatever follows the parenthesis.
    const qsizetype open = reply.indexOf('(');
    const auto unreadable = [&reply]() -> quint16 {
        throw platform::ConversionError(QStringLiteral("No data port in the reply to EPSV: %1")
                                            .arg(platform::fromCodePage(reply).trimmed()));
    };
    if (open < 0 || open + 5 >= reply.size())
        return unreadable();
    const char delimiter = reply[open + 1];
    if (delimiter < 33 || delimiter > 126 || isDigit(delimiter)
        || reply.mid(open + 1, 3) != QByteArray(3, delimiter))
        return unreadable();
    const qsizetype end = reply.indexOf(delimiter, open + 4);
    const QByteArray digits = end < 0 ? QByteArray() : reply.mid(open + 4, end - open - 4);
    bool ok = !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), isDigit);
    const uint port = ok ? digits.toUInt(&ok) : 0;
    if (!ok || port == 0 || port > 65535 || end + 1 >= reply.size() || reply[end + 1] != ')')
        return unreadable();
    return static_cast<quint16>(port);
}

QByteArray extendedPortCommand(const QByteArray& address, quint16 port)
{
    const qsizetype zone = address.indexOf('%');
    return "EPRT |" + QByteArray(isIPv6(address) ? "2" : "1") + '|'
        + (zone < 0 ? address : address.left(zone)) + '|' + QByteArray::number(port) + '|';
}

bool startsWithReplyCode(const QByteArray& line)
{
    if (line.size() < 3 || !isDigit(line[0]) || !isDigit(line[1]) || !isDigit(line[2]))
        return false;
    const char next = line.size() > 3 ? line[3] : '\n';
    return next == ' ' || next == '-' || next == '\r' || next == '\n';
}

} // namespace ftp

FtpClient::FtpClient(QObject* AOwner)
    : BlockingSocket(AOwner)
{
    Port = 21;
    TransferLock = std::make_unique<std::recursive_mutex>();
    setIdleLimit(ftp::defaultIdleLimitMs);
}

FtpClient::~FtpClient()
{
    setDestroying();
    Cancel();
    Abort();
    TransferLock.reset();
}

QByteArray FtpClient::Transaction(const QByteArray& Command)
{
    // A file or folder name with a line break must not smuggle in a command of its own.
    if (Command.contains('\r') || Command.contains('\n'))
        throw InvalidCommandError(QStringLiteral("Line break in the %1 command; nothing was sent")
                                      .arg(platform::fromCodePage(verbOf(Command))));
    ReplyCode = 0;
    const QByteArray line = BlockingSocket::Transaction(Command);
    ReplyCode = ftp::replyCode(line);
    ReadContinuationLines(line);
    return line;
}

void FtpClient::ReadContinuationLines(const QByteArray& Line)
{
    QByteArray line = Line;
    while (ftp::isContinuationLine(line)) {
        line = ReadLn();
        ReportStatus(StatusLevel::Dialogue, line);
    }
}

QByteArray FtpClient::command(const QByteArray& Command)
{
    const QByteArray reply = Transaction(Command);
    if (reply.isEmpty())
        throw SocketError(QStringLiteral("Connection closed by the server instead of a reply to %1")
                              .arg(platform::fromCodePage(verbOf(Command))));
    return reply;
}

void FtpClient::Connect()
{
    Canceled = false;
    if (Connected)
        return;
    m_finalReplyDue = false;
    ClearInput();
    BlockingSocket::Connect();
    try {
        logIn();
    } catch (...) {
        // A Disconnect that fails itself replaces the login's error.
        Disconnect();
        ReportStatus(StatusLevel::Dialogue, "Disconnected");
        throw;
    }
}

void FtpClient::readGreeting()
{
    ReplyCode = 0;
    const QByteArray greeting = ReadLn();
    if (greeting.isEmpty())
        throw SocketError("Connection closed by the server before its greeting");
    ReportStatus(StatusLevel::Dialogue, greeting);
    if (!ftp::startsWithReplyCode(greeting)) {
        if (OnConnectionFailed)
            OnConnectionFailed(this);
        // Something else listens there (a web server, say): no QUIT, no further reading.
        dropConnection();
        QByteArray firstLine = greeting;
        while (firstLine.endsWith('\n') || firstLine.endsWith('\r'))
            firstLine.chop(1);
        throw SocketError(
            QStringLiteral("Not an FTP server: %1").arg(platform::fromCodePage(firstLine)),
            SocketFailure::Other,
            SocketEndpoint{SocketEndpoint::Role::Control, Proxy.isEmpty() ? Host : Proxy,
                           quint16(Proxy.isEmpty() ? Port : ProxyPort)});
    }
    ReplyCode = ftp::replyCode(greeting);
    ReadContinuationLines(greeting);
    if (ReplyCode > 400) {
        if (OnConnectionFailed)
            OnConnectionFailed(this);
        throw FtpError(greeting);
    }
}

void FtpClient::checkLoginReply(const QByteArray& reply)
{
    if (isBetween(ReplyCode, 401, 599)) {
        if (OnConnectionFailed)
            OnConnectionFailed(this);
        throw FtpError(reply);
    }
}

void FtpClient::logIn()
{
    readGreeting();

    if (FWAuthenticate) {
        checkLoginReply(command("USER " + FWUserID));
        if (ReplyCode == 331) {
            ReportStatus(StatusLevel::Dialogue, "PASS ");
            checkLoginReply(command("PASS " + FWPassword));
        }
    }

    if ((UserID.isEmpty() || Password.isEmpty()) && OnAuthenticationNeeded) {
        bool handled = false;
        OnAuthenticationNeeded(handled);
    }

    const bool viaProxy = !Proxy.isEmpty();
    if (viaProxy) {
        switch (FirewallType) {
        case FirewallStyle::FTUser: command("USER " + UserID + "@" + Host); break;
        case FirewallStyle::FtOpen: command("OPEN " + Host); break;
        case FirewallStyle::FtSite: command("SITE " + Host); break;
        }
    }

    if (!(viaProxy && FirewallType == FirewallStyle::FTUser)) {
        ReportStatus(StatusLevel::Dialogue, "USER " + UserID);
        checkLoginReply(command("USER " + UserID));
    }
    if (ReplyCode == 331) {
        ReportStatus(StatusLevel::Dialogue, "PASS ");
        checkLoginReply(command("PASS " + Password));
    }

    if (OnConnect)
        OnConnect(this);
}

void FtpClient::Disconnect()
{
    Canceled = false;
    if (!Connected)
        return;
    ReportStatus(StatusLevel::Dialogue, "QUIT");
    try {
        discardStaleReplies();
        // A server that just closes after QUIT has done what was asked: no reply needed.
        const QByteArray reply = Transaction("QUIT");
        if (isBetween(ReplyCode, 301, 599))
            throw FtpError(reply);
    } catch (...) {
        closeIfOpen();
        throw;
    }
    closeIfOpen();
}

void FtpClient::closeIfOpen()
{
    // A server that closed first has already had its socket closed and replaced.
    if (Connected)
        dropConnection();
}

void FtpClient::dropConnection()
{
    BlockingSocket::Disconnect();
}

void FtpClient::stopWaiting()
{
    // TODO(stop): end every wait for the server, let a file in transfer finish.
    m_stopping = true;
    Cancel();
}

void FtpClient::abortTransfer()
{
    Cancel();
    Abort();
}

void FtpClient::Abort()
{
    if (DataConnection)
        DataConnection->Cancel();
}

void FtpClient::RunCommand(const QByteArray& Command)
{
    const CommandKind kind = ftp::commandKind(Command);
    Canceled = false;
    CheckConnection();
    ReportStatus(StatusLevel::Dialogue, Command);
    discardStaleReplies();
    const QByteArray reply = command(Command);
    if (isBetween(ReplyCode, 400, 599)) {
        if (OnUnSupportedFunction && isBetween(ReplyCode, 500, 502))
            OnUnSupportedFunction(kind);
        if (!OnFailure)
            throw FtpError(reply);
        bool handled = false;
        OnFailure(handled, kind);
        if (!handled)
            throw FtpError(reply);
        return;
    }
    if (OnSuccess)
        OnSuccess(kind);
}

void FtpClient::ChangeDir(const QByteArray& Directory)
{
    RunCommand("CWD " + Directory);
}

void FtpClient::SetTransferType(int Mode)
{
    switch (Mode) {
    case 1: RunCommand("TYPE A"); break;
    case 2: RunCommand("TYPE I"); break;
    case 3: RunCommand("TYPE L 8"); break;
    default: break;
    }
}

void FtpClient::discardStaleReplies()
{
    if (m_finalReplyDue) {
        // The server answers an aborted transfer late (426, 226, 425); read it here so
        // that it cannot pass for the reply to the next command. A cancel leaves it due.
        const int previousLimit = idleLimit();
        const auto restoreLimit =
            qScopeGuard([this, previousLimit] { setIdleLimit(previousLimit); });
        setIdleLimit(previousLimit > 0 ? std::min(previousLimit, lateReplyLimitMs)
                                       : lateReplyLimitMs);
        try {
            const QByteArray line = ReadLn();
            m_finalReplyDue = false;
            if (!line.isEmpty()) {
                ReportStatus(StatusLevel::Dialogue, line);
                ReadContinuationLines(line);
            }
        } catch (const AbortError&) {
            throw;
        } catch (const SocketError&) {
            // No late reply came; a broken connection fails the command itself.
            m_finalReplyDue = false;
        }
    }
    if (DataAvailable())
        Read(0);
}

void FtpClient::refuseUpload(const QByteArray& reply)
{
    if (!OnFailure)
        throw FtpError(reply);
    bool handled = false;
    OnFailure(handled, CommandKind::ctStor);
    if (!handled)
        throw FtpError(reply);
}

void FtpClient::Upload(const QString& localPath, const QByteArray& remoteName)
{
    Canceled = false;
    bool stored = false;
    try {
        CheckConnection();
        {
            std::lock_guard lock(*TransferLock);
            discardStaleReplies();
            auto connection = std::make_unique<BlockingSocket>(this);
            connection->TimeOut = TimeOut;
            connection->setIdleLimit(idleLimit());
            connection->OnPacketSent = OnPacketSent;
            DataConnectionScope scope(DataConnection, std::move(connection));
            stored = transfer(scope.connection(), localPath, remoteName);
        }
        if (stored && OnSuccess)
            OnSuccess(CommandKind::ctStor);
    } catch (...) {
        if (OnFailure) {
            bool handled = false;
            OnFailure(handled, CommandKind::ctStor);
            if (handled)
                return;
        }
        throw;
    }
}

bool FtpClient::openPassiveData(BlockingSocket& data)
{
    // PASV can name no IPv6 address; EPSV names only the port.
    bool extended = isIPv6(localAddress());
    if (!extended) {
        const QByteArray reply = command("PASV");
        extended = isBetween(ReplyCode, 500, 502);
        if (!extended) {
            if (ReplyCode >= 500) {
                refuseUpload(reply);
                return false;
            }
            data.Port = ftp::passivePort(reply);
        }
    }
    if (extended) {
        const QByteArray reply = command("EPSV");
        if (ReplyCode >= 500) {
            refuseUpload(reply);
            return false;
        }
        data.Port = ftp::extendedPassivePort(reply);
    }
    // The server the control connection reached, not whatever address the reply names.
    const QByteArray server = peerAddress();
    data.Host = server.isEmpty() ? Host : server;
    data.Connect();
    return true;
}

bool FtpClient::openActiveData(BlockingSocket& data)
{
    const QByteArray local = localAddress();
    const bool extended = isIPv6(local);
    data.Port = 0;
    // Over IPv6 the server connects back to the address the control connection uses.
    if (extended)
        data.Host = local;
    data.Listen();
    const QByteArray reply =
        command(extended ? ftp::extendedPortCommand(local, data.localPort())
                         : "PORT " + LocalAddressCommas() + data.LocalPortCommas());
    if (isBetween(ReplyCode, 301, 599)) {
        refuseUpload(reply);
        return false;
    }
    return true;
}

bool FtpClient::transfer(BlockingSocket& data, const QString& localPath,
                         const QByteArray& remoteName)
{
    {
        QFile file(localPath);
        if (!file.open(QIODevice::ReadOnly))
            throw FileOpenError(QStringLiteral("Cannot open file %1").arg(localPath));
    }

    if (!(Passive ? openPassiveData(data) : openActiveData(data)))
        return false;

    const QByteArray storName =
        remoteName.isEmpty() ? platform::toCodePage(fileNamePart(localPath)) : remoteName;
    ReportStatus(StatusLevel::Dialogue,
                 "STOR " + (remoteName.isEmpty() ? platform::toCodePage(localPath) : remoteName));
    const QByteArray storReply = command("STOR " + storName);
    if (isBetween(ReplyCode, 301, 599)) {
        if (OnUnSupportedFunction && isBetween(ReplyCode, 500, 502))
            OnUnSupportedFunction(CommandKind::ctStor);
        refuseUpload(storReply);
        return false;
    }
    m_finalReplyDue = true;

    if (!Passive)
        data.Accept();
    if (OnTransactionStart)
        OnTransactionStart(this);
    // A cancel or time-out before the first byte leaves the file unsent: never a success.
    const bool sending = !Canceled && !TimedOut;
    if (sending)
        data.SendFile(localPath);
    if (OnTransactionStop)
        OnTransactionStop(this);
    // Closing the data connection marks the end of the file for the server.
    data.closeGracefully();
    if (!sending) {
        Canceled = false;
        throw AbortError("Socket send aborted");
    }

    QByteArray final;
    do { // a preliminary reply (1xx) leaves the outcome still to come
        final = ReadLn();
        if (final.isEmpty())
            throw SocketError("Connection closed by the server instead of the final reply to STOR");
        ReportStatus(StatusLevel::Dialogue, final);
        ReadContinuationLines(final);
        ReplyCode = ftp::replyCode(final);
    } while (isBetween(ReplyCode, 100, 199));
    m_finalReplyDue = false;
    // The server tells only here whether it stored the file (451, 452, 552, ...).
    if (isBetween(ReplyCode, 400, 599)) {
        refuseUpload(final);
        return false;
    }
    return true;
}
