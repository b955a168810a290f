// TPowersock against a peer on 127.0.0.1: connecting, lines, replies, files, listening.
#include "LoopbackPeer.h"

#include "net/Psock.h"
#include "platform/application.h"
#include "platform/exception.h"
#include "platform/messages.h"
#include "platform/winsock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <memory>

namespace ws = platform::winsock;

namespace {

QString messageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const platform::Exception& error) {
        return error.message();
    }
    return QStringLiteral("<no exception>");
}

std::unique_ptr<TPowersock> connectedTo(const LoopbackPeer& peer)
{
    auto component = std::make_unique<TPowersock>();
    component->Host = "127.0.0.1";
    component->Port = peer.port();
    component->Connect();
    return component;
}

// Dispatches messages until the condition holds or two seconds passed.
bool waitFor(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, 2000);
}

// Removes the error injector at the end of a test, whatever happens.
struct InjectorReset {
    ~InjectorReset() { ws::setErrorInjector({}); }
};

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

} // namespace

TEST(PsockReadLn, AssemblesLinesFromSegmentsAndLeavesTheRestWaiting)
{
    LoopbackPeer peer;
    peer.serve([](PeerConnection& c) {
        c.send("220 Re");
        peerSleep(60);
        c.send("ady\r\n");
        c.send("first\r\nsecond\n");
        peerSleep(60);
        c.send("no line end");
        peerSleep(60);
        c.close();
    });
    auto sock = connectedTo(peer);
    EXPECT_EQ(sock->ReadLn(), QByteArray("220 Ready\r\n"));
    EXPECT_EQ(sock->ReadLn(), QByteArray("first\r\n"));
    EXPECT_TRUE(sock->DataAvailable()); // the second line stays in the socket
    EXPECT_EQ(sock->ReadLn(), QByteArray("second\n"));
    // The peer closes before the line ends: an empty text, no error.
    EXPECT_EQ(sock->ReadLn(), QByteArray());
    peer.join();
}

TEST(PsockReadLn, LongLinesUpToTheLimitAndBeyond)
{
    LoopbackPeer peer;
    const QByteArray longest = QByteArray(65535, 'a') + '\n';
    peer.serve([&](PeerConnection& c) {
        c.send(longest);
        c.send(QByteArray(65537, 'b'));
        c.receive(1);
    });
    auto sock = connectedTo(peer);
    EXPECT_EQ(sock->ReadLn(), longest);
    EXPECT_EQ(messageOf([&] { sock->ReadLn(); }),
              QStringLiteral("Line too long: no line end within 65536 bytes"));
    sock->Write("x");
    peer.join();
}

TEST(PsockTransaction, SendsTheCommandLineAndTakesTheReplyCode)
{
    LoopbackPeer peer;
    QByteArrayList commands;
    peer.serve([&](PeerConnection& c) {
        commands << c.receiveLine();
        c.send("220-Welcome\r\n");
        commands << c.receiveLine();
        c.send("Hello there\r\n");
        commands << c.receiveLine();
        c.send("99999 far too big\r\n");
        commands << c.receiveLine();
        c.send("32767 largest\r\n");
        commands << c.receiveLine();
        c.close();
    });
    auto sock = connectedTo(peer);
    QByteArrayList statuses;
    sock->ReportLevel = 1;
    sock->OnStatus = [&](QObject* sender, const QByteArray& status) {
        EXPECT_EQ(sender, sock.get());
        statuses << status;
    };
    EXPECT_EQ(sock->Transaction("USER anna"), QByteArray("220-Welcome\r\n"));
    EXPECT_EQ(sock->ReplyCode, 220);
    EXPECT_EQ(sock->LastReply, QByteArray("220-Welcome\r\n"));
    EXPECT_EQ(sock->Transaction("NOOP"), QByteArray("Hello there\r\n"));
    EXPECT_EQ(sock->ReplyCode, 0);
    EXPECT_EQ(messageOf([&] { sock->Transaction("BIG"); }),
              QStringLiteral("Reply code 99999 is out of range"));
    sock->Transaction("MAX");
    EXPECT_EQ(sock->ReplyCode, 32767);
    // The peer closes instead of replying.
    EXPECT_EQ(sock->Transaction("QUIT"), QByteArray());
    EXPECT_EQ(sock->ReplyCode, 0);
    EXPECT_EQ(sock->LastReply, QByteArray());
    peer.join();
    EXPECT_EQ(commands, (QByteArrayList{"USER anna\r\n", "NOOP\r\n", "BIG\r\n", "MAX\r\n", "QUIT\r\n"}));
    EXPECT_EQ(statuses, (QByteArrayList{"220-Welcome\r\n", "Hello there\r\n", "99999 far too big\r\n",
                                        "32767 largest\r\n"}));
}

