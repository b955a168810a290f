// Opening the data connection of an upload.
#include "ftp/DataChannel.h"

#include <utility>

using ftp::firstLine;
using ftp::isBetween;

DataConnectionScope::DataConnectionScope(BlockingSocket*& field,
                                         std::unique_ptr<BlockingSocket> connection)
    : m_field(field)
    , m_connection(std::move(connection))
{
    m_field = m_connection.get();
}

DataConnectionScope::~DataConnectionScope()
{
    m_connection.reset();
    m_field = nullptr;
}

DataChannel::DataChannel(ControlConnection& control, const NameEncoding& encoding)
    : m_control(control)
    , m_encoding(encoding)
{
}

std::unique_ptr<BlockingSocket> DataChannel::newConnection(QObject* owner) const
{
    auto connection = std::make_unique<BlockingSocket>(owner);
    connection->setRole(SocketEndpoint::Role::Data);
    connection->setIdleLimit(m_control.idleLimit());
    // A stop of the session reaches its data connections too.
    connection->setStopToken(m_control.stopToken());
    return connection;
}

UploadRefusal DataChannel::refusePassive(const QByteArray& earlier, const QByteArray& reply,
                                         bool autoMode)
{
    platform::ReasonPtr text =
        platform::reason(FtpCode::ServerReply, {ftp::replyText(reply, m_encoding)});
    if (!earlier.isEmpty())
        text = platform::reason(FtpCode::PassiveRefused,
                                {ftp::replyText(earlier, m_encoding), text->englishText()});
    // A server that offers no passive mode may still take PORT; a 4xx ("421 Timeout.") is
    // the server's trouble of the moment, which PORT would not cure.
    if (autoMode && isBetween(m_control.ReplyCode, 500, 599))
        throw PassiveUnavailable{FallbackReason(text)};
    return {reply, text};
}

std::optional<UploadRefusal> DataChannel::openPassiveData(BlockingSocket& data, bool autoMode)
{
    // PASV can name no IPv6 address; EPSV names only the port.
    QByteArray pasvRefusal;
    bool extended = ftp::isIPv6(m_control.localAddress());
    if (!extended) {
        const QByteArray reply = m_control.command("PASV");
        extended = isBetween(m_control.ReplyCode, 500, 502);
        if (extended)
            pasvRefusal = reply;
        else if (isBetween(m_control.ReplyCode, 400, 599))
            return refusePassive({}, reply, autoMode);
        else
            data.Port = ftp::passivePort(firstLine(reply));
    }
    if (extended) {
        const QByteArray reply = m_control.command("EPSV");
        if (isBetween(m_control.ReplyCode, 400, 599))
            return refusePassive(pasvRefusal, reply, autoMode);
        data.Port = ftp::extendedPassivePort(firstLine(reply));
    }
    // The server the control connection reached, not whatever address the reply names.
    const QByteArray server = m_control.peerAddress();
    data.Host = server.isEmpty() ? m_control.Host : server;
    data.Connect();
    return std::nullopt;
}

std::optional<UploadRefusal> DataChannel::openActiveData(BlockingSocket& data)
{
    const QByteArray local = m_control.localAddress();
    const bool extended = ftp::isIPv6(local);
    data.Port = 0;
    // Only where the server can call: not on every address of the machine.
    data.Host = local;
    data.Listen();
    const QByteArray commas = extended ? QByteArray() : m_control.LocalAddressCommas();
    const QByteArray reply =
        m_control.command(extended ? ftp::extendedPortCommand(local, data.localPort())
                                   : "PORT " + commas + data.LocalPortCommas());
    if (isBetween(m_control.ReplyCode, 301, 599))
        return UploadRefusal{reply, {}};
    return std::nullopt;
}

std::optional<UploadRefusal>
DataChannel::acceptActiveData(BlockingSocket& data,
                              const std::function<void(const QByteArray& address)>& refused)
{
    try {
        // Only the server may call: anyone else who is quicker gets nothing.
        data.Accept([this] { watchControlWhileAccepting(); }, m_control.peerAddress(), refused);
    } catch (const FtpError& refusal) {
        return UploadRefusal{refusal.reply(), {}};
    }
    return std::nullopt;
}

void DataChannel::watchControlWhileAccepting()
{
    if (!m_control.Connected)
        throw SocketError(platform::reason(FtpCode::ClosedInsteadOfDataConnection),
                          SocketFailure::Closed, endpoint());
    if (!m_control.DataAvailable())
        return;
    const QByteArray reply = m_control.readReply();
    if (reply.isEmpty())
        throw SocketError(platform::reason(FtpCode::ClosedInsteadOfDataConnection),
                          SocketFailure::Closed, endpoint());
    if (isBetween(m_control.ReplyCode, 100, 199))
        return;
    // The server gave up on the data connection ("425 Can't open data connection").
    m_control.setFinalReplyDue(false);
    throw FtpError(reply, m_encoding);
}
