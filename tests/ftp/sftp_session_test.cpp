// SFTP stations against a real sshd on a loopback address.
#include "ftp/FtpClient.h"
#include "ftp/SftpPackets.h"
#include "ftp/SftpSession.h"
#include "tests/ftp/FtpClientProbe.h"
#include "tests/support/FtpServerProcess.h"
#include "tests/support/ScopedVariable.h"
#include "tests/support/SshServerProcess.h"
#include "tests/support/WaitFor.h"
#include "tests/support/WorkerThreads.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <ctime>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using testsupport::SshServerProcess;

namespace {

SessionSettings settingsFor(const SshServerProcess& server)
{
    SessionSettings settings;
    settings.protocol = Protocol::Sftp;
    settings.host = QString::fromLatin1(server.address());
    settings.port = server.port();
    settings.user = server.user();
    return settings;
}

// A session that logs in with the fixture's client key and goes to its upload folder.
void openAt(SftpSession& session, const SshServerProcess& server, SessionSettings settings)
{
    session.setSshFolder(server.clientSshFolder());
    session.setLimits(5000, 10000);
    session.open(settings);
    session.changeFolder(server.rootPath());
}

bool appendTo(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::Append) && file.write(content) == content.size();
}

// Runs `stop` on the session's thread as a queued call once `sentAtLeast` bytes went out,
// as the window's Stop button does; returns when the stop was called (-1: never).
class QueuedStop {
public:
    QueuedStop(SftpSession& session, qint64 sentAtLeast, std::function<void()> stop)
    {
        session.OnActivity = [this, &session, sentAtLeast, stop = std::move(stop)] {
            if (m_armed && session.lastUpload().sent >= sentAtLeast) {
                m_armed = false;
                QTimer::singleShot(0, [this, stop] {
                    m_clock.start();
                    stop();
                });
            }
        };
    }
    qint64 sinceStop() const { return m_clock.isValid() ? m_clock.elapsed() : -1; }

private:
    bool m_armed = true;
    QElapsedTimer m_clock;
};

qsizetype openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System).size();
}

// A socket listening on 127.0.0.1 and a free port, which it tells; -1 when none.
int listeningSocket(quint16& port)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0
        || ::listen(listener, 8) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener >= 0)
            ::close(listener);
        return -1;
    }
    port = ntohs(address.sin_port);
    return listener;
}

} // namespace

TEST(SftpPackets, RequestsAreLengthPrefixedAndRepliesReadBackOrRaise)
{
    const QByteArray open =
        sftp::PacketWriter(sftp::PacketType::Open).add32(7).addString("a").add64(1).bytes();
    EXPECT_EQ(open,
              QByteArray("\0\0\0\x12\x03\0\0\0\x07\0\0\0\x01"
                         "a\0\0\0\0\0\0\0\x01",
                         22));
    QByteArray stream = open + open.left(5);
    const auto first = sftp::takePacket(stream);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(*first, open.mid(4));
    EXPECT_FALSE(sftp::takePacket(stream).has_value()); // half a packet waits for the rest
    EXPECT_EQ(stream, open.left(5));

    sftp::PacketReader reader(*first);
    EXPECT_EQ(reader.type(), sftp::PacketType::Open);
    EXPECT_EQ(reader.take32(), 7u);
    EXPECT_EQ(reader.takeString(), "a");
    EXPECT_EQ(reader.take64(), 1u);
    EXPECT_TRUE(reader.atEnd());
    EXPECT_THROW(reader.take32(), SocketError);
    // A string longer than its packet, an impossible length: no SFTP server sends them.
    sftp::PacketReader lying(QByteArray("\x65\0\0\0\x09"
                                        "ab",
                                        7));
    EXPECT_THROW(lying.takeString(), SocketError);
    QByteArray huge("\x7f\0\0\0\x01", 5);
    EXPECT_THROW(sftp::takePacket(huge), SocketError);

    // ATTRS with size, owner, mode and times: a folder of 4096 bytes.
    sftp::PacketReader attributes(sftp::PacketWriter(sftp::PacketType::Attributes)
                                      .add32(0x1 | 0x2 | 0x4 | 0x8)
                                      .add64(4096)
                                      .add32(0)
                                      .add32(0)
                                      .add32(040755)
                                      .add32(1)
                                      .add32(2)
                                      .bytes()
                                      .mid(4));
    const sftp::FileAttributes folder = sftp::takeAttributes(attributes);
    EXPECT_EQ(folder.size, 4096u);
    EXPECT_TRUE(folder.isFolder());
    EXPECT_TRUE(attributes.atEnd());
}

