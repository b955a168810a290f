// The WinSock subset the socket component uses, over non-blocking POSIX sockets: 1.1's
// calls, with WinSock 2's addresses of both families and its lookup by getaddrinfo.
// Handles are 16 bits (65535 = none), errors are WinSock numbers, and notifications
// arrive as posted window messages on the window's thread. A socket is used on the thread
// (a QThread) that opened it; the calls are safe from several such threads at once.
// Private to net/ (its compatibility layer): only net/ and tests/net include it.
#pragma once

#include "net/compat/messages.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>

namespace compat::winsock {

using SOCKET = quint16;
constexpr SOCKET INVALID_SOCKET = 65535;
constexpr int SOCKET_ERROR = -1;
constexpr quint32 INADDR_NONE_VALUE = 0xFFFFFFFF;

constexpr int AF_INET_FAMILY = 2;
constexpr int AF_INET6_FAMILY = 23;
constexpr int SOCK_STREAM_TYPE = 1;
constexpr int IPPROTO_TCP_PROTOCOL = 6;
constexpr int SOL_SOCKET_LEVEL = 65535;
constexpr int SO_LINGER_OPTION = 128;
constexpr int MSG_PEEK_FLAG = 2;

// Events of WSAAsyncSelect (low half of the notification parameter).
constexpr quint16 FD_READ = 1;
constexpr quint16 FD_WRITE = 2;
constexpr quint16 FD_OOB = 4;
constexpr quint16 FD_ACCEPT = 8;
constexpr quint16 FD_CONNECT = 16;
constexpr quint16 FD_CLOSE = 32;

// WinSock error numbers used by the layer.
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

// What the stack start-up reports.
struct WSAData {
    quint16 wVersion = 0;
    quint16 wHighVersion = 0;
    char szDescription[257] = {};
    char szSystemStatus[129] = {};
    quint16 iMaxSockets = 0;
    quint16 iMaxUdpDg = 0;
    char* lpVendorInfo = nullptr;
};

// The IPv4 socket address: family, port and address in network byte order, 8 zero bytes.
using SockAddrIn = ::sockaddr_in;
static_assert(sizeof(SockAddrIn) == 16);

// A socket address of either family, as WinSock 2's SOCKADDR_STORAGE; the calls below
// take it where WinSock takes a sockaddr and its length.
class SockAddr {
public:
    SockAddr() = default;
    explicit SockAddr(const SockAddrIn& address);
    // A numeric address: IPv4 as inet_addr reads it, or IPv6 ("::1", "fe80::1%eth0").
    // Nothing for a host name: no name service is asked.
    static std::optional<SockAddr> fromText(const char* text);
    // The wildcard address of AF_INET_FAMILY or AF_INET6_FAMILY.
    static SockAddr any(int family);

    // AF_INET_FAMILY, AF_INET6_FAMILY, or 0 for no address.
    int family() const;
    quint16 port() const;
    void setPort(quint16 port);
    // The numeric address without the port: "127.0.0.1", "::1", "fe80::1%eth0".
    QByteArray text() const;

