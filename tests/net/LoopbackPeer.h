// A peer on 127.0.0.1 that runs a script on its own thread with plain blocking sockets,
// so the component under test waits exactly as it would on a real server.
#pragma once

#include <QByteArray>

#include <functional>
#include <limits>
#include <thread>

// One TCP connection of the peer; closed when it goes.
class PeerConnection {
public:
    explicit PeerConnection(int fd) : m_fd(fd) {}
    ~PeerConnection() { close(); }
    PeerConnection(const PeerConnection&) = delete;
    PeerConnection& operator=(const PeerConnection&) = delete;

    void send(const QByteArray& bytes);
    // Reads until `count` bytes came or the other side closed; wasReset() tells a reset from a close.
    QByteArray receive(qsizetype count = std::numeric_limits<qsizetype>::max());
    // Reads one line (up to and including LF), or what came before the other side closed.
    QByteArray receiveLine();
    bool wasReset() const { return m_reset; }
    void close();

private:
    int m_fd;
    bool m_reset = false;
};

class LoopbackPeer {
public:
    explicit LoopbackPeer(int backlog = 4);
    ~LoopbackPeer();
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    quint16 port() const { return m_port; }
    // Accepts one connection and runs the script with it on the peer's thread.
    void serve(std::function<void(PeerConnection&)> script);
    // Waits for the script to end.
    void join();

private:
    int m_listenFd = -1;
    quint16 m_port = 0;
    std::thread m_thread;
};

// A socket connecting to 127.0.0.1:port, blocking or not; the caller owns it.
int connectLoopback(quint16 port, bool blocking = true);
// Pauses the peer's thread.
void peerSleep(int milliseconds);
