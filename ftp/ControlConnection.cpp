// Commands and complete replies on the control connection.
#include "ftp/ControlConnection.h"

#include "platform/codepage.h"
#include "platform/printable.h"

#include <QScopeGuard>

#include <algorithm>
#include <utility>

using ftp::isBetween;

namespace {

// How long a command waits for the late final reply of a transfer that ended early.
constexpr int lateReplyLimitMs = 5000;
// The most a reply may carry, all its lines together.
constexpr qsizetype replySizeLimit = 65536;

// The first word of a command, for messages that must not show its arguments (PASS).
QByteArray verbOf(const QByteArray& command)
{
    qsizetype end = 0;
    while (end < command.size() && command[end] != ' ' && command[end] != '\r'
           && command[end] != '\n')
        ++end;
    return command.left(end);
}

// The replies in bytes that arrived unasked, split where a reply ends.
QList<QByteArray> splitReplies(const QByteArray& bytes)
{
    QList<QByteArray> replies;
    bool open = false;
    for (qsizetype start = 0; start < bytes.size();) {
        const qsizetype end = bytes.indexOf('\n', start);
        const QByteArray line = bytes.mid(start, end < 0 ? -1 : end + 1 - start);
        start += line.size();
        if (open)
            replies.last() += line;
        else
            replies << line;
        open = ftp::isContinuationLine(line);
    }
    return replies;
}

} // namespace

ControlConnection::ControlConnection(const NameEncoding& encoding)
    : m_encoding(encoding)
{
}

ControlConnection::~ControlConnection()
{
    // Its tear-down fires no events into a client that is going away.
    setDestroying();
}

QByteArray ControlConnection::Transaction(const QByteArray& Command)
{
    // A file or folder name with a line break must not smuggle in a command of its own.
    if (Command.contains('\r') || Command.contains('\n'))
        throw InvalidCommandError(platform::reason(FtpCode::LineBreakInCommand,
                                                   {platform::fromCodePage(verbOf(Command))}));
    ReplyCode = 0;
    m_reply.clear();
    const ReplyLimit limit(*this);
    const QByteArray line = BlockingSocket::Transaction(Command);
    ReplyCode = ftp::replyCode(line);
    m_reply = line + ReadContinuationLines(line);
    return line;
}

QByteArray ControlConnection::ReadContinuationLines(const QByteArray& Line)
{
    QByteArray rest;
    QByteArray line = Line;
    while (ftp::isContinuationLine(line)) {
        line = ReadLn();
        ReportStatus(StatusLevel::Dialogue, line);
        rest += line;
        if (Line.size() + rest.size() > replySizeLimit)
            throw SocketError(
                platform::reason(FtpCode::ReplyTooLong, {QString::number(replySizeLimit)}),
                SocketFailure::Other, endpoint());
    }
    return rest;
}

QByteArray ControlConnection::readReply()
{
    m_reply.clear();
    const ReplyLimit limit(*this);
    const QByteArray line = ReadLn();
    if (line.isEmpty())
        return {};
    ReportStatus(StatusLevel::Dialogue, line);
    ReplyCode = ftp::replyCode(line);
    m_reply = line + ReadContinuationLines(line);
    return m_reply;
}

QByteArray ControlConnection::command(const QByteArray& Command)
{
    if (waitsStopped())
        throw AbortError(
            platform::reason(FtpCode::StoppedBefore, {platform::fromCodePage(verbOf(Command))}),
            SocketFailure::Stopped, endpoint());
    try {
        Transaction(Command);
    } catch (const AbortError&) {
        throw;
    } catch (const SocketError&) {
        raiseStaleRefusal();
        throw;
    }
    if (m_reply.isEmpty()) {
        raiseStaleRefusal();
        throw SocketError(platform::reason(FtpCode::ClosedInsteadOfReply,
                                           {platform::fromCodePage(verbOf(Command))}),
                          SocketFailure::Closed, endpoint());
    }
    m_staleReply.clear();
    return m_reply;
}

void ControlConnection::raiseStaleRefusal()
{
    const QList<QByteArray> replies = splitReplies(std::exchange(m_staleReply, {}));
    for (auto reply = replies.crbegin(); reply != replies.crend(); ++reply) {
        const int code = ftp::startsWithCode(*reply) ? reply->left(3).toInt() : 0;
        if (code >= 400 && code <= 599) {
            ReplyCode = qint16(code);
            throw FtpError(*reply, m_encoding);
        }
    }
}

void ControlConnection::quitWithoutWaiting()
{
    if (!Connected)
        return;
    ReportStatus(StatusLevel::Dialogue, "QUIT");
    try {
        Writeln("QUIT");
    } catch (const platform::Exception&) {
        // The connection is closed next in any case.
    }
    // The server reads the QUIT before the end of the connection, not a reset instead.
    closeGracefully();
}

void ControlConnection::discardStaleReplies()
{
    m_staleReply.clear();
    if (m_finalReplyDue && !waitsStopped()) {
        // The server answers an aborted transfer late (426, 226, 425); read it here so
        // that it cannot pass for the reply to the next command. A cancel leaves it due.
        readLateFinalReply();
        m_finalReplyDue = false;
    }
    // Kept until the next command has its reply: if it fails, they may tell why.
    if (DataAvailable())
        m_staleReply = Read(0);
}

QByteArray ControlConnection::readLateFinalReply()
{
    const int previousLimit = idleLimit();
    const auto restoreLimit = qScopeGuard([this, previousLimit] { setIdleLimit(previousLimit); });
    setIdleLimit(previousLimit > 0 ? std::min(previousLimit, lateReplyLimitMs) : lateReplyLimitMs);
    try {
        QByteArray reply;
        do {
            reply = readReply();
        } while (!reply.isEmpty() && isBetween(ReplyCode, 100, 199));
        return reply;
    } catch (const AbortError&) {
        throw;
    } catch (const SocketError&) {
        // None came; a broken connection fails what comes next by itself.
        return {};
    }
}

QByteArray ControlConnection::readGreeting(const std::function<void()>& refused)
{
    const ReplyLimit limit(*this);
    const QByteArray line = ReadLn();
    if (line.isEmpty())
        throw SocketError(platform::reason(FtpCode::ClosedBeforeGreeting), SocketFailure::Closed,
                          endpoint());
    ReportStatus(StatusLevel::Dialogue, line);
    if (!ftp::startsWithReplyCode(line)) {
        refused();
        // Something else listens there (a web server, say): no QUIT, no further reading.
        Disconnect();
        throw SocketError(
            platform::reason(FtpCode::NotFtpServer,
                             {platform::printableText(platform::fromCodePage(line)).trimmed()}),
            SocketFailure::Other, endpoint());
    }
    ReplyCode = ftp::replyCode(line);
    m_reply = line + ReadContinuationLines(line);
    const QByteArray greeting = m_reply;
    if (ReplyCode > 400) {
        refused();
        throw FtpError(greeting, m_encoding);
    }
    return greeting;
}

void ControlConnection::resetReplies()
{
    ReplyCode = 0;
    m_reply.clear();
    m_finalReplyDue = false;
    m_staleReply.clear();
}
