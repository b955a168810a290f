// One press of Send: the selected notices to every ticked station, one station after another.
#pragma once

#include "app/NoticeSelection.h"
#include "app/RunProgress.h"
#include "app/StationFile.h"
#include "app/StationSettings.h"
#include "ftp/StationSession.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class FtpClient;
class FtpSession;
class RunLog;
class SocketError;

// Logs in to each station afresh, changes to the remote folder, sets the transfer type and
// uploads the notices, writing one line per file; a station that fails gets an error line
// with its cause and the run goes on with the next.
class SendRun {
public:
    // Receives each log line; `note` is for the log file only.
    using LineSink = std::function<void(const QString& line, bool isError, const QString& note)>;
    enum class Outcome { Sent, Failed, Stopped };
    struct Notice {
        QString name; // on the station: the file's name lower-cased
        QString path; // the file of exactly the name selected
        qint64 size;  // at the check: a file that shrinks after it arrives incomplete
    };

    // Sends `notices` to `stations` into `remoteFolder`; an empty one is the login folder ".".
    SendRun(FtpClient& client, RunLog& log, QList<Station> stations, QString remoteFolder,
            NoticeSelection notices);
    SendRun(FtpClient& client, LineSink log, QList<Station> stations, QString remoteFolder,
            NoticeSelection notices);
    // Over a session of the stations' protocol (a station of another protocol fails).
    SendRun(StationSession& session, LineSink log, QList<Station> stations, QString remoteFolder,
            NoticeSelection notices);
    ~SendRun();
    SendRun(const SendRun&) = delete;
    SendRun& operator=(const SendRun&) = delete;

    // Each station's protocol, port, transfer mode, TLS and encoding choices and remembered
    // certificate or host key from this Stations.ini, where one seen first is remembered;
    // without one, the client's own Port, Mode and TLS settings serve every station and
    // nothing is remembered.
    // `options` holds each station's options as the window matched them against the whole
    // Addf.cfg; when empty they are matched against the stations given.
    void useStationSettings(const QString& path, QList<LoadedStation> options = {});
    // Closes the connection that an earlier run left open.
    void closeLeftConnection();
    // The whole run, log lines included; returns when it has ended. Failures are logged,
    // never passed on.
    void run();

    // The pieces of run(), for stations that go on threads of their own. begin(): the header
    // and the check of the notices; those that can go (none: no station is contacted).
    QList<Notice> begin();
    // One station's lines, its success line and its close; a stopped station is closed too.
    Outcome sendStation(qsizetype index, const QList<Notice>& notices);
    // The stopped (or closed) line when stopped, then the end of the run.
    void end();
    // For a run of one station made after begin() of another: the notices that begin() left out.
    void setLeftOutNotices(QList<NoticeOutcome> leftOut) { m_leftOut = std::move(leftOut); }
    const QList<NoticeOutcome>& leftOutNotices() const { return m_leftOut; }
    // What became of each selected notice at the last station sent to.
    const QList<NoticeOutcome>& stationResults() const { return m_results; }
    // Each step of a station: its state, and the notice that goes.
    std::function<void(StationState state, const QString& notice)> OnState;
    // Stop. The first call ends every wait for the server at once and lets a file being
    // sent finish; the second cuts that file. The run then ends with the stopped line.
    void requestStop();
    // The window is closing: both steps of Stop at once, and no goodbye to the server;
    // the log says the window ended the run, not Stop.
    void abandon();
    // Stop was pressed, or the window is closing.
    bool stopRequested() const;
    // Positions (in the stations given) of the stations that did not get every selected
    // notice: failed, unfinished, stopped or not reached because of a stop.
    const QList<qsizetype>& unfinishedStations() const { return m_unfinished; }

private:
    SendRun(std::unique_ptr<FtpSession> clientSession, StationSession* session, LineSink log,
            QList<Station> stations, QString remoteFolder, NoticeSelection notices);
    // The notices that can be read and named on a station; each other one gets a red line
    // and is left out, and counts as not delivered to any station.
    QList<Notice> checkNotices();
    Outcome sendToStation(qsizetype index, const QList<Notice>& notices);
    // Its session: open, folder, type and each notice, and how a failure ends the station.
    Outcome sendOverSession(const Station& station, const QList<Notice>& notices);
    // A lost or stopped connection: stopped, or the station's failure with its cause.
    Outcome connectionFailed(const SocketError& error, const Station& station);
    // The station's session settings, from Stations.ini when there is one; a station once
    // encrypted or with a remembered certificate goes with TLS or not at all.
    SessionSettings stationSettings(qsizetype index);
    // Uploads one notice and logs its outcome; a failure of the connection or a refusal
    // is passed on once its line is written. False for a file not delivered whose station
    // may still take the next one: not named, gone, shrunk, its check or rename failed.
    bool sendNotice(const Notice& notice, const QString& stationName);
    // The encryption line after a login over `station`'s session; a certificate or host key
    // that the system does not vouch for is remembered when none was.
    void reportSecurity(const Station& station);
    // The network error line and its cause (red when `causeIsError`); the connection is
    // closed, politely when the server is still answering.
    // `shown`: the log's words for a cause that the notices' results keep as a lower layer's
    // message; empty when the log shows `cause` itself.
    Outcome failStation(const QString& cause, bool serverAnswering, bool causeIsError = false,
                        const QString& shown = {});
    // The station was encrypted before and AUTH TLS was asked but no TLS came of it.
    bool downgradeRefused() const;
    // The red line of a refused downgrade and its cause; nothing was sent but AUTH TLS.
    Outcome refuseDowngrade(const QString& cause, const QString& shown = {});
    void closeAfterStop();
    void disconnectQuietly();
    // The window's closing ended the run, not Stop.
    bool abandoned() const;
    // The stopped line, or the closed line when the window's closing ended the run.
    void logStopped();
    QString localFilePath(const QString& name) const;
    // The notices selected, those beyond the capacity included.
    qsizetype selectedCount() const;
    void log(const QString& line, bool isError = false, const QString& note = {});
    // A notice that cannot go: its red line, and not delivered for that reason.
    void leaveOut(const QString& name, const QString& line);
    void setResult(const QString& notice, NoticeResult result, const QString& reason = {});
    // Every notice not delivered and not yet explained was not for this reason.
    void explainUndelivered(const QString& reason);
    // The limit of the wait that failed: connecting and the greeting have their own.
    int failedWaitLimit() const;
    void setState(StationState state, const QString& notice = {});

    // The window's or a test's client, when the run was given one.
    std::unique_ptr<FtpSession> m_clientSession;
    StationSession& m_session;
    // The station being sent to.
    SessionSettings m_current;
    LineSink m_log;
    QList<Station> m_stations;
    QString m_remoteFolder;
    NoticeSelection m_notices;
    QList<qsizetype> m_unfinished;
    std::optional<StationSettings> m_settings;
    QList<LoadedStation> m_options;
    // The station's TLS is required because it was encrypted before, not by its choice.
    bool m_tlsRequiredByHistory = false;
    // Selected notices left out before the first station.
    qsizetype m_refusedNotices = 0;
    QList<NoticeOutcome> m_leftOut;
    QList<NoticeOutcome> m_results;
};