    const sockaddr* data() const { return reinterpret_cast<const sockaddr*>(&m_storage); }
    sockaddr* data() { return reinterpret_cast<sockaddr*>(&m_storage); }
    int length() const;
    bool operator==(const SockAddr& other) const;

private:
    sockaddr_storage m_storage{};
};

// Start-up and clean-up are counted per process.
int WSAStartup(quint16 versionRequested, WSAData* data);
int WSACleanup();
// The last error of the calling thread.
int WSAGetLastError();
void WSASetLastError(int error);

// The errno of a failed POSIX call as a WinSock number.
int winsockErrorFromErrno(int error);

// The system's own words for a WinSock error number, as the C library or the resolver
// gives them, with a lower-case first letter ("connection refused"); empty for 0 and for
// numbers the system has no words for.
QString systemReason(int error);

SOCKET socket(int family, int type, int protocol);
int closesocket(SOCKET s);
// A socket that is neither bound, listening nor connected takes the family of the address
// it is bound or connected to (its options go with it): the socket component opens its
// socket before it knows its peer's family.
int connect(SOCKET s, const SockAddr& address);
int bind(SOCKET s, const SockAddr& address);
int listen(SOCKET s, int backlog);
SOCKET accept(SOCKET s, SockAddr* address);
int send(SOCKET s, const char* buffer, int length, int flags);
// Sends up to `length` bytes of the open file `fileDescriptor` from `offset` on (advanced by
// what went), straight from the page cache; 0 at the file's end. Not a WinSock call: the
// zero-copy counterpart of send for files. A peer that has gone makes it fail, not SIGPIPE.
int sendFile(SOCKET s, int fileDescriptor, qint64& offset, int length);

// sendfile has no MSG_NOSIGNAL: while one of these lives, SIGPIPE is held back from this
// thread and taken away afterwards. sendFile holds one itself; a loop of sendFile calls
// holds one around them all, which saves the signal calls of each.
class SigpipeHeld {
public:
    SigpipeHeld();
    ~SigpipeHeld();
    SigpipeHeld(const SigpipeHeld&) = delete;
    SigpipeHeld& operator=(const SigpipeHeld&) = delete;

private:
    sigset_t m_pipe{};
    sigset_t m_previous{};
    bool m_wasPending = false;
};
int recv(SOCKET s, char* buffer, int length, int flags);
int getsockname(SOCKET s, SockAddr* address);
int getpeername(SOCKET s, SockAddr* address);
int setsockopt(SOCKET s, int level, int option, const char* value, int length);
// shutdown(s, SD_SEND): the peer reads the end of the stream; receiving goes on.
int shutdownSending(SOCKET s);

// linger as WinSock defines it: two 16-bit values.
struct Linger {
    quint16 l_onoff;
    quint16 l_linger;
};

quint32 inet_addr(const char* text);
// The dotted text of a network-order address (a static buffer, as WinSock has it).
const char* inet_ntoa(in_addr address);
// htons and ntohs (the names are macros in the C library).
quint16 hostToNetworkShort(quint16 value);
quint16 networkToHostShort(quint16 value);

// Notifications of `events` for the socket as `message` posted to `window`:
// wParam the socket, lParam event | error << 16. Read is noticed once until the next
// recv; accept once until the next accept; connect once; a close only after the data.
int WSAAsyncSelect(SOCKET s, HWND window, quint32 message, qint32 events);

// Connects to the addresses in their order: one that refuses or cannot be reached (or is
// of a family the machine lacks) passes the connect on to the next on a fresh socket
// before anything is noticed, so the one FD_CONNECT tells the outcome of the last attempt.
int connectByList(SOCKET s, const std::vector<SockAddr>& addresses);

// What a name lookup found: a WinSock error number (0: none), or the addresses in the
// order the resolver gave them (both families, no duplicates).
struct AddrInfoAnswer {
    int error = 0;
    std::vector<SockAddr> addresses;
};

// Looks the name up (getaddrinfo) on a helper thread; when done, `message` is posted to
// `window` with wParam = the task and lParam = address count | error << 16, and the
// answer waits for takeAddrInfoAnswer. Returns the task; 0 when the call failed.
quintptr WSAAsyncGetAddrInfo(HWND window, quint32 message, const char* name);
// Hands the answer of the task over, once; false while it has none.
bool takeAddrInfoAnswer(quintptr task, AddrInfoAnswer* answer);
// Gives the lookup up: its answer, should it still come, is dropped unseen.
int WSACancelAsyncRequest(quintptr task);

// Seam for tests: answers lookups in place of the system's resolver, on the helper thread.
using Resolver = std::function<AddrInfoAnswer(const QByteArray& name)>;
Resolver setResolver(Resolver resolver);

// Waiting without spinning: wakes waitMessages() when new data arrives on the socket,
// the socket becomes writable again, or it is closed. Stays armed until it wakes once.
void wakeOnSocketActivity(SOCKET s);

// Blocks without dispatching until the socket can take more data, or `timeoutMs` have
// passed (negative: no limit). False on time-out; true also when the socket failed
// (the next send reports why).
bool waitWritable(SOCKET s, int timeoutMs);

// Seam for tests: the injector sees each call and returns a WinSock error number to make
// that call fail with it, or 0 to let it run. A failed Lookup completes with that error
// without asking any name service; a negative number makes it never complete.
enum class Call {
    Socket,
    Connect,
    Bind,
    Listen,
    Accept,
    Send,
    Recv,
    Close,
    SetOption,
    GetName,
    Select,
    Lookup
};
using ErrorInjector = std::function<int(Call call, SOCKET s)>;
ErrorInjector setErrorInjector(ErrorInjector injector);

// Number of open sockets of this layer (for tests of resource release).
int openSocketCount();

} // namespace compat::winsock