TEST(PsockRead, ReadsWhatIsWaitingOrWaitsForACount)
{
    LoopbackPeer peer;
    std::atomic<bool> sendNow{false};
    peer.serve([&](PeerConnection& c) {
        while (!sendNow)
            peerSleep(5);
        c.send("12345");
        c.receive(1);
        c.send("ab");
        peerSleep(80);
        c.send("cdef");
        c.receive(1);
    });
    auto sock = connectedTo(peer);
    EXPECT_EQ(sock->Read(0), QByteArray()); // nothing waiting
    sendNow = true;
    ASSERT_TRUE(waitFor([&] { return sock->DataAvailable(); }));
    QTest::qWait(30);
    EXPECT_EQ(sock->Read(0), QByteArray("12345"));
    sock->Write("go");
    EXPECT_EQ(sock->Read(5), QByteArray("abcde")); // waits for the second segment
    ASSERT_TRUE(waitFor([&] { return sock->DataAvailable(); }));
    EXPECT_EQ(sock->Read(0), QByteArray("f"));
    sock->Write("!");
    peer.join();
}

TEST(PsockWrite, StopsAtAZeroByteAndRefusesOversizedTexts)
{
    LoopbackPeer peer;
    QByteArray received;
    peer.serve([&](PeerConnection& c) { received = c.receive(2 + 4 + 65535); });
    auto sock = connectedTo(peer);
    sock->Write(QByteArray("ab\0cd", 5));
    sock->Writeln("hi");
    EXPECT_EQ(messageOf([&] { sock->Write(QByteArray(65536, 'x')); }),
              QStringLiteral("Text to send is too long: 65536 bytes, at most 65535 allowed"));
    // A zero byte inside the text ends it before the limit matters.
    sock->Write(QByteArray(3, 'z') + '\0' + QByteArray(70000, 'q'));
    EXPECT_EQ(messageOf([&] { sock->Writeln(QByteArray(65534, 'x')); }),
              QStringLiteral("Text to send is too long: 65536 bytes, at most 65535 allowed"));
    sock->Write(QByteArray(65535 - 3, 'y'));
    peer.join();
    EXPECT_EQ(received, QByteArray("abhi\r\nzzz") + QByteArray(65535 - 3, 'y'));
}

TEST(PsockSendFile, SendsWholeFilesInBlocksAndReportsEachPacket)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const qsizetype size : {qsizetype(0), qsizetype(65536), qsizetype(65537), qsizetype(3000000)}) {
        SCOPED_TRACE(size);
        const QByteArray content = randomBytes(size);
        const QString path = dir.filePath(QStringLiteral("file%1.bin").arg(size));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();

        LoopbackPeer peer;
        QByteArray received;
        peer.serve([&](PeerConnection& c) { received = c.receive(size + 3); });
        auto sock = connectedTo(peer);
        int packets = 0;
        sock->OnPacketSent = [&](QObject* sender) {
            EXPECT_EQ(sender, sock.get());
            ++packets;
        };
        sock->SendFile(path);
        sock->Write("END");
        peer.join();
        EXPECT_EQ(received, content + "END");
        if (size == 0)
            EXPECT_EQ(packets, 0);
        else
            EXPECT_GE(packets, int((size + 65535) / 65536));
        EXPECT_FALSE(sock->Canceled);
    }
    TPowersock sock;
    EXPECT_EQ(messageOf([&] { sock.SendFile(dir.filePath(QStringLiteral("missing"))); }),
              QStringLiteral("File not found"));
}

