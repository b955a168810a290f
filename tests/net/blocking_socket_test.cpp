// BlockingSocket against a peer on 127.0.0.1: connecting, lines, replies, files, listening.
#include "net/BlockingSocket.h"
#include "net/WindowTimer.h"
#include "net/compat/messages.h"
#include "net/compat/winsock.h"
#include "platform/application.h"
#include "platform/exception.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/ScriptedFtpPeer.h"
#include "tests/support/WaitFor.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <tuple>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ws = compat::winsock;
using Peer = testsupport::ScriptedFtpPeer;
using namespace std::chrono_literals;

namespace {

// The socket with the building blocks it gives a protocol on top of it, and its
// time-out flag, opened up for the tests.
class ProtocolSocket : public BlockingSocket {
public:
    using BlockingSocket::CheckConnection;
    using BlockingSocket::DataAvailable;
    using BlockingSocket::Read;
    using BlockingSocket::TimedOut;
};

template <typename Error = platform::Exception>
QString messageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Error& error) {
        return error.message();
    }
    return QStringLiteral("<no exception>");
}

// The socket error an action raises, or none.
std::optional<SocketError> socketErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const SocketError& error) {
        return error;
    }
    return std::nullopt;
}

// What a failed connection tells: message, kind, the system's words and where it went.
void expectFailure(const std::optional<SocketError>& error, const QString& message,
                   SocketFailure failure, const QString& reason = {},
                   SocketEndpoint::Role role = SocketEndpoint::Role::Control)
{
    ASSERT_TRUE(error.has_value()) << message.toStdString();
    EXPECT_EQ(error->message(), message);
    EXPECT_EQ(error->failure(), failure) << message.toStdString();
    EXPECT_EQ(error->systemReason(), reason);
    ASSERT_TRUE(error->endpoint().has_value());
    EXPECT_EQ(error->endpoint()->role, role);
    EXPECT_TRUE(message.contains(QString::fromLatin1(error->endpoint()->address) + ':'
                                 + QString::number(error->endpoint()->port))
                || failure == SocketFailure::Stopped || error->endpoint()->address.isEmpty())
        << message.toStdString();
}

void aim(BlockingSocket& sock, quint16 port, const QByteArray& host = "127.0.0.1")
{
    sock.Host = host;
    sock.Port = port;
}

// A listening peer completes a connect even before it accepts it.
std::unique_ptr<ProtocolSocket> connectedTo(quint16 port)
{
    auto sock = std::make_unique<ProtocolSocket>();
    aim(*sock, port);
    sock->Connect();
    return sock;
}

// Connects to a peer that sends one line, and reads it.
QByteArray connectAndReadLine(BlockingSocket& sock, const QByteArray& line)
{
    Peer peer;
    peer.send(line).start();
    sock.Port = peer.port();
    sock.Connect();
    return sock.ReadLn();
}

using testsupport::waitFor;

// Removes the error injector at the end of a test, whatever happens.
struct InjectorReset {
    ~InjectorReset() { ws::setErrorInjector({}); }
};

QString writeRandomFile(const QTemporaryDir& dir, qsizetype size, QByteArray& content)
{
    content = QByteArray(size, 0);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(content.data()), size / 4);
    const QString path = dir.filePath(QStringLiteral("file%1.bin").arg(size));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == size);
    return path;
}

