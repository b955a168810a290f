// The WinSock subset over non-blocking POSIX sockets, with notifications on Qt's event loop.
#include "net/compat/winsock.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
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
    quint64 serial = 0;
    HWND window = NoWindow;
    quint32 message = 0;
    qint32 events = 0;
    bool connecting = false;
    bool connected = false;
    bool listening = false;
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

struct State {
    int startupCount = 0;
    int lastError = 0;
    quint64 lastSerial = 0;
    quintptr lastTask = 0;
    std::map<SOCKET, std::unique_ptr<SocketEntry>> sockets;
    ErrorInjector injector;
};

State& state()
{
    static State instance;
    return instance;
}

int fail(int error)
{
    state().lastError = error;
    return SOCKET_ERROR;
}

int failFromErrno()
{
    return fail(winsockErrorFromErrno(errno));
}

bool injected(Call call, SOCKET s)
{
    if (!state().injector)
        return false;
    const int error = state().injector(call, s);
    if (error == 0)
        return false;
    state().lastError = error;
    return true;
}

// The entry of a handle, or null with the "not a socket" error (or "not started").
SocketEntry* entryOf(SOCKET s)
{
    if (state().startupCount == 0) {
        state().lastError = WSANOTINITIALISED;
        return nullptr;
    }
    const auto it = state().sockets.find(s);
    if (it == state().sockets.end()) {
        state().lastError = WSAENOTSOCK;
        return nullptr;
    }
    return it->second.get();
}

// A notice for the socket; dropped at delivery when the socket was closed meanwhile.
void postNotice(SocketEntry& entry, SOCKET s, quint16 event, int error)
{
    if (!(entry.events & event) || entry.window == NoWindow)
        return;
    const quint64 serial = entry.serial;
    postMessageWith(entry.window, entry.message, s, makeLParam(event, quint16(error)), [s, serial] {
        const auto it = state().sockets.find(s);
        return it != state().sockets.end() && it->second->serial == serial;
    });
}

void updateNotifiers(SocketEntry& entry);

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

SOCKET registerSocket(int fd, bool connected)
{
    auto entry = std::make_unique<SocketEntry>();
    entry->fd = fd; // closed with the entry on every way out
    if (fd >= INVALID_SOCKET) {
        fail(WSAEMFILE);
        return INVALID_SOCKET;
    }
    // Without its wake set, a wait on the socket would never learn of new data.
    entry->epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event watch{};
    watch.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
    watch.data.fd = fd;
    if (entry->epollFd < 0 || ::epoll_ctl(entry->epollFd, EPOLL_CTL_ADD, fd, &watch) != 0) {
        failFromErrno();
        return INVALID_SOCKET;
    }
    const SOCKET s = SOCKET(fd);
    entry->serial = ++state().lastSerial;
    entry->connected = connected;
    entry->readNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    entry->readNotifier->setEnabled(false);
    QObject::connect(entry->readNotifier.get(), &QSocketNotifier::activated,
                     [s] { onReadable(s); });
    entry->writeNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    entry->writeNotifier->setEnabled(false);
    QObject::connect(entry->writeNotifier.get(), &QSocketNotifier::activated,
                     [s] { onWritable(s); });
    entry->wakeNotifier = std::make_unique<QSocketNotifier>(entry->epollFd, QSocketNotifier::Read);
    entry->wakeNotifier->setEnabled(false);
    QSocketNotifier* notifier = entry->wakeNotifier.get();
    const int epollFd = entry->epollFd;
    QObject::connect(notifier, &QSocketNotifier::activated, [notifier, epollFd] {
        epoll_event events[4];
        while (::epoll_wait(epollFd, events, 4, 0) > 0) {}
        notifier->setEnabled(false);
    });
    state().sockets[s] = std::move(entry);
    return s;
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

struct LookupResult {
    int error = 0;
    std::string name;
    std::vector<in_addr> addresses;
};

LookupResult lookUp(const std::string& name)
{
    LookupResult result;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* list = nullptr;
    const int code = ::getaddrinfo(name.c_str(), nullptr, &hints, &list);
    if (code != 0) {
        result.error = lookupError(code);
        return result;
    }
    result.name = list->ai_canonname ? list->ai_canonname : name;
    for (addrinfo* item = list; item; item = item->ai_next) {
        const in_addr address = reinterpret_cast<const sockaddr_in*>(item->ai_addr)->sin_addr;
        const bool seen = std::any_of(result.addresses.begin(), result.addresses.end(),
                                      [&](const in_addr& a) { return a.s_addr == address.s_addr; });
        if (!seen)
            result.addresses.push_back(address);
    }
    ::freeaddrinfo(list);
    if (result.addresses.empty())
        result.error = WSANO_DATA;
    return result;
}

// Room the host entry takes in the caller's buffer: the header, the address pointers
// (null-terminated), an empty alias list, the addresses, the name.
std::size_t hostEntrySize(const LookupResult& result)
{
    const std::size_t count = result.addresses.size();
    return sizeof(HostEnt) + (count + 1) * sizeof(char*) + sizeof(char*) + count * 4
        + result.name.size() + 1;
}

void writeHostEntry(const LookupResult& result, char* buffer)
{
    const std::size_t count = result.addresses.size();
    const std::size_t header = sizeof(HostEnt);
    const std::size_t pointers = (count + 1) * sizeof(char*);
    auto* entry = reinterpret_cast<HostEnt*>(buffer);
    auto** addressList = reinterpret_cast<char**>(buffer + header);
    auto** aliasList = reinterpret_cast<char**>(buffer + header + pointers);
    char* addressBytes = buffer + header + pointers + sizeof(char*);
    char* name = addressBytes + count * 4;
    for (std::size_t i = 0; i < count; ++i) {
        std::memcpy(addressBytes + 4 * i, &result.addresses[i].s_addr, 4);
        addressList[i] = addressBytes + 4 * i;
    }
    addressList[count] = nullptr;
    aliasList[0] = nullptr;
    std::memcpy(name, result.name.c_str(), result.name.size() + 1);
    entry->h_name = name;
    entry->h_aliases = aliasList;
    entry->h_addrtype = AF_INET;
    entry->h_length = 4;
    entry->h_addr_list = addressList;
}

} // namespace

