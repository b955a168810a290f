// Helpers of the FTP client tests.
#include "tests/ftp/FtpClientProbe.h"

#include <QFile>

#include <algorithm>
#include <random>
#include <utility>

FtpClientProbe::FtpClientProbe(FtpClient& client)
    : m_client(client)
{
    // Events from another sender than the client are marked, so a wrong sender shows.
    const auto record = [this](const QString& name, QObject* sender, const QObject* expected) {
        const QString event = sender == expected ? name : name + "(other)";
        if (name != "OnPacketSent" || events.isEmpty() || events.last() != event)
            events << event;
    };
    client.setReportLevel(1);
    client.OnStatus = [this](QObject*, const QByteArray& text) { status << text; };
    client.OnConnect = [this, record](QObject* sender) { record("OnConnect", sender, &m_client); };
    client.OnDisconnect = [this](QObject*) { events << QStringLiteral("OnDisconnect"); };
    client.OnConnectionFailed = [this](QObject*) {
        events << QStringLiteral("OnConnectionFailed");
    };
    client.OnTransactionStart = [this, record](QObject* sender) {
        record("OnTransactionStart", sender, &m_client);
    };
    client.OnTransactionStop = [this, record](QObject* sender) {
        record("OnTransactionStop", sender, &m_client);
    };
    client.OnPacketSent = [this, record](QObject* sender) {
        record("OnPacketSent", sender, m_client.dataConnection());
    };
}

void FtpClientProbe::recordOutcomes(bool handle)
{
    m_client.OnSuccess = [this](CommandKind kind) {
        events << QStringLiteral("OnSuccess(%1)").arg(int(kind));
    };
    m_client.OnUnSupportedFunction = [this](CommandKind kind) {
        events << QStringLiteral("OnUnSupportedFunction(%1)").arg(int(kind));
    };
    m_client.OnFailure = [this, handle](bool& handled, CommandKind kind) {
        events << QStringLiteral("OnFailure(%1)").arg(int(kind));
        handled = handle;
    };
}

bool FtpClientProbe::statusContains(const QByteArray& bytes) const
{
    return std::any_of(status.begin(), status.end(),
                       [&](const QByteArray& line) { return line.contains(bytes); });
}

Session::Session(QByteArray address)
    : peer(std::move(address))
{
    client.Host = peer.address();
    client.Port = peer.port();
    client.UserID = "user";
    client.Password = "secret";
}

testsupport::ScriptedFtpPeer& Session::script(const Lines& lines)
{
    peer.send(lines.value(0));
    for (const QByteArray& reply : lines.mid(1))
        peer.reply(reply);
    return peer;
}

void Session::logIn(bool passive)
{
    peer.start();
    client.Mode = passive ? TransferMode::Passive : TransferMode::Active;
    client.Connect();
    probe.recordOutcomes(false);
    probe.clear();
}

Lines dialogue(const testsupport::ScriptedFtpPeer& peer)
{
    Lines commands = peer.commands();
    for (QByteArray& command : commands)
        if (command.startsWith("PORT "))
            command = "PORT\r\n";
    return commands;
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

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void aim(FtpClient& client, const testsupport::FtpServerProcess& server, bool passive)
{
    client.Host = server.address();
    client.Port = server.port();
    client.UserID = server.user();
    client.Password = server.password();
    client.Mode = passive ? TransferMode::Passive : TransferMode::Active;
}

void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

void PrintTo(const QByteArray& bytes, std::ostream* out)
{
    *out << '"' << bytes.toPercentEncoding(" !\"#$&'()*+,-./:;<=>?@[]^_`{|}~").toStdString() << '"';
}