TEST(PsockSendFile, ClosingAfterASentFileDeliversItsEndButACanceledOneIsReset)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.bin"));
    const QByteArray content = randomBytes(8 * 1024 * 1024);
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    // The peer reads only after the sender has closed: the tail is still queued then.
    std::atomic<bool> closed{false};
    LoopbackPeer peer;
    QByteArray received;
    bool reset = true;
    peer.serve([&](PeerConnection& c) {
        while (!closed)
            peerSleep(5);
        received = c.receiveAll();
        reset = c.wasReset();
    });
    auto sock = connectedTo(peer); // its first socket, which closes with a reset by default
    QTimer::singleShot(100, [&] { closed = true; }); // the peer starts reading meanwhile
    sock->SendFile(path);
    sock->CloseSocket();
    closed = true;
    peer.join();
    EXPECT_FALSE(reset);
    EXPECT_EQ(received.size(), content.size());
    EXPECT_TRUE(received == content);

    // Canceled half-way: the close resets the connection.
    closed = false;
    peer.serve([&](PeerConnection& c) {
        while (!closed)
            peerSleep(5);
        received = c.receiveAll();
        reset = c.wasReset();
    });
    TPowersock first;
    first.Host = "127.0.0.1";
    first.Port = peer.port();
    first.Connect();
    first.OnPacketSent = [&](QObject*) { first.Cancel(); };
    EXPECT_THROW(first.SendFile(path), EAbortError);
    first.CloseSocket();
    closed = true;
    peer.join();
    EXPECT_TRUE(reset);
}

TEST(PsockSendFile, CancelEndsTheTransferAndClearsTheFlag)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.bin"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(32 * 1024 * 1024, 'x'));
    }
    // The peer reads nothing, so the send blocks; a timer of the window cancels it.
    LoopbackPeer peer;
    std::atomic<bool> release{false};
    peer.serve([&](PeerConnection& c) {
        while (!release)
            peerSleep(5);
        c.receiveAll();
    });
    auto sock = connectedTo(peer);
    int packets = 0;
    sock->OnPacketSent = [&](QObject*) { ++packets; };
    QTimer::singleShot(150, [&] { sock->Cancel(); });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(messageOf([&] { sock->SendFile(path); }), QStringLiteral("Socket send aborted"));
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_GT(packets, 0);
    EXPECT_FALSE(sock->Canceled);

    // A cancel from the packet handler stops after that packet.
    packets = 0;
    sock->OnPacketSent = [&](QObject*) {
        ++packets;
        sock->Abort();
    };
    release = true;
    try {
        sock->SendFile(path);
        ADD_FAILURE() << "no abort";
    } catch (const EAbortError& error) {
        EXPECT_EQ(error.message(), QStringLiteral("Socket send aborted"));
    }
    EXPECT_EQ(packets, 1);
    EXPECT_FALSE(sock->Canceled);
    sock.reset();
    peer.join();
}

TEST(PsockListen, AcceptsAConnectionOnThePortTheStackChose)
{
    LoopbackPeer control;
    control.serve([](PeerConnection& c) { c.receive(1); });
    auto controlSock = connectedTo(control);
    EXPECT_EQ(controlSock->LocalAddressCommas(), QByteArray("127,0,0,1"));

    TPowersock data;
    data.Port = 0;
    data.Listen(true);
    const QByteArray commas = data.LocalPortCommas();
    ASSERT_TRUE(commas.startsWith(','));
    const int port = ExtractField(commas, ',', 2).toInt() * 256 + ExtractField(commas, ',', 3).toInt();
    ASSERT_GT(port, 0);
    EXPECT_EQ(commas, ',' + QByteArray::number(port / 256) + ',' + QByteArray::number(port % 256));

    LoopbackPeer client;
    client.connectTo(quint16(port), [](PeerConnection& c) {
        c.send("150 data\r\n");
        c.receive(1);
    });
    const ws::SOCKET accepted = data.Accept();
    ASSERT_NE(accepted, ws::INVALID_SOCKET);
    EXPECT_TRUE(data.Connected);
    EXPECT_EQ(data.RemoteAddress.sin_addr.s_addr, ws::inet_addr("127.0.0.1"));
    const ws::SOCKET listening = data.SocketHandle;
    data.SocketHandle = accepted;
    ws::closesocket(listening);
    EXPECT_EQ(data.ReadLn(), QByteArray("150 data\r\n"));
    data.Write("k");
    client.join();
    controlSock->Write("k");
    control.join();

    // Nobody connects: a cancel ends the wait and stays set.
    TPowersock idle;
    idle.Listen(true);
    QTimer::singleShot(50, [&] { idle.Cancel(); });
    EXPECT_EQ(messageOf([&] { idle.Accept(); }), QStringLiteral("Accepting Canceled"));
    EXPECT_TRUE(idle.Canceled);
}