int WSAStartup(quint16 versionRequested, WSAData* data)
{
    if ((versionRequested & 0xFF) < 1)
        return WSAVERNOTSUPPORTED;
    ++state().startupCount;
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
    if (state().startupCount == 0)
        return fail(WSANOTINITIALISED);
    if (--state().startupCount == 0)
        state().sockets.clear(); // closes what is still open, as the stack's shutdown does
    return 0;
}

int WSAGetLastError()
{
    return state().lastError;
}

void WSASetLastError(int error)
{
    state().lastError = error;
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
    if (state().startupCount == 0) {
        fail(WSANOTINITIALISED);
        return INVALID_SOCKET;
    }
    if (injected(Call::Socket, INVALID_SOCKET))
        return INVALID_SOCKET;
    if (family != AF_INET_FAMILY) {
        fail(WSAEAFNOSUPPORT);
        return INVALID_SOCKET;
    }
    if (type != SOCK_STREAM_TYPE || (protocol != 0 && protocol != IPPROTO_TCP_PROTOCOL)) {
        fail(type != SOCK_STREAM_TYPE ? 10044 : 10043);
        return INVALID_SOCKET;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        failFromErrno();
        return INVALID_SOCKET;
    }
    return registerSocket(fd, false);
}

int closesocket(SOCKET s)
{
    if (!entryOf(s) || injected(Call::Close, s))
        return SOCKET_ERROR;
    state().sockets.erase(s);
    return 0;
}

