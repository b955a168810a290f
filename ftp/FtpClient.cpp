// The FTP client on the socket component: reply dialogue, login, commands and upload.
#include "ftp/FtpClient.h"

#include "platform/codepage.h"
#include "platform/printable.h"

#include <QCryptographicHash>
#include <QFile>
#include <QScopeGuard>

#include <algorithm>
#include <cctype>
#include <limits>
#include <utility>

namespace {

// How long a command waits for the late final reply of a transfer that ended early.
constexpr int lateReplyLimitMs = 5000;
// The most a reply may carry, all its lines together.
constexpr qsizetype replySizeLimit = 65536;
// Mode Auto was refused passive mode by the server; the upload is tried again actively.
struct PassiveUnavailable {
    FallbackReason reason;
};

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

// A byte of a PASV reply's address, or -1.
int addressByte(const QByteArray& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 0 && value <= 255 ? value : -1;
}

bool startsWithCode(const QByteArray& line)
{
    return line.size() >= 3
        && std::all_of(line.begin(), line.begin() + 3, [](char c) { return c >= '0' && c <= '9'; });
}

// A fingerprint as hex digits alone, upper-case: "ab:cd" and "ABCD" are the same.
QByteArray fingerprintDigits(const QByteArray& fingerprint)
{
    QByteArray digits;
    for (const char c : fingerprint) {
        if (c != ':' && c != ' ')
            digits += char(std::toupper(static_cast<unsigned char>(c)));
    }
    return digits;
}

// The first line of a reply, line end included.
QByteArray firstLine(const QByteArray& reply)
{
    const qsizetype end = reply.indexOf('\n');
    return end < 0 ? reply : reply.left(end + 1);
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

// A numeric address of the IPv6 family ("::1"), as the socket reports it.
bool isIPv6(const QByteArray& address)
{
    return address.contains(':');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The algorithms a check can compute while sending, the stronger first.
const QByteArrayList checkHashes{"SHA-256", "SHA-1"};

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

FtpError::FtpError(const QByteArray& reply, NameEncoding encoding)
    : FtpError(reply, platform::reason(FtpCode::ServerReply, {ftp::replyText(reply, encoding)}))
{
}

FtpError::FtpError(const QByteArray& reply, platform::ReasonPtr reason)
    : ServerRefusal(std::move(reason))
    , m_reply(reply)
{
}

namespace ftp {

qint16 replyCode(const QByteArray& line)
{
    qsizetype digits = 0;
    while (digits < line.size() && digits < 10 && isDigit(line[digits]))
        ++digits;
    if (digits == 0)
        return 0;
    const qint64 value = line.left(digits).toLongLong();
    if (value > std::numeric_limits<qint16>::max())
        throw SocketError(platform::reason(FtpCode::ReplyCodeOutOfRange,
                                           {QString::fromLatin1(line.left(digits))}));
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
    // Each field is one byte of the port; anything else is no port at all.
    const int lowByte = addressByte(low);
    const int highByte = addressByte(ExtractField(reply, ',', 5));
    if (lowByte < 0 || highByte < 0)
        throw platform::ConversionError(
            platform::reason(FtpCode::PassiveAddressUnreadable, {replyText(reply)}));
    return static_cast<quint16>(highByte * 256 + lowByte);
}

QString replyText(const QByteArray& reply, NameEncoding encoding)
{
    QByteArrayList parts;
    for (const QByteArray& rawLine : reply.split('\n')) {
        QByteArray line = rawLine;
        if (line.endsWith('\r'))
            line.chop(1);
        if (parts.isEmpty()) {
            // The first line keeps its code; "451-" opens a reply of several lines.
            if (startsWithCode(line) && line.size() > 3 && line[3] == '-')
                line[3] = ' ';
        } else if (startsWithCode(line) && (line.size() == 3 || line[3] == ' ' || line[3] == '-')) {
            line = line.mid(4);
        }
        line = line.trimmed();
        if (!line.isEmpty())
            parts << line;
    }
    return platform::printableText(decodeName(parts.join(' '), encoding));
}

QByteArrayList featureList(const QByteArray& reply)
{
    QByteArrayList features;
    if (!startsWithCode(reply) || reply[0] != '2')
        return features;
    for (const QByteArray& line : reply.split('\n')) {
        if (line.startsWith(' ') && !line.trimmed().isEmpty())
            features << line.trimmed();
    }
    return features;
}

bool hasFeature(const QByteArrayList& features, const QByteArray& name)
{
    return std::any_of(features.begin(), features.end(), [&](const QByteArray& feature) {
        return ExtractField(feature, ' ', 1).compare(name, Qt::CaseInsensitive) == 0;
    });
}

QString encodingName(NameEncoding encoding)
{
    return encoding == NameEncoding::Utf8 ? QStringLiteral("UTF-8") : QStringLiteral("GBK");
}

std::optional<QByteArray> encodeName(const QString& text, NameEncoding encoding)
{
    if (encoding == NameEncoding::Gbk)
        return platform::toCodePageExactly(text);
    // Only a broken text (a lone surrogate) has no UTF-8 form; the way back tells.
    QByteArray bytes = text.toUtf8();
    if (QString::fromUtf8(bytes) != text)
        return std::nullopt;
    return bytes;
}

QString decodeName(const QByteArray& bytes, NameEncoding encoding)
{
    return encoding == NameEncoding::Utf8 ? QString::fromUtf8(bytes)
                                          : platform::fromCodePage(bytes);
}

quint16 extendedPassivePort(const QByteArray& reply)
{
    // "(" d d d port d ")": the delimiter is whatever follows the parenthesis.
    const qsizetype open = reply.indexOf('(');
    const auto unreadable = [&reply]() -> quint16 {
        throw platform::ConversionError(platform::reason(FtpCode::NoEpsvPort, {replyText(reply)}));
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

HashOffer hashOffer(const QByteArrayList& features)
{
    HashOffer offer;
    for (const QByteArray& feature : features) {
        if (ExtractField(feature, ' ', 1).compare("HASH", Qt::CaseInsensitive) != 0)
            continue;
        for (QByteArray name : feature.mid(4).trimmed().split(';')) {
            name = name.trimmed().toUpper();
            const bool current = name.endsWith('*');
            if (current)
                name.chop(1);
            if (name.isEmpty())
                continue;
            offer.algorithms << name;
            if (current)
                offer.current = name;
        }
    }
    return offer;
}

std::optional<QByteArray> hashDigest(const QByteArray& reply, const QByteArray& algorithm)
{
    // "213 SHA-256 0-14 <digest> <name>": the name may hold blanks and is not judged. The
    // result is on the last line; a server may announce it on earlier ones.
    QByteArray line = reply;
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    line = line.mid(line.lastIndexOf('\n') + 1);
    if (!line.startsWith("213 "))
        return std::nullopt;
    const QList<QByteArray> fields = line.mid(4).simplified().split(' ');
    if (fields.size() < 3 || fields[0].compare(algorithm, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    const QByteArray& range = fields[1];
    const qsizetype dash = range.indexOf('-');
    const auto digits = [](const QByteArray& text) {
        return !text.isEmpty() && std::all_of(text.begin(), text.end(), isDigit);
    };
    if (dash < 0 || !digits(range.left(dash)) || !digits(range.mid(dash + 1)))
        return std::nullopt;
    const QByteArray digest = fields[2].toLower();
    const qsizetype hexLength = algorithm.compare("SHA-1", Qt::CaseInsensitive) == 0 ? 40 : 64;
    const bool hex = std::all_of(digest.begin(), digest.end(),
                                 [](char c) { return isDigit(c) || (c >= 'a' && c <= 'f'); });
    if (digest.size() != hexLength || !hex)
        return std::nullopt;
    return digest;
}

} // namespace ftp

PassiveSwitch::PassiveSwitch(TransferMode& mode)
    : m_mode(mode)
{
}

PassiveSwitch& PassiveSwitch::operator=(bool on)
{
    m_mode = on ? TransferMode::Passive : TransferMode::Active;
    return *this;
}

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

QByteArray FtpClient::ReadContinuationLines(const QByteArray& Line)
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

QByteArray FtpClient::readReply()
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

QByteArray FtpClient::command(const QByteArray& Command)
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

void FtpClient::raiseStaleRefusal()
{
    const QList<QByteArray> replies = splitReplies(std::exchange(m_staleReply, {}));
    for (auto reply = replies.crbegin(); reply != replies.crend(); ++reply) {
        const int code = startsWithCode(*reply) ? reply->left(3).toInt() : 0;
        if (code >= 400 && code <= 599) {
            ReplyCode = qint16(code);
            throw FtpError(*reply, m_encoding);
        }
    }
}

void FtpClient::Connect()
{
    Canceled = false;
    m_stopping = false;
    m_fileInProgress = false;
    resumeWaits();
    if (Connected)
        return;
    m_finalReplyDue = false;
    m_staleReply.clear();
    m_encoding = NameEncoding::Gbk;
    m_features.clear();
    m_binaryType = false;
    m_passiveFailed = false;
    m_tlsSession = {};
    m_greetingRead = false;
    ClearInput();
    // A dead station costs the short limit of connecting, not the idle one.
    const int laterLimit = idleLimit();
    const auto restoreLimit = qScopeGuard([this, laterLimit] { setIdleLimit(laterLimit); });
    setIdleLimit(connectLimit());
    BlockingSocket::Connect();
    try {
        logIn(laterLimit);
    } catch (...) {
        // A server that failed the login gets no second chance to keep the run waiting.
        quitWithoutWaiting();
        ReportStatus(StatusLevel::Dialogue, "Disconnected");
        throw;
    }
}

void FtpClient::quitWithoutWaiting()
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

void FtpClient::readGreeting()
{
    ReplyCode = 0;
    m_reply.clear();
    const ReplyLimit limit(*this);
    const QByteArray line = ReadLn();
    if (line.isEmpty())
        throw SocketError(platform::reason(FtpCode::ClosedBeforeGreeting), SocketFailure::Closed,
                          endpoint());
    ReportStatus(StatusLevel::Dialogue, line);
    if (!ftp::startsWithReplyCode(line)) {
        if (OnConnectionFailed)
            OnConnectionFailed(this);
        // Something else listens there (a web server, say): no QUIT, no further reading.
        dropConnection();
        throw SocketError(
            platform::reason(FtpCode::NotFtpServer,
                             {platform::printableText(platform::fromCodePage(line)).trimmed()}),
            SocketFailure::Other, endpoint());
    }
    ReplyCode = ftp::replyCode(line);
    m_reply = line + ReadContinuationLines(line);
    const QByteArray greeting = m_reply;
    if (ReplyCode > 400) {
        if (OnConnectionFailed)
            OnConnectionFailed(this);
        throw FtpError(greeting, m_encoding);
    }
}

void FtpClient::checkLoginReply(const QByteArray& reply)
{
    if (isBetween(ReplyCode, 401, 599)) {
        if (OnConnectionFailed)
            OnConnectionFailed(this);
        throw FtpError(reply, m_encoding);
    }
}

void FtpClient::logIn(int laterLimit)
{
    // Implicit TLS: the greeting itself comes encrypted, within the connect limit.
    if (m_tlsMode == TlsMode::Implicit)
        secureControl();
    readGreeting();
    m_greetingRead = true;
    setIdleLimit(laterLimit);
    if (m_tlsMode != TlsMode::Off && m_tlsMode != TlsMode::Implicit)
        negotiateTls();

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
    if (m_tlsSession.encrypted)
        protectData();
    chooseEncoding();

    if (OnConnect)
        OnConnect(this);
}

void FtpClient::negotiateTls()
{
    ReportStatus(StatusLevel::Dialogue, "AUTH TLS");
    m_tlsSession.asked = true;
    const QByteArray reply = command("AUTH TLS");
    if (ReplyCode != 234) {
        if (m_tlsMode == TlsMode::Require)
            throw TlsError(platform::reason(
                FtpCode::Refuses, {QStringLiteral("AUTH TLS"), ftp::replyText(reply, m_encoding)}));
        return;
    }
    secureControl();
}

void FtpClient::secureControl()
{
    m_tlsSession.offered = true;
    if (!m_tlsContext)
        m_tlsContext = std::make_shared<TlsContext>();
    try {
        startTls(m_tlsContext, Proxy.isEmpty() ? Host : Proxy);
    } catch (const platform::Exception&) {
        // A plain FTP server on an implicit port greets in clear: say so, in its words.
        const QByteArray clearAnswer = tlsPeer().clearAnswer;
        // Nothing more goes over a connection whose TLS failed, least of all in clear.
        dropConnection();
        if (m_tlsMode == TlsMode::Implicit && !clearAnswer.isEmpty())
            throw TlsError(platform::reason(
                NetCode::TlsHandshakeFailed,
                {QString::fromLatin1(endpoint().address) + u':' + QString::number(endpoint().port),
                 platform::reason(
                     NetCode::AnsweredInClear,
                     {platform::printableText(platform::fromCodePage(clearAnswer)).trimmed()})}));
        throw;
    }
    const TlsPeer peer = tlsPeer();
    m_tlsSession.encrypted = true;
    m_tlsSession.protocol = peer.protocol;
    m_tlsSession.fingerprint = peer.fingerprint;
    m_tlsSession.trustedBySystem = peer.trustedBySystem;
    checkCertificate(peer);
}

void FtpClient::checkCertificate(const TlsPeer& peer) const
{
    if (peer.trustedBySystem)
        return;
    const QString host = platform::fromCodePage(Proxy.isEmpty() ? Host : Proxy);
    if (!peer.expiredOn.isEmpty())
        throw TlsError(platform::reason(FtpCode::CertificateExpired, {host, peer.expiredOn}));
    if (!peer.notYetValidBefore.isEmpty())
        throw TlsError(
            platform::reason(FtpCode::CertificateNotYetValid, {host, peer.notYetValidBefore}));
    // First contact, or the certificate seen before: as SSH does with host keys.
    if (m_rememberedFingerprint.isEmpty()
        || fingerprintDigits(m_rememberedFingerprint) == fingerprintDigits(peer.fingerprint))
        return;
    throw CertificateChangedError(host, m_rememberedFingerprint, peer.fingerprint);
}

void FtpClient::protectData()
{
    for (const QByteArray& request : {QByteArray("PBSZ 0"), QByteArray("PROT P")}) {
        ReportStatus(StatusLevel::Dialogue, request);
        const QByteArray reply = command(request);
        if (!isBetween(ReplyCode, 200, 299))
            throw TlsError(platform::reason(
                FtpCode::Refuses,
                {QString::fromLatin1(request), ftp::replyText(reply, m_encoding)}));
    }
}

void FtpClient::secureData(BlockingSocket& data)
{
    // With TLS 1.3 the session to resume comes in a ticket after the handshake; a reply read
    // since has brought it, and anything still waiting is taken in now.
    if (!tlsSessionResumable())
        DataAvailable();
    try {
        data.startTls(m_tlsContext, Proxy.isEmpty() ? Host : Proxy, this);
    } catch (const TlsError& error) {
        // The server may say why on the control connection ("522 session reuse required").
        const QByteArray reply = readLateFinalReply();
        if (reply.isEmpty() || !isBetween(ReplyCode, 400, 599))
            throw;
        m_finalReplyDue = false;
        throw TlsError(platform::reason(
            FtpCode::ServerSays, {platform::causeOf(error), ftp::replyText(reply, m_encoding)}));
    }
    // Whoever answers the data connection must be the party the login went to.
    const QByteArray presented = data.tlsPeer().fingerprint;
    if (fingerprintDigits(presented) != fingerprintDigits(m_tlsSession.fingerprint))
        throw TlsError(platform::reason(FtpCode::DataCertificateDiffers,
                                        {QString::fromLatin1(data.endpoint().address) + u':'
                                             + QString::number(data.endpoint().port),
                                         QString::fromLatin1(presented),
                                         QString::fromLatin1(m_tlsSession.fingerprint)}));
}

void FtpClient::finishDataTls(BlockingSocket& data)
{
    data.finishTls([this] {
        // A server that keeps the data connection open after its final reply need not
        // send its close_notify: the reply says all.
        if (DataAvailable())
            return true;
        wakeOnActivity();
        return false;
    });
}

void FtpClient::chooseEncoding()
{
    // A server that does not know FEAT lists nothing: it is a GBK server.
    ReportStatus(StatusLevel::Dialogue, "FEAT");
    m_features = ftp::featureList(command("FEAT"));
    m_sessionHash.reset();
    const bool listsUtf8 = ftp::hasFeature(m_features, "UTF8");
    if (listsUtf8 && Encoding != EncodingChoice::Gbk) {
        // Some servers switch to UTF-8 only when asked. Others always use it and refuse the
        // question (pyftpdlib: "501 Invalid argument."), so the answer is not judged.
        ReportStatus(StatusLevel::Dialogue, "OPTS UTF8 ON");
        command("OPTS UTF8 ON");
    }
    const bool utf8 =
        Encoding == EncodingChoice::Utf8 || (Encoding == EncodingChoice::Auto && listsUtf8);
    m_encoding = utf8 ? NameEncoding::Utf8 : NameEncoding::Gbk;
}

void FtpClient::Disconnect()
{
    Canceled = false;
    if (!Connected)
        return;
    if (m_stopping) {
        quitWithoutWaiting();
        return;
    }
    ReportStatus(StatusLevel::Dialogue, "QUIT");
    try {
        discardStaleReplies();
        // A server that just closes after QUIT has done what was asked: no reply needed.
        Transaction("QUIT");
        if (isBetween(ReplyCode, 301, 599))
            throw FtpError(m_reply, m_encoding);
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
    m_stopping = true;
    // A file in transfer goes on to its end; the waits stop after it.
    if (m_fileInProgress)
        return;
    stopWaits();
    if (DataConnection)
        DataConnection->stopWaits();
}

void FtpClient::abortTransfer()
{
    m_stopping = true;
    stopWaits();
    if (DataConnection) {
        DataConnection->stopWaits();
        DataConnection->Cancel();
    }
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

void FtpClient::ChangeDir(const QByteArray& Directory)
{
    RunCommand("CWD " + Directory);
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
    m_binaryType = Mode != 1 && isBetween(ReplyCode, 200, 299);
}

void FtpClient::discardStaleReplies()
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

QByteArray FtpClient::readLateFinalReply()
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

void FtpClient::Upload(const QString& localPath, const QByteArray& remoteName)
{
    upload(localPath, [&] {
        return remoteName.isEmpty() ? ownName(localPath) : StorName{remoteName, remoteName};
    });
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
    Canceled = false;
    m_lastUpload = {};
    bool stored = false;
    try {
        CheckConnection();
        const StorName realName = name();
        // ".part" is the same bytes in GBK and UTF-8.
        const StorName storName =
            TempNames ? StorName{realName.wire + ".part", realName.shown + ".part"} : realName;
        {
            std::lock_guard lock(*TransferLock);
            discardStaleReplies();
            // Chosen before the data flows: the hash is computed while sending.
            m_uploadHash = VerifyUploads && m_binaryType ? sessionHash() : QByteArray();
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

bool FtpClient::refusePassive(const QByteArray& earlier, const QByteArray& reply)
{
    platform::ReasonPtr text =
        platform::reason(FtpCode::ServerReply, {ftp::replyText(reply, m_encoding)});
    if (!earlier.isEmpty())
        text = platform::reason(FtpCode::PassiveRefused,
                                {ftp::replyText(earlier, m_encoding), text->englishText()});
    // A server that offers no passive mode may still take PORT; a 4xx ("421 Timeout.") is
    // the server's trouble of the moment, which PORT would not cure.
    if (Mode == TransferMode::Auto && isBetween(ReplyCode, 500, 599))
        throw PassiveUnavailable{FallbackReason(text)};
    refuseUpload(reply, text);
    return false;
}

bool FtpClient::openPassiveData(BlockingSocket& data)
{
    // PASV can name no IPv6 address; EPSV names only the port.
    QByteArray pasvRefusal;
    bool extended = isIPv6(localAddress());
    if (!extended) {
        const QByteArray reply = command("PASV");
        extended = isBetween(ReplyCode, 500, 502);
        if (extended)
            pasvRefusal = reply;
        else if (isBetween(ReplyCode, 400, 599))
            return refusePassive({}, reply);
        else
            data.Port = ftp::passivePort(firstLine(reply));
    }
    if (extended) {
        const QByteArray reply = command("EPSV");
        if (isBetween(ReplyCode, 400, 599))
            return refusePassive(pasvRefusal, reply);
        data.Port = ftp::extendedPassivePort(firstLine(reply));
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
    // Only where the server can call: not on every address of the machine.
    data.Host = local;
    data.Listen();
    const QByteArray commas = extended ? QByteArray() : LocalAddressCommas();
    const QByteArray reply = command(extended ? ftp::extendedPortCommand(local, data.localPort())
                                              : "PORT " + commas + data.LocalPortCommas());
    if (isBetween(ReplyCode, 301, 599)) {
        refuseUpload(reply);
        return false;
    }
    return true;
}

bool FtpClient::transferOnNewConnection(const QString& localPath, const StorName& name)
{
    auto connection = std::make_unique<BlockingSocket>(this);
    connection->setRole(SocketEndpoint::Role::Data);
    connection->TimeOut = TimeOut;
    connection->setIdleLimit(idleLimit());
    if (waitsStopped())
        connection->stopWaits();
    // lastUpload() follows every piece, so a handler can show it.
    connection->OnPacketSent = [this, handler = OnPacketSent](QObject* Sender) {
        m_lastUpload.sent = static_cast<BlockingSocket*>(Sender)->bytesSent();
        if (handler)
            handler(Sender);
    };
    DataConnectionScope scope(DataConnection, std::move(connection));
    return transfer(scope.connection(), localPath, name);
}

void FtpClient::watchControlWhileAccepting()
{
    if (!Connected)
        throw SocketError(platform::reason(FtpCode::ClosedInsteadOfDataConnection),
                          SocketFailure::Closed, endpoint());
    if (!DataAvailable())
        return;
    const QByteArray reply = readReply();
    if (reply.isEmpty())
        throw SocketError(platform::reason(FtpCode::ClosedInsteadOfDataConnection),
                          SocketFailure::Closed, endpoint());
    if (isBetween(ReplyCode, 100, 199))
        return;
    // The server gave up on the data connection ("425 Can't open data connection").
    m_finalReplyDue = false;
    throw FtpError(reply, m_encoding);
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
    // Fed with the very bytes sent: no second read of the file.
    std::optional<QCryptographicHash> hash;
    if (!m_uploadHash.isEmpty()) {
        hash.emplace(m_uploadHash == "SHA-1" ? QCryptographicHash::Sha1
                                             : QCryptographicHash::Sha256);
        data.OnFileData = [&hash](const char* bytes, qsizetype size) {
            hash->addData(QByteArrayView(bytes, size));
        };
    }

    const bool passive = passiveInUse();
    if (!(passive ? openPassiveData(data) : openActiveData(data)))
        return false;

    ReportStatus(StatusLevel::Dialogue, "STOR " + name.shown);
    const QByteArray storReply = command("STOR " + name.wire);
    if (isBetween(ReplyCode, 301, 599)) {
        if (OnUnSupportedFunction && isBetween(ReplyCode, 500, 502))
            OnUnSupportedFunction(CommandKind::ctStor);
        refuseUpload(storReply);
        return false;
    }
    m_finalReplyDue = true;

    if (!passive) {
        try {
            // Only the server may call: anyone else who is quicker gets nothing.
            data.Accept([this] { watchControlWhileAccepting(); }, peerAddress(),
                        [this](const QByteArray& address) {
                            if (OnDataCallerRefused)
                                OnDataCallerRefused(address);
                        });
        } catch (const FtpError& refusal) {
            refuseUpload(refusal.reply());
            return false;
        }
    }
    if (OnTransactionStart)
        OnTransactionStart(this);
    // A cancel, time-out or stop before the first byte leaves the file unsent: never a
    // success, and the data connection is reset so that the server stores nothing.
    if (Canceled || TimedOut || m_stopping) {
        if (OnTransactionStop)
            OnTransactionStop(this);
        data.Disconnect();
        Canceled = false;
        if (m_stopping)
            throw AbortError(platform::reason(FtpCode::StoppedBeforeSending),
                             SocketFailure::Stopped, data.endpoint());
        throw AbortError(platform::reason(NetCode::SendAborted));
    }

    if (m_tlsSession.encrypted)
        secureData(data);

    // From the first byte to the final reply the file is in transfer: a stop lets it end.
    m_fileInProgress = true;
    const auto fileEnds = qScopeGuard([this] {
        m_fileInProgress = false;
        if (m_stopping)
            stopWaits();
    });
    try {
        data.SendFile(localPath);
    } catch (const AbortError&) {
        throw;
    } catch (const SocketError& error) {
        // A server that cuts the data connection (disk full) says why on the control one;
        // one that stopped taking data has already had its time.
        if (error.failure() == SocketFailure::TimedOut)
            throw;
        const QByteArray reply = readLateFinalReply();
        if (reply.isEmpty() || !isBetween(ReplyCode, 400, 599)) {
            // Over TLS only a close_notify ends a data connection in order.
            if (m_tlsSession.encrypted)
                throw TlsError(platform::reason(FtpCode::DataEndedWithoutTlsClose,
                                                {QString::fromLatin1(data.endpoint().address),
                                                 QString::number(data.endpoint().port),
                                                 platform::causeOf(error)}));
            throw;
        }
        m_finalReplyDue = false;
        refuseUpload(reply);
        return false;
    }
    if (OnTransactionStop)
        OnTransactionStop(this);
    if (data.tlsActive())
        finishDataTls(data);
    // Closing the data connection marks the end of the file for the server.
    data.closeGracefully();

    QByteArray final;
    do { // a preliminary reply (1xx) leaves the outcome still to come
        final = readReply();
        if (final.isEmpty())
            throw SocketError(platform::reason(FtpCode::ClosedInsteadOfFinalReply),
                              SocketFailure::Closed, endpoint());
    } while (isBetween(ReplyCode, 100, 199));
    m_finalReplyDue = false;
    // Only a 2xx says the file is stored; a refusal (451, 552), a code of 600 and above or
    // none at all does not.
    if (!isBetween(ReplyCode, 200, 299)) {
        refuseUpload(final);
        return false;
    }
    // Only in binary type is the server's size the count of bytes sent. A hash, when
    // offered, checks the content too.
    if (hash)
        verifyHash(name, data.bytesSent(), hash->result().toHex());
    else if (VerifyUploads && m_binaryType && ftp::hasFeature(m_features, "SIZE"))
        verifySize(name, data.bytesSent());
    return true;
}

QByteArray FtpClient::sessionHash()
{
    if (m_sessionHash)
        return *m_sessionHash;
    const ftp::HashOffer offer = ftp::hashOffer(m_features);
    QByteArray chosen;
    for (const QByteArray& algorithm : checkHashes) {
        if (offer.algorithms.contains(algorithm)) {
            chosen = algorithm;
            break;
        }
    }
    if (!chosen.isEmpty() && chosen != offer.current) {
        command("OPTS HASH " + chosen);
        // Refused: the current algorithm still serves when it is one a check can compute.
        if (!isBetween(ReplyCode, 200, 299))
            chosen = checkHashes.contains(offer.current) ? offer.current : QByteArray();
    }
    m_sessionHash = chosen;
    return chosen;
}

void FtpClient::verifyHash(const StorName& name, qint64 sent, const QByteArray& digest)
{
    const QByteArray algorithm = m_uploadHash;
    const QByteArray reply = command("HASH " + name.wire);
    const QString text = ftp::replyText(reply, m_encoding);
    const QString shownAlgorithm = QString::fromLatin1(algorithm);
    if (checkNotImplemented(reply))
        return;
    if (!isBetween(ReplyCode, 200, 299))
        throw VerifyError(platform::reason(FtpCode::HashUnknown, {shownAlgorithm, text}), sent, -1,
                          text, Verification::Hash, algorithm);
    const std::optional<QByteArray> serverDigest = ftp::hashDigest(reply, algorithm);
    if (!serverDigest)
        throw VerifyError(platform::reason(FtpCode::HashReplyUnexpected, {shownAlgorithm, text}),
                          sent, -1, text, Verification::Hash, algorithm);
    if (*serverDigest != digest)
        throw VerifyError(
            platform::reason(FtpCode::HashDiffers, {shownAlgorithm, QString::number(sent)}), sent,
            -1, {}, Verification::Hash, algorithm);
    m_lastUpload.verification = Verification::Hash;
    m_lastUpload.hashName = algorithm;
}

void FtpClient::rename(const QByteArray& from, const QByteArray& to)
{
    // Only "350" makes RNTO meaningful; a 2xx to RNFR renamed nothing.
    const QByteArray reply = command("RNFR " + from);
    if (ReplyCode != 350)
        throw RenameError(reply, m_encoding);
    const QByteArray renamed = command("RNTO " + to);
    if (!isBetween(ReplyCode, 200, 299))
        throw RenameError(renamed, m_encoding);
}

void FtpClient::verifySize(const StorName& name, qint64 sent)
{
    const QByteArray reply = command("SIZE " + name.wire);
    const QString text = ftp::replyText(reply, m_encoding);
    if (checkNotImplemented(reply))
        return;
    if (!isBetween(ReplyCode, 200, 299))
        throw VerifyError(platform::reason(FtpCode::SizeUnknown, {text}), sent, -1, text);
    // "213 1234": the size is the text after the code.
    bool number = false;
    const qint64 size = firstLine(reply).mid(4).trimmed().toLongLong(&number);
    if (!number || size < 0)
        throw VerifyError(platform::reason(FtpCode::SizeNoNumber, {text}), sent, -1, text);
    if (size != sent)
        throw VerifyError(
            platform::reason(FtpCode::SizeDiffers, {QString::number(size), QString::number(sent)}),
            sent, size);
    m_lastUpload.verification = Verification::Size;
}

bool FtpClient::checkNotImplemented(const QByteArray& reply)
{
    // "Not understood / not implemented" says nothing about the file; 550 and 450 do.
    if (ReplyCode != 500 && ReplyCode != 501 && ReplyCode != 502 && ReplyCode != 504)
        return false;
    m_lastUpload.verification = Verification::NotChecked;
    m_lastUpload.uncheckedReply = ftp::replyText(reply, m_encoding);
    return true;
}