struct UploadCase {
    const char* label;
    bool tempNames;
    QString name;
    qsizetype size;
};

void PrintTo(const UploadCase& row, std::ostream* out)
{
    *out << row.label;
}

class SftpUpload : public testing::TestWithParam<UploadCase> {};

TEST_P(SftpUpload, ReplacesTheOldNoticeByteForByteUnderItsUtf8Name)
{
    const UploadCase& row = GetParam();
    SshServerProcess server;
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(QDir(server.rootPath()).mkdir(QStringLiteral("通知")));
    const QString target = server.rootPath() + QStringLiteral("/通知/") + row.name;
    ASSERT_TRUE(appendTo(target, "the old notice, longer than some new ones"));
    const QByteArray content = randomBytes(row.size, quint32(row.size + 1));
    const QString local = writeFile(folder, QStringLiteral("local.bin"), content);

    SftpSession session;
    // The session's stop knows when a file is in transfer: from its first piece, once.
    int transferStarts = 0;
    bool wasInTransfer = false;
    session.OnActivity = [&] {
        transferStarts += session.stop().inTransfer() && !wasInTransfer;
        wasInTransfer = session.stop().inTransfer();
    };
    SessionSettings settings = settingsFor(server);
    settings.tempNames = row.tempNames;
    openAt(session, server, settings);
    EXPECT_TRUE(session.isOpen());
    EXPECT_EQ(session.nameEncoding(), NameEncoding::Utf8);
    session.changeFolder(QStringLiteral("通知"));
    EXPECT_EQ(session.folder(), QFile::encodeName(server.rootPath() + QStringLiteral("/通知")));
    session.upload(local, row.name);
    EXPECT_EQ(transferStarts, row.size > 0 ? 1 : 0);
    EXPECT_FALSE(session.stop().inTransfer());
    EXPECT_EQ(session.lastUpload().size, row.size);
    EXPECT_EQ(session.lastUpload().sent, row.size);
    EXPECT_EQ(session.lastUpload().verification, Verification::Size);
    session.close();
    EXPECT_FALSE(session.isOpen());

    EXPECT_TRUE(contentOf(target) == content) << contentOf(target).size();
    // Stored under the UTF-8 bytes of its name, and no temporary file is left.
    EXPECT_EQ(::access((QFile::encodeName(server.rootPath()) + "/\xe9\x80\x9a\xe7\x9f\xa5/"
                        + row.name.toUtf8())
                           .constData(),
                       F_OK),
              0);
    EXPECT_EQ(QDir(server.rootPath() + QStringLiteral("/通知")).entryList(QDir::Files),
              QStringList{row.name});
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SftpUpload,
    testing::Values(UploadCase{"Direct", false, QStringLiteral("notice.txt"), 3},
                    UploadCase{"TempName", true, QStringLiteral("notice.txt"), 5 * 1024 * 1024 + 7},
                    UploadCase{"ChineseDirect", false, QStringLiteral("发货通知.txt"), 70000},
                    UploadCase{"ChineseTempEmpty", true, QStringLiteral("发货通知.txt"), 0}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SftpHostKey, FirstContactIsAcceptedAChangedKeyEndsBeforeLoginAndKnownHostsVouches)
{
    SshServerProcess server({.passwordLogin = false});
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const QByteArray first = server.hostKeyFingerprint();

    SftpSession session;
    openAt(session, server, settingsFor(server));
    EXPECT_EQ(session.security().fingerprint, first);
    EXPECT_TRUE(session.security().encrypted);
    EXPECT_EQ(session.security().protocol, "SSH");
    EXPECT_FALSE(session.security().trustedBySystem);
    session.close();

    ASSERT_TRUE(server.changeHostKey()) << server.errorString().toStdString();
    const QByteArray second = server.hostKeyFingerprint();
    ASSERT_NE(first, second);
    const QByteArray logBefore = server.log();
    SessionSettings remembered = settingsFor(server);
    remembered.rememberedIdentity = first;
    try {
        openAt(session, server, remembered);
        ADD_FAILURE() << "a changed host key was accepted";
    } catch (const HostKeyChangedError& error) {
        EXPECT_EQ(error.remembered(), first);
        EXPECT_EQ(error.presented(), second);
        EXPECT_TRUE(error.message().contains(QString::fromLatin1(second)));
    }
    EXPECT_FALSE(session.isOpen());
    EXPECT_EQ(session.security().fingerprint, second);
    // No key was offered to the server: it never saw a login attempt.
    EXPECT_FALSE(server.log().mid(logBefore.size()).contains("publickey"))
        << server.log().toStdString();

    // The remembered key matches now; and a key in known_hosts is accepted whatever is
    // remembered.
    remembered.rememberedIdentity = second;
    EXPECT_NO_THROW(openAt(session, server, remembered));
    session.close();
    ASSERT_TRUE(appendTo(server.clientSshFolder() + QStringLiteral("/known_hosts"),
                         server.knownHostsLine()));
    remembered.rememberedIdentity = first;
    EXPECT_NO_THROW(openAt(session, server, remembered));
    EXPECT_TRUE(session.security().trustedBySystem);
    session.close();

    // known_hosts names another key than the server shows: refused, even on a first contact.
    ASSERT_TRUE(server.changeHostKey()) << server.errorString().toStdString();
    try {
        openAt(session, server, settingsFor(server));
        ADD_FAILURE() << "a key that contradicts known_hosts was accepted";
    } catch (const HostKeyChangedError& error) {
        EXPECT_TRUE(error.remembered() == second || error.remembered() == "known_hosts")
            << error.remembered().toStdString();
        EXPECT_EQ(error.presented(), server.hostKeyFingerprint());
    }
    EXPECT_FALSE(session.isOpen());
}

struct LoginCase {
    const char* label;
    bool serverTakesPasswords;
    const char* password;
    bool withKey;
    const char* message;
    int passwordsTried; // as the server logged them
};

void PrintTo(const LoginCase& row, std::ostream* out)
{
    *out << row.label;
}

class SftpLogin : public testing::TestWithParam<LoginCase> {};

TEST_P(SftpLogin, ARefusalNamesWhatTheServerOffersAfterOneAttempt)
{
    const LoginCase& row = GetParam();
    const testsupport::ScopedVariable noAgent("SSH_AUTH_SOCK", {}); // the tester's keys stay out
    SshServerProcess server({.passwordLogin = row.serverTakesPasswords});
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    if (!row.withKey) {
        ASSERT_TRUE(QFile::remove(server.clientSshFolder() + QStringLiteral("/id_ed25519")));
    }
    SessionSettings settings = settingsFor(server);
    settings.password = QString::fromUtf8(row.password);
    SftpSession session;
    session.setSshFolder(server.clientSshFolder());
    session.setLimits(5000, 10000);
    const QString message = failureOf<ServerRefusal>([&] { session.open(settings); });
    EXPECT_EQ(message, QString::fromUtf8(row.message).replace("%1", server.user()));
    EXPECT_FALSE(session.isOpen());
    // sshd logs after it answered.
    EXPECT_TRUE(testsupport::waitFor(
        [&] { return server.log().count("Failed password") >= row.passwordsTried; }));
    EXPECT_EQ(server.log().count("Failed password"), row.passwordsTried)
        << server.log().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SftpLogin,
    testing::Values(
        LoginCase{"WrongPassword", true, "not-the-password", true,
                  "Login refused for user %1: wrong user name or password (the server offers: "
                  "publickey, password)",
                  1},
        LoginCase{"PasswordToAKeyOnlyServer", false, "secret", true,
                  "The server does not offer password login (it offers: publickey)", 0},
        LoginCase{"NoKeyForAKeyOnlyServer", false, "", false,
                  "Login refused for user %1: none of your SSH keys was accepted (the server "
                  "offers: publickey)",
                  0}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SftpRefusal, AReadOnlyServerAMissingFolderAndRefusedRenamesAreTheServersWords)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QByteArray content = randomBytes(100000, 3);
    const QString local = writeFile(folder, QStringLiteral("n.txt"), content);
    SshServerProcess readOnly({.sftpOptions = "-R"});
    ASSERT_TRUE(readOnly.isRunning()) << readOnly.errorString().toStdString();
    SftpSession session; // its socket component keeps a fresh socket for the next open
    const qsizetype descriptors = openDescriptors();

    openAt(session, readOnly, settingsFor(readOnly));
    EXPECT_EQ(failureOf<ServerRefusal>([&] { session.upload(local, QStringLiteral("n.txt")); }),
              "Cannot store n.txt: Permission denied");
    EXPECT_EQ(failureOf<ServerRefusal>([&] { session.changeFolder(QStringLiteral("missing")); }),
              "Cannot change to folder missing: No such file");
    // The session goes on after a refusal.
    EXPECT_TRUE(session.isOpen());
    EXPECT_NO_THROW(session.changeFolder(QStringLiteral(".")));
    session.close();

    // The requests a server refuses: posix-rename is used where offered, else the old
    // notice is removed and the file renamed; refused, the temporary file stays (and
    // without posix-rename the old notice is gone already).
    const struct {
        QByteArray denied;
        QString refusal;
    } rows[] = {
        {"rename", {}},
        {"posix-rename", {}},
        {"posix-rename,rename", "Cannot rename n.txt.part to n.txt: Permission denied"},
    };
    for (const auto& row : rows) {
        SshServerProcess server({.sftpOptions = "-P " + row.denied});
        ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
        ASSERT_TRUE(appendTo(server.rootPath() + "/n.txt", "old"));
        SessionSettings settings = settingsFor(server);
        settings.tempNames = true;
        openAt(session, server, settings);
        EXPECT_EQ(failureOf<RenameError>([&] { session.upload(local, QStringLiteral("n.txt")); }),
                  row.refusal.isEmpty() ? "<no exception>" : row.refusal)
            << row.denied.toStdString();
        session.close();
        EXPECT_EQ(QDir(server.rootPath()).entryList(QDir::Files),
                  row.refusal.isEmpty() ? QStringList{"n.txt"} : QStringList{"n.txt.part"});
        EXPECT_EQ(contentOf(server.rootPath() + "/n.txt") == content, row.refusal.isEmpty());
    }
    // Each closed session closed its descriptors, libssh's copy among them.
    EXPECT_EQ(openDescriptors(), descriptors);
}

TEST(SftpStop, AbortCutsTheFileAtOnceAndStopWaitingEndsAfterIt)
{
    SshServerProcess server;
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // Mostly holes: quick to read, long to send.
    QFile big(folder.filePath(QStringLiteral("big.bin")));
    constexpr qint64 bigSize = 512LL * 1024 * 1024;
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(bigSize));
    big.close();
    const QString small = writeFile(folder, QStringLiteral("small.bin"), randomBytes(3 << 20, 9));

    SessionSettings settings = settingsFor(server);
    settings.tempNames = true;
    {
        SftpSession session;
        openAt(session, server, settings);
        QueuedStop stop(session, 1 << 20, [&] { session.abortTransfer(); });
        try {
            session.upload(big.fileName(), QStringLiteral("big.bin"));
            ADD_FAILURE() << "the upload was not stopped";
        } catch (const AbortError& error) {
            EXPECT_EQ(error.failure(), SocketFailure::Stopped);
        }
        EXPECT_GE(stop.sinceStop(), 0);
        EXPECT_LT(stop.sinceStop(), 200);
        EXPECT_LT(session.lastUpload().sent, bigSize);
        EXPECT_FALSE(session.isOpen());
    }
    {
        SftpSession session;
        openAt(session, server, settings);
        QueuedStop stop(session, 1 << 20, [&] { session.stopWaiting(); });
        EXPECT_EQ(failureOf<AbortError>([&] {
                      session.upload(small, QStringLiteral("small.bin"));
                  }).left(13),
                  "Stopped while");
        // The whole file went, but its size was never checked nor its name given.
        EXPECT_EQ(session.lastUpload().sent, 3 << 20);
        EXPECT_EQ(session.lastUpload().verification, Verification::NotChecked);
    }
    QThread::msleep(100); // time for a rename the client should not have sent
    const QStringList left = QDir(server.rootPath()).entryList(QDir::Files);
    EXPECT_FALSE(left.contains("big.bin") || left.contains("small.bin"))
        << left.join(' ').toStdString();
}

