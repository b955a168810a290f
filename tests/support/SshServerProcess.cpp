// Runs OpenSSH's sshd in the foreground with a configuration of its own.
#include "tests/support/SshServerProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/socket.h>

#include <csignal>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr auto sshd = "/usr/sbin/sshd";
constexpr auto keygen = "/usr/bin/ssh-keygen";
constexpr int startTimeoutMs = 10000;
constexpr int stopTimeoutMs = 5000;

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Makes an Ed25519 key pair without a passphrase at `path` and `path`.pub.
bool makeKeyPair(const QString& path)
{
    QFile::remove(path);
    QFile::remove(path + QStringLiteral(".pub"));
    QProcess process;
    process.start(QString::fromLatin1(keygen),
                  {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"),
                   QStringLiteral("-N"), QString(), QStringLiteral("-C"),
                   QStringLiteral("zarvel-test"), QStringLiteral("-f"), path});
    return process.waitForFinished(startTimeoutMs) && process.exitCode() == 0;
}

// A socket of the address's family bound to `port` (0: any free one); -1 when none.
int boundSocket(const QByteArray& address, quint16 port, sockaddr_storage& bound)
{
    bound = {};
    const bool six = address.contains(':');
    auto* v4 = reinterpret_cast<sockaddr_in*>(&bound);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&bound);
    if (six) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        ::inet_pton(AF_INET6, address.constData(), &v6->sin6_addr);
    } else {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        ::inet_pton(AF_INET, address.constData(), &v4->sin_addr);
    }
    return ::socket(six ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

quint16 freePort(const QByteArray& address)
{
    sockaddr_storage bound;
    const int s = boundSocket(address, 0, bound);
    socklen_t length = sizeof bound;
    quint16 port = 0;
    if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&bound), sizeof bound) == 0
        && ::getsockname(s, reinterpret_cast<sockaddr*>(&bound), &length) == 0)
        port = ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    if (s >= 0)
        ::close(s);
    return port;
}

// The server answers: a connection that gets the first bytes of its banner.
bool answers(const QByteArray& address, quint16 port)
{
    sockaddr_storage target;
    const int s = boundSocket(address, port, target);
    if (s < 0)
        return false;
    bool answered = false;
    if (::connect(s, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0) {
        pollfd watch{s, POLLIN, 0};
        char byte = 0;
        answered = ::poll(&watch, 1, 2000) > 0 && ::recv(s, &byte, 1, 0) == 1;
    }
    ::close(s);
    return answered;
}

} // namespace

SshServerProcess::SshServerProcess()
    : SshServerProcess(Options{})
{
}

SshServerProcess::SshServerProcess(Options options)
    : m_options(std::move(options))
{
    if (!m_options.address.startsWith("127.") && m_options.address != "::1") {
        m_error = QStringLiteral("not a loopback address");
        return;
    }
    if (!m_root.isValid() || !m_config.isValid() || !m_client.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return;
    }
    const QString clientKey = m_client.filePath(QStringLiteral("id_ed25519"));
    if (!makeKeyPair(clientKey) || !writeFile(m_client.filePath(QStringLiteral("known_hosts")), {})
        || !writeFile(m_config.filePath(QStringLiteral("authorized_keys")),
                      readFile(clientKey + QStringLiteral(".pub")))) {
        m_error = QStringLiteral("cannot make the client's key");
        return;
    }
    m_port = m_options.port != 0 ? m_options.port : freePort(m_options.address);
    if (m_port == 0 || !makeHostKey() || !start())
        m_port = 0;
}

SshServerProcess::~SshServerProcess()
{
    stop();
}

