// Processor time of a ReadLn that waits 2 s for a silent peer on 127.0.0.1.
// The last line printed is that time in milliseconds.
#include "net/BlockingSocket.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

namespace {

constexpr int silenceMs = 2000;

double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener, 1) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
        return 1;
    }

    // The peer accepts, stays silent for two seconds, then sends one line.
    std::thread peer([listener] {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(silenceMs));
        const char line[] = "220 Ready\r\n";
        ::send(fd, line, sizeof line - 1, MSG_NOSIGNAL);
        char byte = 0;
        ::recv(fd, &byte, 1, 0); // until the client goes
        ::close(fd);
    });

    int result = 0;
    try {
        BlockingSocket sock;
        sock.Host = "127.0.0.1";
        sock.Port = ntohs(address.sin_port);
        sock.Connect();
        QElapsedTimer clock;
        clock.start();
        const double cpuBefore = processCpuMs();
        const QByteArray line = sock.ReadLn();
        const double cpuUsed = processCpuMs() - cpuBefore;
        std::printf("ReadLn returned %d bytes after %lld ms of silence\n", int(line.size()),
                    static_cast<long long>(clock.elapsed()));
        std::printf("process CPU time during the wait, ms:\n%.1f\n", cpuUsed);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "failed: %s\n", error.what());
        result = 1;
    }
    // Unblocks the peer's accept when the connect failed.
    ::shutdown(listener, SHUT_RDWR);
    peer.join();
    ::close(listener);
    return result;
}
