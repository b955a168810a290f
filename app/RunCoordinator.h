// A send run with its stations side by side: up to N sessions at once, each on its own thread,
// while the window's thread only receives what they report.
#pragma once

#include "app/RunLog.h"
#include "app/RunProgress.h"
#include "app/SendRun.h"
#include "app/StationSettings.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class FtpClient;
class QThread;
class StationWorker;

// The run's own lines (header, stopped line, end) come from the window's thread; each
// station's lines from its thread. The pane shows a station's lines live while it is the first
// unfinished station and holds the others' until their turn, so that with N = 1 it reads as a
// run of one station after another; the log file gets every line as it comes, named by its
// station.
class RunCoordinator : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RunCoordinator)

public:
    struct Setup {
        QList<Station> stations{};
        QList<LoadedStation> options{}; // one per station
        QString remoteFolder{};
        NoticeSelection notices{};
        QString settingsPath{}; // Stations.ini
        RunSettings settings{};
    };

    // `client` is the window's own, which only writes the run's lines; the log goes to `pane`
    // and the file at `logPath`.
    RunCoordinator(FtpClient& client, RunLog::PaneSink pane, const QString& logPath, Setup setup,
                   QObject* parent = nullptr);
    // A run still going is abandoned and its threads are waited for.
    ~RunCoordinator() override;

    // The header, then the first stations; returns at once. runFinished() follows, also when
    // there was nothing to send.
    void start();
    // Stop (first and second press) and the window closing, for every running station.
    void requestStop();
    void abandon();
    bool finished() const { return m_finished; }
    // Positions of the stations that did not get every selected notice, in order.
    QList<qsizetype> unfinishedStations() const;
    // A line of the run's own after its end (the retry line).
    void addLine(const QString& line) { m_log.add(line); }

    // Runs on each station's thread before its session connects: a seam for tests.
    std::function<void(int station)> beforeSession;

signals:
    void stationProgress(const StationProgress& progress);
    void stationFinished(int station, const QList<NoticeOutcome>& results);
    void runFinished();

private:
    struct Running;

    void startNext();
    void addStationLine(int station, const QString& line, bool isError, const QString& note);
    void endStation(int station, SendRun::Outcome outcome, const QList<NoticeOutcome>& results);
    // Shows the held lines of the stations whose turn has come.
    void advancePane();
    void endRunWhenDone();
    template <typename Call>
    void toEveryStation(Call call);

    RunLog m_log;
    // The run's own lines; its stop is the run's: no station starts once it is pressed.
    SendRun m_lines;
    Setup m_setup;
    QList<SendRun::Notice> m_notices;
    // Per station: started, ended, its outcome and the pane lines held for its turn.
    struct StationLines {
        bool started = false;
        bool ended = false;
        SendRun::Outcome outcome = SendRun::Outcome::Failed;
        QList<std::pair<QString, bool>> held;
    };
    QList<StationLines> m_stations;
    std::vector<std::unique_ptr<Running>> m_running;
    qsizetype m_next = 0;
    qsizetype m_paneStation = 0;
    bool m_finished = false;
};
