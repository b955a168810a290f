// Sockets on worker threads side by side: each thread gets its own notices, timers and lookups,
// while the thread that started them waits without dispatching anything.
#include "net/BlockingSocket.h"
#include "net/compat/messages.h"
#include "net/compat/winsock.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/ScriptedFtpPeer.h"
#include "tests/support/WorkerThreads.h"

#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

namespace ws = compat::winsock;

namespace {

constexpr int sessions = 4;
constexpr int exchanges = 20;

QByteArray numbered(const char* prefix, int session, int exchange = -1)
{
    QByteArray text = prefix + QByteArray::number(session);
    if (exchange >= 0)
        text += '.' + QByteArray::number(exchange);
    return text + "\r\n";
}

// Notes the thread that delivered a message in the atomic the window points to.
compat::LRESULT recordThread(compat::HWND window, quint32, compat::WPARAM, compat::LPARAM)
{
    static_cast<std::atomic<QThread*>*>(compat::windowPointer(window))
        ->store(QThread::currentThread());
    return 0;
}

// Looks "localhost" up for a window of this thread; the thread that got the answer.
QThread* lookUpLocalhost()
{
    std::atomic<QThread*> deliveredOn{nullptr};
    const compat::HWND window =
        compat::createObjectWindow("LookupRecorder", recordThread, &deliveredOn);
    const quintptr task = ws::WSAAsyncGetAddrInfo(window, compat::WM_USER + 102, "localhost");
    ws::AddrInfoAnswer answer;
    QElapsedTimer clock;
    clock.start();
    while (!ws::takeAddrInfoAnswer(task, &answer) && clock.elapsed() < 5000) {
        compat::waitMessages(100);
        compat::processMessages();
    }
    compat::destroyWindow(window);
    EXPECT_FALSE(answer.addresses.empty());
    return deliveredOn.load();
}

} // namespace

TEST(SocketThreads, FourSessionsSideBySideGetTheirOwnRepliesTimersAndLookups)
{
    std::vector<std::unique_ptr<testsupport::ScriptedFtpPeer>> peers;
    for (int i = 0; i < sessions; ++i) {
        auto& peer = *peers.emplace_back(std::make_unique<testsupport::ScriptedFtpPeer>());
        peer.send(numbered("220 station ", i));
        for (int k = 0; k < exchanges; ++k)
            peer.reply(numbered("200 ", i, k));
        peer.start();
    }
    testsupport::runOnWorkerThreads(sessions, [&](int i) {
        BlockingSocket sock;
        // Odd sessions connect by name: their lookup must answer on this thread.
        sock.Host = i % 2 ? "localhost" : "127.0.0.1";
        sock.Port = peers[i]->port();
        sock.TimeOut = 5000; // a notice that never arrives ends the wait here
        sock.Connect();
        EXPECT_EQ(sock.ReadLn(), numbered("220 station ", i));
        for (int k = 0; k < exchanges; ++k)
            EXPECT_EQ(sock.Transaction(numbered("NOOP ", i, k).chopped(2)), numbered("200 ", i, k));
        // The script has ended: only this thread's timer ends the wait.
        sock.TimeOut = 150;
        try {
            sock.ReadLn();
            ADD_FAILURE() << "session " << i << ": a silent peer answered";
        } catch (const AbortError& error) {
            EXPECT_EQ(error.message(), QStringLiteral("Socket readln aborted"));
        }
        EXPECT_EQ(lookUpLocalhost(), QThread::currentThread()) << "session " << i;
    });
    for (int i = 0; i < sessions; ++i) {
        QList<QByteArray> commands;
        for (int k = 0; k < exchanges; ++k)
            commands << numbered("NOOP ", i, k);
        EXPECT_EQ(peers[i]->commands(), commands) << "session " << i;
    }
}
