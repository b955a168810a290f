// The send run's steps, log lines and error handling.
#include "app/SendRun.h"

#include "app/FailureTexts.h"
#include "app/LineValues.h"
#include "app/NoticeSelection.h"
#include "app/RunLog.h"
#include "app/RunTexts.h"
#include "ftp/FtpClient.h"
#include "ftp/FtpSession.h"
#include "platform/codepage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringList>

#include <algorithm>
#include <utility>

namespace {

bool hasLineBreak(const QString& name)
{
    return name.contains(u'\r') || name.contains(u'\n');
}

// A server that takes "\" for a separator, as every server takes "/", or a name of dots
// only would put the file outside the remote folder.
bool leavesFolder(const QString& name)
{
    return name.contains(u'/') || name.contains(u'\\')
        || std::all_of(name.begin(), name.end(), [](QChar character) { return character == u'.'; });
}

QString verifyCause(const VerifyError& error)
{
    if (error.check() == Verification::Hash)
        return error.differs() ? runtexts::hashMismatchCause(error.hashName())
                               : runtexts::hashUnknownCause(error.hashName(), error.reply());
    return error.differs() ? runtexts::sizeMismatchCause(error.sent(), error.serverSize())
                           : runtexts::sizeUnknownCause(error.reply());
}

} // namespace

SendRun::SendRun(FtpClient& client, RunLog& log, QList<Station> stations, QString remoteFolder,
                 NoticeSelection notices)
    : SendRun(
        client,
        [&log](const QString& line, bool isError, const QString& note) {
            log.add(line, isError, note);
        },
        std::move(stations), std::move(remoteFolder), std::move(notices))
{
}

SendRun::SendRun(FtpClient& client, LineSink log, QList<Station> stations, QString remoteFolder,
                 NoticeSelection notices)
    : SendRun(std::make_unique<FtpSession>(client), nullptr, std::move(log), std::move(stations),
              std::move(remoteFolder), std::move(notices))
{
}

SendRun::SendRun(StationSession& session, LineSink log, QList<Station> stations,
                 QString remoteFolder, NoticeSelection notices)
    : SendRun(nullptr, &session, std::move(log), std::move(stations), std::move(remoteFolder),
              std::move(notices))
{
}

SendRun::SendRun(std::unique_ptr<FtpSession> clientSession, StationSession* session, LineSink log,
                 QList<Station> stations, QString remoteFolder, NoticeSelection notices)
    : m_clientSession(std::move(clientSession))
    , m_session(m_clientSession ? *m_clientSession : *session)
    , m_log(std::move(log))
    , m_stations(std::move(stations))
    , m_remoteFolder(remoteFolder.isEmpty() ? QStringLiteral(".") : std::move(remoteFolder))
    , m_notices(std::move(notices))
{
    m_session.OnModeFallback = [this](const FallbackReason& reason) {
        this->log(runtexts::modeFallbackLine(reason));
    };
    m_session.OnDataCallerRefused = [this](const QByteArray& address) {
        this->log(runtexts::dataCallerRefusedLine(QString::fromLatin1(address)), true);
    };
}

SendRun::~SendRun()
{
    m_session.OnModeFallback = nullptr;
    m_session.OnDataCallerRefused = nullptr;
}

void SendRun::closeLeftConnection()
{
    if (m_session.isOpen())
        disconnectQuietly();
}

void SendRun::run()
{
    const QList<Notice> notices = begin();
    for (qsizetype index = 0; index < m_stations.size() && !notices.isEmpty(); ++index) {
        const Outcome outcome = stopRequested() ? Outcome::Stopped : sendStation(index, notices);
        if (outcome == Outcome::Stopped) {
            for (qsizetype left = index; left < m_stations.size(); ++left)
                m_unfinished << left;
            break;
        }
        if (outcome == Outcome::Failed)
            m_unfinished << index;
    }
    end();
}

QList<SendRun::Notice> SendRun::begin()
{
    log(runtexts::headerLine(m_notices.names().size()));
    if (m_notices.leftOut() > 0)
        log(runtexts::overCapacityLine(m_notices.leftOut(), NoticeSelection::capacity), true);
    if (m_notices.names().isEmpty())
        return {};
    const QList<Notice> notices = checkNotices();
    log(QString());
    return notices;
}

