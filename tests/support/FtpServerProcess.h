// A real FTP server (Debian's pyftpdlib) on a loopback address, for upload tests.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// Starts /usr/bin/python3 with pyftpdlib on address:port (by default a free port), serving a fresh
// writable temporary folder to one user with full rights; stops it in the destructor.
// The server process also ends by itself when the test program goes away.
//
//     FtpServerProcess server;
//     ASSERT_TRUE(server.isRunning()) << server.errorString();
//     client.Host = server.address(); client.Port = server.port();
//     client.UserID = server.user(); client.Password = server.password();
//     ... QFile(server.rootPath() + "/name") holds what was uploaded ...
//
// pyftpdlib lists UTF8 in its features and decodes commands as UTF-8. With `tls` it is
// pyftpdlib's TLS handler (Debian's python3-openssl) with a certificate made at start-up,
// and refuses the login and data connections without TLS. With `implicitTls` as well, the
// same handler speaks TLS from the first byte (as on port 990): the handshake, then the
// greeting; data connections are protected after PROT P as with AUTH TLS.
class FtpServerProcess {
public:
    struct Options {
        QByteArray address = "127.0.0.1"; // a loopback address: 127.x.y.z or ::1
        QByteArray user = "zarvel";
        QByteArray password = "secret";
        // 0: a free port; a fixed one lets servers on several addresses share it.
        quint16 port = 0;
        bool tls = false;
        bool implicitTls = false;
    };

    FtpServerProcess();
    explicit FtpServerProcess(Options options);
    ~FtpServerProcess();
    FtpServerProcess(const FtpServerProcess&) = delete;
    FtpServerProcess& operator=(const FtpServerProcess&) = delete;

    bool isRunning() const { return m_port != 0; }
    // Why the server is not running; with a running one, what it wrote so far.
    QString errorString() const;

    QByteArray address() const { return m_options.address; }
    quint16 port() const { return m_port; }
    QByteArray user() const { return m_options.user; }
    QByteArray password() const { return m_options.password; }
    // The server's root folder, the user's home ("/" on the wire).
    QString rootPath() const { return m_root.path(); }
    // SHA-256 of the TLS server's certificate, "AB:CD:..."; empty without TLS.
    QByteArray certificateFingerprint() const { return m_fingerprint; }

private:
    void start();

    Options m_options;
    QTemporaryDir m_root;
    // The certificate and key, outside the folder the server serves.
    QTemporaryDir m_tlsFolder;
    QByteArray m_fingerprint;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

} // namespace testsupport
