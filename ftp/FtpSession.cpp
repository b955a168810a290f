// FtpClient as a station session.
#include "ftp/FtpSession.h"

#include "platform/codepage.h"

#include <QScopeGuard>

#include <algorithm>
#include <utility>

namespace {

constexpr int typeLocal8 = 3;

} // namespace

FtpSession::FtpSession(std::shared_ptr<StopToken> stop)
    : FtpSession(std::make_unique<FtpClient>(), nullptr, std::move(stop))
{
}

FtpSession::FtpSession(FtpClient& client)
    : FtpSession(nullptr, &client, nullptr)
{
}

FtpSession::FtpSession(std::unique_ptr<FtpClient> own, FtpClient* borrowed,
                       std::shared_ptr<StopToken> stop)
    : StationSession(std::move(stop))
    , m_ownClient(std::move(own))
    , m_client(m_ownClient ? *m_ownClient : *borrowed)
{
    // The client and its data connections obey the session's stop.
    m_previousStop = m_client.stopToken();
    m_client.setStopToken(stopToken());
    // Every reply line and command is a sign of life; so is every piece of a file.
    m_previousReportLevel = m_client.reportLevel();
    m_client.setReportLevel(
        std::max(m_previousReportLevel, static_cast<qint32>(StatusLevel::Dialogue)));
    m_previousStatus =
        std::exchange(m_client.OnStatus, [this](QObject* sender, const QByteArray& text) {
            if (m_previousStatus)
                m_previousStatus(sender, text);
            if (OnActivity)
                OnActivity();
        });
    m_previousPacketSent = std::exchange(m_client.OnPacketSent, [this](QObject* sender) {
        if (m_previousPacketSent)
            m_previousPacketSent(sender);
        if (OnActivity)
            OnActivity();
    });
    m_previousModeFallback =
        std::exchange(m_client.OnModeFallback, [this](const FallbackReason& reason) {
            if (OnModeFallback)
                OnModeFallback(reason);
        });
    m_previousCallerRefused =
        std::exchange(m_client.OnDataCallerRefused, [this](const QByteArray& address) {
            if (OnDataCallerRefused)
                OnDataCallerRefused(address);
        });
}

FtpSession::~FtpSession()
{
    m_client.setStopToken(std::move(m_previousStop));
    m_client.setReportLevel(m_previousReportLevel);
    m_client.OnStatus = std::move(m_previousStatus);
    m_client.OnPacketSent = std::move(m_previousPacketSent);
    m_client.OnModeFallback = std::move(m_previousModeFallback);
    m_client.OnDataCallerRefused = std::move(m_previousCallerRefused);
}

SessionSettings FtpSession::clientSettings() const
{
    SessionSettings settings;
    settings.host = platform::fromCodePage(m_client.Host);
    settings.port = static_cast<quint16>(m_client.Port);
    settings.user = platform::fromCodePage(m_client.UserID);
    settings.password = platform::fromCodePage(m_client.Password);
    settings.mode = m_client.Mode;
    settings.tls = m_client.tlsMode();
    settings.encoding = m_client.Encoding;
    settings.tempNames = m_client.TempNames;
    settings.rememberedIdentity = m_client.rememberedFingerprint();
    return settings;
}

void FtpSession::open(const SessionSettings& settings)
{
    // The station's address and login go out in the code page the station file holds them in.
    m_client.Host = platform::toCodePage(settings.host);
    m_client.Port = settings.port;
    m_client.UserID = platform::toCodePage(settings.user);
    m_client.Password = platform::toCodePage(settings.password);
    m_client.Mode = settings.mode;
    m_client.setTlsMode(settings.tls);
    m_client.Encoding = settings.encoding;
    m_client.TempNames = settings.tempNames;
    m_client.setRememberedFingerprint(settings.rememberedIdentity);
    m_client.Connect();
}

void FtpSession::setLimits(int connectLimitMs, int idleLimitMs)
{
    m_client.setConnectLimit(connectLimitMs);
    m_client.setIdleLimit(idleLimitMs);
}

const SessionSecurity& FtpSession::security() const
{
    const TlsSessionInfo& tls = m_client.tlsSession();
    m_security = SessionSecurity{.encrypted = tls.encrypted,
                                 .asked = tls.asked,
                                 .offered = tls.offered,
                                 .protocol = tls.protocol,
                                 .fingerprint = tls.fingerprint,
                                 .trustedBySystem = tls.trustedBySystem};
    return m_security;
}

void FtpSession::changeFolder(const QString& folder)
{
    m_client.ChangeDir(folder);
}

void FtpSession::prepareUploads()
{
    m_client.SetTransferType(typeLocal8);
}

void FtpSession::upload(const QString& localPath, const QString& remoteName)
{
    m_client.Upload(localPath, remoteName);
}

void FtpSession::close()
{
    m_client.Disconnect();
}

void FtpSession::drop()
{
    if (m_client.connected())
        m_client.dropConnection();
}
