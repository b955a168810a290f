// An SFTP station: a handful of SFTP version 3 requests over the SSH channel.
#include "ftp/SftpSession.h"

#include "ftp/FtpClient.h"
#include "platform/printable.h"

#include <QFile>

#include <deque>
#include <optional>

using sftp::PacketReader;
using sftp::PacketType;
using sftp::PacketWriter;
using sftp::StatusCode;

namespace {

constexpr quint32 sftpVersion = 3;
// Pieces and requests in flight as OpenSSH's own client sends them: 64 × 32 KiB keeps the
// channel's window full on a fast link without a whole-file buffer.
constexpr qint64 writePiece = 32768;
constexpr std::size_t writesInFlight = 64;
constexpr auto posixRename = "posix-rename@openssh.com";

QString nameText(const QByteArray& path)
{
    return platform::printableText(QString::fromUtf8(path));
}

} // namespace

SftpSession::SftpSession(std::shared_ptr<StopToken> stop)
    : StationSession(std::move(stop))
    , m_transport(stopToken())
{
    m_transport.OnActivity = [this] {
        if (OnActivity)
            OnActivity();
    };
}

SftpSession::~SftpSession() = default;

void SftpSession::setLimits(int connectLimitMs, int idleLimitMs)
{
    m_connectLimitMs = connectLimitMs;
    m_idleLimitMs = idleLimitMs;
}

void SftpSession::open(const SessionSettings& settings)
{
    drop();
    m_settings = settings;
    m_security = SessionSecurity{};
    m_received.clear();
    m_posixRename = false;
    try {
        m_transport.setLimits(m_connectLimitMs, m_idleLimitMs);
        m_transport.connect(settings.host, settings.port);
        m_security.encrypted = true;
        m_security.protocol = QStringLiteral("SSH");
        m_security.fingerprint = m_transport.fingerprint();
        checkHostKey(settings);
        m_transport.logIn(settings.user, settings.password);
        m_transport.openSftp();
        startSftp();
        m_folder = realPath(".", QStringLiteral("."));
    } catch (...) {
        drop();
        throw;
    }
    m_open = true;
}

void SftpSession::checkHostKey(const SessionSettings& settings)
{
    const QByteArray& presented = m_security.fingerprint;
    switch (m_transport.knownHosts()) {
    case SftpTransport::KnownHosts::Vouches: m_security.trustedBySystem = true; return;
    case SftpTransport::KnownHosts::Contradicts:
        // The user's own known_hosts names another key: as ssh does, no login, also on a
        // first contact, and the remembered key cannot overrule it.
        throw HostKeyChangedError(settings.host, m_transport.knownHostsKey(), presented);
    case SftpTransport::KnownHosts::Silent: break;
    }
    if (!settings.rememberedIdentity.isEmpty() && settings.rememberedIdentity != presented)
        throw HostKeyChangedError(settings.host, settings.rememberedIdentity, presented);
}

void SftpSession::startSftp()
{
    m_transport.send(PacketWriter(PacketType::Init).add32(sftpVersion).bytes());
    PacketReader version = nextReply();
    if (version.type() != PacketType::Version)
        throw SocketError(platform::reason(FtpCode::SftpDidNotStart), SocketFailure::Other);
    version.take32();
    while (!version.atEnd()) {
        const QByteArray name = version.takeString();
        version.takeString();
        if (name == posixRename)
            m_posixRename = true;
    }
}

PacketReader SftpSession::nextReply()
{
    for (;;) {
        if (auto packet = sftp::takePacket(m_received))
            return PacketReader(std::move(*packet));
        m_received += m_transport.receive();
    }
}

PacketReader SftpSession::reply(quint32 id)
{
    for (;;) {
        PacketReader reader = nextReply();
        if (reader.take32() == id)
            return reader;
    }
}

SftpSession::Status SftpSession::takeStatus(PacketReader& reader)
{
    Status status;
    status.code = StatusCode(reader.take32());
    // Version 3 servers may end the packet after the code.
    if (!reader.atEnd())
        status.text = platform::printableText(QString::fromUtf8(reader.takeString()));
    if (status.text.isEmpty())
        status.text = QStringLiteral("error %1").arg(quint32(status.code));
    return status;
}

