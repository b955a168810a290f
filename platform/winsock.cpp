// WinSock subset over POSIX sockets (bodies follow).
#include "platform/winsock.h"

namespace platform::winsock {
int WSAStartup(quint16, WSAData*) { return 0; }
int WSACleanup() { return 0; }
int WSAGetLastError() { return 0; }
void WSASetLastError(int) {}
int winsockErrorFromErrno(int) { return 0; }
SOCKET socket(int, int, int) { return INVALID_SOCKET; }
int closesocket(SOCKET) { return 0; }
int connect(SOCKET, const SockAddrIn*, int) { return 0; }
int bind(SOCKET, const SockAddrIn*, int) { return 0; }
int listen(SOCKET, int) { return 0; }
SOCKET accept(SOCKET, SockAddrIn*, int*) { return INVALID_SOCKET; }
int send(SOCKET, const char*, int, int) { return 0; }
int recv(SOCKET, char*, int, int) { return 0; }
int getsockname(SOCKET, SockAddrIn*, int*) { return 0; }
int setsockopt(SOCKET, int, int, const char*, int) { return 0; }
quint32 inet_addr(const char*) { return INADDR_NONE_VALUE; }
const char* inet_ntoa(in_addr) { return ""; }
quint16 hostToNetworkShort(quint16 v) { return v; }
quint16 networkToHostShort(quint16 v) { return v; }
int WSAAsyncSelect(SOCKET, HWND, quint32, qint32) { return 0; }
quintptr WSAAsyncGetHostByName(HWND, quint32, const char*, char*, int) { return 0; }
void wakeOnSocketActivity(SOCKET) {}
ErrorInjector setErrorInjector(ErrorInjector i) { return i; }
int openSocketCount() { return 0; }
} // namespace platform::winsock
