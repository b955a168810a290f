// The WinSock subset over non-blocking POSIX sockets, with notifications on Qt's event loop.
#include "net/compat/winsock.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace compat::winsock {

namespace {

constexpr quint16 version11 = 0x0101;

// One socket of the layer and its notification state.
struct SocketEntry {
    int fd = -1;
    int family = AF_INET;
    quint64 serial = 0;
    HWND window = NoWindow;
    quint32 message = 0;
    qint32 events = 0;
    bool connecting = false;
    bool connected = false;
    bool listening = false;
    bool bound = false;
    // A connect was tried on this socket: the next address needs a fresh one.
    bool connectTried = false;
    // The addresses connectByList has yet to try.
    std::vector<SockAddr> candidates;
    // Set by setsockopt, so that a socket opened anew for another family keeps it.
    std::optional<linger> lingerOption;
    bool readNoticePending = false; // FD_READ/FD_ACCEPT posted, waiting for recv/accept
    bool closeNoticed = false;      // end of stream seen and reported
    std::unique_ptr<QSocketNotifier> readNotifier;
    std::unique_ptr<QSocketNotifier> writeNotifier;
    // Edge-triggered set of the socket, only to wake a wait on new activity.
    int epollFd = -1;
    std::unique_ptr<QSocketNotifier> wakeNotifier;

