// A station's session on its own thread, its progress and its end.
#include "app/StationWorker.h"

#include "app/FailureTexts.h"
#include "app/RunTexts.h"
#include "ftp/FtpSession.h"
#include "ftp/SftpSession.h"
#include "platform/exception.h"

#include <QScopeGuard>
#include <QThread>
#include <QTimer>

#include <exception>
#include <utility>

namespace {

constexpr int progressIntervalMs = 250;
// The speed is that of the last seconds.
constexpr qint64 speedWindowMs = 3000;

bool awaitsServer(StationState state)
{
    return state == StationState::Connecting || state == StationState::LoggingIn
        || state == StationState::Sending || state == StationState::Checking;
}

// The session of a station's protocol, stopped by `stop`.
std::unique_ptr<StationSession> makeSession(Protocol protocol, std::shared_ptr<StopToken> stop)
{
    switch (protocol) {
    case Protocol::Sftp: return std::make_unique<SftpSession>(std::move(stop));
    case Protocol::Ftp: break;
    }
    return std::make_unique<FtpSession>(std::move(stop));
}

} // namespace

StationWorker::StationWorker(Job job)
    : m_job(std::move(job))
    , m_stop(std::make_shared<StopToken>())
{
    m_progress.station = m_job.position;
    for (const SendRun::Notice& notice : m_job.notices)
        m_progress.bytesTotal += notice.size;
}

StationWorker::~StationWorker() = default;

void StationWorker::run()
{
    SendRun::Outcome outcome = SendRun::Outcome::Failed;
    QList<NoticeOutcome> results;
    QString failure;
    // Whatever the session throws ends this station with its own line, never a box.
    try {
        const std::unique_ptr<StationSession> station =
            makeSession(m_job.options.options.protocol, m_stop);
        m_session = station.get();
        const auto forget = qScopeGuard([this] {
            m_session = nullptr;
            m_run = nullptr;
        });
        session(*station, outcome, results);
    } catch (const platform::Exception& error) {
        failure = failuretexts::text(error);
    } catch (const std::exception& error) {
        failure = QString::fromLocal8Bit(error.what());
    } catch (...) {
        failure = QStringLiteral("?");
    }
    if (!failure.isNull()) {
        const QString cause = runtexts::unexpectedFailureCause(failure);
        emit line(m_job.position, runtexts::causeLine(cause), true, {});
        outcome = SendRun::Outcome::Failed;
        results = m_job.leftOut;
        for (const SendRun::Notice& notice : m_job.notices)
            results << NoticeOutcome{notice.name, NoticeResult::NotDelivered, cause};
    }
    setState(outcome == SendRun::Outcome::Sent         ? StationState::Done
                 : outcome == SendRun::Outcome::Failed ? StationState::Failed
                                                       : StationState::Stopped);
    emit finished(m_job.position, outcome, results);
    thread()->quit();
}

void StationWorker::session(StationSession& session, SendRun::Outcome& outcome,
                            QList<NoticeOutcome>& results)
{
    session.setLimits(m_job.limits.connectLimitSeconds * 1000,
                      m_job.limits.idleLimitSeconds * 1000);
    session.OnActivity = [this, &session] {
        markActivity();
        if (m_progress.state == StationState::Connecting && session.serverAnswered())
            setState(StationState::LoggingIn);
    };

    SendRun run(
        session,
        [this](const QString& text, bool isError, const QString& note) {
            emit line(m_job.position, text, isError, note);
        },
        {m_job.station}, m_job.remoteFolder, m_job.selection);
    run.useStationSettings(m_job.settingsPath, {m_job.options});
    run.setLeftOutNotices(m_job.leftOut);
    run.OnState = [this, &session](StationState state, const QString& notice) {
        if (state == StationState::Sending)
            m_doneBytes += session.lastUpload().sent; // the file before this one
        setState(state, notice);
        if (state == StationState::Connecting && m_job.beforeSession)
            m_job.beforeSession(m_job.position);
    };
    m_run = &run;

    m_clock.start();
    markActivity();
    QTimer ticks;
    connect(&ticks, &QTimer::timeout, this, &StationWorker::reportProgress);
    ticks.start(progressIntervalMs);
    outcome = run.sendStation(0, m_job.notices);
    results = run.stationResults();
    m_doneBytes += session.lastUpload().sent;
}

void StationWorker::requestStop()
{
    // Before the session (or after it) there is no file to finish and no line to write.
    if (m_run)
        m_run->requestStop();
    else
        m_stop->press();
}

void StationWorker::abandon()
{
    if (m_run)
        m_run->abandon();
    else
        m_stop->cutNow(StopCause::WindowClosing);
}

void StationWorker::setState(StationState state, const QString& notice)
{
    m_progress.state = state;
    m_progress.file = notice;
    markActivity();
    reportProgress();
}

void StationWorker::reportProgress()
{
    const bool inFile =
        m_progress.state == StationState::Sending || m_progress.state == StationState::Checking;
    const qint64 fileBytes = m_session && inFile ? m_session->lastUpload().sent : 0;
    m_progress.bytesDone = std::min(m_doneBytes + fileBytes, m_progress.bytesTotal);
    // All of a file is out: the server is storing and checking it.
    if (m_session && m_progress.state == StationState::Sending && m_session->lastUpload().size > 0
        && fileBytes >= m_session->lastUpload().size)
        m_progress.state = StationState::Checking;

    const qint64 now = m_clock.isValid() ? m_clock.elapsed() : 0;
    m_samples.append({now, m_progress.bytesDone});
    while (m_samples.size() > 2 && now - m_samples.first().first > speedWindowMs)
        m_samples.removeFirst();
    const qint64 span = now - m_samples.first().first;
    m_progress.bytesPerSecond = m_progress.state == StationState::Sending && span > 0
        ? double(m_progress.bytesDone - m_samples.first().second) * 1000.0 / double(span)
        : 0.0;

    const bool waiting = awaitsServer(m_progress.state) && m_session;
    const int silent = waiting ? int(m_sinceActivity.elapsed() / 1000) : 0;
    m_progress.silentSeconds = silent;
    m_progress.silentLimitSeconds = waiting && silent > 0
        ? (m_session->serverAnswered() ? m_session->idleLimitMs() : m_session->connectLimitMs())
            / 1000
        : 0;
    emit progress(m_progress);
}
