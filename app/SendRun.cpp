// The send run's steps, log lines and error handling.
#include "app/SendRun.h"

#include "app/MainWindow.h"
#include "app/NoticeSelection.h"
#include "ftp/FtpClient.h"
#include "platform/codepage.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <utility>

using namespace unit1;

namespace {

constexpr int typeLocal8 = 3;

const QString successLine = QStringLiteral("++++++++++++++++++++++++++      传送成功！");
const QString networkErrorLine = QStringLiteral("------------------------------ 网络错误，请查明原因！");
const QString stoppedLine =
    QStringLiteral("---------------------------------------------------       用户终止！");
const QString endLine = QStringLiteral("        --------======  传送完毕  ======--------");

} // namespace

SendRun::SendRun(FtpClient& client, LogSink log, QList<Station> stations, QString remoteFolder)
    : m_client(client)
    , m_log(std::move(log))
    , m_stations(std::move(stations))
    , m_remoteFolder(remoteFolder.isEmpty() ? QStringLiteral(".") : std::move(remoteFolder))
{
}

void SendRun::closeLeftConnection()
{
    if (m_client.Connected)
        disconnectStation();
}

void SendRun::run()
{
    m_log(QStringLiteral("★☆         您共选择了 %1 个文件         ☆★").arg(SelectedCount), false);
    if (SelectedCount > 0) {
        m_log(QString(), false);
        for (const Station& station : std::as_const(m_stations)) {
            if (StopRequested == 1) {
                m_log(stoppedLine, false);
                break;
            }
            m_client.Host = platform::toCodePage(station.address);
            m_client.UserID = platform::toCodePage(station.user);
            m_client.Password = platform::toCodePage(station.password);
            m_log(QStringLiteral("开始向  %1  传送...").arg(station.name), false);
            try {
                sendToStation();
            } catch (const FtpError&) {
                reportNetworkError();
                continue;
            } catch (const SocketError&) {
                reportNetworkError();
                continue;
            }
            if (StopRequested == 1) {
                // The connection stays open; the next run's first step closes it.
                m_log(stoppedLine, false);
                break;
            }
            m_log(successLine, false);
            disconnectStation();
        }
    }
    m_log(QString(), false);
    m_log(endLine, false);
}

void SendRun::abandon()
{
    m_abandoned = true;
    m_client.Cancel();
    m_client.Abort();
}

void SendRun::sendToStation()
{
    m_client.Connect();
    m_client.ChangeDir(platform::toCodePage(m_remoteFolder));
    m_client.SetTransferType(typeLocal8);
    for (int k = 1; k <= SelectedCount && StopRequested != 1; ++k)
        m_client.Upload(localFilePath(SelectedFiles[k]), platform::toCodePage(SelectedFiles[k]));
}

void SendRun::reportNetworkError()
{
    m_log(networkErrorLine, true);
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
    const QDir folder(SourceDirectory);
    if (QFileInfo::exists(folder.filePath(name)))
        return folder.filePath(name);
    // Names are kept lower-cased: find the file whatever the case of its letters.
    const QStringList entries = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : entries)
        if (lowerAscii(entry) == name)
            return folder.filePath(entry);
    return folder.filePath(name);
}