    ~SocketEntry()
    {
        readNotifier.reset();
        writeNotifier.reset();
        wakeNotifier.reset();
        if (epollFd >= 0)
            ::close(epollFd);
        if (fd >= 0)
            ::close(fd);
    }
};

// Shared by every thread and guarded by `mutex`: the handles, the lookups, the start-up count
// and the seams. An entry itself is used only on the thread that opened its socket (its
// notifiers belong to that thread), and only that thread closes it.
struct State {
    std::mutex mutex;
    int startupCount = 0;
    std::atomic<quint64> lastSerial{0};
    std::atomic<quintptr> lastTask{0};
    std::map<SOCKET, std::unique_ptr<SocketEntry>> sockets;
    // Lookups not given up, with their answer once it arrived.
    std::map<quintptr, std::optional<AddrInfoAnswer>> lookups;
    ErrorInjector injector;
    Resolver resolver;
};

using Lock = std::lock_guard<std::mutex>;

State& state()
{
    static State instance;
    return instance;
}

// As WinSock keeps it: one last error per thread.
thread_local int lastError = 0;

int fail(int error)
{
    lastError = error;
    return SOCKET_ERROR;
}

int failFromErrno()
{
    return fail(winsockErrorFromErrno(errno));
}

bool started()
{
    const Lock lock(state().mutex);
    return state().startupCount > 0;
}

// A copy, so that a seam runs outside the lock (it may call the layer itself).
template <typename Seam>
Seam seamOf(const Seam& seam)
{
    const Lock lock(state().mutex);
    return seam;
}

bool injected(Call call, SOCKET s)
{
    const ErrorInjector injector = seamOf(state().injector);
    if (!injector)
        return false;
    const int error = injector(call, s);
    if (error == 0)
        return false;
    lastError = error;
    return true;
}

// The entry of a handle, or null.
SocketEntry* findEntry(SOCKET s)
{
    const Lock lock(state().mutex);
    const auto it = state().sockets.find(s);
    return it == state().sockets.end() ? nullptr : it->second.get();
}

// The entry of a handle, or null with the "not a socket" error (or "not started").
SocketEntry* entryOf(SOCKET s)
{
    if (!started()) {
        lastError = WSANOTINITIALISED;
        return nullptr;
    }
    SocketEntry* entry = findEntry(s);
    if (!entry)
        lastError = WSAENOTSOCK;
    return entry;
}

// A notice for the socket; dropped at delivery when the socket was closed meanwhile.
void postNotice(SocketEntry& entry, SOCKET s, quint16 event, int error)
{
    if (!(entry.events & event) || entry.window == NoWindow)
        return;
    const quint64 serial = entry.serial;
    postMessageWith(entry.window, entry.message, s, makeLParam(event, quint16(error)), [s, serial] {
        const SocketEntry* current = findEntry(s);
        return current && current->serial == serial;
    });
}

void updateNotifiers(SocketEntry& entry);
int connectNext(SocketEntry& entry, SOCKET s);

void onReadable(SOCKET s)
{
    SocketEntry* entry = entryOf(s);
    if (!entry)
        return;
    if (entry->listening) {
        entry->readNoticePending = true;
        postNotice(*entry, s, FD_ACCEPT, 0);
        updateNotifiers(*entry);
        return;
    }
    char byte = 0;
    const ssize_t n = ::recv(entry->fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) {
        entry->readNoticePending = true;
        postNotice(*entry, s, FD_READ, 0);
    } else if (n == 0) {
        entry->closeNoticed = true;
        postNotice(*entry, s, FD_CLOSE, 0);
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        entry->closeNoticed = true;
        postNotice(*entry, s, FD_CLOSE, winsockErrorFromErrno(errno));
    }
    updateNotifiers(*entry);
}

// A connect failure of this address alone: the next address of the list gets its chance,
// and the last one's is noticed, as a non-blocking connect reports its outcome.
bool unreachable(int error)
{
    switch (error) {
    case ECONNREFUSED:
    case ETIMEDOUT:
    case ENETUNREACH:
    case EHOSTUNREACH:
    case EADDRNOTAVAIL:
    case EAFNOSUPPORT: return true;
    default: return false;
    }
}

void onWritable(SOCKET s)
{
    SocketEntry* entry = entryOf(s);
    if (!entry || !entry->connecting)
        return;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(entry->fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    entry->connecting = false;
    entry->connected = error == 0;
    if (error != 0 && !entry->candidates.empty() && unreachable(error)) {
        // The next address gets its chance; its outcome is noticed in its turn.
        if (const int failure = connectNext(*entry, s); failure != WSAEWOULDBLOCK)
            postNotice(*entry, s, FD_CONNECT, failure);
        updateNotifiers(*entry);
        return;
    }
    postNotice(*entry, s, FD_CONNECT, error == 0 ? 0 : winsockErrorFromErrno(error));
    updateNotifiers(*entry);
}

// Read (or accept) notices while one is not pending and the stream has not ended;
// the write side only watches a connect in progress.
void updateNotifiers(SocketEntry& entry)
{
    const bool watchRead = entry.window != NoWindow && (entry.connected || entry.listening)
        && !entry.readNoticePending && !entry.closeNoticed
        && (entry.events & (FD_READ | FD_ACCEPT | FD_CLOSE | FD_OOB));
    if (entry.readNotifier)
        entry.readNotifier->setEnabled(watchRead);
    if (entry.writeNotifier)
        entry.writeNotifier->setEnabled(entry.connecting);
}

// The notifiers of the entry's descriptor and its wake set; false (errno set) when the
// wake set cannot be made: without it a wait on the socket would never learn of new data.
bool attachNotifiers(SocketEntry& entry, SOCKET s)
{
    entry.epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event watch{};
    watch.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
    watch.data.fd = entry.fd;
    if (entry.epollFd < 0 || ::epoll_ctl(entry.epollFd, EPOLL_CTL_ADD, entry.fd, &watch) != 0)
        return false;
    entry.readNotifier = std::make_unique<QSocketNotifier>(entry.fd, QSocketNotifier::Read);
    entry.readNotifier->setEnabled(false);
    QObject::connect(entry.readNotifier.get(), &QSocketNotifier::activated, [s] { onReadable(s); });
    entry.writeNotifier = std::make_unique<QSocketNotifier>(entry.fd, QSocketNotifier::Write);
    entry.writeNotifier->setEnabled(false);
    QObject::connect(entry.writeNotifier.get(), &QSocketNotifier::activated,
                     [s] { onWritable(s); });
    entry.wakeNotifier = std::make_unique<QSocketNotifier>(entry.epollFd, QSocketNotifier::Read);
    entry.wakeNotifier->setEnabled(false);
    QSocketNotifier* notifier = entry.wakeNotifier.get();
    const int epollFd = entry.epollFd;
    QObject::connect(notifier, &QSocketNotifier::activated, [notifier, epollFd] {
        epoll_event events[4];
        while (::epoll_wait(epollFd, events, 4, 0) > 0) {}
        notifier->setEnabled(false);
    });
    return true;
}

void detachNotifiers(SocketEntry& entry)
{
    entry.readNotifier.reset();
    entry.writeNotifier.reset();
    entry.wakeNotifier.reset();
    if (entry.epollFd >= 0)
        ::close(entry.epollFd);
    entry.epollFd = -1;
}

SOCKET registerSocket(int fd, int family, bool connected)
{
    auto entry = std::make_unique<SocketEntry>();
    entry->fd = fd; // closed with the entry on every way out
    if (fd >= INVALID_SOCKET) {
        fail(WSAEMFILE);
        return INVALID_SOCKET;
    }
    const SOCKET s = SOCKET(fd);
    if (!attachNotifiers(*entry, s)) {
        failFromErrno();
        return INVALID_SOCKET;
    }
    entry->family = family;
    entry->serial = ++state().lastSerial;
    entry->connected = connected;
    const Lock lock(state().mutex);
    state().sockets[s] = std::move(entry);
    return s;
}

// Puts a fresh stream socket of `family` under the same handle, with the options set on
// the old one; 0, or the errno of the failure (the old socket then stays).
int reopen(SocketEntry& entry, SOCKET s, int family)
{
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0)
        return errno;
    if (entry.lingerOption)
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &*entry.lingerOption, sizeof(linger));
    detachNotifiers(entry);
    const bool moved = ::dup3(fd, entry.fd, O_CLOEXEC) >= 0;
    const int error = errno;
    ::close(fd);
    if (!moved)
        return error;
    entry.family = family;
    entry.serial = ++state().lastSerial; // notices of the old socket are void
    entry.connecting = entry.connected = entry.bound = entry.connectTried = false;
    entry.readNoticePending = entry.closeNoticed = false;
    if (!attachNotifiers(entry, s))
        return errno;
    updateNotifiers(entry);
    return 0;
}