QString SshServerProcess::user() const
{
    const passwd* entry = ::getpwuid(::getuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

QString SshServerProcess::errorString() const
{
    return m_error.isEmpty() ? QString::fromLocal8Bit(const_cast<SshServerProcess*>(this)->log())
                             : m_error;
}

QByteArray SshServerProcess::log()
{
    m_log += m_process.readAllStandardError();
    return m_log;
}

QByteArray SshServerProcess::knownHostsLine() const
{
    const QByteArray host = m_port == 22
        ? m_options.address
        : '[' + m_options.address + "]:" + QByteArray::number(m_port);
    return host + ' ' + m_publicKey.trimmed() + '\n';
}

bool SshServerProcess::makeHostKey()
{
    const QString key = m_config.filePath(QStringLiteral("host_key"));
    if (!makeKeyPair(key)) {
        m_error = QStringLiteral("cannot make a host key");
        return false;
    }
    m_publicKey = readFile(key + QStringLiteral(".pub"));
    QProcess fingerprint;
    fingerprint.start(QString::fromLatin1(keygen),
                      {QStringLiteral("-l"), QStringLiteral("-f"), key + QStringLiteral(".pub")});
    fingerprint.waitForFinished(startTimeoutMs);
    // "256 SHA256:... comment (ED25519)"
    m_fingerprint = fingerprint.readAllStandardOutput().split(' ').value(1);
    return m_fingerprint.startsWith("SHA256:");
}

bool SshServerProcess::start()
{
    // sshd started by root insists on its privilege separation folder, which Debian makes
    // only when its own service starts.
    if (::geteuid() == 0 && !QDir().mkpath(QStringLiteral("/run/sshd"))) {
        m_error = QStringLiteral("cannot make /run/sshd");
        return false;
    }
    const QByteArray listen = m_options.address.contains(':')
        ? '[' + m_options.address + "]:" + QByteArray::number(m_port)
        : m_options.address + ':' + QByteArray::number(m_port);
    const QByteArray folder = QFile::encodeName(m_config.path());
    QByteArray config = "ListenAddress " + listen
        + "\n"
          "HostKey "
        + folder
        + "/host_key\n"
          "AuthorizedKeysFile "
        + folder
        + "/authorized_keys\n"
          "PidFile none\n"
          "StrictModes no\n"
          "UsePAM no\n"
          "PermitRootLogin yes\n"
          "KbdInteractiveAuthentication no\n"
          "PasswordAuthentication "
        + (m_options.passwordLogin ? "yes" : "no")
        + "\n"
          "MaxAuthTries 6\n"
          "LogLevel VERBOSE\n"
          "Subsystem sftp internal-sftp "
        + m_options.sftpOptions + "\n";
    const QString configFile = m_config.filePath(QStringLiteral("sshd_config"));
    if (!writeFile(configFile, config)) {
        m_error = QStringLiteral("cannot write sshd_config");
        return false;
    }
    // The server goes with the test program, however that ends.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start(QString::fromLatin1(sshd),
                    {QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"), configFile});
    if (!m_process.waitForStarted(startTimeoutMs)) {
        m_error = QStringLiteral("cannot start sshd: ") + m_process.errorString();
        return false;
    }
    // Ready once it takes connections.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < startTimeoutMs) {
        if (m_process.state() != QProcess::Running) {
            m_error = QStringLiteral("sshd ended: ") + QString::fromLocal8Bit(log());
            return false;
        }
        if (answers(m_options.address, m_port))
            return true;
        QThread::msleep(20);
    }
    m_error = QStringLiteral("sshd did not start: ") + QString::fromLocal8Bit(log());
    stop();
    return false;
}

void SshServerProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(stopTimeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(stopTimeoutMs);
    }
    log();
}

int SshServerProcess::cutConnections()
{
    // /proc/<pid>/task/<pid>/children lists a process's children; the search goes down.
    QList<qint64> found;
    QList<qint64> parents{m_process.processId()};
    while (!parents.isEmpty()) {
        const qint64 parent = parents.takeFirst();
        const QByteArray children =
            readFile(QStringLiteral("/proc/%1/task/%1/children").arg(parent)).trimmed();
        for (const QByteArray& child : children.split(' ')) {
            if (child.toLongLong() > 0) {
                found << child.toLongLong();
                parents << child.toLongLong();
            }
        }
    }
    for (const qint64 pid : found)
        ::kill(pid_t(pid), SIGKILL);
    return int(found.size());
}

bool SshServerProcess::changeHostKey()
{
    stop();
    if (!makeHostKey() || !start()) {
        m_port = 0;
        return false;
    }
    return true;
}

} // namespace testsupport
