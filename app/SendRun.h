// One press of Send: the selected notices to every ticked station, one station after another.
#pragma once

#include "app/NoticeSelection.h"
#include "app/StationFile.h"

#include <QList>
#include <QString>
#include <QTimer>

#include <functional>

class FtpClient;

// Logs in to each station afresh, changes to the remote folder, sets the transfer type and
// uploads the notices; a station that fails gets an error line and the run goes on.
class SendRun {
public:
    // Receives each line of the run's log; an error line is shown apart (red in the pane).
    using LogSink = std::function<void(const QString& line, bool isError)>;

    // Sends `notices` to `stations` into `remoteFolder`; an empty one is the login folder ".".
    SendRun(FtpClient& client, LogSink log, QList<Station> stations, QString remoteFolder,
            NoticeSelection notices);
    SendRun(const SendRun&) = delete;
    SendRun& operator=(const SendRun&) = delete;

    // Closes the connection that an earlier, stopped run left open.
    void closeLeftConnection();
    // The whole run, log lines included; returns when it has ended. A failure that is not
    // the network's (a notice that cannot be opened) ends the run and is passed on.
    void run();
    // The run ends at its next check point: before a station, before an upload, after a
    // station's uploads. The operation under way is not interrupted.
    void requestStop() { m_stopRequested = true; }
    // The window is closing: a stop is requested, network waits are cancelled until the run
    // has ended and it leaves without waiting for the server's goodbye.
    void abandon();

private:
    // Logs in, changes to the remote folder, sets the type and uploads the notices until a
    // stop is requested; false after a refusal or a failed connection, which it reports.
    bool sendToStation(const Station& station);
    void reportNetworkError();
    void disconnectStation();
    void cancelWait();
    QString localFilePath(const QString& name) const;
    void log(const QString& line, bool isError = false) { m_log(line, isError); }

    FtpClient& m_client;
    LogSink m_log;
    QList<Station> m_stations;
    QString m_remoteFolder;
    NoticeSelection m_notices;
    bool m_stopRequested = false;
    bool m_abandoned = false;
    QTimer m_canceller;
};