int nativeFamily(const SockAddr& address)
{
    return address.family() == AF_INET6_FAMILY ? AF_INET6 : AF_INET;
}

// Tries the candidates in order until a connect is under way or noticed as failed:
// WSAEWOULDBLOCK then, else the WinSock error of a call that failed at once.
int connectNext(SocketEntry& entry, SOCKET s)
{
    int error = 0;
    while (!entry.candidates.empty()) {
        const SockAddr target = entry.candidates.front();
        entry.candidates.erase(entry.candidates.begin());
        const int family = nativeFamily(target);
        error = entry.connectTried || entry.family != family ? reopen(entry, s, family) : 0;
        if (error == 0) {
            entry.connectTried = true;
            if (::connect(entry.fd, target.data(), socklen_t(target.length())) == 0
                || errno == EINPROGRESS || errno == EAGAIN) {
                entry.connecting = true;
                updateNotifiers(entry);
                return WSAEWOULDBLOCK;
            }
            error = errno;
        }
        if (!unreachable(error))
            break;
        if (entry.candidates.empty()) {
            postNotice(entry, s, FD_CONNECT, winsockErrorFromErrno(error));
            return WSAEWOULDBLOCK;
        }
    }
    entry.candidates.clear();
    return winsockErrorFromErrno(error);
}

int lookupError(int code)
{
    switch (code) {
    case EAI_NONAME: return WSAHOST_NOT_FOUND;
    case EAI_AGAIN: return WSATRY_AGAIN;
#ifdef EAI_NODATA
    case EAI_NODATA: return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return WSANO_DATA;
#endif
    default: return WSANO_RECOVERY;
    }
}