TEST(PsockConnect, RefusedConnectionFailsAfterTheFailureEvent)
{
    TPowersock sock;
    sock.Host = "127.0.0.1";
    sock.Port = LoopbackPeer::closedPort();
    int failures = 0;
    sock.OnConnectionFailed = [&](QObject* sender) {
        EXPECT_EQ(sender, &sock);
        ++failures;
    };
    EXPECT_EQ(messageOf([&] { sock.Connect(); }), QStringLiteral("Connection Failed"));
    EXPECT_EQ(failures, 1);
    EXPECT_FALSE(sock.Connected);
    EXPECT_FALSE(sock.NotifyOk);

    // The same component then reaches a server that does listen.
    LoopbackPeer peer;
    peer.serve([](PeerConnection& c) { c.send("welcome\r\n"); });
    sock.Port = peer.port();
    sock.Connect();
    EXPECT_EQ(sock.ReadLn(), QByteArray("welcome\r\n"));
    peer.join();
}

TEST(PsockConnect, AConnectThatHangsTimesOutOrIsCanceled)
{
    // A listener whose queue is full drops further connection requests, so a connect
    // to it neither succeeds nor fails.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.push_back(fd);
    }
    QTest::qWait(50);

    TPowersock sock;
    sock.Host = "127.0.0.1";
    sock.Port = ntohs(address.sin_port);
    sock.TimeOut = 150;
    int failures = 0;
    sock.OnConnectionFailed = [&](QObject*) { ++failures; };
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(messageOf([&] { sock.Connect(); }), QStringLiteral("Connection Timed out"));
    EXPECT_GE(clock.elapsed(), 140);
    EXPECT_EQ(failures, 1);
    EXPECT_TRUE(sock.TimedOut);
    EXPECT_TRUE(sock.Canceled); // the abort of the time-out stays until the next operation

    TPowersock other;
    other.Host = "127.0.0.1";
    other.Port = ntohs(address.sin_port);
    QTimer::singleShot(80, [&] { other.Cancel(); });
    EXPECT_EQ(messageOf([&] { other.Connect(); }), QStringLiteral("Connection Canceled"));

    TPowersock limited;
    limited.Host = "127.0.0.1";
    limited.Port = ntohs(address.sin_port);
    limited.setIdleLimit(100);
    EXPECT_EQ(messageOf([&] { limited.Connect(); }), QStringLiteral("Connection Timed out"));
    EXPECT_FALSE(limited.TimedOut);

    // An attempt given up on does not stand in the way of the next connect.
    for (TPowersock* abandoned : {&other, &limited}) {
        LoopbackPeer peer;
        peer.serve([](PeerConnection& c) { c.send("next\r\n"); });
        abandoned->Port = peer.port();
        abandoned->Connect();
        EXPECT_EQ(abandoned->ReadLn(), QByteArray("next\r\n"));
        peer.join();
    }

    for (const int fd : fillers)
        ::close(fd);
    ::close(listener);
}

TEST(PsockConnect, DottedHostConnectsWithoutLookupAndReconnectsAfterClosing)
{
    LoopbackPeer peer;
    peer.serve([](PeerConnection& c) { c.receive(1); });
    TPowersock sock;
    int resolved = 0, connects = 0, disconnects = 0;
    sock.OnHostResolved = [&](QObject*) { ++resolved; };
    sock.OnConnect = [&](QObject*) { ++connects; };
    sock.OnDisconnect = [&](QObject*) { ++disconnects; };
    sock.Host = "127.0.0.1";
    sock.Port = peer.port();
    sock.Connect();
    EXPECT_TRUE(sock.Connected);
    EXPECT_EQ(resolved, 0);
    EXPECT_EQ(connects, 1);
    EXPECT_EQ(messageOf([&] { sock.Connect(); }), QStringLiteral("Already connected"));
    sock.Write("x");
    peer.join();

    const ws::SOCKET first = sock.SocketHandle;
    const int open = ws::openSocketCount();
    sock.Disconnect();
    EXPECT_FALSE(sock.Connected);
    EXPECT_EQ(disconnects, 1);
    EXPECT_NE(sock.SocketHandle, ws::INVALID_SOCKET);
    EXPECT_EQ(ws::openSocketCount(), open); // closed one, opened a fresh one
    Q_UNUSED(first);

    peer.serve([](PeerConnection& c) { c.send("again\r\n"); });
    sock.Connect();
    EXPECT_EQ(sock.ReadLn(), QByteArray("again\r\n"));
    EXPECT_EQ(connects, 2);
    peer.join();
}

