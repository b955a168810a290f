// Helpers of the FTP client tests.
#include "tests/ftp/FtpClientProbe.h"

#include "tests/support/ScriptedFtpPeer.h"

#include <QFile>

#include <future>
#include <random>

FtpClientProbe::FtpClientProbe(TNMFTP& client)
    : m_client(client)
{
    client.ReportLevel = 1;
    client.OnStatus = [this](QObject*, const QByteArray& text) { status << text; };
    client.OnConnect = [this](QObject* sender) {
        events << (sender == &m_client ? QStringLiteral("OnConnect") : QStringLiteral("OnConnect(other)"));
    };
    client.OnDisconnect = [this](QObject*) { events << QStringLiteral("OnDisconnect"); };
    client.OnConnectionFailed = [this](QObject*) { events << QStringLiteral("OnConnectionFailed"); };
    client.OnTransactionStart = [this](QObject* sender) {
        events << (sender == &m_client ? QStringLiteral("OnTransactionStart") : QStringLiteral("OnTransactionStart(other)"));
    };
    client.OnTransactionStop = [this](QObject* sender) {
        events << (sender == &m_client ? QStringLiteral("OnTransactionStop") : QStringLiteral("OnTransactionStop(other)"));
    };
    client.OnPacketSent = [this](QObject* sender) {
        const QString name = sender == m_client.DataConnection ? QStringLiteral("OnPacketSent")
                                                               : QStringLiteral("OnPacketSent(other)");
        if (events.isEmpty() || events.last() != name)
            events << name;
    };
}

void FtpClientProbe::recordOutcomes(bool handleFailures)
{
    m_client.OnSuccess = [this](TCmdType kind) {
        events << QStringLiteral("OnSuccess(%1)").arg(int(kind));
    };
    m_client.OnUnSupportedFunction = [this](TCmdType kind) {
        events << QStringLiteral("OnUnSupportedFunction(%1)").arg(int(kind));
    };
    m_client.OnFailure = [this, handleFailures](bool& handled, TCmdType kind) {
        events << QStringLiteral("OnFailure(%1)").arg(int(kind));
        handled = handleFailures;
    };
}

QStringList FtpClientProbe::eventsExcept(const QString& name) const
{
    QStringList result;
    for (const QString& event : events) {
        if (event != name)
            result << event;
    }
    return result;
}

bool FtpClientProbe::statusContains(const QByteArray& bytes) const
{
    for (const QByteArray& line : status) {
        if (line.contains(bytes))
            return true;
    }
    return false;
}

void pointAt(TNMFTP& client, const testsupport::ScriptedFtpPeer& peer)
{
    client.Host = peer.address();
    client.Port = peer.port();
    client.UserID = "user";
    client.Password = "secret";
}

QString writeFile(const QTemporaryDir& folder, const QString& name, const QByteArray& content)
{
    const QString path = folder.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return path;
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    std::mt19937 generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

bool transferLockIsFree(TNMFTP& client)
{
    return std::async(std::launch::async, [&client] {
        if (!client.TransferLock->try_lock())
            return false;
        client.TransferLock->unlock();
        return true;
    }).get();
}

void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

void PrintTo(const QByteArray& bytes, std::ostream* out)
{
    *out << '"' << bytes.toPercentEncoding(" !\"#$&'()*+,-./:;<=>?@[]^_`{|}~").toStdString() << '"';
}