// The system's resolver: every address of the name in getaddrinfo's order, both families.
AddrInfoAnswer systemLookUp(const QByteArray& name)
{
    AddrInfoAnswer answer;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int code = ::getaddrinfo(name.constData(), nullptr, &hints, &list);
    if (code != 0) {
        answer.error = lookupError(code);
        return answer;
    }
    for (addrinfo* item = list; item; item = item->ai_next) {
        if (item->ai_family != AF_INET && item->ai_family != AF_INET6)
            continue;
        SockAddr address;
        std::memcpy(address.data(), item->ai_addr,
                    std::min<std::size_t>(item->ai_addrlen, sizeof(sockaddr_storage)));
        if (std::find(answer.addresses.begin(), answer.addresses.end(), address)
            == answer.addresses.end())
            answer.addresses.push_back(address);
    }
    ::freeaddrinfo(list);
    if (answer.addresses.empty())
        answer.error = WSANO_DATA;
    return answer;
}

int nameOf(SOCKET s, SockAddr* address, Call call, int (*name)(int, sockaddr*, socklen_t*))
{
    SocketEntry* entry = entryOf(s);
    if (!entry || injected(call, s))
        return SOCKET_ERROR;
    if (!address)
        return fail(WSAEFAULT);
    SockAddr result;
    socklen_t length = sizeof(sockaddr_storage);
    if (name(entry->fd, result.data(), &length) != 0)
        return failFromErrno();
    *address = result;
    return 0;
}

} // namespace

// ---- SockAddr ----

SockAddr::SockAddr(const SockAddrIn& address)
{
    std::memcpy(&m_storage, &address, sizeof address);
    reinterpret_cast<sockaddr_in&>(m_storage).sin_family = AF_INET;
}

std::optional<SockAddr> SockAddr::fromText(const char* text)
{
    if (!text || !*text)
        return std::nullopt;
    const quint32 dotted = inet_addr(text);
    if (dotted != INADDR_NONE_VALUE) {
        SockAddrIn address{};
        address.sin_addr.s_addr = dotted;
        return SockAddr(address);
    }
    if (!std::strchr(text, ':'))
        return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_INET6;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* list = nullptr;
    if (::getaddrinfo(text, nullptr, &hints, &list) != 0)
        return std::nullopt;
    SockAddr address;
    std::memcpy(address.data(), list->ai_addr,
                std::min<std::size_t>(list->ai_addrlen, sizeof(sockaddr_storage)));
    ::freeaddrinfo(list);
    return address;
}

SockAddr SockAddr::any(int family)
{
    SockAddr address;
    address.m_storage.ss_family = family == AF_INET6_FAMILY ? AF_INET6 : AF_INET;
    return address; // all zero bytes: the wildcard address, port 0
}

int SockAddr::family() const
{
    switch (m_storage.ss_family) {
    case AF_INET: return AF_INET_FAMILY;
    case AF_INET6: return AF_INET6_FAMILY;
    default: return 0;
    }
}

quint16 SockAddr::port() const
{
    switch (m_storage.ss_family) {
    case AF_INET: return ntohs(reinterpret_cast<const sockaddr_in&>(m_storage).sin_port);
    case AF_INET6: return ntohs(reinterpret_cast<const sockaddr_in6&>(m_storage).sin6_port);
    default: return 0;
    }
}

void SockAddr::setPort(quint16 port)
{
    if (m_storage.ss_family == AF_INET)
        reinterpret_cast<sockaddr_in&>(m_storage).sin_port = htons(port);
    else if (m_storage.ss_family == AF_INET6)
        reinterpret_cast<sockaddr_in6&>(m_storage).sin6_port = htons(port);
}

QByteArray SockAddr::text() const
{
    char host[NI_MAXHOST] = {};
    if (family() == 0
        || ::getnameinfo(data(), socklen_t(length()), host, sizeof host, nullptr, 0, NI_NUMERICHOST)
            != 0)
        return {};
    return host;
}

int SockAddr::length() const
{
    switch (m_storage.ss_family) {
    case AF_INET: return int(sizeof(sockaddr_in));
    case AF_INET6: return int(sizeof(sockaddr_in6));
    default: return 0;
    }
}

