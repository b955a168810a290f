// A station reached over SSH: uploads through the SFTP subsystem.
#pragma once

#include "ftp/SftpPackets.h"
#include "ftp/SftpTransport.h"
#include "ftp/StationSession.h"

#include <QByteArray>
#include <QString>

class SftpSession : public StationSession {
public:
    // Stopped by `stop` when given (a stop that may come before the session), else its own.
    explicit SftpSession(std::shared_ptr<StopToken> stop = nullptr);
    ~SftpSession() override;
    Q_DISABLE_COPY_MOVE(SftpSession)

    // The folder of known_hosts and of the user's keys; empty (the default): ~/.ssh.
    void setSshFolder(const QString& folder) { m_transport.setSshFolder(folder); }

    Protocol protocol() const override { return Protocol::Sftp; }
    void open(const SessionSettings& settings) override;
    bool isOpen() const override { return m_open; }
    bool serverAnswered() const override { return m_transport.serverAnswered(); }
    void setLimits(int connectLimitMs, int idleLimitMs) override;
    int connectLimitMs() const override { return m_connectLimitMs; }
    int idleLimitMs() const override { return m_idleLimitMs; }
    const SessionSecurity& security() const override { return m_security; }
    NameEncoding nameEncoding() const override { return NameEncoding::Utf8; }

    void changeFolder(const QString& folder) override;
    void prepareUploads() override {}
    void upload(const QString& localPath, const QString& remoteName) override;
    const UploadProgress& lastUpload() const override { return m_progress; }

    void close() override;
    void drop() override;

    // The folder uploads go into, as the server names it.
    const QByteArray& folder() const { return m_folder; }

private:
    struct Status {
        sftp::StatusCode code = sftp::StatusCode::Ok;
        QString text; // the server's words, printable
    };

    // The reply to request `id`; replies to requests given up on are skipped.
    sftp::PacketReader reply(quint32 id);
    sftp::PacketReader nextReply();
    // A STATUS reply read from `reader` (whose id was taken).
    static Status takeStatus(sftp::PacketReader& reader);
    // The reply must be `type`, else it is a STATUS that refuses: raised as ServerRefusal
    // "<what>: <server's text>".
    // `step` (ChangeFolderStep, StoreStep, CheckStep) names what the reply was for.
    void expect(sftp::PacketReader& reader, sftp::PacketType type, FtpCode step,
                const QString& name);
    Status statusOf(quint32 id);
    // A session that was closed, dropped or cut has no connection to use.
    void checkOpen() const;
    // The server's key is the one known_hosts or the station remembers, or the first one
    // seen; else HostKeyChangedError, before any login.
    void checkHostKey(const SessionSettings& settings);
    void startSftp();
    QByteArray realPath(const QByteArray& path, const QString& folder);
    QByteArray pathOf(const QString& name) const;
    QByteArray openForWriting(const QByteArray& path, const QString& name);
    void sendFile(const QString& localPath, const QByteArray& handle, const QString& name);
    void verifySize(const QByteArray& path, const QString& name);
    void moveIntoPlace(const QByteArray& from, const QByteArray& to, const QString& name);

    SftpTransport m_transport;
    SessionSettings m_settings;
    SessionSecurity m_security;
    UploadProgress m_progress;
    QByteArray m_received;
    QByteArray m_folder;
    quint32 m_nextId = 1;
    bool m_posixRename = false;
    bool m_open = false;
    int m_connectLimitMs = 30000;
    int m_idleLimitMs = 60000;
};
