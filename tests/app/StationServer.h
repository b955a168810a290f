// Receiving stations for send runs: pyftpdlib servers on their own loopback addresses,
// all on one port, as the window's FTP client uses one port for every station.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class StationServer {
public:
    // Serves a fresh folder (with a sub-folder "in") to user "clerk", password "pw",
    // on address:port; port 0 picks a free one.
    StationServer(QByteArray address, quint16 port);
    ~StationServer();
    StationServer(const StationServer&) = delete;
    StationServer& operator=(const StationServer&) = delete;

    bool isRunning() const { return m_port != 0; }
    QString errorString() const { return m_error; }
    QByteArray address() const { return m_address; }
    quint16 port() const { return m_port; }
    // The bytes that arrived as `name` (a path below the served folder), or "<none>".
    QByteArray received(const QString& name) const;
    QString rootPath() const { return m_root.path(); }

private:
    QByteArray m_address;
    QTemporaryDir m_root;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