TEST(PsockConnect, LooksUpHostNamesAndUsesTheProxy)
{
    LoopbackPeer peer;
    peer.serve([](PeerConnection& c) { c.send("hello\r\n"); });
    TPowersock sock;
    int resolved = 0;
    sock.OnHostResolved = [&](QObject* sender) {
        EXPECT_EQ(sender, &sock);
        ++resolved;
    };
    sock.Host = "localhost";
    sock.Port = peer.port();
    sock.Connect();
    EXPECT_EQ(resolved, 1);
    EXPECT_EQ(sock.RemoteAddress.sin_addr.s_addr, ws::inet_addr("127.0.0.1"));
    EXPECT_EQ(sock.ReadLn(), QByteArray("hello\r\n"));
    peer.join();

    // With a proxy the host is never looked up; the proxy's port is used.
    InjectorReset reset;
    int lookups = 0;
    ws::setErrorInjector([&](ws::Call call, ws::SOCKET) {
        lookups += call == ws::Call::Lookup;
        return call == ws::Call::Lookup ? ws::WSAHOST_NOT_FOUND : 0;
    });
    LoopbackPeer proxy;
    proxy.serve([](PeerConnection& c) { c.send("proxy\r\n"); });
    TPowersock viaProxy;
    viaProxy.Host = "station.example";
    viaProxy.Port = 1;
    viaProxy.Proxy = "127.0.0.1";
    viaProxy.ProxyPort = proxy.port();
    viaProxy.Connect();
    EXPECT_EQ(viaProxy.ReadLn(), QByteArray("proxy\r\n"));
    EXPECT_EQ(lookups, 0);
    proxy.join();
}

TEST(PsockConnect, AnUnknownHostGetsExactlyOneChance)
{
    InjectorReset reset;
    ws::setErrorInjector([](ws::Call call, ws::SOCKET) {
        return call == ws::Call::Lookup ? ws::WSAHOST_NOT_FOUND : 0;
    });
    TPowersock sock;
    sock.Host = "nowhere";
    sock.Port = 21;
    EXPECT_EQ(messageOf([&] { sock.ResolveHost(); }), QStringLiteral("Host Lookup Failed"));
    EXPECT_EQ(messageOf([&] { sock.Connect(); }), QStringLiteral("Null Remote Address"));

    int calls = 0;
    sock.OnInvalidHost = [&](bool& handled) {
        ++calls;
        sock.Host = "still-nowhere";
        handled = true;
    };
    EXPECT_EQ(messageOf([&] { sock.Connect(); }), QStringLiteral("Null Remote Address"));
    EXPECT_EQ(calls, 1);

    calls = 0;
    sock.OnInvalidHost = [&](bool&) { ++calls; };
    EXPECT_EQ(messageOf([&] { sock.Connect(); }), QStringLiteral("Null Remote Address"));
    EXPECT_EQ(calls, 1);

    LoopbackPeer peer;
    peer.serve([](PeerConnection& c) { c.send("found\r\n"); });
    sock.Host = "nowhere";
    sock.Port = peer.port();
    sock.OnInvalidHost = [&](bool& handled) {
        sock.Host = "127.0.0.1";
        handled = true;
    };
    sock.Connect();
    EXPECT_EQ(sock.ReadLn(), QByteArray("found\r\n"));
    peer.join();

    // A cancel during the lookup reaches the caller as such.
    TPowersock waiting;
    waiting.Host = "nowhere";
    ws::setErrorInjector([&](ws::Call call, ws::SOCKET) {
        if (call == ws::Call::Lookup)
            waiting.Cancel(); // canceled before the answer is dispatched
        return call == ws::Call::Lookup ? ws::WSAHOST_NOT_FOUND : 0;
    });
    EXPECT_EQ(messageOf([&] { waiting.Connect(); }), QStringLiteral("Host Lookup Canceled"));

    // A lookup without an answer within the idle limit says so; the host is not refused.
    ws::setErrorInjector([](ws::Call call, ws::SOCKET) { return call == ws::Call::Lookup ? -1 : 0; });
    TPowersock silent;
    silent.Host = "silent";
    silent.setIdleLimit(100);
    calls = 0;
    silent.OnInvalidHost = [&](bool&) { ++calls; };
    EXPECT_EQ(messageOf([&] { silent.Connect(); }),
              QStringLiteral("Host Lookup gave no answer within 0.1 s"));
    EXPECT_EQ(calls, 0);
}

