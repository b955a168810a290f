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

PeerConnection::~PeerConnection()
{
    close();
}

void PeerConnection::send(const QByteArray& bytes)
{
    qsizetype offset = 0;
    while (m_fd >= 0 && offset < bytes.size()) {
        const ssize_t sent = ::send(m_fd, bytes.constData() + offset, std::size_t(bytes.size() - offset),
                                    MSG_NOSIGNAL);
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
        if (n <= 0)
            break;
        result.append(buffer, n);
    }
    return result;
}

QByteArray PeerConnection::receiveLine()
{
    QByteArray result;
    char byte = 0;
    while (m_fd >= 0 && ::recv(m_fd, &byte, 1, 0) == 1) {
        result.append(byte);
        if (byte == '\n')
            break;
    }
    return result;
}

QByteArray PeerConnection::receiveAll()
{
    QByteArray result;
    char buffer[65536];
    for (;;) {
        const ssize_t n = m_fd >= 0 ? ::recv(m_fd, buffer, sizeof buffer, 0) : 0;
        if (n < 0)
            m_reset = errno == ECONNRESET;
        if (n <= 0)
            break;
        result.append(buffer, n);
    }
    return result;
}

void PeerConnection::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

LoopbackPeer::LoopbackPeer()
{
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(m_listenFd, 4) != 0)
        throw std::runtime_error("loopback peer cannot listen");
    socklen_t length = sizeof address;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length);
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
        if (fd < 0)
            return;
        PeerConnection connection(fd);
        script(connection);
    });
}

void LoopbackPeer::connectTo(quint16 port, std::function<void(PeerConnection&)> script)
{
    join();
    m_thread = std::thread([port, script = std::move(script)] {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in address = loopback(port);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return;
        }
        PeerConnection connection(fd);
        script(connection);
    });
}

void LoopbackPeer::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

quint16 LoopbackPeer::closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

void peerSleep(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
