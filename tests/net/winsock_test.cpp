// The WinSock subset on 127.0.0.1: numbers, handles, notices and their re-arming, lookups.
#include "net/compat/winsock.h"

#include "net/compat/messages.h"
#include "tests/support/ScriptedFtpPeer.h"

#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include <arpa/inet.h>

// Inside the layer's namespace its calls hide the C library's of the same names.
namespace compat::winsock {

namespace {

struct Notice {
    quint32 message;
    SOCKET socket;
    quint16 event;
    quint16 error;
};

std::vector<Notice> notices;
std::function<void(SOCKET)> onNotice;

LRESULT noticeProc(HWND, quint32 message, WPARAM wParam, LPARAM lParam)
{
    notices.push_back({message, SOCKET(wParam), lowWord(lParam), highWord(lParam)});
    if (onNotice)
        onNotice(SOCKET(wParam));
    return 0;
}

bool waitForNotices(std::size_t count)
{
    return QTest::qWaitFor([count] { return notices.size() >= count; }, 2000);
}

std::vector<quint16> eventsOf(SOCKET s)
{
    std::vector<quint16> events;
    for (const Notice& notice : notices)
        if (notice.socket == s)
            events.push_back(notice.event);
    return events;
}

// A started stack, a window collecting notices and a pair connected with the layer itself.
class WinsockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSAData data;
        ASSERT_EQ(WSAStartup(257, &data), 0);
        if (!isWindowClassRegistered("NoticeClass"))
            registerWindowClass("NoticeClass", noticeProc);
        window = createWindow("NoticeClass");
        notices.clear();

        listener = socket(2, 1, 6);
        address = *SockAddr::fromText("127.0.0.1");
        ASSERT_EQ(bind(listener, address), 0);
        ASSERT_EQ(WSAAsyncSelect(listener, window, 1126, FD_ACCEPT), 0);
        ASSERT_EQ(listen(listener, 1), 0);
        ASSERT_EQ(getsockname(listener, &address), 0);
        client = socket(2, 1, 0);
        ASSERT_EQ(WSAAsyncSelect(client, window, 1125, 61), 0);
        EXPECT_EQ(connect(client, address), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
        ASSERT_TRUE(waitForNotices(2));
        ASSERT_EQ(eventsOf(listener), std::vector<quint16>{FD_ACCEPT});
        ASSERT_EQ(eventsOf(client), std::vector<quint16>{FD_CONNECT});
        for (const Notice& notice : notices)
            EXPECT_EQ(notice.error, 0);
        SockAddr peer;
        server = accept(listener, &peer);
        ASSERT_NE(server, INVALID_SOCKET);
        EXPECT_EQ(peer.text(), QByteArray("127.0.0.1"));
        ASSERT_EQ(WSAAsyncSelect(server, window, 1125, 61), 0);
        notices.clear();
    }
    void TearDown() override
    {
        onNotice = nullptr;
        destroyWindow(window);
        setErrorInjector({});
        WSACleanup();
    }

    HWND window = NoWindow;
    SockAddr address;
    SOCKET listener = INVALID_SOCKET, client = INVALID_SOCKET, server = INVALID_SOCKET;
};

} // namespace

TEST(Winsock, ErrnoValuesBecomeWinsockNumbers)
{
    for (const auto& [error, number] : std::vector<std::pair<int, int>>{{ECONNREFUSED, 10061},
                                                                        {ETIMEDOUT, 10060},
                                                                        {ECONNRESET, 10054},
                                                                        {ENOTCONN, 10057},
                                                                        {EADDRINUSE, 10048},
                                                                        {EHOSTUNREACH, 10065},
                                                                        {ENETUNREACH, 10051},
                                                                        {EAGAIN, 10035},
                                                                        {EPIPE, 10054}})
        EXPECT_EQ(winsockErrorFromErrno(error), number) << error;
    EXPECT_GT(winsockErrorFromErrno(EIO), 10000); // never mistaken for success
}