TEST(SftpStop, AConnectionCutMidFileIsASocketFailureAndNothingIsDelivered)
{
    SshServerProcess server;
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile big(folder.filePath(QStringLiteral("big.bin")));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(512LL * 1024 * 1024));
    big.close();
    SessionSettings settings = settingsFor(server);
    settings.tempNames = true;
    SftpSession session;
    openAt(session, server, settings);
    int killed = 0;
    QueuedStop cut(session, 1 << 20, [&] { killed = server.cutConnections(); });
    try {
        session.upload(big.fileName(), QStringLiteral("big.bin"));
        ADD_FAILURE() << "the upload survived its connection";
    } catch (const SocketError& error) {
        EXPECT_TRUE(error.failure() == SocketFailure::Closed
                    || error.failure() == SocketFailure::Reset)
            << int(error.failure()) << ' ' << error.message().toStdString();
        EXPECT_TRUE(error.message().contains(QString::number(server.port())))
            << error.message().toStdString();
    }
    EXPECT_GE(killed, 1);
    EXPECT_LT(cut.sinceStop(), 2000);
    EXPECT_FALSE(session.isOpen());
    EXPECT_FALSE(QFile::exists(server.rootPath() + QStringLiteral("/big.bin")));
    // What comes after needs a new open.
    EXPECT_EQ(failureOf<SocketError>([&] { session.upload(big.fileName(), "again.bin"); }),
              "Not connected to 127.0.0.1");
    EXPECT_EQ(failureOf<SocketError>([&] { session.changeFolder("."); }),
              "Not connected to 127.0.0.1");
}

