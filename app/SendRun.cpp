// The send run's steps, log lines and error handling.
#include "app/SendRun.h"

#include "app/NoticeSelection.h"
#include "ftp/FtpClient.h"
#include "platform/codepage.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <utility>

namespace {

constexpr int typeLocal8 = 3;
constexpr int cancelIntervalMs = 20;

const QString successLine = QStringLiteral("++++++++++++++++++++++++++      传送成功！");
const QString networkErrorLine =
    QStringLiteral("------------------------------ 网络错误，请查明原因！");
const QString stoppedLine =
    QStringLiteral("---------------------------------------------------       用户终止！");
const QString endLine = QStringLiteral("        --------======  传送完毕  ======--------");

} // namespace

SendRun::SendRun(FtpClient& client, LogSink log, QList<Station> stations, QString remoteFolder,
                 NoticeSelection notices)
    : m_client(client)
    , m_log(std::move(log))
    , m_stations(std::move(stations))
    , m_remoteFolder(remoteFolder.isEmpty() ? QStringLiteral(".") : std::move(remoteFolder))
    , m_notices(std::move(notices))
{
}

void SendRun::closeLeftConnection()
{
    if (m_client.Connected)
        disconnectStation();
}

void SendRun::run()
{
    log(QStringLiteral("★☆         您共选择了 %1 个文件         ☆★").arg(m_notices.names().size()));
    if (!m_notices.names().isEmpty()) {
        log(QString());
        for (const Station& station : std::as_const(m_stations)) {
            if (m_stopRequested) {
                log(stoppedLine);
                break;
            }
            if (!sendToStation(station))
                continue;
            if (m_stopRequested) {
                // The connection stays open; the next run's first step closes it.
                log(stoppedLine);
                break;
            }
            log(successLine);
            disconnectStation();
        }
    }
    log(QString());
    log(endLine);
}

void SendRun::abandon()
{
    m_stopRequested = true;
    m_abandoned = true;
    cancelWait();
    // The client starts some steps afresh (its goodbye after a failed login): keep
    // cancelling until the run has ended.
    if (!m_canceller.isActive()) {
        QObject::connect(&m_canceller, &QTimer::timeout, &m_canceller, [this] { cancelWait(); });
        m_canceller.start(cancelIntervalMs);
    }
}

void SendRun::cancelWait()
{
    m_client.Cancel();
    m_client.Abort();
}

bool SendRun::sendToStation(const Station& station)
{
    m_client.Host = platform::toCodePage(station.address);
    m_client.UserID = platform::toCodePage(station.user);
    m_client.Password = platform::toCodePage(station.password);
    log(QStringLiteral("开始向  %1  传送...").arg(station.name));
    try {
        m_client.Connect();
        m_client.ChangeDir(platform::toCodePage(m_remoteFolder));
        m_client.SetTransferType(typeLocal8);
        for (const QString& name : m_notices.names()) {
            if (m_stopRequested)
                break;
            m_client.Upload(localFilePath(name), platform::toCodePage(name));
        }
    } catch (const FtpError&) {
        reportNetworkError();
        return false;
    } catch (const SocketError&) {
        reportNetworkError();
        return false;
    }
    return true;
}

void SendRun::reportNetworkError()
{
    log(networkErrorLine, true);
    // The station already has its error line: a failing QUIT adds nothing to say.
    try {
        if (m_client.Connected)
            disconnectStation();
    } catch (const FtpError&) {
    } catch (const SocketError&) {
    }
}

void SendRun::disconnectStation()
{
    // A closing window does not wait for the server's goodbye.
    if (m_abandoned) {
        m_client.dropConnection();
        return;
    }
    try {
        m_client.Disconnect();
    } catch (const AbortError&) {
        // Closing the window cancelled the goodbye: nothing left to report.
        if (!m_abandoned)
            throw;
    }
}

QString SendRun::localFilePath(const QString& name) const
{
    const QDir folder(m_notices.folder());
    if (QFileInfo::exists(folder.filePath(name)))
        return folder.filePath(name);
    // Names are kept lower-cased: find the file whatever the case of its letters.
    const QStringList entries = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : entries)
        if (lowerAscii(entry) == name)
            return folder.filePath(entry);
    return folder.filePath(name);
}