SendRun::Outcome SendRun::sendStation(qsizetype index, const QList<Notice>& notices)
{
    const Outcome outcome = sendToStation(index, notices);
    if (outcome == Outcome::Sent) {
        log(runtexts::successLine());
        disconnectQuietly();
    } else if (outcome == Outcome::Stopped) {
        explainUndelivered(runtexts::stoppedReason());
        closeAfterStop();
    }
    return outcome;
}

void SendRun::end()
{
    // A stop that came with a station's failure still gets its line.
    if (stopRequested())
        logStopped();
    log(QString());
    log(runtexts::endLine());
}

void SendRun::requestStop()
{
    StopToken& stop = m_session.stop();
    // The session knows whether a file is in transfer: that file ends before the run does.
    const bool sending = stop.inTransfer();
    if (stop.press() == StopState::StopWaiting && sending)
        log(runtexts::stoppingLine());
}

void SendRun::abandon()
{
    // A closing window does not ask for a second press.
    m_session.stop().cutNow(StopCause::WindowClosing);
}

bool SendRun::stopRequested() const
{
    return m_session.stop().stopped();
}

bool SendRun::abandoned() const
{
    return m_session.stop().cause() == StopCause::WindowClosing;
}

QList<SendRun::Notice> SendRun::checkNotices()
{
    // Names that are one name on the station: none of them goes, never one as the other.
    QHash<QString, QStringList> byRemoteName;
    for (const QString& name : m_notices.names())
        byRemoteName[lowerAscii(name)] << name;
    QList<Notice> notices;
    for (const QString& name : m_notices.names()) {
        // A line break would end the command that carries the name.
        if (hasLineBreak(name)) {
            leaveOut(name, runtexts::lineBreakNameLine(name));
            continue;
        }
        if (leavesFolder(name)) {
            leaveOut(name, runtexts::folderEscapeNameLine(name));
            continue;
        }
        const QString remoteName = lowerAscii(name);
        const QStringList namesakes = byRemoteName.value(remoteName);
        if (namesakes.size() > 1) {
            const QString line = runtexts::sameRemoteNameLine(namesakes, remoteName);
            if (namesakes.first() == name)
                log(line, true);
            m_leftOut << NoticeOutcome{name, NoticeResult::NotDelivered, line};
            continue;
        }
        const QString path = localFilePath(name);
        const QFileInfo info(path);
        if (!info.exists()) {
            leaveOut(name, runtexts::missingFileLine(name));
            continue;
        }
        // Only a plain file is opened: a named pipe would block the window.
        QFile file(path);
        if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
            leaveOut(name, runtexts::unreadableFileLine(name));
            continue;
        }
        notices << Notice{remoteName, path, info.size()};
    }
    return notices;
}

void SendRun::useStationSettings(const QString& path, QList<LoadedStation> options)
{
    m_settings.emplace(path);
    m_options =
        options.size() == m_stations.size() ? std::move(options) : m_settings->load(m_stations);
}

SessionSettings SendRun::stationSettings(qsizetype index)
{
    const Station& station = m_stations[index];
    // Without Stations.ini the client's own settings serve every station.
    SessionSettings settings =
        m_clientSession && !m_settings ? m_clientSession->clientSettings() : SessionSettings{};
    settings.host = station.address;
    settings.user = station.user;
    settings.password = station.password;
    if (!m_settings)
        return settings;
    const StationOptions& options = m_options[index].options;
    settings.protocol = options.protocol;
    settings.port = options.port;
    settings.mode = options.mode;
    settings.tempNames = options.tempName;
    settings.encoding = options.encoding;
    if (options.protocol == Protocol::Sftp) {
        settings.rememberedIdentity = m_settings->hostKey(station.address, options.port);
        return settings;
    }
    const QByteArray pin = m_settings->certificate(station.address, options.port);
    m_tlsRequiredByHistory = options.tls == TlsMode::Auto
        && (!pin.isEmpty() || m_settings->wasEncrypted(station.address, options.port));
    settings.tls = m_tlsRequiredByHistory ? TlsMode::Require : options.tls;
    settings.rememberedIdentity = pin;
    return settings;
}

