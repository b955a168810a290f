// Runs pyftpdlib through Debian's own interpreter (the first python3 on PATH may lack it).
#include "tests/support/FtpServerProcess.h"

#include "tests/support/TestCertificate.h"

#include <QFile>
#include <QStringList>

#include <utility>

namespace testsupport {

namespace {

constexpr auto python = "/usr/bin/python3";
constexpr int startTimeoutMs = 15000;
constexpr int stopTimeoutMs = 5000;

// argv: address port root user password [certificate file ["implicit"]]. Prints the port on its
// first line and serves until its standard input closes (the test program ended or stopped it).
// Implicit TLS: the handshake starts as the client connects, and the greeting waits for its end.
constexpr auto serverScript = R"PY(
import logging, os, sys, threading
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

address, port, root, user, password = sys.argv[1:6]
logging.basicConfig(level=logging.WARNING)
logging.getLogger("pyftpdlib").setLevel(logging.WARNING)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
handler = FTPHandler
if len(sys.argv) > 6:
    from pyftpdlib.handlers import TLS_FTPHandler
    handler = TLS_FTPHandler
    handler.certfile = sys.argv[6]
    handler.tls_control_required = True
    handler.tls_data_required = True
    if sys.argv[7:] == ["implicit"]:
        class ImplicitTlsHandler(TLS_FTPHandler):
            def handle(self):
                self.secure_connection(self.ssl_context)

            def handle_ssl_established(self):
                TLS_FTPHandler.handle(self)

        handler = ImplicitTlsHandler
handler.authorizer = authorizer
server = FTPServer((address, int(port)), handler)
print(server.socket.getsockname()[1], flush=True)

def watch_parent():
    sys.stdin.buffer.read()
    os._exit(0)

threading.Thread(target=watch_parent, daemon=True).start()
server.serve_forever(handle_exit=False)
)PY";

} // namespace

FtpServerProcess::FtpServerProcess()
    : FtpServerProcess(Options{})
{
}

FtpServerProcess::FtpServerProcess(Options options)
    : m_options(std::move(options))
{
    start();
}

FtpServerProcess::~FtpServerProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(stopTimeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(stopTimeoutMs);
    }
}

QString FtpServerProcess::errorString() const
{
    if (!m_error.isEmpty())
        return m_error;
    auto& process = const_cast<QProcess&>(m_process);
    return QString::fromLocal8Bit(process.readAllStandardError());
}

void FtpServerProcess::start()
{
    if (!m_options.address.startsWith("127.") && m_options.address != "::1") {
        m_error =
            QStringLiteral("not a loopback address: ") + QString::fromLatin1(m_options.address);
        return;
    }
    if (!m_root.isValid()) {
        m_error = QStringLiteral("no temporary folder: ") + m_root.errorString();
        return;
    }
    QStringList arguments{QStringLiteral("-c"),
                          QString::fromLatin1(serverScript),
                          QString::fromLatin1(m_options.address),
                          QString::number(m_options.port),
                          m_root.path(),
                          QString::fromLatin1(m_options.user),
                          QString::fromLatin1(m_options.password)};
    if (m_options.tls || m_options.implicitTls) {
        const TestCertificate certificate;
        QFile file(m_tlsFolder.filePath(QStringLiteral("server.pem")));
        if (certificate.fingerprint().isEmpty() || !m_tlsFolder.isValid()
            || !file.open(QIODevice::WriteOnly) || file.write(certificate.combinedPem()) < 0) {
            m_error = QStringLiteral("cannot write the server's certificate");
            return;
        }
        file.close();
        m_fingerprint = certificate.fingerprint();
        arguments << file.fileName();
        if (m_options.implicitTls)
            arguments << QStringLiteral("implicit");
    }
    m_process.start(QString::fromLatin1(python), arguments);
    if (!m_process.waitForStarted(startTimeoutMs)) {
        m_error = QStringLiteral("cannot start %1: %2")
                      .arg(QString::fromLatin1(python), m_process.errorString());
        return;
    }
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(startTimeoutMs)) {
            m_error = QStringLiteral("the FTP server did not start: ")
                + QString::fromLocal8Bit(m_process.readAllStandardError());
            m_process.kill();
            m_process.waitForFinished(stopTimeoutMs);
            return;
        }
    }
    bool ok = false;
    const int port = m_process.readLine().trimmed().toInt(&ok);
    if (!ok || port <= 0 || port > 65535) {
        m_error = QStringLiteral("the FTP server reported no port");
        return;
    }
    m_port = static_cast<quint16>(port);
}

} // namespace testsupport