TEST(PsockConnect, OperationsThatNeedAConnection)
{
    TPowersock sock;
    EXPECT_TRUE(platform::isWindowClassRegistered("PsockWindowClass"));
    EXPECT_TRUE(platform::isWindowClassRegistered("TmrWindowClass"));
    EXPECT_EQ(platform::windowPointer(sock.NotifyWindow), &sock);
    EXPECT_EQ(platform::windowPointer(sock.Timer->WindowHandle()), sock.Timer.get());

    EXPECT_EQ(messageOf([&] { sock.CheckConnection(); }), QStringLiteral("Not Connected"));
    int calls = 0;
    sock.OnConnectionRequired = [&](bool& handled) {
        ++calls;
        handled = true; // claims to have connected, but has not
    };
    EXPECT_EQ(messageOf([&] { sock.CheckConnection(); }), QStringLiteral("Not Connected"));
    EXPECT_EQ(calls, 1);

    LoopbackPeer peer;
    peer.serve([](PeerConnection& c) { c.receive(1); });
    sock.Host = "127.0.0.1";
    sock.Port = peer.port();
    calls = 0;
    sock.OnConnectionRequired = [&](bool& handled) {
        ++calls;
        sock.Connect();
        handled = true;
    };
    EXPECT_NO_THROW(sock.CheckConnection());
    EXPECT_EQ(calls, 1);
    EXPECT_NO_THROW(sock.CheckConnection());
    EXPECT_EQ(calls, 1);

    // A send that finds Canceled set sends nothing, clears it and reports the abort.
    sock.Cancel();
    EXPECT_EQ(messageOf([&] { sock.Write("lost"); }), QStringLiteral("Socket send aborted"));
    EXPECT_FALSE(sock.Canceled);
    sock.Write("k");
    peer.join();

    // Reading on a socket that is not connected gives an empty line.
    TPowersock unconnected;
    EXPECT_EQ(unconnected.ReadLn(), QByteArray());
    EXPECT_EQ(unconnected.LastError, ws::WSAENOTCONN);
    EXPECT_FALSE(unconnected.DataAvailable());
}

TEST(PsockStatus, ReportLevelFiltersTheStatusTexts)
{
    LoopbackPeer peer;
    peer.serve([](PeerConnection& c) { c.receive(2); });
    TPowersock sock;
    QByteArrayList statuses;
    sock.OnStatus = [&](QObject*, const QByteArray& status) { statuses << status; };
    sock.Host = "127.0.0.1";
    sock.Port = peer.port();
    sock.ReportLevel = 4;
    sock.Connect();
    sock.Write("a");
    sock.ReportLevel = 0;
    sock.Write("b");
    peer.join();
    sock.ReportLevel = 4;
    sock.Disconnect();
    EXPECT_EQ(statuses, (QByteArrayList{"Sending Buffer", "Request Close Socket"}));
    EXPECT_EQ(sock.StatusText, QByteArray("Request Close Socket"));

    statuses.clear();
    sock.ReportLevel = 8;
    sock.Cancel();
    sock.Abort();
    EXPECT_EQ(statuses, (QByteArrayList{"Canceling", "Abort", "Canceling"}));

    // A failing status handler is not the operation's problem.
    sock.OnStatus = [](QObject*, const QByteArray&) { throw ESockError("handler"); };
    EXPECT_NO_THROW(sock.ReportStatus(1, "x"));
    EXPECT_EQ(sock.StatusText, QByteArray("x"));
}

TEST(PsockTimer, ArmsOnlyWithIntervalEnabledAndHandler)
{
    TThreadTimer timer;
    EXPECT_TRUE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 1000u);
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
    platform::setTimerRefusedForTesting(true);
    timer.setEnabled(false);
    EXPECT_EQ(messageOf([&] { timer.setEnabled(true); }), QStringLiteral("No Timer"));
    EXPECT_NO_THROW(timer.setEnabled(true));
    platform::setTimerRefusedForTesting(false);

    timer.setEnabled(false);
    timer.setInterval(20);
    timer.setEnabled(true);
    EXPECT_TRUE(waitFor([&] { return ticks >= 2; }));
    timer.setEnabled(false);
    const int seen = ticks;
    QTest::qWait(100);
    EXPECT_EQ(ticks, seen);

    // The activation broadcast is ignored; other messages get default processing.
    EXPECT_EQ(TimerWindowProc(timer.WindowHandle(), platform::WM_ACTIVATEAPP_BROADCAST, 0, 0), 0);
    EXPECT_EQ(ticks, seen);
    EXPECT_EQ(TimerWindowProc(timer.WindowHandle(), platform::WM_TIMER, 1, 0), 0);
    EXPECT_EQ(ticks, seen + 1);

    // A failing handler goes to the central handler, not through the window procedure.
    QStringList boxes;
    auto previous = platform::setErrorBoxHook([&](const QString& text) { boxes << text; });
    timer.setOnTimer([](QObject*) { throw platform::Exception(QStringLiteral("boom")); });
    EXPECT_EQ(TimerWindowProc(timer.WindowHandle(), platform::WM_TIMER, 1, 0), 0);
    platform::setErrorBoxHook(previous);
    EXPECT_EQ(boxes, QStringList{QStringLiteral("boom.")});
}

