// One station of a send run, on a thread of its own: its session and sockets live there.
#pragma once

#include "app/RunProgress.h"
#include "app/SendRun.h"
#include "app/StationSettings.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class StationSession;

// Made on the window's thread and moved to the station's; run() and the stop calls are queued
// to that thread, whose event loop the client's waits dispatch, so a stop reaches a wait at
// once. Everything it reports goes out by signals; nothing it does opens a box.
class StationWorker : public QObject {
    Q_OBJECT

public:
    struct Job {
        int position = 0; // in the run's station list
        Station station{};
        LoadedStation options{};
        QString remoteFolder{};
        NoticeSelection selection{};
        QList<SendRun::Notice> notices{}; // those the run's check let go
        QList<NoticeOutcome> leftOut{};   // those it did not
        QString settingsPath{};           // Stations.ini
        RunSettings limits{};
        // Runs on the station's thread before its session: a seam for tests.
        std::function<void(int position)> beforeSession{};
    };

    explicit StationWorker(Job job);
    ~StationWorker() override;

    // The session; ends with finished(). On the station's thread.
    void run();
    // Stop, one press; and the window closing. On the station's thread.
    void requestStop();
    void abandon();

signals:
    void line(int station, const QString& text, bool isError, const QString& note);
    void progress(const StationProgress& progress);
    void finished(int station, SendRun::Outcome outcome, const QList<NoticeOutcome>& results);

private:
    void session(StationSession& session, SendRun::Outcome& outcome, QList<NoticeOutcome>& results);
    void setState(StationState state, const QString& notice = {});
    void reportProgress();
    // Something came from the server or went to it.
    void markActivity() { m_sinceActivity.restart(); }

    Job m_job;
    SendRun* m_run = nullptr;
    StationSession* m_session = nullptr;
    // The session's stop, made first so that a press before the session counts.
    std::shared_ptr<StopToken> m_stop;
    StationProgress m_progress;
    qint64 m_doneBytes = 0; // of the notices finished
    QElapsedTimer m_sinceActivity;
    // Bytes sent at moments of the last seconds, for the speed.
    QList<std::pair<qint64, qint64>> m_samples;
    QElapsedTimer m_clock;
};

Q_DECLARE_METATYPE(SendRun::Outcome)
