// The control connection of an FTP session: commands out, complete replies in.
#pragma once

#include "ftp/FtpReplies.h"
#include "net/BlockingSocket.h"

#include <QByteArray>

#include <functional>

// Reads one complete reply at a time: its continuation lines, at most 64 KiB of them, all
// within the idle limit. Bytes that came while no command waited are set aside as stale
// replies: a refusal among them is the failure of the command that then fails, and the late
// final reply of a transfer that ended early is read before the next command goes out.
class ControlConnection : public BlockingSocket {
public:
    // `encoding`: the session's, in which refusals are worded; it lives as long as this.
    explicit ControlConnection(const NameEncoding& encoding);
    ~ControlConnection() override;
    Q_DISABLE_COPY_MOVE(ControlConnection)

    // Sends one command and reads one complete reply; returns its first line and sets
    // ReplyCode. A command with a line break raises InvalidCommandError and is not sent.
    QByteArray Transaction(const QByteArray& Command) override;
    // Transaction that treats a closed connection (no reply at all) as a failure and
    // returns the complete reply; nothing goes out once the waits are stopped.
    QByteArray command(const QByteArray& Command);
    // Reads the greeting and returns it. A line that is no FTP reply closes the connection
    // at once and raises SocketError; a refusal raises FtpError; `refused` runs first.
    QByteArray readGreeting(const std::function<void()>& refused);
    // Reads one complete reply without sending anything (empty: the server closed).
    QByteArray readReply();
    // Reads the rest of a multi-line reply whose first line is `Line` and returns those
    // lines; a reply beyond 64 KiB fails.
    QByteArray ReadContinuationLines(const QByteArray& Line);
    // Before a command: sets aside what is left of earlier replies, waiting briefly for
    // the final reply of a transfer that ended before it was read.
    void discardStaleReplies();
    // The final reply of a transfer that ended early, waited for a short while only;
    // empty when none came.
    QByteArray readLateFinalReply();
    // Sends QUIT without reading the reply and closes: the end of a failed login.
    void quitWithoutWaiting();
    // Forgets the replies of an earlier session.
    void resetReplies();

    // The complete last reply, every line with its line end.
    const QByteArray& reply() const { return m_reply; }
    // STOR was accepted and its final reply has not been read yet.
    bool finalReplyDue() const { return m_finalReplyDue; }
    void setFinalReplyDue(bool due) { m_finalReplyDue = due; }

    // The code of the last reply (0: none, or a line without a code).
    qint16 ReplyCode = 0;

    // The socket's building blocks that the FTP dialogue uses.
    using BlockingSocket::Canceled;
    using BlockingSocket::CheckConnection;
    using BlockingSocket::ClearInput;
    using BlockingSocket::DataAvailable;
    using BlockingSocket::ReportStatus;
    using BlockingSocket::TimedOut;

private:
    // A refusal the server sent before the command that then failed is that failure.
    void raiseStaleRefusal();

    const NameEncoding& m_encoding;
    QByteArray m_reply;
    // Replies that came while no command was waiting for one.
    QByteArray m_staleReply;
    bool m_finalReplyDue = false;
};