bool SockAddr::operator==(const SockAddr& other) const
{
    return length() == other.length()
        && std::memcmp(&m_storage, &other.m_storage, std::size_t(length())) == 0;
}

// ---- The calls ----

int WSAStartup(quint16 versionRequested, WSAData* data)
{
    if ((versionRequested & 0xFF) < 1)
        return WSAVERNOTSUPPORTED;
    {
        const Lock lock(state().mutex);
        ++state().startupCount;
    }
    if (data) {
        *data = WSAData{};
        data->wVersion = version11;
        data->wHighVersion = version11;
        std::strncpy(data->szDescription, "Zarvel sockets 1.1 on POSIX TCP/IP",
                     sizeof data->szDescription - 1);
        std::strncpy(data->szSystemStatus, "Running", sizeof data->szSystemStatus - 1);
        rlimit limit{};
        quint16 maxSockets = 32767;
        if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
            maxSockets = quint16(std::min<rlim_t>(limit.rlim_cur, 32767));
        data->iMaxSockets = maxSockets;
        data->iMaxUdpDg = 65507;
    }
    return 0;
}

int WSACleanup()
{
    // One lock for the count and the clean-up: a start-up on another thread meanwhile keeps
    // the sockets it opens.
    const Lock lock(state().mutex);
    if (state().startupCount == 0)
        return fail(WSANOTINITIALISED);
    if (--state().startupCount == 0)
        state().sockets.clear(); // closes what is still open, as the stack's shutdown does
    return 0;
}

int WSAGetLastError()
{
    return lastError;
}

void WSASetLastError(int error)
{
    lastError = error;
}

namespace {

// The WinSock number an errno value stands for; 0 when it has none of its own.
int namedWinsockError(int error)
{
    switch (error) {
    case EINTR: return WSAEINTR;
    case EBADF: return WSAEBADF;
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EAGAIN: return WSAEWOULDBLOCK;
    case EINPROGRESS: return WSAEINPROGRESS;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE: return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    case ENOTEMPTY: return 10066;
    case EUSERS: return 10068;
    case EDQUOT: return 10069;
    case ESTALE: return 10070;
    case EREMOTE: return 10071;
    default: return 0;
    }
}

} // namespace

int winsockErrorFromErrno(int error)
{
    if (error == 0)
        return 0;
    const int named = namedWinsockError(error);
    return named != 0 ? named : 10000 + error; // never a number that reads as success
}

QString systemReason(int error)
{
    const auto lowerFirst = [](const char* text) {
        QString words = QString::fromLocal8Bit(text);
        if (!words.isEmpty())
            words[0] = words[0].toLower();
        return words;
    };
    // Where several errno values share a number, the one the number stands for speaks.
    switch (error) {
    case 0: return {};
    case WSAHOST_NOT_FOUND: return lowerFirst(::gai_strerror(EAI_NONAME));
    case WSATRY_AGAIN: return lowerFirst(::gai_strerror(EAI_AGAIN));
    case WSANO_RECOVERY: return lowerFirst(::gai_strerror(EAI_FAIL));
#ifdef EAI_NODATA
    case WSANO_DATA: return lowerFirst(::gai_strerror(EAI_NODATA));
#endif
    case WSAEACCES: return lowerFirst(std::strerror(EACCES));
    case WSAEMFILE: return lowerFirst(std::strerror(EMFILE));
    case WSAECONNRESET: return lowerFirst(std::strerror(ECONNRESET));
    case WSAENOBUFS: return lowerFirst(std::strerror(ENOBUFS));
    default: break;
    }
    for (int number = 1; number < 200; ++number) {
        if (namedWinsockError(number) == error)
            return lowerFirst(std::strerror(number));
    }
    return {};
}