TEST(Winsock, StartUpIsCountedAndAddressesConvert)
{
    EXPECT_EQ(socket(2, 1, 0), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    WSAData data;
    ASSERT_EQ(WSAStartup(257, &data), 0);
    EXPECT_EQ(data.wVersion, 257);
    EXPECT_EQ(data.wHighVersion, 257);
    EXPECT_GT(std::strlen(data.szDescription), 0u);
    EXPECT_EQ(data.iMaxUdpDg, 65507);
    ASSERT_EQ(WSAStartup(257, &data), 0);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_NE(socket(2, 1, 0), INVALID_SOCKET);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    EXPECT_EQ(openSocketCount(), 0); // the last clean-up closed what was left

    EXPECT_EQ(inet_addr("127.0.0.1"), htonl(0x7F000001));
    EXPECT_EQ(inet_addr("localhost"), INADDR_NONE_VALUE);
    EXPECT_EQ(inet_addr(""), INADDR_NONE_VALUE);
    in_addr address{};
    address.s_addr = htonl(0xC0A80007);
    EXPECT_STREQ(winsock::inet_ntoa(address), "192.168.0.7");
    EXPECT_EQ(hostToNetworkShort(21), htons(21));
    EXPECT_EQ(networkToHostShort(htons(1025)), 1025);
}

TEST_F(WinsockTest, HandlesAreSixteenBitsAndCallsDoNotBlock)
{
    const SOCKET s = socket(2, 1, 6);
    ASSERT_NE(s, INVALID_SOCKET);
    EXPECT_LT(s, 65535);
    char buffer[16];
    EXPECT_EQ(recv(s, buffer, sizeof buffer, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTCONN);
    const Linger hardClose{1, 0};
    EXPECT_EQ(setsockopt(s, SOL_SOCKET_LEVEL, SO_LINGER_OPTION,
                         reinterpret_cast<const char*>(&hardClose), 4),
              0);
    EXPECT_EQ(setsockopt(s, SOL_SOCKET_LEVEL, 4, reinterpret_cast<const char*>(&hardClose), 4),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), 10042);
    EXPECT_EQ(closesocket(s), 0);
    EXPECT_EQ(closesocket(s), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    EXPECT_EQ(socket(2, 2, 0), INVALID_SOCKET);
    EXPECT_EQ(recv(server, buffer, sizeof buffer, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);

    // An injected error fails only the chosen call.
    setErrorInjector([&](Call call, SOCKET s) {
        return call == Call::Send && s == client ? WSAECONNABORTED : 0;
    });
    EXPECT_EQ(send(client, "x", 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNABORTED);
    EXPECT_EQ(send(server, "x", 1, 0), 1);
    setErrorInjector({});
    EXPECT_EQ(send(client, "x", 1, 0), 1);
}

TEST_F(WinsockTest, ReadIsNoticedOnceUntilTheNextReceiveAndCloseAfterTheData)
{
    ASSERT_EQ(send(client, "abc", 3, 0), 3);
    ASSERT_TRUE(waitForNotices(1));
    ASSERT_EQ(send(client, "def", 3, 0), 3);
    QTest::qWait(50);
    EXPECT_EQ(eventsOf(server), std::vector<quint16>{FD_READ}); // one notice, not two
    char buffer[16];
    EXPECT_EQ(recv(server, buffer, 2, MSG_PEEK_FLAG), 2);
    QTest::qWait(30);
    EXPECT_EQ(eventsOf(server).size(), 1u); // a peek takes nothing and re-arms nothing
    EXPECT_EQ(recv(server, buffer, 2, 0), 2);
    ASSERT_TRUE(waitForNotices(2)); // bytes remain: noticed again
    EXPECT_EQ(eventsOf(server), (std::vector<quint16>{FD_READ, FD_READ}));

    // The peer closes with data still waiting: the close comes after the data.
    ASSERT_EQ(closesocket(client), 0);
    QTest::qWait(50);
    EXPECT_EQ(eventsOf(server).size(), 2u);
    EXPECT_EQ(recv(server, buffer, sizeof buffer, 0), 4);
    ASSERT_TRUE(waitForNotices(3));
    EXPECT_EQ(eventsOf(server).back(), FD_CLOSE);
    EXPECT_EQ(notices.back().error, 0);
    EXPECT_EQ(recv(server, buffer, sizeof buffer, 0), 0);
}

TEST_F(WinsockTest, RefusedConnectIsANoticeWithTheError)
{
    ASSERT_EQ(closesocket(listener), 0); // nobody listens on that port any more
    const SOCKET s = socket(2, 1, 0);
    WSAAsyncSelect(s, window, 1125, 61);
    EXPECT_EQ(connect(s, address), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    ASSERT_TRUE(waitForNotices(1));
    EXPECT_EQ(notices[0].socket, s);
    EXPECT_EQ(notices[0].event, FD_CONNECT);
    EXPECT_EQ(notices[0].error, WSAECONNREFUSED);

    // Notices of a socket closed before they were dispatched are dropped: both sockets
    // get data at once, and the first notice dispatched closes the other socket.
    notices.clear();
    onNotice = [&](SOCKET s) {
        closesocket(s == client ? server : client);
        onNotice = nullptr;
    };
    ASSERT_EQ(send(client, "x", 1, 0), 1);
    ASSERT_EQ(send(server, "y", 1, 0), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ASSERT_TRUE(waitForNotices(1));
    QTest::qWait(50);
    EXPECT_EQ(notices.size(), 1u);
}

TEST_F(WinsockTest, LookupsAnswerTheirOwnTaskAndAGivenUpOneNeverAnswers)
{
    const quintptr found = WSAAsyncGetAddrInfo(window, 1126, "localhost");
    ASSERT_NE(found, 0u);
    ASSERT_TRUE(waitForNotices(1));
    EXPECT_EQ(notices[0].message, 1126u);
    EXPECT_EQ(notices[0].socket, SOCKET(found)); // the task, in the notification word
    EXPECT_EQ(notices[0].error, 0);
    AddrInfoAnswer answer;
    ASSERT_TRUE(takeAddrInfoAnswer(found, &answer));
    EXPECT_EQ(notices[0].event, answer.addresses.size());
    EXPECT_NE(std::find(answer.addresses.begin(), answer.addresses.end(),
                        *SockAddr::fromText("127.0.0.1")),
              answer.addresses.end());
    EXPECT_FALSE(takeAddrInfoAnswer(found, &answer)); // handed over once

    // An injected failure comes with the message and the answer.
    notices.clear();
    setErrorInjector(
        [](Call call, SOCKET) { return call == Call::Lookup ? WSAHOST_NOT_FOUND : 0; });
    const quintptr failed = WSAAsyncGetAddrInfo(window, 1126, "anything");
    ASSERT_TRUE(waitForNotices(1));
    EXPECT_EQ(notices[0].error, WSAHOST_NOT_FOUND);
    ASSERT_TRUE(takeAddrInfoAnswer(failed, &answer));
    EXPECT_EQ(answer.error, WSAHOST_NOT_FOUND);
    setErrorInjector({});

    // The slow first lookup is given up; its answer comes after the quick second one's,
    // and is neither noticed nor kept.
    notices.clear();
    const Resolver previous = setResolver([](const QByteArray& name) {
        if (name == "slow.test")
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        return AddrInfoAnswer{0, {*SockAddr::fromText(name == "slow.test" ? "::1" : "127.0.0.1")}};
    });
    const quintptr slow = WSAAsyncGetAddrInfo(window, 1126, "slow.test");
    EXPECT_EQ(WSACancelAsyncRequest(slow), 0);
    const quintptr quick = WSAAsyncGetAddrInfo(window, 1126, "quick.test");
    setResolver(previous);
    ASSERT_TRUE(waitForNotices(1));
    QTest::qWait(300);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].socket, SOCKET(quick));
    EXPECT_FALSE(takeAddrInfoAnswer(slow, &answer));
    ASSERT_TRUE(takeAddrInfoAnswer(quick, &answer));
    EXPECT_EQ(answer.addresses, std::vector<SockAddr>{*SockAddr::fromText("127.0.0.1")});
    EXPECT_EQ(WSACancelAsyncRequest(slow), SOCKET_ERROR); // nothing left to give up
}

TEST(Winsock, AddressesOfBothFamiliesAreReadAndWrittenAsNumbers)
{
    struct Row {
        const char* text;
        int family; // 0: not a numeric address
        QByteArray written = {};
    };
    const std::vector<Row> rows{
        {.text = "127.0.0.1", .family = AF_INET_FAMILY, .written = "127.0.0.1"},
        {.text = "127.1", .family = AF_INET_FAMILY, .written = "127.0.0.1"}, // as inet_addr
        {.text = "::1", .family = AF_INET6_FAMILY, .written = "::1"},
        {.text = "FE80:0::1", .family = AF_INET6_FAMILY, .written = "fe80::1"},
        {.text = "fe80::1%lo", .family = AF_INET6_FAMILY, .written = "fe80::1%lo"},
        {.text = "::ffff:127.0.0.1", .family = AF_INET6_FAMILY, .written = "::ffff:127.0.0.1"},
        {.text = "localhost", .family = 0},
        {.text = "", .family = 0},
        {.text = "[::1]", .family = 0},
        {.text = "::1::2", .family = 0},
        {.text = "255.255.255.255", .family = 0}, // inet_addr's "none"
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const std::optional<SockAddr> address = SockAddr::fromText(row.text);
        ASSERT_EQ(address.has_value(), row.family != 0);
        if (!address)
            continue;
        EXPECT_EQ(address->family(), row.family);
        EXPECT_EQ(address->text(), row.written);
        SockAddr withPort = *address;
        withPort.setPort(40123);
        EXPECT_EQ(withPort.port(), 40123);
        EXPECT_FALSE(withPort == *address);
    }
    EXPECT_EQ(SockAddr::any(AF_INET6_FAMILY).text(), QByteArray("::"));
    EXPECT_EQ(SockAddr::any(AF_INET_FAMILY).text(), QByteArray("0.0.0.0"));
    EXPECT_EQ(SockAddr().family(), 0);
    EXPECT_EQ(SockAddr().text(), QByteArray());
}

TEST_F(WinsockTest, AConnectByListPassesRefusalsOnAndNoticesOnlyTheOutcome)
{
    // Nobody listens on ::1 at the listener's port (nor is there ::1 on every machine).
    SockAddr elsewhere = *SockAddr::fromText("::1");
    elsewhere.setPort(address.port());
    const SOCKET s = socket(2, 1, 0);
    WSAAsyncSelect(s, window, 1125, 61);
    EXPECT_EQ(connectByList(s, {elsewhere, address}), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    ASSERT_TRUE(waitForNotices(2)); // the connect, and the listener's accept
    EXPECT_EQ(eventsOf(s), std::vector<quint16>{FD_CONNECT});
    for (const Notice& notice : notices)
        EXPECT_EQ(notice.error, 0);
    SockAddr peer;
    ASSERT_EQ(getpeername(s, &peer), 0);
    EXPECT_EQ(peer, address);

    // Every address refuses: one notice, with the last refusal.
    ASSERT_EQ(closesocket(listener), 0);
    notices.clear();
    const SOCKET refused = socket(2, 1, 0);
    WSAAsyncSelect(refused, window, 1125, 61);
    EXPECT_EQ(connectByList(refused, {address, elsewhere, address}), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !eventsOf(refused).empty(); }, 2000));
    QTest::qWait(50);
    EXPECT_EQ(eventsOf(refused), std::vector<quint16>{FD_CONNECT});
    for (const Notice& notice : notices) {
        if (notice.socket == refused) {
            EXPECT_EQ(notice.error, WSAECONNREFUSED);
        }
    }
    EXPECT_EQ(connectByList(refused, {}), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
}

TEST_F(WinsockTest, ASocketTakesTheFamilyOfItsFirstAddress)
{
    if (!testsupport::hasIPv6Loopback())
        GTEST_SKIP() << "this machine has no IPv6 loopback address ::1";
    // Both sockets are opened as IPv4 ones, as the socket component opens its sockets.
    const SOCKET listener6 = socket(2, 1, 0);
    ASSERT_EQ(bind(listener6, *SockAddr::fromText("::1")), 0);
    ASSERT_EQ(WSAAsyncSelect(listener6, window, 1126, FD_ACCEPT), 0);
    ASSERT_EQ(listen(listener6, 1), 0);
    SockAddr local;
    ASSERT_EQ(getsockname(listener6, &local), 0);
    EXPECT_EQ(local.family(), AF_INET6_FAMILY);
    EXPECT_EQ(bind(listener6, address), SOCKET_ERROR); // bound: no change of family
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    const int open = openSocketCount();
    const SOCKET s = socket(2, 1, 0);
    WSAAsyncSelect(s, window, 1125, 61);
    EXPECT_EQ(connect(s, local), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    ASSERT_TRUE(waitForNotices(2));
    EXPECT_EQ(eventsOf(s), std::vector<quint16>{FD_CONNECT});
    SockAddr peer;
    const SOCKET accepted = accept(listener6, &peer);
    ASSERT_NE(accepted, INVALID_SOCKET);
    EXPECT_EQ(peer.text(), QByteArray("::1"));
    EXPECT_EQ(openSocketCount(), open + 2); // the handle stayed the same socket's
    ASSERT_EQ(send(s, "six", 3, 0), 3);
    char buffer[8];
    ASSERT_TRUE(QTest::qWaitFor([&] { return recv(accepted, buffer, 8, MSG_PEEK_FLAG) == 3; }));
}

} // namespace compat::winsock