// A plain blocking socket on 127.0.0.1, closed when it goes.
struct RawSocket {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    ~RawSocket() { ::close(fd); }
    quint16 listen(int backlog)
    {
        socklen_t length = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(fd, backlog);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        return ntohs(address.sin_port);
    }
    void connect(quint16 port)
    {
        address.sin_port = htons(port);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
};

// Receives `size` bytes on a blocking socket, or what arrives within two seconds.
QByteArray receive(int fd, qsizetype size)
{
    const timeval limit{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    QByteArray bytes;
    char buffer[65536];
    while (bytes.size() < size) {
        const ssize_t n = ::recv(
            fd, buffer, std::min<std::size_t>(sizeof buffer, std::size_t(size - bytes.size())), 0);
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    return bytes;
}

} // namespace

TEST(BlockingSocketReadLn, AssemblesLinesFromSegmentsAndLeavesTheRestWaiting)
{
    Peer peer;
    peer.send("220 Re")
        .delay(60ms)
        .send("ady\r\nfirst\r\nsecond\n")
        .delay(60ms)
        .send("no line end")
        .delay(60ms)
        .drop();
    const QByteArray longest = QByteArray(65535, 'a') + '\n';
    peer.send(longest + QByteArray(65537, 'b')); // to the second connection
    peer.start();
    auto sock = connectedTo(peer.port());
    int disconnects = 0;
    sock->OnDisconnect = [&](QObject*) { ++disconnects; };
    EXPECT_EQ(sock->ReadLn(), QByteArray("220 Ready\r\n"));
    EXPECT_EQ(sock->ReadLn(), QByteArray("first\r\n"));
    EXPECT_TRUE(sock->DataAvailable()); // the second line stays in the socket
    EXPECT_EQ(sock->ReadLn(), QByteArray("second\n"));
    QTest::qWait(250);
    EXPECT_TRUE(sock->Connected); // the peer has closed, but its last bytes still wait
    // The peer closed before the line ended: an empty text, no error.
    EXPECT_EQ(sock->ReadLn(), QByteArray());
    EXPECT_TRUE(waitFor([&] { return !sock->Connected; }));
    QTest::qWait(50);
    EXPECT_EQ(disconnects, 1);

    sock = connectedTo(peer.port());
    EXPECT_EQ(sock->ReadLn(), longest);
    EXPECT_EQ(messageOf([&] { sock->ReadLn(); }),
              QStringLiteral("Line too long: no line end within 65536 bytes"));
}

TEST(BlockingSocketTransaction, SendsTheCommandLineAndReportsTheReplyLine)
{
    Peer peer;
    peer.reply("220-Welcome\r\n").reply("Hello there\r\n");
    peer.command().drop();
    peer.start();
    auto sock = connectedTo(peer.port());
    QByteArrayList statuses;
    sock->ReportLevel = 1;
    sock->OnStatus = [&](QObject* sender, const QByteArray& status) {
        EXPECT_EQ(sender, sock.get());
        statuses << status;
    };
    EXPECT_EQ(sock->Transaction("USER anna"), QByteArray("220-Welcome\r\n"));
    EXPECT_EQ(sock->Transaction("NOOP"), QByteArray("Hello there\r\n"));
    // The peer closes instead of replying.
    EXPECT_EQ(sock->Transaction("QUIT"), QByteArray());
    EXPECT_EQ(peer.commands(), (QByteArrayList{"USER anna\r\n", "NOOP\r\n", "QUIT\r\n"}));
    EXPECT_EQ(statuses, (QByteArrayList{"220-Welcome\r\n", "Hello there\r\n"}));
}

TEST(BlockingSocketReadWrite, ReadTakesWhatWaitsOrACountAndACommandEndsAtAZeroByte)
{
    RawSocket listener;
    auto sock = connectedTo(listener.listen(1));
    const int peer = ::accept(listener.fd, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    EXPECT_EQ(sock->Read(0), QByteArray()); // nothing waiting
    ::send(peer, "12345", 5, 0);
    ASSERT_TRUE(waitFor([&] { return sock->DataAvailable(); }));
    QTest::qWait(30);
    EXPECT_EQ(sock->Read(0), QByteArray("12345"));
    ::send(peer, "ab", 2, 0);
    QTimer::singleShot(80, [&] { ::send(peer, "cdef", 4, 0); });
    EXPECT_EQ(sock->Read(5), QByteArray("abcde")); // waits for the second segment
    ASSERT_TRUE(waitFor([&] { return sock->DataAvailable(); }));
    EXPECT_EQ(sock->Read(0), QByteArray("f"));

    // A command with its line end may take 65535 bytes; a zero byte in it ends what is
    // sent, line end included, before the limit matters. Each command takes one reply.
    ::send(peer, "1\r\n2\r\n3\r\n4\r\n", 12, 0);
    const QString tooLong =
        QStringLiteral("Text to send is too long: 65536 bytes, at most 65535 allowed");
    EXPECT_EQ(sock->Transaction(QByteArray("ab\0cd", 5)), QByteArray("1\r\n"));
    EXPECT_EQ(sock->Transaction("hi"), QByteArray("2\r\n"));
    EXPECT_EQ(messageOf([&] { sock->Transaction(QByteArray(65534, 'x')); }), tooLong);
    EXPECT_EQ(sock->Transaction(QByteArray(3, 'z') + '\0' + QByteArray(70000, 'q')),
              QByteArray("3\r\n"));
    EXPECT_EQ(sock->Transaction(QByteArray(65533, 'y')), QByteArray("4\r\n"));
    const QByteArray sent = "abhi\r\nzzz" + QByteArray(65533, 'y') + "\r\n";
    EXPECT_TRUE(receive(peer, sent.size() + 1) == sent);
    ::close(peer);
}

TEST(BlockingSocketSendFile, SendsWholeFilesInBlocksAndReportsEachPacket)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Without a reader of the data the kernel sends the file (zero-copy); with one, each
    // piece passes through the buffer: both deliver the same bytes.
    for (const bool readerOfData : {false, true})
        for (const qsizetype size : {qsizetype(0), qsizetype(65536), qsizetype(65537)}) {
            SCOPED_TRACE(testing::Message() << size << (readerOfData ? " read" : " zero-copy"));
            QByteArray content;
            const QString path = writeRandomFile(dir, size, content);
            Peer peer;
            peer.command(); // takes the connection; the rest is recorded as it comes
            peer.start();
            auto sock = connectedTo(peer.port());
            int packets = 0;
            sock->OnPacketSent = [&](QObject* sender) {
                EXPECT_EQ(sender, sock.get());
                ++packets;
            };
            QByteArray seen;
            if (readerOfData)
                sock->OnFileData = [&](const char* data, qsizetype bytes) {
                    seen.append(data, bytes);
                };
            sock->SendFile(path);
            EXPECT_EQ(packets == 0, size == 0);
            EXPECT_GE(packets, int((size + 65535) / 65536));
            EXPECT_TRUE(seen == (readerOfData ? content : QByteArray()));
            EXPECT_FALSE(sock->cancelPending());
            // A file sent whole ends in order: it all arrives before the close.
            sock->Disconnect();
            EXPECT_TRUE(peer.waitUntilFinished());
            EXPECT_TRUE(peer.commands().join() == content);
        }
    BlockingSocket sock;
    EXPECT_EQ(messageOf([&] { sock.SendFile(dir.filePath(QStringLiteral("missing"))); }),
              QStringLiteral("File not found"));
}

TEST(BlockingSocketSendFile, CancelEndsTheTransferAndACanceledFileIsResetButASentOneDelivered)
{
    QTemporaryDir dir;
    QByteArray content;
    const QString path = writeRandomFile(dir, 32 * 1024 * 1024, content);
    // The reader takes nothing until released: until then the send blocks, or the tail stays
    // queued.
    RawSocket listener;
    const quint16 port = listener.listen(4);
    std::atomic<bool> release{false};
    QByteArray received;
    bool reset = false;
    std::thread reader;
    const auto connectReader = [&] {
        auto sock = connectedTo(port);
        reader = std::thread([&, fd = ::accept(listener.fd, nullptr, nullptr)] {
            while (!release)
                std::this_thread::sleep_for(5ms);
            char buffer[65536];
            ssize_t n = 0;
            for (received.clear(); (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
                received.append(buffer, n);
            reset = n < 0 && errno == ECONNRESET;
            ::close(fd);
        });
        return sock;
    };

    // A cancel from a timer of the window ends a blocked send.
    auto sock = connectReader();
    int packets = 0;
    sock->OnPacketSent = [&](QObject*) { ++packets; };
    QTimer::singleShot(150, [&] { sock->Cancel(); });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(messageOf<AbortError>([&] { sock->SendFile(path); }),
              QStringLiteral("Socket send aborted"));
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_GT(packets, 0);
    EXPECT_FALSE(sock->cancelPending());

    // An abort from the packet handler stops after that packet; the close then resets.
    packets = 0;
    sock->OnPacketSent = [&](QObject*) {
        ++packets;
        sock->Abort();
    };
    EXPECT_EQ(messageOf<AbortError>([&] { sock->SendFile(path); }),
              QStringLiteral("Socket send aborted"));
    EXPECT_EQ(packets, 1);
    EXPECT_FALSE(sock->cancelPending());
    sock->Disconnect();
    release = true;
    reader.join();
    EXPECT_TRUE(reset);

    // Closed gracefully, even a cut transfer ends in order: what was sent arrives.
    release = false;
    sock = connectReader();
    sock->OnPacketSent = [&](QObject*) { sock->Abort(); };
    EXPECT_EQ(messageOf<AbortError>([&] { sock->SendFile(path); }),
              QStringLiteral("Socket send aborted"));
    sock->closeGracefully();
    release = true;
    reader.join();
    EXPECT_FALSE(reset);
    EXPECT_GT(received.size(), 0);
    EXPECT_TRUE(received == content.left(received.size()));

    // A completely sent file is closed gracefully: its queued tail arrives whole.
    release = false;
    sock = connectReader(); // its first socket, which closes with a reset by default
    QTimer::singleShot(100, [&] { release = true; }); // the reader starts meanwhile
    sock->SendFile(path);
    sock->Disconnect();
    release = true;
    reader.join();
    EXPECT_FALSE(reset);
    EXPECT_EQ(received.size(), content.size());
    EXPECT_TRUE(received == content);
}

TEST(BlockingSocketListen, AcceptsAConnectionOnThePortTheStackChose)
{
    BlockingSocket data;
    data.Port = 0;
    data.Listen();
    const QByteArray commas = data.LocalPortCommas();
    const int port =
        ExtractField(commas, ',', 2).toInt() * 256 + ExtractField(commas, ',', 3).toInt();
    ASSERT_GT(port, 0);
    EXPECT_EQ(commas, ',' + QByteArray::number(port / 256) + ',' + QByteArray::number(port % 256));

    RawSocket client;
    client.connect(quint16(port));
    ASSERT_EQ(::send(client.fd, "150 data\r\n", 10, 0), 10);
    const int open = ws::openSocketCount();
    data.Accept();
    EXPECT_TRUE(data.Connected);
    EXPECT_EQ(ws::openSocketCount(), open); // the listening socket gave way to the accepted one
    EXPECT_EQ(data.LocalAddressCommas(), QByteArray("127,0,0,1"));
    EXPECT_EQ(data.ReadLn(), QByteArray("150 data\r\n"));
    ASSERT_EQ(::send(client.fd, "200 ok\r\n", 8, 0), 8);
    EXPECT_EQ(data.Transaction("k"), QByteArray("200 ok\r\n"));
    EXPECT_EQ(receive(client.fd, 4), QByteArray("k\r\n"));

    // Nobody connects: a cancel ends the wait and stays set.
    BlockingSocket idle;
    idle.Listen();
    QTimer::singleShot(50, [&] { idle.Cancel(); });
    EXPECT_EQ(messageOf([&] { idle.Accept(); }), QStringLiteral("Accepting Canceled"));
    EXPECT_TRUE(idle.cancelPending());
}

TEST(BlockingSocketConnect, AConnectThatHangsTimesOutOrIsCanceled)
{
    // A listener whose queue is full drops further connection requests, so a connect
    // to it neither succeeds nor fails.
    RawSocket full;
    const quint16 port = full.listen(0);
    std::vector<std::unique_ptr<RawSocket>> fillers;
    for (int i = 0; i < 3; ++i) {
        fillers.push_back(std::make_unique<RawSocket>());
        ::fcntl(fillers.back()->fd, F_SETFL, O_NONBLOCK);
        fillers.back()->connect(port);
    }
    QTest::qWait(50);

    ProtocolSocket sock, canceled, limited, stopped;
    for (BlockingSocket* s : {&sock, &canceled, &limited, &stopped})
        aim(*s, port);
    const QString timedOut =
        QStringLiteral("Connection to 127.0.0.1:%1 failed: timed out").arg(port);
    sock.TimeOut = 150;
    int failures = 0;
    sock.OnConnectionFailed = [&](QObject*) { ++failures; };
    QElapsedTimer clock;
    clock.start();
    expectFailure(socketErrorOf([&] { sock.Connect(); }), timedOut, SocketFailure::TimedOut);
    EXPECT_GE(clock.elapsed(), 140);
    EXPECT_EQ(failures, 1);
    EXPECT_TRUE(sock.TimedOut);
    EXPECT_TRUE(sock.cancelPending()); // the abort of the time-out stays until the next operation

    QTimer::singleShot(80, [&] { canceled.Cancel(); });
    EXPECT_EQ(messageOf([&] { canceled.Connect(); }), QStringLiteral("Connection Canceled"));
    limited.setIdleLimit(100);
    limited.setRole(SocketEndpoint::Role::Data);
    expectFailure(socketErrorOf([&] { limited.Connect(); }), "Data " + timedOut.toLower(),
                  SocketFailure::TimedOut, {}, SocketEndpoint::Role::Data);
    EXPECT_FALSE(limited.TimedOut);

    // A stop ends the wait at once, and every later one until the waits resume.
    QTimer::singleShot(50, [&] { stopped.stopWaits(); });
    clock.restart();
    const QString stopMessage =
        QStringLiteral("Stopped while connecting to 127.0.0.1:%1").arg(port);
    expectFailure(socketErrorOf([&] { stopped.Connect(); }), stopMessage, SocketFailure::Stopped);
    EXPECT_THROW(stopped.Connect(), AbortError);
    EXPECT_LT(clock.elapsed(), 200);
    stopped.resumeWaits();

    // An attempt given up on does not stand in the way of the next connect.
    for (BlockingSocket* abandoned : {&canceled, &limited, &stopped})
        EXPECT_EQ(connectAndReadLine(*abandoned, "next\r\n"), QByteArray("next\r\n"));
}

TEST(BlockingSocketConnect, RefusedThenADottedHostWithoutLookupAndAFreshSocketAfterClosing)
{
    BlockingSocket sock;
    int failures = 0, resolved = 0, connects = 0, disconnects = 0;
    sock.OnConnectionFailed = [&](QObject* sender) {
        EXPECT_EQ(sender, &sock);
        ++failures;
    };
    sock.OnHostResolved = [&](QObject*) { ++resolved; };
    sock.OnConnect = [&](QObject*) { ++connects; };
    sock.OnDisconnect = [&](QObject*) { ++disconnects; };
    const quint16 closed = Peer().port(); // nobody listens there any more
    aim(sock, closed);
    // The system's own words for why, and where the connection went.
    expectFailure(
        socketErrorOf([&] { sock.Connect(); }),
        QStringLiteral("Connection to 127.0.0.1:%1 failed: connection refused").arg(closed),
        SocketFailure::Refused, "connection refused");
    EXPECT_EQ(failures, 1);
    EXPECT_FALSE(sock.Connected);

    // The same component then reaches a server that does listen.
    Peer peer;
    peer.send("welcome\r\n").start();
    sock.Port = peer.port();
    sock.Connect();
    EXPECT_TRUE(sock.Connected);
    EXPECT_EQ(resolved, 0);
    EXPECT_EQ(connects, 1);
    EXPECT_EQ(messageOf([&] { sock.Connect(); }), QStringLiteral("Already connected"));
    EXPECT_EQ(sock.ReadLn(), QByteArray("welcome\r\n"));

    const int open = ws::openSocketCount();
    sock.Disconnect();
    EXPECT_FALSE(sock.Connected);
    EXPECT_EQ(disconnects, 1);
    EXPECT_EQ(ws::openSocketCount(), open); // closed one, opened a fresh one
    EXPECT_EQ(connectAndReadLine(sock, "again\r\n"), QByteArray("again\r\n"));
    EXPECT_EQ(connects, 2);
}

TEST(BlockingSocketConnect, LooksUpNamesAndGivesAnUnknownHostExactlyOneChance)
{
    BlockingSocket sock;
    int resolved = 0;
    sock.OnHostResolved = [&](QObject* sender) {
        EXPECT_EQ(sender, &sock);
        ++resolved;
    };
    sock.Host = "localhost";
    EXPECT_EQ(connectAndReadLine(sock, "hello\r\n"), QByteArray("hello\r\n"));
    EXPECT_EQ(resolved, 1);
    sock.Disconnect();

    InjectorReset reset;
    ws::setErrorInjector([](ws::Call call, ws::SOCKET) {
        return call == ws::Call::Lookup ? ws::WSAHOST_NOT_FOUND : 0;
    });
    sock.Host = "nowhere";
    sock.Port = 2121;
    const QString notFound = ws::systemReason(ws::WSAHOST_NOT_FOUND);
    EXPECT_FALSE(notFound.isEmpty());
    // A name without an address: the name is the whole story, the system's words come along.
    const auto expectLookupFailed = [&](const QByteArray& name) {
        const std::optional<SocketError> error = socketErrorOf([&] { sock.Connect(); });
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->message(), "Host lookup failed: " + QString::fromLatin1(name));
        EXPECT_EQ(error->failure(), SocketFailure::LookupFailed);
        EXPECT_EQ(error->systemReason(), notFound);
        ASSERT_TRUE(error->endpoint().has_value());
        EXPECT_EQ(error->endpoint()->role, SocketEndpoint::Role::Control);
        EXPECT_EQ(error->endpoint()->address, name);
        EXPECT_EQ(error->endpoint()->port, 2121);
    };
    expectLookupFailed("nowhere");

    int calls = 0;
    for (const bool handled : {true, false}) {
        calls = 0;
        sock.OnInvalidHost = [&](bool& done) {
            ++calls;
            sock.Host = handled ? "still-nowhere" : "";
            done = handled;
        };
        if (handled)
            expectLookupFailed("still-nowhere"); // the host as the handler left it
        else
            expectFailure(socketErrorOf([&] { sock.Connect(); }),
                          QStringLiteral("No host address given"), SocketFailure::LookupFailed);
        EXPECT_EQ(calls, 1);
    }
    sock.Host = "nowhere";
    sock.OnInvalidHost = [&](bool& handled) {
        sock.Host = "127.0.0.1";
        handled = true;
    };
    EXPECT_EQ(connectAndReadLine(sock, "found\r\n"), QByteArray("found\r\n"));

    // A cancel during the lookup reaches the caller as such.
    BlockingSocket waiting;
    waiting.Host = "nowhere";
    ws::setErrorInjector([&](ws::Call call, ws::SOCKET) {
        if (call == ws::Call::Lookup)
            waiting.Cancel(); // canceled before the answer is dispatched
        return call == ws::Call::Lookup ? ws::WSAHOST_NOT_FOUND : 0;
    });
    EXPECT_EQ(messageOf([&] { waiting.Connect(); }), QStringLiteral("Host Lookup Canceled"));

    // A lookup without an answer within the idle limit says so; the host is not refused.
    ws::setErrorInjector(
        [](ws::Call call, ws::SOCKET) { return call == ws::Call::Lookup ? -1 : 0; });
    BlockingSocket silent;
    silent.Host = "silent";
    silent.setIdleLimit(100);
    calls = 0;
    silent.OnInvalidHost = [&](bool&) { ++calls; };
    expectFailure(socketErrorOf([&] { silent.Connect(); }),
                  QStringLiteral("Connection to silent:0 failed: name lookup timed out"),
                  SocketFailure::TimedOut);
    EXPECT_EQ(calls, 0);
    // A stop ends the lookup's wait at once.
    silent.setIdleLimit(0);
    QTimer::singleShot(30, [&] { silent.stopWaits(); });
    QElapsedTimer clock;
    clock.start();
    expectFailure(socketErrorOf([&] { silent.Connect(); }),
                  QStringLiteral("Stopped while looking up silent"), SocketFailure::Stopped);
    EXPECT_LT(clock.elapsed(), 200);
}

TEST(BlockingSocketConnect, ALookupGivenUpCannotAnswerTheNextOne)
{
    // The first station's name answers late, with an address of its own; the second
    // station's lookup must not take that answer for its own.
    struct ResolverReset {
        ~ResolverReset() { ws::setResolver({}); }
    } reset;
    ws::setResolver([](const QByteArray& name) {
        const bool first = name == "first.test";
        std::this_thread::sleep_for(first ? 250ms : 400ms);
        return ws::AddrInfoAnswer{0, {*ws::SockAddr::fromText(first ? "::1" : "127.0.0.1")}};
    });
    Peer second;
    second.send("second station\r\n").start();
    BlockingSocket sock;
    sock.setIdleLimit(100);
    aim(sock, second.port(), "first.test");
    expectFailure(socketErrorOf([&] { sock.Connect(); }),
                  QStringLiteral("Connection to first.test:%1 failed: name lookup timed out")
                      .arg(second.port()),
                  SocketFailure::TimedOut);
    sock.setIdleLimit(3000);
    sock.Host = "second.test"; // its answer comes after the first one's late answer
    sock.Connect();
    EXPECT_EQ(sock.ReadLn(), QByteArray("second station\r\n"));
    EXPECT_EQ(sock.peerAddress(), QByteArray("127.0.0.1"));
}

TEST(BlockingSocketConnect, IPv6AddressesAndTheAddressesOfANameInTurn)
{
    const bool ipv6 = testsupport::hasIPv6Loopback();
    struct ResolverReset {
        ~ResolverReset() { ws::setResolver({}); }
    } reset;
    ws::setResolver([](const QByteArray& name) { // "A_B": the addresses A and B, in order
        ws::AddrInfoAnswer answer;
        for (const QByteArray& address : name.split('_'))
            answer.addresses.push_back(*ws::SockAddr::fromText(address.constData()));
        return answer;
    });
    // The host, and the peer's address (nobody listens at the others); "" the peer is missed.
    const std::vector<std::tuple<QByteArray, QByteArray, bool>> rows{
        {"::1", "::1", true},
        {"::1_127.0.0.1", "127.0.0.1", true},
        {"127.0.0.1_::1", "::1", true},
        {"::1", "127.0.0.1", false},
        {"127.0.0.1_::1_127.0.0.1", "127.0.0.2", false},
    };
    for (const auto& [host, listening, reached] : rows) {
        if (listening == "::1" && !ipv6)
            continue;
        SCOPED_TRACE(host.toStdString());
        Peer peer(listening);
        peer.send("over " + listening + "\r\n").start();
        BlockingSocket sock;
        aim(sock, peer.port(), host);
        int failures = 0;
        sock.OnConnectionFailed = [&](QObject*) { ++failures; };
        if (!reached) {
            // The connection is named after the host as given, not one of its addresses.
            expectFailure(socketErrorOf([&] { sock.Connect(); }),
                          "Connection to " + QString::fromLatin1(host) + ':'
                              + QString::number(peer.port()) + " failed: connection refused",
                          SocketFailure::Refused, ws::systemReason(ws::WSAECONNREFUSED));
            EXPECT_EQ(failures, 1);
            continue;
        }
        sock.Connect();
        EXPECT_EQ(sock.ReadLn(), "over " + listening + "\r\n");
        EXPECT_EQ(sock.localAddress(), listening);
        EXPECT_EQ(sock.peerAddress(), listening);
        // After a close the component connects over IPv4 again, whatever the family was.
        sock.Disconnect();
        sock.Host = "127.0.0.1";
        EXPECT_EQ(connectAndReadLine(sock, "again\r\n"), QByteArray("again\r\n"));
    }
    if (!ipv6)
        GTEST_SKIP() << "this machine has no IPv6 loopback address ::1; its rows were skipped";
}

TEST(BlockingSocketConnect, OperationsThatNeedAConnectionAndTheStatusTextsOfTheReportLevel)
{
    ProtocolSocket sock;
    EXPECT_TRUE(compat::isWindowClassRegistered("BlockingSocketWindow"));
    EXPECT_TRUE(compat::isWindowClassRegistered("WindowTimerWindow"));
    EXPECT_EQ(compat::windowPointer(compat::findWindow("BlockingSocketWindow")), &sock);
    EXPECT_NE(compat::windowPointer(compat::findWindow("WindowTimerWindow")),
              nullptr); // its time-out timer

    EXPECT_EQ(messageOf([&] { sock.CheckConnection(); }), QStringLiteral("Not Connected"));
    Peer peer;
    peer.reply("1\r\n").reply("2\r\n").start();
    aim(sock, peer.port());
    int calls = 0;
    // First it claims to have connected but has not; then it does connect.
    for (const bool connect : {false, true}) {
        calls = 0;
        sock.OnConnectionRequired = [&](bool& handled) {
            ++calls;
            if (connect)
                sock.Connect();
            handled = true;
        };
        EXPECT_EQ(messageOf([&] { sock.CheckConnection(); }),
                  connect ? "<no exception>" : "Not Connected");
        EXPECT_EQ(calls, 1);
    }
    EXPECT_NO_THROW(sock.CheckConnection());
    EXPECT_EQ(calls, 1);

    // A send that finds a cancel pending sends nothing, clears it and reports the abort.
    sock.Cancel();
    EXPECT_EQ(messageOf([&] { sock.Transaction("lost"); }), QStringLiteral("Socket send aborted"));
    EXPECT_FALSE(sock.cancelPending());

    // Level 4 adds the transfer steps to the dialogue; 0 reports nothing.
    QByteArrayList statuses;
    sock.OnStatus = [&](QObject*, const QByteArray& status) { statuses << status; };
    sock.ReportLevel = 4;
    sock.Transaction("a");
    sock.ReportLevel = 0;
    sock.Transaction("b");
    EXPECT_EQ(peer.commands(), (QByteArrayList{"a\r\n", "b\r\n"})); // nothing of "lost"
    sock.ReportLevel = 4;
    sock.Disconnect();
    EXPECT_EQ(statuses, (QByteArrayList{"Sending Buffer", "1\r\n", "Request Close Socket"}));
    statuses.clear();
    sock.ReportLevel = 8;
    sock.Cancel();
    sock.Abort();
    EXPECT_EQ(statuses, (QByteArrayList{"Canceling", "Abort", "Canceling"}));
    // A failing status handler is not the operation's problem.
    sock.OnStatus = [](QObject*, const QByteArray&) { throw SocketError("handler"); };
    EXPECT_NO_THROW(sock.Cancel());

    // Reading on a socket that is not connected gives an empty line.
    ProtocolSocket unconnected;
    EXPECT_EQ(unconnected.ReadLn(), QByteArray());
    EXPECT_FALSE(unconnected.DataAvailable());
}

TEST(BlockingSocketTimer, ArmsOnlyWithIntervalEnabledAndHandler)
{
    WindowTimer timer;
    EXPECT_FALSE(timer.isArmed()); // no handler yet
    int ticks = 0;
    timer.setOnTimer([&](QObject* sender) {
        EXPECT_EQ(sender, &timer);
        ++ticks;
    });
    EXPECT_TRUE(timer.isArmed());
    timer.setInterval(0);
    EXPECT_FALSE(timer.isArmed());
    timer.setInterval(1000);
    EXPECT_TRUE(timer.isArmed());
    timer.setEnabled(false);
    EXPECT_FALSE(timer.isArmed());

    // Setters act only on a change; a refused timer raises "No Timer".
    compat::setTimerRefusedForTesting(true);
    timer.setEnabled(false);
    EXPECT_EQ(messageOf([&] { timer.setEnabled(true); }), QStringLiteral("No Timer"));
    EXPECT_NO_THROW(timer.setEnabled(true));
    compat::setTimerRefusedForTesting(false);

    timer.setEnabled(false);
    timer.setInterval(20);
    timer.setEnabled(true);
    EXPECT_TRUE(waitFor([&] { return ticks >= 2; }));
    timer.setEnabled(false);
    const int seen = ticks;
    QTest::qWait(100);
    EXPECT_EQ(ticks, seen);

    // The activation broadcast is ignored.
    compat::PostMessage(timer.window(), compat::WM_ACTIVATEAPP_BROADCAST, 0, 0);
    compat::processMessages();
    EXPECT_EQ(ticks, seen);

    // A failing handler goes to the central handler, not through the window procedure.
    QStringList boxes;
    auto previous = platform::setErrorBoxHook([&](const QString& text) { boxes << text; });
    timer.setOnTimer([](QObject*) { throw platform::Exception(QStringLiteral("boom")); });
    compat::PostMessage(timer.window(), compat::WM_TIMER, 1, 0);
    compat::processMessages();
    platform::setErrorBoxHook(previous);
    EXPECT_EQ(boxes, QStringList{QStringLiteral("boom。")});
}

TEST(BlockingSocketTimer, TimeOutAbortsAWaitingReadAndDisarms)
{
    Peer peer; // listens, but never says anything
    auto sock = connectedTo(peer.port());
    QByteArrayList timerSteps;
    sock->ReportLevel = 8;
    sock->OnStatus = [&](QObject*, const QByteArray& status) {
        if (status.startsWith("Timer "))
            timerSteps << status;
    };
    sock->TimeOut = 100;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(messageOf<AbortError>([&] { sock->ReadLn(); }),
              QStringLiteral("Socket readln aborted"));
    EXPECT_GE(clock.elapsed(), 90);
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(sock->TimedOut);
    EXPECT_FALSE(sock->cancelPending());
    // Disarmed: no second time-out follows.
    QTest::qWait(250);
    EXPECT_EQ(timerSteps,
              (QByteArrayList{"Timer On", "Timer Triggered", "Timer Off", "Timer Off"}));

    // The optional idle limit ends a wait on a silent peer with its own message, before
    // the time-out, which it disarms.
    timerSteps.clear();
    sock->TimeOut = 300;
    sock->setIdleLimit(150);
    clock.restart();
    EXPECT_EQ(messageOf([&] { sock->ReadLn(); }), QStringLiteral("No data received within 0.15 s"));
    EXPECT_GE(clock.elapsed(), 140);
    QTest::qWait(300);
    EXPECT_EQ(timerSteps, (QByteArrayList{"Timer On", "Timer Off"}));
}

TEST(BlockingSocketErrors, ErrorTextsAndReportedSocketErrors)
{
    Peer peer;
    auto connected = connectedTo(peer.port());
    InjectorReset reset;
    const auto failReceiving = [](int error) {
        ws::setErrorInjector(
            [error](ws::Call call, ws::SOCKET) { return call == ws::Call::Recv ? error : 0; });
    };
    QByteArrayList errors;
    connected->OnError = [&](QObject*, quint16 number, const QByteArray& text) {
        errors << QByteArray::number(number) + ' ' + text;
    };
    failReceiving(ws::WSAECONNRESET);
    EXPECT_EQ(messageOf([&] { connected->ReadLn(); }),
              QStringLiteral("10054:Connection reset by peer"));
    EXPECT_EQ(errors, QByteArrayList{"10054 10054:Connection reset by peer"});

    // The message is the socket table's; the system's words come with a code of their own.
    const std::vector<std::tuple<int, QString, std::optional<NetCode>>> texts{
        {10061, "10061:Connection refused", NetCode::ConnectionRefused},
        {11004, "11004:Valid name, no data record of requested type", NetCode::OtherSystemError},
        {10047, "10047:Address family not supported by protocol family",
         NetCode::FamilyNotSupported},
        {10013, "10013:Permission denied", NetCode::PermissionDenied},
        {12345, "Unknown Error No. 12345", std::nullopt}};
    for (const auto& [number, text, cause] : texts) {
        failReceiving(number);
        const std::optional<SocketError> error = socketErrorOf([&] { connected->Read(0); });
        ASSERT_TRUE(error.has_value()) << number;
        EXPECT_EQ(error->message(), text);
        EXPECT_TRUE(platform::isCode(error->reason(), NetCode::SocketErrorText)) << number;
        EXPECT_EQ(bool(error->systemCause()), cause.has_value()) << number;
        if (cause) {
            EXPECT_TRUE(platform::isCode(error->systemCause(), *cause)) << number;
            EXPECT_EQ(error->systemCause()->englishText(), error->systemReason());
        }
    }
    // Would-block is no error; numbers up to 10000 are not errors here.
    for (const int tolerated : {int(ws::WSAEWOULDBLOCK), 10000}) {
        failReceiving(tolerated);
        EXPECT_EQ(connected->Read(0), QByteArray()) << tolerated;
    }
    EXPECT_EQ(errors.size(), 1 + qsizetype(texts.size()));
}

// Each code's English words, which the command-line tools and the tests read as messages;
// a part that holds "%2" stays as it is, and a wrapped reason reads as its own words.
TEST(BlockingSocketErrors, EachReasonCodeHasItsEnglishWords)
{
    using platform::reason;
    const platform::ReasonPtr refused = reason(NetCode::ConnectionRefused, {"connection refused"});
    const std::vector<std::pair<platform::ReasonPtr, QString>> rows{
        {reason(NetCode::WinsockUnavailable), "Initializaton of windows sockets failed"},
        {reason(NetCode::HostLookupFailed, {"a%2b"}), "Host lookup failed: a%2b"},
        {reason(NetCode::NameLookupTimedOut), "name lookup timed out"},
        {reason(NetCode::LookupTimedOut), "Host Lookup Timed Out"},
        {reason(NetCode::LookupCanceled), "Host Lookup Canceled"},
        {reason(NetCode::NoHostAddress), "No host address given"},
        {reason(NetCode::AlreadyConnected), "Already connected"},
        {reason(NetCode::NotConnected), "Not Connected"},
        {reason(NetCode::ConnectionFailed, {"::1:21", refused}),
         "Connection to ::1:21 failed: connection refused"},
        {reason(NetCode::DataConnectionFailed, {"h%1:5", reason(NetCode::TimedOut)}),
         "Data connection to h%1:5 failed: timed out"},
        {reason(NetCode::ConnectionCanceled), "Connection Canceled"},
        {reason(NetCode::Stopped, {"waiting for 127.0.0.1:21"}),
         "Stopped while waiting for 127.0.0.1:21"},
        {reason(NetCode::NoReply, {"0.5"}), "No reply within 0.5 s"},
        {reason(NetCode::ReplyUnfinished, {"60"}), "The reply did not end within 60 s"},
        {reason(NetCode::NoDataReceived, {"60"}), "No data received within 60 s"},
        {reason(NetCode::PeerTookNoData, {"60"}), "The peer accepted no data within 60 s"},
        {reason(NetCode::NoDataConnection, {"60"}), "No data connection arrived within 60 s"},
        {reason(NetCode::SendAborted), "Socket send aborted"},
        {reason(NetCode::ReadAborted), "Socket readln aborted"},
        {reason(NetCode::AcceptCanceled), "Accepting Canceled"},
        {reason(NetCode::DataConnectionError), "Error creating Data Connection"},
        {reason(NetCode::AcceptFailed, {"10024:Too many open files"}),
         "Error creating Data Connection: accept gave no valid socket (10024:Too many open files)"},
        {reason(NetCode::LineTooLong, {"65536"}), "Line too long: no line end within 65536 bytes"},
        {reason(NetCode::TextTooLong, {"70000"}),
         "Text to send is too long: 70000 bytes, at most 65535 allowed"},
        {reason(NetCode::SocketErrorText, {"10054:Connection reset by peer"}),
         "10054:Connection reset by peer"},
        {reason(NetCode::NoTimer), "No Timer"},
        {reason(NetCode::NetworkDown, {"network is down"}), "network is down"},
        {reason(NetCode::TlsSetupFailed, {reason(NetCode::OpenSslNumber, {"a0b1"})}),
         "Cannot set up TLS: OpenSSL error a0b1"},
        {reason(NetCode::TlsHandshakeFailed, {"h:990", reason(NetCode::AnsweredInClear, {"220"})}),
         "TLS handshake with h:990 failed: the server answered in clear: 220"},
        {reason(NetCode::DataTlsHandshakeFailed, {"h:5", reason(NetCode::ClosedInHandshake)}),
         "TLS handshake on the data connection to h:5 failed: the server closed the connection "
         "during the handshake"},
        {reason(NetCode::TlsFailed, {"h:21", reason(NetCode::TlsEndedInTlsClose)}),
         "TLS failed on the connection to h:21: the server ended TLS during the TLS close"},
        {reason(NetCode::DataTlsFailed, {"h:5", reason(NetCode::OpenSslWords, {"bad record mac"})}),
         "TLS failed on the data connection to h:5: bad record mac"},
        {reason(NetCode::TlsHandshakeCanceled), "TLS handshake canceled"},
        {reason(NetCode::NoTlsHandshake, {"60"}), "No TLS handshake within 60 s"},
        {reason(NetCode::NoTlsEnd, {"h:5", "60"}), "No end of TLS from h:5 within 60 s"},
        {reason(NetCode::ClosedInTlsClose),
         "the server closed the connection during the TLS close"},
        {reason(NetCode::TlsEndedInHandshake), "the server ended TLS during the handshake"},
        {reason(NetCode::HandshakeFailed), "the handshake failed"},
        {reason(NetCode::TlsCloseFailed), "the TLS close failed"},
        {reason(NetCode::ReceivingFailed), "receiving failed"},
        {reason(NetCode::SendingFailed), "sending failed"},
    };
    for (const auto& [cause, text] : rows) {
        EXPECT_EQ(cause->englishText(), text);
        EXPECT_EQ(SocketError(cause).message(), text);
        EXPECT_STREQ(TlsError(cause).what(), text.toUtf8().constData());
    }
}

TEST(BlockingSocketStack, RunsWhileAnyComponentLivesAndStopsWithTheLast)
{
    // A socket call is refused with "not initialised" while the stack is stopped.
    const auto stackRuns = [] {
        const ws::SOCKET s = ws::socket(2, 1, 0);
        if (s == ws::INVALID_SOCKET)
            return ws::WSAGetLastError() != ws::WSANOTINITIALISED;
        ws::closesocket(s);
        return true;
    };
    ASSERT_FALSE(stackRuns());
    const int sockets = ws::openSocketCount();
    auto first = std::make_unique<BlockingSocket>();
    auto second = std::make_unique<BlockingSocket>();
    EXPECT_EQ(ws::openSocketCount(), sockets + 2);
    first.reset();
    EXPECT_TRUE(stackRuns());
    EXPECT_EQ(ws::openSocketCount(), sockets + 1);
    second.reset();
    EXPECT_EQ(ws::openSocketCount(), sockets);
    EXPECT_FALSE(stackRuns());

    // The stack cannot give a socket: construction fails and leaves the stack stopped.
    InjectorReset reset;
    ws::setErrorInjector(
        [](ws::Call call, ws::SOCKET) { return call == ws::Call::Socket ? ws::WSAEMFILE : 0; });
    EXPECT_EQ(messageOf([] { BlockingSocket failing; }),
              QStringLiteral("Initializaton of windows sockets failed"));
    ws::setErrorInjector({});
    EXPECT_FALSE(stackRuns());
}

TEST(BlockingSocketNotify, MessagesAboveTheCompletionMessageOnlyTakeTheirError)
{
    // The socket window's messages: 1125 notifies, 1126 completes a lookup or Listen.
    constexpr quint32 NotifyMessage = 1125;
    constexpr quint32 CompletionMessage = 1126;
    // Nobody connects: only the messages posted here can end Accept's wait.
    BlockingSocket sock;
    sock.setIdleLimit(100);
    sock.Listen();
    const compat::HWND window = compat::findWindow("BlockingSocketWindow");
    ASSERT_NE(window, compat::NoWindow);
    const auto post = [&](quint32 message, compat::LPARAM lParam) {
        compat::PostMessage(window, message, 0, lParam);
        compat::processMessages();
    };
    const auto accepting = [&] { return messageOf([&] { sock.Accept(); }); };
    const QString failed = QStringLiteral("Error creating Data Connection");

    // Above the completion message: it neither ends the wait nor connects.
    post(CompletionMessage + 1, compat::makeLParam(8, 10054));
    EXPECT_EQ(accepting(), QStringLiteral("No data connection arrived within 0.1 s"));
    EXPECT_FALSE(sock.Connected);
    // The completion ends the wait without an error: the accept itself finds nothing.
    post(CompletionMessage, compat::makeLParam(8, 0));
    EXPECT_TRUE(sock.Connected);
    EXPECT_EQ(accepting(), failed + ": accept gave no valid socket (10035:Operation would block)");
    // A message above the completion message only takes its error.
    post(CompletionMessage + 1, compat::makeLParam(8, 10054));
    EXPECT_EQ(accepting(), failed);
    // Below the notification message: default processing, nothing changes.
    post(NotifyMessage - 1, 0);
    EXPECT_EQ(accepting(), failed);
}

TEST(ExtractField, SplitsAtTheSeparator)
{
    const QByteArray passive = "227 Entering Passive Mode (127,0,0,1,4,1)";
    const std::vector<std::tuple<QByteArray, char, int, QByteArray>> rows{
        {"a,b,,d", ',', 1, "a"},  {"a,b,,d", ',', 2, "b"},
        {"a,b,,d", ',', 3, ""},   {"a,b,,d", ',', 4, "d"},
        {"a,b,,d", ',', 5, ""},   {"", ',', 1, ""},
        {"a,b", ',', 0, ""},      {"STOR name.txt", ' ', 1, "STOR"},
        {"QUIT", ' ', 1, "QUIT"}, {passive, ',', 5, "4"},
        {passive, ',', 6, "1)"}};
    for (const auto& [text, separator, field, expected] : rows)
        EXPECT_EQ(ExtractField(text, separator, field), expected)
            << text.constData() << ' ' << field;
}