int connect(SOCKET s, const SockAddrIn* address, int length)
{
    SocketEntry* entry = entryOf(s);
    if (!entry || injected(Call::Connect, s))
        return SOCKET_ERROR;
    if (!address || length < int(sizeof(SockAddrIn)))
        return fail(WSAEFAULT);
    if (entry->connected)
        return fail(WSAEISCONN);
    if (entry->connecting)
        return fail(WSAEALREADY);
    sockaddr_in target = *address;
    target.sin_family = AF_INET;
    if (::connect(entry->fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) {
        entry->connecting = true;
        updateNotifiers(*entry);
        return 0;
    }
    const int error = errno;
    switch (error) {
    case EINPROGRESS:
    case EAGAIN:
        entry->connecting = true;
        updateNotifiers(*entry);
        return fail(WSAEWOULDBLOCK);
    case ECONNREFUSED:
    case ETIMEDOUT:
    case ENETUNREACH:
    case EHOSTUNREACH:
        // A non-blocking connect reports its outcome as a notice, never at once.
        postNotice(*entry, s, FD_CONNECT, winsockErrorFromErrno(error));
        return fail(WSAEWOULDBLOCK);
    default: return fail(winsockErrorFromErrno(error));
    }
}

int bind(SOCKET s, const SockAddrIn* address, int length)
{
    SocketEntry* entry = entryOf(s);
    if (!entry || injected(Call::Bind, s))
        return SOCKET_ERROR;
    if (!address || length < int(sizeof(SockAddrIn)))
        return fail(WSAEFAULT);
    sockaddr_in local = *address;
    local.sin_family = AF_INET;
    if (::bind(entry->fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        return failFromErrno();
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

SOCKET accept(SOCKET s, SockAddrIn* address, int* length)
{
    SocketEntry* entry = entryOf(s);
    if (!entry || injected(Call::Accept, s))
        return INVALID_SOCKET;
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    const int fd = ::accept4(entry->fd, reinterpret_cast<sockaddr*>(&peer), &peerLength,
                             SOCK_NONBLOCK | SOCK_CLOEXEC);
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
    const SOCKET accepted = registerSocket(fd, true);
    if (accepted == INVALID_SOCKET)
        return INVALID_SOCKET;
    if (address && length && *length >= int(sizeof(SockAddrIn))) {
        *address = peer;
        *length = int(sizeof(SockAddrIn));
    }
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

int getsockname(SOCKET s, SockAddrIn* address, int* length)
{
    SocketEntry* entry = entryOf(s);
    if (!entry || injected(Call::GetName, s))
        return SOCKET_ERROR;
    if (!address || !length || *length < int(sizeof(SockAddrIn)))
        return fail(WSAEFAULT);
    sockaddr_in local{};
    socklen_t localLength = sizeof local;
    if (::getsockname(entry->fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0)
        return failFromErrno();
    *address = local;
    *length = int(sizeof(SockAddrIn));
    return 0;
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

quintptr WSAAsyncGetHostByName(HWND window, quint32 message, const char* name, char* buffer,
                               int bufferLength)
{
    if (state().startupCount == 0) {
        fail(WSANOTINITIALISED);
        return 0;
    }
    if (!name || !buffer || bufferLength <= 0) {
        fail(WSAEFAULT);
        return 0;
    }
    const quintptr task = ++state().lastTask;
    if (state().injector) {
        if (const int error = state().injector(Call::Lookup, INVALID_SOCKET); error != 0) {
            if (error < 0)
                return task;
            postMessageWith(window, message, task, makeLParam(0, quint16(error)), {});
            return task;
        }
    }
    // The buffer is written on the UI thread when the message is delivered: the window
    // and the buffer belong to one owner, so a live window means a live buffer.
    std::thread([window, message, task, host = std::string(name), buffer, bufferLength] {
        const LookupResult result = lookUp(host);
        if (result.error != 0) {
            postMessageWith(window, message, task, makeLParam(0, quint16(result.error)), {});
            return;
        }
        const std::size_t size = hostEntrySize(result);
        if (size > std::size_t(bufferLength)) {
            postMessageWith(window, message, task,
                            makeLParam(quint16(std::min<std::size_t>(size, 0xFFFF)), WSAENOBUFS),
                            {});
            return;
        }
        postMessageWith(window, message, task, makeLParam(quint16(size), 0), [result, buffer] {
            writeHostEntry(result, buffer);
            return true;
        });
    }).detach();
    return task;
}

void wakeOnSocketActivity(SOCKET s)
{
    const auto it = state().sockets.find(s);
    if (it != state().sockets.end())
        it->second->wakeNotifier->setEnabled(true);
}

bool waitWritable(SOCKET s, int timeoutMs)
{
    const auto it = state().sockets.find(s);
    if (it == state().sockets.end())
        return true;
    pollfd watch{it->second->fd, POLLOUT, 0};
    for (;;) {
        const int ready = ::poll(&watch, 1, timeoutMs < 0 ? -1 : timeoutMs);
        if (ready >= 0 || errno != EINTR)
            return ready != 0;
    }
}

ErrorInjector setErrorInjector(ErrorInjector injector)
{
    return std::exchange(state().injector, std::move(injector));
}

int openSocketCount()
{
    return int(state().sockets.size());
}

} // namespace compat::winsock