TEST(PsockTimer, TimeOutAbortsAWaitingReadAndDisarms)
{
    LoopbackPeer peer;
    std::atomic<bool> done{false};
    peer.serve([&](PeerConnection& c) {
        while (!done)
            peerSleep(5);
        c.close();
    });
    auto sock = connectedTo(peer);
    sock->TimeOut = 100;
    QElapsedTimer clock;
    clock.start();
    try {
        sock->ReadLn();
        ADD_FAILURE() << "no abort";
    } catch (const EAbortError& error) {
        EXPECT_EQ(error.message(), QStringLiteral("Socket readln aborted"));
    }
    EXPECT_GE(clock.elapsed(), 90);
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(sock->TimedOut);
    EXPECT_FALSE(sock->Canceled);
    EXPECT_FALSE(sock->Timer->isArmed());

    // The optional idle limit ends a wait on a silent peer with its own message.
    sock->TimeOut = 0;
    sock->setIdleLimit(150);
    clock.restart();
    EXPECT_EQ(messageOf([&] { sock->ReadLn(); }), QStringLiteral("No data received within 0.15 s"));
    EXPECT_GE(clock.elapsed(), 140);
    EXPECT_FALSE(sock->Timer->isArmed());
    done = true;
    peer.join();
}

TEST(PsockErrors, ErrorTextsAndReportedSocketErrors)
{
    TPowersock sock;
    EXPECT_EQ(sock.ErrorText(10061), QByteArray("10061:Connection refused"));
    EXPECT_EQ(sock.ErrorText(11004), QByteArray("11004:Valid name, no data record of requested type"));
    EXPECT_EQ(sock.ErrorText(10047), QByteArray("10047:Address family not supported by protocol family"));
    EXPECT_EQ(sock.ErrorText(12345), QByteArray("Unknown Error No. 12345"));
    EXPECT_EQ(sock.ErrorText(0), QByteArray());

    LoopbackPeer peer;
    peer.serve([](PeerConnection& c) { c.receive(1); });
    auto connected = connectedTo(peer);
    InjectorReset reset;
    QList<quint16> numbers;
    QByteArrayList texts;
    connected->OnError = [&](QObject*, quint16 number, const QByteArray& text) {
        numbers << number;
        texts << text;
    };
    ws::setErrorInjector([](ws::Call call, ws::SOCKET) {
        return call == ws::Call::Recv ? ws::WSAECONNRESET : 0;
    });
    EXPECT_EQ(messageOf([&] { connected->ReadLn(); }), QStringLiteral("10054:Connection reset by peer"));
    EXPECT_EQ(connected->LastError, 10054);
    EXPECT_EQ(numbers, QList<quint16>{10054});
    EXPECT_EQ(texts, QByteArrayList{"10054:Connection reset by peer"});
    EXPECT_FALSE(connected->Timer->isArmed());
    // Would-block is no error; numbers up to 10000 are not errors here.
    ws::WSASetLastError(ws::WSAEWOULDBLOCK);
    EXPECT_NO_THROW(connected->CheckSocketError(ws::WSAEWOULDBLOCK));
    ws::WSASetLastError(10000);
    EXPECT_NO_THROW(connected->CheckSocketError(ws::WSAEWOULDBLOCK));
    ws::setErrorInjector({});
    connected->Write("x");
    peer.join();

    // The stack cannot give a socket: construction fails and is not counted.
    const int count = TPowersock::StartupCount;
    ws::setErrorInjector([](ws::Call call, ws::SOCKET) { return call == ws::Call::Socket ? ws::WSAEMFILE : 0; });
    EXPECT_EQ(messageOf([] { TPowersock failing; }), QStringLiteral("Initializaton of windows sockets failed"));
    EXPECT_EQ(TPowersock::StartupCount, count);
}