void SftpSession::expect(PacketReader& reader, PacketType type, FtpCode step, const QString& name)
{
    if (reader.type() == type)
        return;
    if (reader.type() != PacketType::Status)
        throw SocketError(
            platform::reason(FtpCode::UnexpectedSftpReplyTo, {platform::reason(step, {name})}),
            SocketFailure::Other);
    const FtpCode refused = step == FtpCode::ChangeFolderStep ? FtpCode::ChangeFolderRefused
        : step == FtpCode::StoreStep                          ? FtpCode::StoreRefused
                                                              : FtpCode::CheckRefused;
    throw ServerRefusal(platform::reason(refused, {name, takeStatus(reader).text}));
}

SftpSession::Status SftpSession::statusOf(quint32 id)
{
    PacketReader reader = reply(id);
    if (reader.type() != PacketType::Status)
        throw SocketError(platform::reason(FtpCode::UnexpectedSftpReply), SocketFailure::Other);
    return takeStatus(reader);
}

QByteArray SftpSession::realPath(const QByteArray& path, const QString& folder)
{
    const quint32 id = m_nextId++;
    m_transport.send(PacketWriter(PacketType::RealPath).add32(id).addString(path).bytes());
    PacketReader reader = reply(id);
    expect(reader, PacketType::Name, FtpCode::ChangeFolderStep, folder);
    if (reader.take32() < 1)
        throw SocketError(platform::reason(FtpCode::NoFolderNamed, {nameText(path)}));
    return reader.takeString();
}

void SftpSession::checkOpen() const
{
    if (!m_open)
        throw SocketError(platform::reason(FtpCode::NotConnectedTo, {m_settings.host}),
                          SocketFailure::Closed);
}

void SftpSession::changeFolder(const QString& folder)
{
    checkOpen();
    const QByteArray name = folder.toUtf8();
    const QByteArray wanted = name.startsWith('/') ? name : m_folder + '/' + name;
    const QByteArray resolved = realPath(wanted, folder);
    const quint32 id = m_nextId++;
    m_transport.send(PacketWriter(PacketType::Stat).add32(id).addString(resolved).bytes());
    PacketReader reader = reply(id);
    expect(reader, PacketType::Attributes, FtpCode::ChangeFolderStep, folder);
    if (!sftp::takeAttributes(reader).isFolder())
        throw ServerRefusal(platform::reason(FtpCode::ChangeFolderRefused,
                                             {folder, platform::reason(FtpCode::NotAFolder)}));
    m_folder = resolved;
}

QByteArray SftpSession::pathOf(const QString& name) const
{
    return (m_folder.endsWith('/') ? m_folder : m_folder + '/') + name.toUtf8();
}

void SftpSession::upload(const QString& localPath, const QString& remoteName)
{
    m_progress = UploadProgress{};
    checkOpen();
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly))
        throw FileOpenError(platform::reason(FtpCode::CannotOpenFile, {localPath}));
    m_progress.size = file.size();
    file.close();
    const QByteArray target = pathOf(remoteName);
    const QByteArray stored = m_settings.tempNames ? target + ".part" : target;
    const QString storedName =
        m_settings.tempNames ? remoteName + QStringLiteral(".part") : remoteName;
    try {
        const QByteArray handle = openForWriting(stored, storedName);
        sendFile(localPath, handle, storedName);
        verifySize(stored, storedName);
        if (m_settings.tempNames)
            moveIntoPlace(stored, target, remoteName);
    } catch (const SocketError&) {
        // Requests still in flight would answer the next ones: the session is over.
        drop();
        throw;
    }
}

QByteArray SftpSession::openForWriting(const QByteArray& path, const QString& name)
{
    const quint32 id = m_nextId++;
    m_transport.send(PacketWriter(PacketType::Open)
                         .add32(id)
                         .addString(path)
                         .add32(sftp::openForWriting)
                         .add32(0)
                         .bytes());
    PacketReader reader = reply(id);
    expect(reader, PacketType::Handle, FtpCode::StoreStep, name);
    return reader.takeString();
}

