// The loopback peer of the socket tests.
#include "LoopbackPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace {

sockaddr_in loopback(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

void PeerConnection::send(const QByteArray& bytes)
{
    for (qsizetype offset = 0; m_fd >= 0 && offset < bytes.size();) {
        const ssize_t sent = ::send(m_fd, bytes.constData() + offset, std::size_t(bytes.size() - offset), MSG_NOSIGNAL);
        if (sent <= 0)
            return;
        offset += sent;
    }
}

QByteArray PeerConnection::receive(qsizetype count)
{
    QByteArray result;
    char buffer[65536];
    while (m_fd >= 0 && result.size() < count) {
        const ssize_t n = ::recv(m_fd, buffer, std::size_t(std::min<qsizetype>(sizeof buffer, count - result.size())), 0);
        m_reset = n < 0 && errno == ECONNRESET;
        if (n <= 0)
            break;
        result.append(buffer, n);
    }
    return result;
}

QByteArray PeerConnection::receiveLine()
{
    QByteArray result;
    while (!result.endsWith('\n')) {
        const QByteArray byte = receive(1);
        if (byte.isEmpty())
            break;
        result += byte;
    }
    return result;
}

void PeerConnection::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

LoopbackPeer::LoopbackPeer(int backlog)
{
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(m_listenFd, backlog) != 0
        || ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("loopback peer cannot listen");
    m_port = ntohs(address.sin_port);
}

LoopbackPeer::~LoopbackPeer()
{
    // Unblocks a script still waiting in accept().
    ::shutdown(m_listenFd, SHUT_RDWR);
    join();
    ::close(m_listenFd);
}

void LoopbackPeer::serve(std::function<void(PeerConnection&)> script)
{
    join();
    m_thread = std::thread([this, script = std::move(script)] {
        const int fd = ::accept(m_listenFd, nullptr, nullptr);
        if (fd >= 0) {
            PeerConnection connection(fd);
            script(connection);
        }
    });
}

void LoopbackPeer::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

int connectLoopback(quint16 port, bool blocking)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (blocking ? 0 : SOCK_NONBLOCK), 0);
    const sockaddr_in address = loopback(port);
    ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return fd;
}

void peerSleep(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
