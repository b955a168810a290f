// pyftpdlib through Debian's own interpreter, bound to a given loopback address and port.
#include "StationServer.h"

#include <QDir>
#include <QFile>

namespace {

constexpr auto python = "/usr/bin/python3";
constexpr int startTimeoutMs = 15000;
constexpr int stopTimeoutMs = 5000;

// argv: address port root. Prints the port, serves until standard input closes.
constexpr auto serverScript = R"PY(
import logging, os, sys, threading
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

address, port, root = sys.argv[1], int(sys.argv[2]), sys.argv[3]
logging.basicConfig(level=logging.WARNING)
logging.getLogger("pyftpdlib").setLevel(logging.WARNING)
authorizer = DummyAuthorizer()
authorizer.add_user("clerk", "pw", root, perm="elradfmwMT")
handler = FTPHandler
handler.authorizer = authorizer
server = FTPServer((address, port), handler)
print(server.socket.getsockname()[1], flush=True)

def watch_parent():
    sys.stdin.buffer.read()
    os._exit(0)

threading.Thread(target=watch_parent, daemon=True).start()
server.serve_forever(handle_exit=False)
)PY";

} // namespace

StationServer::StationServer(QByteArray address, quint16 port)
    : m_address(std::move(address))
{
    if (!m_address.startsWith("127.")) {
        m_error = QStringLiteral("not a loopback address");
        return;
    }
    QDir(m_root.path()).mkdir(QStringLiteral("in"));
    m_process.start(QString::fromLatin1(python),
                    {QStringLiteral("-c"), QString::fromLatin1(serverScript),
                     QString::fromLatin1(m_address), QString::number(port), m_root.path()});
    if (!m_process.waitForStarted(startTimeoutMs)) {
        m_error = m_process.errorString();
        return;
    }
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(startTimeoutMs)) {
            m_error = QString::fromLocal8Bit(m_process.readAllStandardError());
            return;
        }
    }
    m_port = static_cast<quint16>(m_process.readLine().trimmed().toUInt());
}

StationServer::~StationServer()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(stopTimeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(stopTimeoutMs);
    }
}

QByteArray StationServer::received(const QString& name) const
{
    QFile file(m_root.filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return "<none>";
    return file.readAll();
}