TEST(SftpStop, TheHandshakeEndsAtStopAndAtTheConnectLimitAndAnFtpServerIsNamed)
{
    // Takes connections (the kernel's backlog) and never says a word.
    quint16 port = 0;
    const int silent = listeningSocket(port);
    ASSERT_GE(silent, 0);
    const auto closeSilent = qScopeGuard([silent] { ::close(silent); });
    SessionSettings settings;
    settings.protocol = Protocol::Sftp;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = port;
    settings.user = QStringLiteral("user");

    SftpSession session;
    session.setLimits(300, 60000);
    QElapsedTimer clock;
    clock.start();
    try {
        session.open(settings);
        ADD_FAILURE() << "a silent server was taken for an SSH server";
    } catch (const SocketError& error) {
        EXPECT_EQ(error.failure(), SocketFailure::TimedOut) << error.message().toStdString();
    }
    EXPECT_GE(clock.elapsed(), 290);
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_FALSE(session.serverAnswered());

    // Half a banner, and no more: the wait for the rest costs no processor time.
    quint16 halfPort = 0;
    const int half = listeningSocket(halfPort);
    ASSERT_GE(half, 0);
    const auto closeHalf = qScopeGuard([half] { ::close(half); });
    settings.port = halfPort;
    int accepted = -1;
    QTimer::singleShot(20, [&] {
        accepted = ::accept4(half, nullptr, nullptr, SOCK_CLOEXEC);
        ::send(accepted, "SSH-2.0-half", 12, MSG_NOSIGNAL);
    });
    timespec cpuBefore{}, cpuAfter{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuBefore);
    clock.restart();
    const QString halfBanner = failureOf<SocketError>([&] { session.open(settings); });
    EXPECT_TRUE(halfBanner.endsWith(": no SSH handshake within 0.3 s")) << halfBanner.toStdString();
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuAfter);
    const double cpuMs =
        (cpuAfter.tv_sec - cpuBefore.tv_sec) * 1e3 + (cpuAfter.tv_nsec - cpuBefore.tv_nsec) / 1e6;
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_LT(cpuMs, 60.0);
    EXPECT_TRUE(session.serverAnswered());
    ::close(accepted);
    settings.port = port;

    session.setLimits(60000, 60000);
    clock.restart();
    QTimer::singleShot(100, [&] { session.stopWaiting(); });
    try {
        session.open(settings);
        ADD_FAILURE() << "Stop did not end the wait for the banner";
    } catch (const AbortError& error) {
        EXPECT_EQ(error.failure(), SocketFailure::Stopped);
    }
    EXPECT_LT(clock.elapsed(), 300);

    testsupport::FtpServerProcess ftp;
    ASSERT_TRUE(ftp.isRunning()) << ftp.errorString().toStdString();
    settings.port = ftp.port();
    session.setLimits(3000, 3000);
    clock.restart();
    const QString message = failureOf<SocketError>([&] { session.open(settings); });
    EXPECT_TRUE(message.startsWith("Not an SSH server: 220 ")) << message.toStdString();
    EXPECT_FALSE(message.contains('\r') || message.contains('\n'));
    EXPECT_TRUE(session.serverAnswered());
    EXPECT_LT(clock.elapsed(), 1000);
}

TEST(SftpThreads, TwoStationsUploadSideBySide)
{
    SshServerProcess server;
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    std::vector<QString> files;
    for (int i = 0; i < 2; ++i)
        files.push_back(writeFile(folder, QStringLiteral("n%1").arg(i), randomBytes(400000, i)));
    testsupport::runOnWorkerThreads(2, [&](int i) {
        SftpSession session;
        openAt(session, server, settingsFor(server));
        session.upload(files[i], QStringLiteral("n%1.txt").arg(i));
        session.close();
    });
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(contentOf(server.rootPath() + QStringLiteral("/n%1.txt").arg(i))
                    == randomBytes(400000, i));
}
