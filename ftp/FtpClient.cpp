// The FTP client on its control connection: login, commands and upload.
#include "ftp/FtpClient.h"

#include "platform/codepage.h"

#include <QFile>
#include <QScopeGuard>

#include <memory>
#include <utility>

using ftp::isBetween;

namespace {

// The file name part of a local path: what follows its last "/".
QString fileNamePart(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

FtpClient::FtpClient(QObject* AOwner)
    : QObject(AOwner)
{
    setIdleLimit(ftp::defaultIdleLimitMs);
    // The control connection's notices are the client's.
    m_control.OnStatus = [this](QObject*, const QByteArray& text) {
        if (OnStatus)
            OnStatus(this, text);
    };
    m_control.OnDisconnect = [this](QObject*) {
        if (OnDisconnect)
            OnDisconnect(this);
    };
    m_control.OnConnectionFailed = [this](QObject*) {
        if (OnConnectionFailed)
            OnConnectionFailed(this);
    };
}

FtpClient::~FtpClient()
{
    m_control.Cancel();
    if (m_dataConnection)
        m_dataConnection->Cancel();
}

void FtpClient::Connect()
{
    m_control.Canceled = false;
    m_control.resumeWaits();
    if (m_control.Connected)
        return;
    m_control.Host = Host;
    m_control.Port = Port;
    m_control.Proxy = Proxy;
    m_control.ProxyPort = ProxyPort;
    m_encoding = NameEncoding::Gbk;
    m_control.resetReplies();
    m_check.startSession({});
    m_binaryType = false;
    m_passiveFailed = false;
    m_tls.reset(m_tlsMode, m_rememberedFingerprint);
    m_greetingRead = false;
    m_control.ClearInput();
    // A dead station costs the short limit of connecting, not the idle one.
    const int laterLimit = idleLimit();
    const auto restoreLimit = qScopeGuard([this, laterLimit] { setIdleLimit(laterLimit); });
    setIdleLimit(connectLimit());
    m_control.Connect();
    try {
        logIn(laterLimit);
    } catch (...) {
        // A server that failed the login gets no second chance to keep the run waiting.
        m_control.quitWithoutWaiting();
        m_control.ReportStatus(StatusLevel::Dialogue, "Disconnected");
        throw;
    }
}

void FtpClient::readGreeting()
{
    m_control.readGreeting([this] {
        if (OnConnectionFailed)
            OnConnectionFailed(this);
    });
}

void FtpClient::checkLoginReply(const QByteArray& reply)
{
    if (isBetween(m_control.ReplyCode, 401, 599)) {
        if (OnConnectionFailed)
            OnConnectionFailed(this);
        throw FtpError(reply, m_encoding);
    }
}

void FtpClient::logIn(int laterLimit)
{
    // Implicit TLS: the greeting itself comes encrypted, within the connect limit.
    if (m_tlsMode == TlsMode::Implicit)
        m_tls.secureControl();
    readGreeting();
    m_greetingRead = true;
    setIdleLimit(laterLimit);
    if (m_tlsMode != TlsMode::Off && m_tlsMode != TlsMode::Implicit)
        m_tls.negotiateTls();
    sendLogin();
    if (m_tls.session().encrypted)
        m_tls.protectData();
    chooseEncoding();

    if (OnConnect)
        OnConnect(this);
}

void FtpClient::sendLogin()
{
    if (FWAuthenticate) {
        checkLoginReply(m_control.command("USER " + FWUserID));
        if (m_control.ReplyCode == 331) {
            m_control.ReportStatus(StatusLevel::Dialogue, "PASS ");
            checkLoginReply(m_control.command("PASS " + FWPassword));
        }
    }

    if ((UserID.isEmpty() || Password.isEmpty()) && OnAuthenticationNeeded) {
        bool handled = false;
        OnAuthenticationNeeded(handled);
    }

    const bool viaProxy = !Proxy.isEmpty();
    if (viaProxy) {
        switch (FirewallType) {
        case FirewallStyle::FTUser: m_control.command("USER " + UserID + "@" + Host); break;
        case FirewallStyle::FtOpen: m_control.command("OPEN " + Host); break;
        case FirewallStyle::FtSite: m_control.command("SITE " + Host); break;
        }
    }

    if (!(viaProxy && FirewallType == FirewallStyle::FTUser)) {
        m_control.ReportStatus(StatusLevel::Dialogue, "USER " + UserID);
        checkLoginReply(m_control.command("USER " + UserID));
    }
    if (m_control.ReplyCode == 331) {
        m_control.ReportStatus(StatusLevel::Dialogue, "PASS ");
        checkLoginReply(m_control.command("PASS " + Password));
    }
}

void FtpClient::chooseEncoding()
{
    // A server that does not know FEAT lists nothing: it is a GBK server.
    m_control.ReportStatus(StatusLevel::Dialogue, "FEAT");
    const QByteArrayList features = ftp::featureList(m_control.command("FEAT"));
    m_check.startSession(features);
    const bool listsUtf8 = ftp::hasFeature(features, "UTF8");
    if (listsUtf8 && Encoding != EncodingChoice::Gbk) {
        // Some servers switch to UTF-8 only when asked. Others always use it and refuse the
        // question (pyftpdlib: "501 Invalid argument."), so the answer is not judged.
        m_control.ReportStatus(StatusLevel::Dialogue, "OPTS UTF8 ON");
        m_control.command("OPTS UTF8 ON");
    }
    const bool utf8 =
        Encoding == EncodingChoice::Utf8 || (Encoding == EncodingChoice::Auto && listsUtf8);
    m_encoding = utf8 ? NameEncoding::Utf8 : NameEncoding::Gbk;
}

void FtpClient::Disconnect()
{
    m_control.Canceled = false;
    if (!m_control.Connected)
        return;
    if (stopping()) {
        m_control.quitWithoutWaiting();
        return;
    }
    m_control.ReportStatus(StatusLevel::Dialogue, "QUIT");
    try {
        m_control.discardStaleReplies();
        // A server that just closes after QUIT has done what was asked: no reply needed.
        m_control.Transaction("QUIT");
        if (isBetween(m_control.ReplyCode, 301, 599))
            throw FtpError(m_control.reply(), m_encoding);
    } catch (...) {
        closeIfOpen();
        throw;
    }
    closeIfOpen();
}

void FtpClient::closeIfOpen()
{
    // A server that closed first has already had its socket closed and replaced.
    if (m_control.Connected)
        dropConnection();
}

void FtpClient::dropConnection()
{
    m_control.Disconnect();
}

void FtpClient::stopWaiting()
{
    // A file in transfer goes on to its end; the waits stop after it.
    m_control.stopWaits();
}

void FtpClient::abortTransfer()
{
    // The data connection shares the token: its send ends at once.
    m_control.stopToken()->cutNow();
}

void FtpClient::RunCommand(const QByteArray& Command)
{
    const CommandKind kind = ftp::commandKind(Command);
    m_control.Canceled = false;
    m_control.CheckConnection();
    m_control.ReportStatus(StatusLevel::Dialogue, Command);
    m_control.discardStaleReplies();
    const QByteArray reply = m_control.command(Command);
    if (isBetween(m_control.ReplyCode, 400, 599)) {
        if (OnUnSupportedFunction && isBetween(m_control.ReplyCode, 500, 502))
            OnUnSupportedFunction(kind);
        if (!OnFailure)
            throw FtpError(reply, m_encoding);
        bool handled = false;
        OnFailure(handled, kind);
        if (!handled)
            throw FtpError(reply, m_encoding);
        return;
    }
    if (OnSuccess)
        OnSuccess(kind);
}

void FtpClient::ChangeDir(const QString& Directory)
{
    RunCommand("CWD " + wireName(Directory));
}

QByteArray FtpClient::wireName(const QString& name) const
{
    // A name that cannot be written would arrive with "?" in it: a different file.
    std::optional<QByteArray> bytes = ftp::encodeName(name, m_encoding);
    if (!bytes)
        throw NameEncodingError(
            platform::reason(FtpCode::NameNotEncodable, {name, ftp::encodingName(m_encoding)}));
    return *bytes;
}

void FtpClient::SetTransferType(int Mode)
{
    switch (Mode) {
    case 1: RunCommand("TYPE A"); break;
    case 2: RunCommand("TYPE I"); break;
    case 3: RunCommand("TYPE L 8"); break;
    default: return;
    }
    m_binaryType = Mode != 1 && isBetween(m_control.ReplyCode, 200, 299);
}

void FtpClient::refuseUpload(const QByteArray& reply, platform::ReasonPtr message)
{
    bool handled = false;
    if (OnFailure)
        OnFailure(handled, CommandKind::ctStor);
    if (!handled)
        throw FtpError(
            reply,
            message ? message
                    : platform::reason(FtpCode::ServerReply, {ftp::replyText(reply, m_encoding)}));
}

void FtpClient::Upload(const QString& localPath, const QString& remoteName)
{
    upload(localPath, [&] {
        if (remoteName.isEmpty())
            return ownName(localPath);
        const QByteArray wire = wireName(remoteName);
        return StorName{wire, wire};
    });
}

FtpClient::StorName FtpClient::ownName(const QString& localPath) const
{
    // The status shows the whole path; it only needs to be readable.
    return {wireName(fileNamePart(localPath)),
            ftp::encodeName(localPath, m_encoding).value_or(platform::toCodePage(localPath))};
}

bool FtpClient::passiveInUse() const
{
    return Mode == TransferMode::Passive || (Mode == TransferMode::Auto && !m_passiveFailed);
}

void FtpClient::upload(const QString& localPath, const std::function<StorName()>& name)
{
    m_control.Canceled = false;
    m_lastUpload = {};
    bool stored = false;
    try {
        m_control.CheckConnection();
        const StorName realName = name();
        // ".part" is the same bytes in GBK and UTF-8.
        const StorName storName =
            TempNames ? StorName{realName.wire + ".part", realName.shown + ".part"} : realName;
        m_control.discardStaleReplies();
        // Chosen before the data flows: the hash is computed while sending.
        m_check.chooseCheck(VerifyUploads && m_binaryType);
        try {
            stored = transferOnNewConnection(localPath, storName);
        } catch (const PassiveUnavailable& unavailable) {
            // The server offers no passive mode; it may still take PORT.
            m_passiveFailed = true;
            if (OnModeFallback)
                OnModeFallback(unavailable.reason);
            stored = transferOnNewConnection(localPath, storName);
        }
        if (stored && TempNames)
            rename(storName.wire, realName.wire);
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

bool FtpClient::transferOnNewConnection(const QString& localPath, const StorName& name)
{
    std::unique_ptr<BlockingSocket> connection = m_dataChannel.newConnection(this);
    // lastUpload() follows every piece, so a handler can show it.
    connection->OnPacketSent = [this, handler = OnPacketSent](QObject* Sender) {
        m_lastUpload.sent = static_cast<BlockingSocket*>(Sender)->bytesSent();
        if (handler)
            handler(Sender);
    };
    DataConnectionScope scope(m_dataConnection, std::move(connection));
    return transfer(scope.connection(), localPath, name);
}

bool FtpClient::transfer(BlockingSocket& data, const QString& localPath, const StorName& name)
{
    // What was sent is known on every way out, also after a failure.
    const auto noteSent = qScopeGuard([this, &data] { m_lastUpload.sent = data.bytesSent(); });
    {
        QFile file(localPath);
        if (!file.open(QIODevice::ReadOnly))
            throw FileOpenError(platform::reason(FtpCode::CannotOpenFile, {localPath}));
        m_lastUpload.size = file.size();
    }
    m_check.watch(data);
    if (!openData(data, name))
        return false;
    beginSending(data);
    // From the first byte to the final reply the file is in transfer: a stop lets it end.
    const StopToken::Transfer inTransfer(*m_control.stopToken());
    if (!sendFile(data, localPath) || !finalReply())
        return false;
    m_check.verify(name.wire, data.bytesSent());
    return true;
}

bool FtpClient::openData(BlockingSocket& data, const StorName& name)
{
    const bool passive = passiveInUse();
    std::optional<UploadRefusal> refusal = passive
        ? m_dataChannel.openPassiveData(data, Mode == TransferMode::Auto)
        : m_dataChannel.openActiveData(data);
    if (refusal) {
        refuseUpload(refusal->reply, refusal->message);
        return false;
    }

    m_control.ReportStatus(StatusLevel::Dialogue, "STOR " + name.shown);
    const QByteArray storReply = m_control.command("STOR " + name.wire);
    if (isBetween(m_control.ReplyCode, 301, 599)) {
        if (OnUnSupportedFunction && isBetween(m_control.ReplyCode, 500, 502))
            OnUnSupportedFunction(CommandKind::ctStor);
        refuseUpload(storReply);
        return false;
    }
    m_control.setFinalReplyDue(true);

    if (!passive) {
        refusal = m_dataChannel.acceptActiveData(data, [this](const QByteArray& address) {
            if (OnDataCallerRefused)
                OnDataCallerRefused(address);
        });
        if (refusal) {
            refuseUpload(refusal->reply);
            return false;
        }
    }
    return true;
}

void FtpClient::beginSending(BlockingSocket& data)
{
    if (OnTransactionStart)
        OnTransactionStart(this);
    // A stop before the first byte leaves the file unsent: never a success, and the data
    // connection is reset so that the server stores nothing.
    if (stopping()) {
        if (OnTransactionStop)
            OnTransactionStop(this);
        data.Disconnect();
        throw AbortError(platform::reason(FtpCode::StoppedBeforeSending), SocketFailure::Stopped,
                         data.endpoint());
    }

    if (m_tls.session().encrypted)
        m_tls.secureData(data);
}

bool FtpClient::sendFile(BlockingSocket& data, const QString& localPath)
{
    try {
        data.SendFile(localPath);
    } catch (const AbortError&) {
        throw;
    } catch (const SocketError& error) {
        // A server that cuts the data connection (disk full) says why on the control one;
        // one that stopped taking data has already had its time.
        if (error.failure() == SocketFailure::TimedOut)
            throw;
        const QByteArray reply = m_control.readLateFinalReply();
        if (reply.isEmpty() || !isBetween(m_control.ReplyCode, 400, 599)) {
            // Over TLS only a close_notify ends a data connection in order.
            if (m_tls.session().encrypted)
                throw TlsError(platform::reason(FtpCode::DataEndedWithoutTlsClose,
                                                {QString::fromLatin1(data.endpoint().address),
                                                 QString::number(data.endpoint().port),
                                                 platform::causeOf(error)}));
            throw;
        }
        m_control.setFinalReplyDue(false);
        refuseUpload(reply);
        return false;
    }
    if (OnTransactionStop)
        OnTransactionStop(this);
    if (data.tlsActive())
        m_tls.finishDataTls(data);
    // Closing the data connection marks the end of the file for the server.
    data.closeGracefully();
    return true;
}

bool FtpClient::finalReply()
{
    QByteArray final;
    do { // a preliminary reply (1xx) leaves the outcome still to come
        final = m_control.readReply();
        if (final.isEmpty())
            throw SocketError(platform::reason(FtpCode::ClosedInsteadOfFinalReply),
                              SocketFailure::Closed, endpoint());
    } while (isBetween(m_control.ReplyCode, 100, 199));
    m_control.setFinalReplyDue(false);
    // Only a 2xx says the file is stored; a refusal (451, 552), a code of 600 and above or
    // none at all does not.
    if (!isBetween(m_control.ReplyCode, 200, 299)) {
        refuseUpload(final);
        return false;
    }
    return true;
}

void FtpClient::rename(const QByteArray& from, const QByteArray& to)
{
    // Only "350" makes RNTO meaningful; a 2xx to RNFR renamed nothing.
    const QByteArray reply = m_control.command("RNFR " + from);
    if (m_control.ReplyCode != 350)
        throw RenameError(reply, m_encoding);
    const QByteArray renamed = m_control.command("RNTO " + to);
    if (!isBetween(m_control.ReplyCode, 200, 299))
        throw RenameError(renamed, m_encoding);
}