SendRun::Outcome SendRun::sendToStation(qsizetype index, const QList<Notice>& notices)
{
    const Station& station = m_stations[index];
    m_refusedNotices = selectedCount() - notices.size();
    m_results = m_leftOut;
    for (const Notice& notice : notices)
        m_results << NoticeOutcome{notice.name, NoticeResult::NotDelivered, {}};
    m_tlsRequiredByHistory = false;
    m_current = stationSettings(index);
    log(runtexts::stationStartLine(station.name), false,
        runtexts::stationNote(station.address, m_current.port, station.user));
    if (m_settings && m_options[index].match == StationMatch::Uncertain)
        log(runtexts::uncertainOptionsLine(), true);
    if (stopRequested())
        return Outcome::Stopped;
    if (station.address.trimmed().isEmpty())
        return failStation(runtexts::emptyAddressCause(), false);
    // Addf.cfg edited elsewhere: a NUL or line break would cut USER or PASS on the wire.
    if (!isOneLine(station.user) || !isOneLine(station.password))
        return failStation(runtexts::loginNotOneLineCause(), false, true);
    if (m_current.protocol != m_session.protocol())
        return failStation(runtexts::protocolUnavailableCause(), false, true);
    return sendOverSession(station, notices);
}

SendRun::Outcome SendRun::sendOverSession(const Station& station, const QList<Notice>& notices)
{
    qsizetype undelivered = 0;
    // The step a refusal ended, for its cause line; the files' own lines name theirs.
    QString (*refusedStep)(const QString&) = nullptr;
    try {
        try {
            setState(StationState::Connecting);
            m_session.open(m_current);
        } catch (const ServerRefusal&) {
            // A refused login may still have gone over TLS: the log tells before its cause.
            if (m_session.security().encrypted)
                reportSecurity(station);
            // A refused greeting is the server's whole answer, not a login.
            if (m_session.serverAnswered())
                refusedStep = runtexts::loginRefusedCause;
            throw;
        }
        refusedStep = runtexts::folderRefusedCause;
        reportSecurity(station);
        const QString encoding = ftp::encodingName(m_session.nameEncoding());
        log(runtexts::nameEncodingLine(encoding));
        try {
            m_session.changeFolder(m_remoteFolder);
        } catch (const NameEncodingError&) {
            return failStation(runtexts::folderNotEncodableCause(encoding), true);
        }
        refusedStep = runtexts::typeRefusedCause;
        m_session.prepareUploads();
        refusedStep = nullptr;
        for (const Notice& notice : notices) {
            if (stopRequested())
                break;
            setState(StationState::Sending, notice.name);
            if (!sendNotice(notice, station.name))
                ++undelivered;
        }
    } catch (const ServerRefusal& error) {
        const QString reply = runtexts::replyCause(error.message());
        if (refusedStep)
            return failStation(refusedStep(reply), true);
        return failStation(reply, true, false, runtexts::replyCause(failuretexts::text(error)));
    } catch (const SocketError& error) {
        return connectionFailed(error, station);
    } catch (const CertificateChangedError& error) {
        // Nothing was sent but AUTH TLS: the clerk sees both prints and where to act.
        return failStation(runtexts::certificateChangedCause(error.remembered(), error.presented()),
                           false, true);
    } catch (const HostKeyChangedError& error) {
        // No password went out: the clerk sees both keys and where to forget the old one.
        return failStation(runtexts::hostKeyChangedCause(error.remembered(), error.presented()),
                           false, true);
    } catch (const TlsError& error) {
        if (!downgradeRefused())
            return failStation(error.message(), true, false, failuretexts::text(error));
        return refuseDowngrade(error.message(), failuretexts::text(error));
    } catch (const platform::Exception& error) {
        return failStation(error.message(), true, false, failuretexts::text(error));
    }
    if (stopRequested())
        return Outcome::Stopped;
    // Each file already has its line; a station that lacks one is retried as a whole.
    if (const qsizetype missing = m_refusedNotices + undelivered; missing > 0) {
        log(runtexts::unfinishedLine(missing, selectedCount()), true);
        disconnectQuietly();
        return Outcome::Failed;
    }
    return Outcome::Sent;
}

