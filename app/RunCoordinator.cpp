// Stations on their threads, their lines put in order, the run's end.
#include "app/RunCoordinator.h"

#include "app/StationWorker.h"

#include <QThread>

#include <algorithm>
#include <utility>

struct RunCoordinator::Running {
    int station = 0;
    std::unique_ptr<QThread> thread;
    std::unique_ptr<StationWorker> worker;
};

RunCoordinator::RunCoordinator(FtpClient& client, RunLog::PaneSink pane, const QString& logPath,
                               Setup setup, QObject* parent)
    : QObject(parent)
    , m_log(std::move(pane), logPath)
    , m_lines(client, m_log, setup.stations, setup.remoteFolder, setup.notices)
    , m_setup(std::move(setup))
    , m_stations(m_setup.stations.size())
{
    qRegisterMetaType<StationProgress>();
    qRegisterMetaType<NoticeOutcome>();
    qRegisterMetaType<QList<NoticeOutcome>>();
    qRegisterMetaType<SendRun::Outcome>();
    if (m_setup.remoteFolder.isEmpty())
        m_setup.remoteFolder = QStringLiteral(".");
}

RunCoordinator::~RunCoordinator()
{
    // Every wait ends at once; the threads then end on their own.
    if (!m_finished)
        abandon();
    for (const auto& running : m_running)
        running->thread->wait();
}

void RunCoordinator::start()
{
    m_notices = m_lines.begin();
    // Nothing that can go: no station is contacted.
    if (m_notices.isEmpty())
        m_next = m_stations.size();
    m_paneStation = m_next;
    startNext();
    endRunWhenDone();
}

void RunCoordinator::startNext()
{
    const qsizetype limit =
        std::clamp(m_setup.settings.parallelStations, 1, RunSettings::maxParallelStations);
    while (!m_lines.stopRequested() && m_next < m_stations.size()
           && qsizetype(m_running.size()) < limit) {
        const int station = int(m_next++);
        m_stations[station].started = true;
        auto running = std::make_unique<Running>();
        running->station = station;
        running->thread = std::make_unique<QThread>();
        running->worker = std::make_unique<StationWorker>(
            StationWorker::Job{.position = station,
                               .station = m_setup.stations[station],
                               .options = m_setup.options.value(station),
                               .remoteFolder = m_setup.remoteFolder,
                               .selection = m_setup.notices,
                               .notices = m_notices,
                               .leftOut = m_lines.leftOutNotices(),
                               .settingsPath = m_setup.settingsPath,
                               .limits = m_setup.settings,
                               .beforeSession = beforeSession});
        StationWorker* worker = running->worker.get();
        QThread* thread = running->thread.get();
        worker->moveToThread(thread);
        connect(worker, &StationWorker::line, this, &RunCoordinator::addStationLine);
        connect(worker, &StationWorker::progress, this, &RunCoordinator::stationProgress);
        connect(worker, &StationWorker::finished, this, &RunCoordinator::endStation);
        // The thread is done once its worker has said all: only then are both let go.
        connect(thread, &QThread::finished, this, [this, thread] {
            const auto it =
                std::find_if(m_running.begin(), m_running.end(),
                             [thread](const auto& r) { return r->thread.get() == thread; });
            if (it == m_running.end())
                return;
            (*it)->thread->wait();
            m_running.erase(it);
            startNext();
            endRunWhenDone();
        });
        thread->start();
        // Queued: the session starts inside the thread's own event loop.
        QMetaObject::invokeMethod(worker, &StationWorker::run, Qt::QueuedConnection);
        m_running.push_back(std::move(running));
    }
}

void RunCoordinator::addStationLine(int station, const QString& line, bool isError,
                                    const QString& note)
{
    m_log.write(line, note, m_setup.stations[station].name);
    if (station == m_paneStation)
        m_log.show(line, isError);
    else
        m_stations[station].held.append({line, isError});
}

void RunCoordinator::endStation(int station, SendRun::Outcome outcome,
                                const QList<NoticeOutcome>& results)
{
    m_stations[station].ended = true;
    m_stations[station].outcome = outcome;
    advancePane();
    emit stationFinished(station, results);
}

void RunCoordinator::advancePane()
{
    while (m_paneStation < m_stations.size() && m_stations[m_paneStation].ended) {
        ++m_paneStation;
        if (m_paneStation < m_stations.size())
            for (const auto& [line, isError] : std::exchange(m_stations[m_paneStation].held, {}))
                m_log.show(line, isError);
    }
}

void RunCoordinator::endRunWhenDone()
{
    if (m_finished || !m_running.empty())
        return;
    if (!m_lines.stopRequested() && m_next < m_stations.size())
        return;
    m_finished = true;
    m_lines.end();
    emit runFinished();
}

template <typename Call>
void RunCoordinator::toEveryStation(Call call)
{
    for (const auto& running : m_running) {
        StationWorker* worker = running->worker.get();
        // Dispatched by the wait the station is in, on its own thread.
        QMetaObject::invokeMethod(
            worker, [worker, call] { call(*worker); }, Qt::QueuedConnection);
    }
}

void RunCoordinator::requestStop()
{
    if (m_finished)
        return;
    m_lines.requestStop();
    toEveryStation([](StationWorker& worker) { worker.requestStop(); });
}

void RunCoordinator::abandon()
{
    if (m_finished)
        return;
    m_lines.abandon();
    toEveryStation([](StationWorker& worker) { worker.abandon(); });
}

QList<qsizetype> RunCoordinator::unfinishedStations() const
{
    QList<qsizetype> unfinished;
    // Nothing could go: no station was meant to get anything.
    if (m_notices.isEmpty())
        return unfinished;
    for (qsizetype station = 0; station < m_stations.size(); ++station)
        if (!m_stations[station].started || m_stations[station].outcome != SendRun::Outcome::Sent)
            unfinished << station;
    return unfinished;
}
