// A real SSH server (Debian's OpenSSH sshd) on a loopback address, for SFTP tests.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// Starts /usr/sbin/sshd on address:port (by default a free port) with its own
// configuration and an Ed25519 host key made for it, never the system's; SFTP is
// internal-sftp and the one user is the one running the tests. A client key pair made with
// it is authorised: point the session's SSH folder at clientSshFolder() (it holds
// id_ed25519 and a known_hosts that is empty unless a test writes to it).
//
//     SshServerProcess server;
//     ASSERT_TRUE(server.isRunning()) << server.errorString();
//     session.setSshFolder(server.clientSshFolder());
//     settings.host = server.address(); settings.port = server.port(); settings.user =
//     server.user();
//     ... session.changeFolder(server.rootPath()); QFile(server.rootPath() + "/name") ...
class SshServerProcess {
public:
    struct Options {
        QByteArray address = "127.0.0.1"; // a loopback address: 127.x.y.z or ::1
        quint16 port = 0;                 // 0: a free port
        bool passwordLogin = true;        // else the server offers key login alone
        // internal-sftp's own options, e.g. "-R" (read-only) or "-P posix-rename".
        QByteArray sftpOptions = {};
    };

    SshServerProcess();
    explicit SshServerProcess(Options options);
    ~SshServerProcess();
    SshServerProcess(const SshServerProcess&) = delete;
    SshServerProcess& operator=(const SshServerProcess&) = delete;

    bool isRunning() const { return m_port != 0 && m_process.state() == QProcess::Running; }
    // Why the server is not running; with a running one, what it logged so far.
    QString errorString() const;
    // What sshd logged (its log level names each failed login).
    QByteArray log();

    QByteArray address() const { return m_options.address; }
    quint16 port() const { return m_port; }
    QString user() const;
    // An empty folder the user may write to, for uploads.
    QString rootPath() const { return m_root.path(); }
    QString clientSshFolder() const { return m_client.path(); }
    // "SHA256:..." of the host key as `ssh-keygen -lf` tells it.
    QByteArray hostKeyFingerprint() const { return m_fingerprint; }
    // The known_hosts line that vouches for this server's key at its address and port.
    QByteArray knownHostsLine() const;
    // Stops the server and starts it again on the same port with a new host key.
    bool changeHostKey();
    // Kills the processes that serve the connections (the server's descendants), so that
    // each connection ends mid-way; the server takes new ones. How many were killed.
    int cutConnections();

private:
    bool makeHostKey();
    bool start();
    void stop();

    Options m_options;
    QTemporaryDir m_root;
    QTemporaryDir m_config; // sshd_config, host key, authorised keys
    QTemporaryDir m_client; // the client's key pair and known_hosts
    QByteArray m_fingerprint;
    QByteArray m_publicKey;
    QProcess m_process;
    QByteArray m_log;
    quint16 m_port = 0;
    QString m_error;
};

} // namespace testsupport