SendRun::Outcome SendRun::connectionFailed(const SocketError& error, const Station& station)
{
    if (stopRequested())
        return Outcome::Stopped;
    if (error.failure() == SocketFailure::LookupFailed)
        return failStation(runtexts::lookupFailedCause(station.address.trimmed()), false);
    // Cut after AUTH TLS and before the handshake: as much a refusal as a "no".
    if (downgradeRefused())
        return refuseDowngrade(runtexts::socketCause(error, failedWaitLimit()));
    // Only a failed data connection leaves a control connection worth a goodbye.
    const bool controlAlive =
        error.endpoint() && error.endpoint()->role == SocketEndpoint::Role::Data;
    return failStation(runtexts::socketCause(error, failedWaitLimit()), controlAlive);
}

bool SendRun::downgradeRefused() const
{
    const SessionSecurity& security = m_session.security();
    return m_tlsRequiredByHistory && security.asked && !security.encrypted;
}

SendRun::Outcome SendRun::refuseDowngrade(const QString& cause, const QString& shown)
{
    // Neither user name nor password went out: the clerk sees why this station stops.
    log(runtexts::encryptionRefusedLine(), true);
    log(runtexts::causeLine(shown.isEmpty() ? cause : shown));
    explainUndelivered(cause);
    m_session.drop();
    return Outcome::Failed;
}

bool SendRun::sendNotice(const Notice& notice, const QString& stationName)
{
    const QString tempName =
        m_current.tempNames ? notice.name + QStringLiteral(".part") : QString();
    try {
        m_session.upload(notice.path, notice.name);
    } catch (const NameEncodingError&) {
        // Refused before STOR: nothing went out, the next file may still go.
        const QString reason = runtexts::nameNotEncodableReason(
            notice.name, ftp::encodingName(m_session.nameEncoding()));
        log(runtexts::fileNotSentLine(notice.name, reason));
        setResult(notice.name, NoticeResult::NotDelivered, reason);
        return false;
    } catch (const FileOpenError&) {
        // Gone since the check (its folder removed, say): the next file may still go.
        log(runtexts::fileNotSentLine(notice.name, runtexts::cannotOpenReason()));
        setResult(notice.name, NoticeResult::NotDelivered, runtexts::cannotOpenReason());
        return false;
    } catch (const RenameError& error) {
        // Stored and checked, but left under its temporary name: not delivered. The
        // session is still sound, so the next file goes.
        const UploadProgress& progress = m_session.lastUpload();
        log(runtexts::fileNotRenamedLine(notice.name, progress.sent), false,
            runtexts::fileNote(stationName, notice.name, progress.sent, progress.verification,
                               progress.hashName, tempName));
        const QString cause = runtexts::replyCause(error.message());
        log(runtexts::causeLine(runtexts::replyCause(failuretexts::text(error))), true);
        setResult(notice.name, NoticeResult::NotDelivered, cause);
        return false;
    } catch (const VerifyError& error) {
        // Stored, but not as sent: the station is a failure and is ticked for a retry.
        const qint64 sent = m_session.lastUpload().sent;
        log(runtexts::fileNotDeliveredLine(notice.name, sent), false,
            runtexts::failedCheckNote(stationName, notice.name, sent, error.check(),
                                      error.hashName(), tempName));
        log(runtexts::causeLine(verifyCause(error)), true);
        setResult(notice.name, NoticeResult::NotDelivered, verifyCause(error));
        return false;
    } catch (...) {
        const UploadProgress& progress = m_session.lastUpload();
        // Bytes that reached the server stay there, under the name they were sent as.
        if (progress.sent > 0)
            log(runtexts::fileIncompleteLine(notice.name, progress.sent, progress.size, tempName),
                true);
        else
            log(runtexts::fileNotSentLine(notice.name));
        throw;
    }
    const UploadProgress& progress = m_session.lastUpload();
    const QString note = runtexts::fileNote(stationName, notice.name, progress.sent,
                                            progress.verification, progress.hashName, tempName);
    // A file that shrank since its check or while it was sent was stored short.
    if (const qint64 size = std::max(progress.size, notice.size); progress.sent < size) {
        const QString line = runtexts::fileIncompleteLine(notice.name, progress.sent, size);
        log(line, true);
        setResult(notice.name, NoticeResult::NotDelivered, line.trimmed());
        return false;
    }
    if (!progress.uncheckedReply.isEmpty()) {
        log(runtexts::fileUncheckedLine(notice.name, progress.sent, progress.uncheckedReply), false,
            note);
        setResult(notice.name, NoticeResult::DeliveredUnchecked, progress.uncheckedReply);
    } else {
        log(runtexts::fileStoredLine(notice.name, progress.sent, progress.verification,
                                     progress.hashName),
            false, note);
        setResult(notice.name,
                  progress.verification == Verification::NotChecked
                      ? NoticeResult::DeliveredUnchecked
                      : NoticeResult::DeliveredChecked);
    }
    return true;
}

