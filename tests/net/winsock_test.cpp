// The WinSock subset on 127.0.0.1: numbers, handles, notices and their re-arming, lookups.
#include "net/compat/winsock.h"

#include "net/compat/messages.h"
#include "tests/support/WaitFor.h"

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
    return testsupport::waitFor([count] { return notices.size() >= count; });
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
    ASSERT_TRUE(waitForNotices(1));
    EXPECT_EQ(notices[0].message, 1126u);
    EXPECT_EQ(notices[0].socket, SOCKET(found)); // the task, in the notification word
    EXPECT_EQ(notices[0].error, 0);
    AddrInfoAnswer answer;
    ASSERT_TRUE(takeAddrInfoAnswer(found, &answer));
    EXPECT_EQ(notices[0].event, answer.addresses.size());
    EXPECT_EQ(std::count(answer.addresses.begin(), answer.addresses.end(),
                         *SockAddr::fromText("127.0.0.1")),
              1);
    EXPECT_FALSE(takeAddrInfoAnswer(found, &answer)); // handed over once

    // A failure comes with the message and the answer; a lookup given up, never.
    notices.clear();
    setErrorInjector(
        [](Call call, SOCKET) { return call == Call::Lookup ? WSAHOST_NOT_FOUND : 0; });
    const quintptr givenUp = WSAAsyncGetAddrInfo(window, 1126, "anything");
    const quintptr failed = WSAAsyncGetAddrInfo(window, 1126, "anything");
    EXPECT_EQ(WSACancelAsyncRequest(givenUp), 0);
    ASSERT_TRUE(waitForNotices(1));
    QTest::qWait(30);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].socket, SOCKET(failed));
    EXPECT_EQ(notices[0].error, WSAHOST_NOT_FOUND);
    ASSERT_TRUE(takeAddrInfoAnswer(failed, &answer));
    EXPECT_EQ(answer.error, WSAHOST_NOT_FOUND);
    EXPECT_FALSE(takeAddrInfoAnswer(givenUp, &answer));
}

TEST(Winsock, AddressesOfBothFamiliesAreReadAndWrittenAsNumbers)
{
    // What fromText reads, and how the address then reads back ("": no numeric address).
    const std::vector<std::pair<const char*, QByteArray>> rows{
        {"127.0.0.1", "127.0.0.1"},
        {"127.1", "127.0.0.1"}, // as inet_addr reads it
        {"::1", "::1"},
        {"FE80:0::1", "fe80::1"},
        {"fe80::1%lo", "fe80::1%lo"},
        {"::ffff:127.0.0.1", "::ffff:127.0.0.1"},
        {"localhost", ""},
        {"", ""},
        {"[::1]", ""},
        {"::1::2", ""},
        {"255.255.255.255", ""}, // inet_addr's "none"
    };
    for (const auto& [text, written] : rows) {
        SCOPED_TRACE(text);
        const std::optional<SockAddr> address = SockAddr::fromText(text);
        EXPECT_EQ(address.value_or(SockAddr()).text(), written);
        EXPECT_EQ(address.value_or(SockAddr()).family(),
                  written.isEmpty()           ? 0
                      : written.contains(':') ? AF_INET6_FAMILY
                                              : AF_INET_FAMILY);
        SockAddr withPort = address.value_or(SockAddr::any(AF_INET6_FAMILY));
        withPort.setPort(40123);
        EXPECT_EQ(withPort.port(), 40123);
    }
    EXPECT_EQ(SockAddr::any(AF_INET6_FAMILY).text(), QByteArray("::"));
    EXPECT_EQ(SockAddr::any(AF_INET_FAMILY).text(), QByteArray("0.0.0.0"));
}

} // namespace compat::winsock
