// A station session over FTP (in clear, or over explicit or implicit TLS): FtpClient behind
// the interface the send run uses for every protocol.
#pragma once

#include "ftp/FtpClient.h"
#include "ftp/StationSession.h"

#include <memory>

// Drives a client that it owns or that its caller keeps (the window's, a test's); a borrowed
// client gets its own events back when the session ends.
class FtpSession : public StationSession {
public:
    // Stopped by `stop` when given (a stop that may come before the session), else its own.
    explicit FtpSession(std::shared_ptr<StopToken> stop = nullptr);
    explicit FtpSession(FtpClient& client);
    ~FtpSession() override;
    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    // The client's own settings as a session's: what a run without per-station settings uses.
    SessionSettings clientSettings() const;
    FtpClient& client() { return m_client; }

    Protocol protocol() const override { return Protocol::Ftp; }
    void open(const SessionSettings& settings) override;
    bool isOpen() const override { return m_client.connected(); }
    bool serverAnswered() const override { return m_client.greetingRead(); }
    void setLimits(int connectLimitMs, int idleLimitMs) override;
    int connectLimitMs() const override { return m_client.connectLimit(); }
    int idleLimitMs() const override { return m_client.idleLimit(); }
    const SessionSecurity& security() const override;
    NameEncoding nameEncoding() const override { return m_client.sessionEncoding(); }
    void changeFolder(const QString& folder) override;
    void prepareUploads() override;
    void upload(const QString& localPath, const QString& remoteName) override;
    const UploadProgress& lastUpload() const override { return m_client.lastUpload(); }
    void close() override;
    void drop() override;

private:
    FtpSession(std::unique_ptr<FtpClient> own, FtpClient* borrowed,
               std::shared_ptr<StopToken> stop);

    std::unique_ptr<FtpClient> m_ownClient;
    FtpClient& m_client;
    mutable SessionSecurity m_security;
    // The borrowed client's stop, events and report level, given back at the end.
    std::shared_ptr<StopToken> m_previousStop;
    StatusEvent m_previousStatus;
    NotifyEvent m_previousPacketSent;
    std::function<void(const FallbackReason&)> m_previousModeFallback;
    std::function<void(const QByteArray&)> m_previousCallerRefused;
    qint32 m_previousReportLevel = 0;
};
