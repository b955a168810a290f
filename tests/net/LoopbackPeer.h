// A peer on 127.0.0.1 that runs a script on its own thread with plain blocking sockets,
// so the component under test waits exactly as it would on a real server.
#pragma once

#include <QByteArray>

#include <atomic>
#include <functional>
#include <thread>

// One accepted or connected TCP connection of the peer.
class PeerConnection {
public:
    explicit PeerConnection(int fd) : m_fd(fd) {}
    ~PeerConnection();
    PeerConnection(const PeerConnection&) = delete;
    PeerConnection& operator=(const PeerConnection&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    void send(const QByteArray& bytes);
    // Reads until `count` bytes came or the other side closed.
    QByteArray receive(qsizetype count);
    // Reads one line (up to and including LF), or what came before the other side closed.
    QByteArray receiveLine();
    // Reads until the other side closes; wasReset() then tells a reset from a close.
    QByteArray receiveAll();
    bool wasReset() const { return m_reset; }
    void close();

private:
    int m_fd;
    bool m_reset = false;
};

class LoopbackPeer {
public:
    LoopbackPeer();
    ~LoopbackPeer();
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    quint16 port() const { return m_port; }

    // Accepts one connection and runs the script with it on the peer's thread.
    void serve(std::function<void(PeerConnection&)> script);
    // Waits for the script to end.
    void join();

    // A port on 127.0.0.1 where nobody listens.
    static quint16 closedPort();
    // Connects to 127.0.0.1:port from the peer's thread and runs the script.
    void connectTo(quint16 port, std::function<void(PeerConnection&)> script);

private:
    int m_listenFd = -1;
    quint16 m_port = 0;
    std::thread m_thread;
};

// Pauses the peer's thread.
void peerSleep(int milliseconds);
