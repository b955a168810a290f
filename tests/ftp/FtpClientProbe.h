// Helpers of the FTP client tests: a recorder of status texts and events, and test files.
#pragma once

#include "ftp/NMFtp.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <ostream>

namespace testsupport {
class ScriptedFtpPeer;
}

// Records what a client reports (status texts at level 1) and every event it fires, in
// order, as "OnConnect", "OnFailure(9)", ... OnFailure, OnSuccess and OnUnSupportedFunction
// stay unassigned until recordOutcomes() is called.
class FtpClientProbe {
public:
    explicit FtpClientProbe(TNMFTP& client);

    // Assigns OnSuccess, OnUnSupportedFunction and OnFailure, the latter setting Handled
    // to `handleFailures`.
    void recordOutcomes(bool handleFailures);

    // The events without those called `name` (to leave out the many OnPacketSent).
    QStringList eventsExcept(const QString& name) const;
    int count(const QString& event) const { return events.count(event); }
    // True when a status text contains `bytes`.
    bool statusContains(const QByteArray& bytes) const;

    QList<QByteArray> status;
    QStringList events;

private:
    TNMFTP& m_client;
};

// Points the client at the peer with user "user" and password "secret".
void pointAt(TNMFTP& client, const testsupport::ScriptedFtpPeer& peer);

// A file of `content` named `name` in `folder`; returns its path.
QString writeFile(const QTemporaryDir& folder, const QString& name, const QByteArray& content);

// Reproducible pseudo-random bytes.
QByteArray randomBytes(qsizetype size, quint32 seed);

// Readable test output for texts and lists of texts.
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

// Whether another thread could take the client's transfer lock now.
bool transferLockIsFree(TNMFTP& client);
