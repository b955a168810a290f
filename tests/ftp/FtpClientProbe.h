// Helpers of the FTP client tests: a recorder of status texts and events, a client
// session at a scripted peer, and test files.
#pragma once

#include "ftp/FtpClient.h"
#include "tests/support/FtpServerProcess.h"
#include "tests/support/ScriptedFtpPeer.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <ostream>

using Lines = QList<QByteArray>;

// Records what a client reports (status texts at level 1) and every event it fires, in
// order, as "OnConnect", "OnFailure(9)", ... OnFailure, OnSuccess and OnUnSupportedFunction
// stay unassigned until recordOutcomes() is called.
class FtpClientProbe {
public:
    explicit FtpClientProbe(FtpClient& client);

    // Assigns OnSuccess, OnUnSupportedFunction and OnFailure, which sets Handled to `handle`.
    void recordOutcomes(bool handle);
    void clear() { events.clear(), status.clear(); }
    int count(const QString& event) const { return events.count(event); }
    bool statusContains(const QByteArray& bytes) const;

    Lines status;
    QStringList events;

private:
    FtpClient& m_client;
};

// A scripted peer and a client pointed at it with user "user" and password "secret".
struct Session {
    explicit Session(QByteArray address = "127.0.0.1");
    // Scripts the greeting (the first line), then each further line as the reply to a command.
    testsupport::ScriptedFtpPeer& script(const Lines& lines);
    // Greeting, USER accepted, FEAT unknown: a GBK server.
    testsupport::ScriptedFtpPeer& greeted()
    {
        return script({"220 Ready\r\n", "230 In.\r\n", testsupport::featUnknown});
    }
    // Starts the peer, logs in and records outcomes (failures not handled) from a clean slate.
    void logIn(bool passive = false);

    testsupport::ScriptedFtpPeer peer;
    FtpClient client;
    FtpClientProbe probe{client};
};

// The commands a peer received, PORT arguments left out ("PORT\r\n").
Lines dialogue(const testsupport::ScriptedFtpPeer& peer);
// A file of `content` named `name` in `folder`; returns its path.
QString writeFile(const QTemporaryDir& folder, const QString& name, const QByteArray& content);
// Reproducible pseudo-random bytes.
QByteArray randomBytes(qsizetype size, quint32 seed);
// The bytes of a file, "<missing>" when it cannot be read.
QByteArray contentOf(const QString& path);
// Points the client at the real server, passive or active.
void aim(FtpClient& client, const testsupport::FtpServerProcess& server, bool passive);

void PrintTo(const QString& text, std::ostream* out);
void PrintTo(const QByteArray& bytes, std::ostream* out);

// Runs `operation` and returns the message of the exception of type E it raises.
template <typename E, typename Operation>
QString failureOf(Operation operation)
{
    try {
        operation();
    } catch (const E& error) {
        return error.message();
    }
    return QStringLiteral("<no exception>");
}