SOCKET socket(int family, int type, int protocol)
{
    if (!started()) {
        fail(WSANOTINITIALISED);
        return INVALID_SOCKET;
    }
    if (injected(Call::Socket, INVALID_SOCKET))
        return INVALID_SOCKET;
    if (family != AF_INET_FAMILY && family != AF_INET6_FAMILY) {
        fail(WSAEAFNOSUPPORT);
        return INVALID_SOCKET;
    }
    if (type != SOCK_STREAM_TYPE || (protocol != 0 && protocol != IPPROTO_TCP_PROTOCOL)) {
        fail(type != SOCK_STREAM_TYPE ? 10044 : 10043);
        return INVALID_SOCKET;
    }
    const int native = family == AF_INET6_FAMILY ? AF_INET6 : AF_INET;
    const int fd = ::socket(native, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        failFromErrno();
        return INVALID_SOCKET;
    }
    return registerSocket(fd, native, false);
}

int closesocket(SOCKET s)
{
    if (!entryOf(s) || injected(Call::Close, s))
        return SOCKET_ERROR;
    const Lock lock(state().mutex);
    state().sockets.erase(s);
    return 0;
}

int connect(SOCKET s, const SockAddr& address)
{
    return connectByList(s, {address});
}

int connectByList(SOCKET s, const std::vector<SockAddr>& addresses)
{
    SocketEntry* entry = entryOf(s);
    if (!entry || injected(Call::Connect, s))
        return SOCKET_ERROR;
    if (addresses.empty())
        return fail(WSAEFAULT);
    for (const SockAddr& address : addresses) {
        if (address.family() == 0)
            return fail(WSAEAFNOSUPPORT);
    }
    if (entry->connected)
        return fail(WSAEISCONN);
    if (entry->connecting)
        return fail(WSAEALREADY);
    if (entry->listening || (entry->bound && entry->family != nativeFamily(addresses.front())))
        return fail(WSAEINVAL);
    entry->candidates = addresses;
    return fail(connectNext(*entry, s));
}

int bind(SOCKET s, const SockAddr& address)
{
    SocketEntry* entry = entryOf(s);
    if (!entry || injected(Call::Bind, s))
        return SOCKET_ERROR;
    if (address.family() == 0)
        return fail(WSAEAFNOSUPPORT);
    const int family = nativeFamily(address);
    if (entry->family != family) {
        if (entry->bound || entry->listening || entry->connecting || entry->connected)
            return fail(WSAEINVAL);
        if (const int error = reopen(*entry, s, family); error != 0)
            return fail(winsockErrorFromErrno(error));
    }
    if (::bind(entry->fd, address.data(), socklen_t(address.length())) != 0)
        return failFromErrno();
    entry->bound = true;
    return 0;
}

int listen(SOCKET s, int backlog)
{
    SocketEntry* entry = entryOf(s);
    if (!entry || injected(Call::Listen, s))
        return SOCKET_ERROR;
    if (::listen(entry->fd, backlog) != 0)
        return failFromErrno();
    entry->listening = true;
    updateNotifiers(*entry);
    return 0;
}

SOCKET accept(SOCKET s, SockAddr* address)
{
    SocketEntry* entry = entryOf(s);
    if (!entry || injected(Call::Accept, s))
        return INVALID_SOCKET;
    SockAddr peer;
    socklen_t peerLength = sizeof(sockaddr_storage);
    const int fd = ::accept4(entry->fd, peer.data(), &peerLength, SOCK_NONBLOCK | SOCK_CLOEXEC);
    // The next connection is noticed again, whatever the outcome.
    entry->readNoticePending = false;
    updateNotifiers(*entry);
    if (fd < 0) {
        failFromErrno();
        return INVALID_SOCKET;
    }
    const HWND window = entry->window;
    const quint32 message = entry->message;
    const qint32 events = entry->events;
    const SOCKET accepted = registerSocket(fd, entry->family, true);
    if (accepted == INVALID_SOCKET)
        return INVALID_SOCKET;
    if (address)
        *address = peer;
    // An accepted socket has the notifications of the listening one.
    if (window != NoWindow)
        WSAAsyncSelect(accepted, window, message, events);
    return accepted;
}