void SftpSession::sendFile(const QString& localPath, const QByteArray& handle, const QString& name)
{
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly))
        throw FileOpenError(platform::reason(FtpCode::CannotOpenFile, {localPath}));
    std::deque<quint32> inFlight;
    QByteArray piece(writePiece, Qt::Uninitialized);
    bool refused = false;
    Status refusal;
    bool ended = false;
    // From the first piece to the last answer the file is in transfer: a first press lets it end.
    std::optional<StopToken::Transfer> inTransfer(std::in_place, stop());
    while (!ended || !inFlight.empty()) {
        m_transport.checkpoint();
        if (!ended && !refused && inFlight.size() < writesInFlight) {
            const qint64 count = file.read(piece.data(), writePiece);
            if (count < 0)
                throw FileOpenError(platform::reason(FtpCode::CannotReadFile, {localPath}));
            if (count == 0) {
                ended = true;
                continue;
            }
            const quint32 id = m_nextId++;
            m_transport.send(PacketWriter(PacketType::Write)
                                 .add32(id)
                                 .addString(handle)
                                 .add64(quint64(m_progress.sent))
                                 .addString(piece.constData(), count)
                                 .bytes());
            inFlight.push_back(id);
            m_progress.sent += count;
            continue;
        }
        if (inFlight.empty())
            break;
        // The first refusal ends the sending; the writes in flight are still answered.
        const Status status = statusOf(inFlight.front());
        inFlight.pop_front();
        if (status.code != StatusCode::Ok && !refused) {
            refused = true;
            refusal = status;
        }
    }
    // A stop that came while the data went ends the upload here, before its check and its
    // name, even when the server's answers are in already.
    inTransfer.reset();
    m_transport.checkpoint();
    const quint32 id = m_nextId++;
    m_transport.send(PacketWriter(PacketType::Close).add32(id).addString(handle).bytes());
    const Status closed = statusOf(id);
    if (refused)
        throw ServerRefusal(platform::reason(FtpCode::StoreRefused, {name, refusal.text}));
    if (closed.code != StatusCode::Ok)
        throw ServerRefusal(platform::reason(FtpCode::StoreRefused, {name, closed.text}));
}

void SftpSession::verifySize(const QByteArray& path, const QString& name)
{
    const quint32 id = m_nextId++;
    m_transport.send(PacketWriter(PacketType::Stat).add32(id).addString(path).bytes());
    PacketReader reader = reply(id);
    if (reader.type() == PacketType::Status) {
        const QString text = takeStatus(reader).text;
        throw VerifyError(platform::reason(FtpCode::CheckRefused, {name, text}), m_progress.sent,
                          -1, text);
    }
    expect(reader, PacketType::Attributes, FtpCode::CheckStep, name);
    const sftp::FileAttributes attributes = sftp::takeAttributes(reader);
    if (!attributes.size) {
        m_progress.uncheckedReply = QStringLiteral("the server tells no size");
        return;
    }
    m_progress.verification = Verification::Size;
    if (qint64(*attributes.size) != m_progress.sent)
        throw VerifyError(platform::reason(FtpCode::SftpSizeDiffers,
                                           {name, QString::number(*attributes.size),
                                            QString::number(m_progress.sent)}),
                          m_progress.sent, qint64(*attributes.size));
}

void SftpSession::moveIntoPlace(const QByteArray& from, const QByteArray& to, const QString& name)
{
    const auto refuse = [&](const Status& status) {
        throw RenameError(status.text.toUtf8(),
                          platform::reason(FtpCode::RenameRefused, {name, name, status.text}));
    };
    if (m_posixRename) {
        const quint32 id = m_nextId++;
        m_transport.send(PacketWriter(PacketType::Extended)
                             .add32(id)
                             .addString(QByteArray(posixRename))
                             .addString(from)
                             .addString(to)
                             .bytes());
        const Status status = statusOf(id);
        if (status.code != StatusCode::Ok)
            refuse(status);
        return;
    }
    // Plain RENAME will not replace a file: the old notice goes first.
    const quint32 removeId = m_nextId++;
    m_transport.send(PacketWriter(PacketType::Remove).add32(removeId).addString(to).bytes());
    statusOf(removeId);
    const quint32 id = m_nextId++;
    m_transport.send(
        PacketWriter(PacketType::Rename).add32(id).addString(from).addString(to).bytes());
    const Status status = statusOf(id);
    if (status.code != StatusCode::Ok)
        refuse(status);
}

void SftpSession::close()
{
    m_open = false;
    m_transport.close();
}

void SftpSession::drop()
{
    m_open = false;
    m_transport.drop();
}