TEST(PsockStack, StartedOnceForTwoComponentsAndStoppedWithTheLast)
{
    ASSERT_EQ(TPowersock::StartupCount, 0);
    const int sockets = ws::openSocketCount();
    auto first = std::make_unique<TPowersock>();
    EXPECT_EQ(TPowersock::StartupCount, 1);
    ASSERT_EQ(first->StackInfo.size(), 6);
    EXPECT_EQ(first->StackInfo[0], QByteArray("Version= 1.1"));
    EXPECT_EQ(first->StackInfo[1], QByteArray("High Version= 1.1"));
    EXPECT_TRUE(first->StackInfo[2].startsWith("Description= "));
    EXPECT_TRUE(first->StackInfo[4].startsWith("Max Sockets= "));
    EXPECT_EQ(first->StackInfo[5], QByteArray("Max Udp pack size= 65507"));
    auto second = std::make_unique<TPowersock>();
    EXPECT_EQ(TPowersock::StartupCount, 2);
    EXPECT_TRUE(second->StackInfo.isEmpty());
    EXPECT_EQ(ws::openSocketCount(), sockets + 2);
    first.reset();
    EXPECT_EQ(TPowersock::StartupCount, 1);
    second.reset();
    EXPECT_EQ(TPowersock::StartupCount, 0);
    EXPECT_EQ(ws::openSocketCount(), sockets);
    // The stack is stopped: a socket call is refused.
    EXPECT_EQ(ws::socket(2, 1, 0), ws::INVALID_SOCKET);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSANOTINITIALISED);
}

TEST(PsockNotify, CloseIsHandledAfterTheDataAndOtherMessagesOnlySetNotifyOk)
{
    LoopbackPeer peer;
    peer.serve([](PeerConnection& c) {
        c.send("bye\r\n");
        c.close();
    });
    auto sock = connectedTo(peer);
    peer.join();
    int disconnects = 0;
    sock->OnDisconnect = [&](QObject*) { ++disconnects; };
    QTest::qWait(100);
    EXPECT_TRUE(sock->Connected); // the line still waits
    EXPECT_EQ(sock->ReadLn(), QByteArray("bye\r\n"));
    EXPECT_TRUE(waitFor([&] { return !sock->Connected; }));
    EXPECT_EQ(disconnects, 1);
    QTest::qWait(50);
    EXPECT_EQ(disconnects, 1);

    // A message above the completion message only updates NotifyOk.
    platform::PostMessage(sock->NotifyWindow, CompletionMessage + 1, 0, platform::makeLParam(8, 10054));
    platform::processMessages();
    EXPECT_FALSE(sock->NotifyOk);
    EXPECT_FALSE(sock->Connected);
    EXPECT_FALSE(sock->WaitDone);
    // Below the notification message: default processing, nothing changes.
    platform::PostMessage(sock->NotifyWindow, NotifyMessage - 1, 0, 0);
    platform::processMessages();
    EXPECT_FALSE(sock->NotifyOk);
    platform::PostMessage(sock->NotifyWindow, CompletionMessage, 0, platform::makeLParam(8, 0));
    platform::processMessages();
    EXPECT_TRUE(sock->NotifyOk);
    EXPECT_TRUE(sock->WaitDone);
    EXPECT_TRUE(sock->Connected);
}

TEST(ExtractField, SplitsAtTheSeparator)
{
    EXPECT_EQ(ExtractField("a,b,,d", ',', 1), QByteArray("a"));
    EXPECT_EQ(ExtractField("a,b,,d", ',', 2), QByteArray("b"));
    EXPECT_EQ(ExtractField("a,b,,d", ',', 3), QByteArray());
    EXPECT_EQ(ExtractField("a,b,,d", ',', 4), QByteArray("d"));
    EXPECT_EQ(ExtractField("a,b,,d", ',', 5), QByteArray());
    EXPECT_EQ(ExtractField("", ',', 1), QByteArray());
    EXPECT_EQ(ExtractField("STOR name.txt", ' ', 1), QByteArray("STOR"));
    EXPECT_EQ(ExtractField("QUIT", ' ', 1), QByteArray("QUIT"));
    EXPECT_EQ(ExtractField("227 Entering Passive Mode (127,0,0,1,4,1)", ',', 5), QByteArray("4"));
    EXPECT_EQ(ExtractField("227 Entering Passive Mode (127,0,0,1,4,1)", ',', 6), QByteArray("1)"));
    EXPECT_EQ(ExtractField("a,b", ',', 0), QByteArray());
}