void SendRun::reportSecurity(const Station& station)
{
    const SessionSecurity& security = m_session.security();
    const QString note = runtexts::securityNote(station.name, security);
    if (!security.encrypted) {
        // A password that went in clear under "auto" is worth the clerk's attention.
        const bool passwordInClear = m_current.tls == TlsMode::Auto && !station.password.isEmpty();
        log(runtexts::notEncryptedLine(m_current.tls), passwordInClear, note);
        return;
    }
    log(runtexts::encryptedLine(security.protocol), false, note);
    if (!m_settings)
        return;
    const bool firstContact = !security.trustedBySystem && m_current.rememberedIdentity.isEmpty()
        && !security.fingerprint.isEmpty();
    if (m_current.protocol == Protocol::Sftp) {
        // As ssh does: the first host key is the station's from now on.
        if (firstContact) {
            m_settings->rememberHostKey(station.address, m_current.port, security.fingerprint);
            m_current.rememberedIdentity = security.fingerprint;
            log(runtexts::hostKeyRememberedLine(security.fingerprint));
        }
        return;
    }
    // Once encrypted, never again in clear: the next session requires TLS.
    if (!m_settings->wasEncrypted(station.address, m_current.port))
        m_settings->rememberEncrypted(station.address, m_current.port);
    // As with host keys: the first certificate is the station's from now on.
    if (firstContact) {
        m_settings->rememberCertificate(station.address, m_current.port, security.fingerprint);
        m_current.rememberedIdentity = security.fingerprint;
        log(runtexts::certificateRememberedLine(security.fingerprint));
    }
}

SendRun::Outcome SendRun::failStation(const QString& cause, bool serverAnswering, bool causeIsError,
                                      const QString& shown)
{
    log(runtexts::networkErrorLine(), true);
    log(runtexts::causeLine(shown.isEmpty() ? cause : shown), causeIsError);
    explainUndelivered(cause);
    // A silent server must not cost a second wait for its goodbye.
    if (serverAnswering && !abandoned())
        disconnectQuietly();
    else
        m_session.drop();
    return Outcome::Failed;
}

void SendRun::closeAfterStop()
{
    // Once stopped, the client waits for nothing: QUIT goes out and the connection closes.
    if (abandoned())
        m_session.drop();
    else
        disconnectQuietly();
}

void SendRun::disconnectQuietly()
{
    // The station's outcome is already logged: a failing goodbye adds nothing to act on.
    try {
        m_session.close();
    } catch (const platform::Exception&) {
    }
    m_session.drop();
}

QString SendRun::localFilePath(const QString& name) const
{
    // Exactly the name highlighted: two names that differ in case are two notices.
    return QDir(m_notices.folder()).filePath(name);
}

qsizetype SendRun::selectedCount() const
{
    return m_notices.names().size() + m_notices.leftOut();
}

void SendRun::logStopped()
{
    log(abandoned() ? runtexts::closedLine() : runtexts::stoppedLine());
}

void SendRun::log(const QString& line, bool isError, const QString& note)
{
    m_log(line, isError, note);
}

void SendRun::leaveOut(const QString& name, const QString& line)
{
    log(line, true);
    m_leftOut << NoticeOutcome{name, NoticeResult::NotDelivered, line};
}

void SendRun::setResult(const QString& notice, NoticeResult result, const QString& reason)
{
    for (NoticeOutcome& outcome : m_results)
        if (outcome.notice == notice)
            outcome = NoticeOutcome{notice, result, reason};
}

void SendRun::explainUndelivered(const QString& reason)
{
    for (NoticeOutcome& outcome : m_results)
        if (outcome.result == NoticeResult::NotDelivered && outcome.reason.isEmpty())
            outcome.reason = reason;
}

int SendRun::failedWaitLimit() const
{
    return m_session.serverAnswered() ? m_session.idleLimitMs() : m_session.connectLimitMs();
}

void SendRun::setState(StationState state, const QString& notice)
{
    if (OnState)
        OnState(state, notice);
}