int send(SOCKET s, const char* buffer, int length, int flags)
{
    SocketEntry* entry = entryOf(s);
    if (!entry || injected(Call::Send, s))
        return SOCKET_ERROR;
    if (length < 0)
        return fail(WSAEINVAL);
    const ssize_t sent =
        ::send(entry->fd, buffer, std::size_t(length), (flags & 1 ? MSG_OOB : 0) | MSG_NOSIGNAL);
    if (sent < 0)
        return failFromErrno();
    return int(sent);
}

namespace {

// How many SigpipeHeld of this thread are alive: only the outermost one makes system calls.
thread_local int sigpipeHolds = 0;

} // namespace

SigpipeHeld::SigpipeHeld()
{
    if (sigpipeHolds++ > 0)
        return;
    sigemptyset(&m_pipe);
    sigaddset(&m_pipe, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    m_wasPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &m_pipe, &m_previous);
}

SigpipeHeld::~SigpipeHeld()
{
    if (--sigpipeHolds > 0)
        return;
    sigset_t pending;
    sigpending(&pending);
    // A SIGPIPE raised while held is taken away: the call that caused it failed with EPIPE.
    if (!m_wasPending && sigismember(&pending, SIGPIPE) == 1) {
        const timespec now{};
        sigtimedwait(&m_pipe, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}

int sendFile(SOCKET s, int fileDescriptor, qint64& offset, int length)
{
    SocketEntry* entry = entryOf(s);
    if (!entry || injected(Call::Send, s))
        return SOCKET_ERROR;
    if (length < 0)
        return fail(WSAEINVAL);
    off_t position = off_t(offset);
    const SigpipeHeld held;
    const ssize_t sent = ::sendfile(entry->fd, fileDescriptor, &position, std::size_t(length));
    if (sent < 0)
        return failFromErrno();
    offset = position;
    return int(sent);
}

int recv(SOCKET s, char* buffer, int length, int flags)
{
    SocketEntry* entry = entryOf(s);
    if (!entry || injected(Call::Recv, s))
        return SOCKET_ERROR;
    if (length < 0)
        return fail(WSAEINVAL);
    const bool peek = flags & MSG_PEEK_FLAG;
    const ssize_t received = ::recv(entry->fd, buffer, std::size_t(length), peek ? MSG_PEEK : 0);
    const int error = errno;
    // A receive re-enables the read notice; a peek takes nothing, so noticing again
    // at once would only repeat the same notice.
    if (!peek && entry->readNoticePending) {
        entry->readNoticePending = false;
        updateNotifiers(*entry);
    }
    if (received < 0)
        return fail(winsockErrorFromErrno(error));
    return int(received);
}

int getsockname(SOCKET s, SockAddr* address)
{
    return nameOf(s, address, Call::GetName, ::getsockname);
}

int getpeername(SOCKET s, SockAddr* address)
{
    return nameOf(s, address, Call::GetName, ::getpeername);
}

int shutdownSending(SOCKET s)
{
    SocketEntry* entry = entryOf(s);
    if (!entry)
        return SOCKET_ERROR;
    return ::shutdown(entry->fd, SHUT_WR) == 0 ? 0 : failFromErrno();
}

int setsockopt(SOCKET s, int level, int option, const char* value, int length)
{
    SocketEntry* entry = entryOf(s);
    if (!entry || injected(Call::SetOption, s))
        return SOCKET_ERROR;
    if (level != SOL_SOCKET_LEVEL || option != SO_LINGER_OPTION)
        return fail(10042);
    if (!value || length < int(sizeof(Linger)))
        return fail(WSAEFAULT);
    Linger requested{};
    std::memcpy(&requested, value, sizeof requested);
    const linger setting{requested.l_onoff != 0 ? 1 : 0, int(requested.l_linger)};
    if (::setsockopt(entry->fd, SOL_SOCKET, SO_LINGER, &setting, sizeof setting) != 0)
        return failFromErrno();
    entry->lingerOption = setting;
    return 0;
}

quint32 inet_addr(const char* text)
{
    return text ? quint32(::inet_addr(text)) : INADDR_NONE_VALUE;
}

const char* inet_ntoa(in_addr address)
{
    return ::inet_ntoa(address);
}

quint16 hostToNetworkShort(quint16 value)
{
    return ::htons(value);
}

quint16 networkToHostShort(quint16 value)
{
    return ::ntohs(value);
}

int WSAAsyncSelect(SOCKET s, HWND window, quint32 message, qint32 events)
{
    SocketEntry* entry = entryOf(s);
    if (!entry || injected(Call::Select, s))
        return SOCKET_ERROR;
    entry->window = events != 0 ? window : NoWindow;
    entry->message = message;
    entry->events = events;
    entry->readNoticePending = false;
    updateNotifiers(*entry);
    return 0;
}

quintptr WSAAsyncGetAddrInfo(HWND window, quint32 message, const char* name)
{
    if (!started()) {
        fail(WSANOTINITIALISED);
        return 0;
    }
    if (!name) {
        fail(WSAEFAULT);
        return 0;
    }
    const quintptr task = ++state().lastTask;
    {
        const Lock lock(state().mutex);
        state().lookups[task] = std::nullopt;
    }
    // The answer is stored on the window's thread when its message is delivered, and only
    // while the task is still wanted: a lookup given up never answers a later one.
    const auto deliver = [window, message, task](AddrInfoAnswer answer) {
        const quint16 count = quint16(std::min<std::size_t>(answer.addresses.size(), 0xFFFF));
        const quint16 error = quint16(answer.error);
        postMessageWith(window, message, task, makeLParam(count, error),
                        [task, answer = std::move(answer)]() mutable {
                            const Lock lock(state().mutex);
                            const auto it = state().lookups.find(task);
                            if (it == state().lookups.end())
                                return false;
                            it->second = std::move(answer);
                            return true;
                        });
    };
    if (const ErrorInjector injector = seamOf(state().injector)) {
        if (const int error = injector(Call::Lookup, INVALID_SOCKET); error != 0) {
            if (error > 0)
                deliver(AddrInfoAnswer{error, {}});
            return task;
        }
    }
    Resolver resolver = seamOf(state().resolver);
    if (!resolver)
        resolver = systemLookUp;
    std::thread([deliver, resolver = std::move(resolver), host = QByteArray(name)] {
        AddrInfoAnswer answer = resolver(host);
        if (answer.error == 0 && answer.addresses.empty())
            answer.error = WSANO_DATA;
        deliver(std::move(answer));
    }).detach();
    return task;
}

bool takeAddrInfoAnswer(quintptr task, AddrInfoAnswer* answer)
{
    const Lock lock(state().mutex);
    const auto it = state().lookups.find(task);
    if (it == state().lookups.end() || !it->second)
        return false;
    if (answer)
        *answer = std::move(*it->second);
    state().lookups.erase(it);
    return true;
}

int WSACancelAsyncRequest(quintptr task)
{
    const Lock lock(state().mutex);
    if (state().lookups.erase(task) == 0)
        return fail(WSAEINVAL);
    return 0;
}

Resolver setResolver(Resolver resolver)
{
    const Lock lock(state().mutex);
    return std::exchange(state().resolver, std::move(resolver));
}

void wakeOnSocketActivity(SOCKET s)
{
    SocketEntry* entry = findEntry(s);
    // A socket reopened for another family may have lost its wake set (no descriptors).
    if (entry && entry->wakeNotifier)
        entry->wakeNotifier->setEnabled(true);
}

bool waitWritable(SOCKET s, int timeoutMs)
{
    const SocketEntry* entry = findEntry(s);
    if (!entry)
        return true;
    pollfd watch{entry->fd, POLLOUT, 0};
    for (;;) {
        const int ready = ::poll(&watch, 1, timeoutMs < 0 ? -1 : timeoutMs);
        if (ready >= 0 || errno != EINTR)
            return ready != 0;
    }
}

ErrorInjector setErrorInjector(ErrorInjector injector)
{
    const Lock lock(state().mutex);
    return std::exchange(state().injector, std::move(injector));
}

int openSocketCount()
{
    const Lock lock(state().mutex);
    return int(state().sockets.size());
}

} // namespace compat::winsock
