// Sessions side by side on worker threads.
#include "tests/support/WorkerThreads.h"

#include "platform/exception.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace testsupport {

void runOnWorkerThreads(int count, const std::function<void(int index)>& session, int limitMs)
{
    // The end of each session is told through an atomic count, whose hand-over
    // ThreadSanitizer sees (Qt's own waits and libstdc++'s timed ones it cannot).
    std::atomic<int> running = count;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int index = 0; index < count; ++index) {
        threads.emplace_back(QThread::create([&, index] {
            QEventLoop loop;
            QTimer::singleShot(0, &loop, [&] {
                try {
                    session(index);
                } catch (const platform::Exception& error) {
                    ADD_FAILURE() << "session " << index << ": " << error.message().toStdString();
                } catch (...) {
                    ADD_FAILURE() << "session " << index << " threw";
                }
                loop.quit();
            });
            loop.exec(); // the session starts from the thread's own event loop
            running.fetch_sub(1, std::memory_order_release);
        }));
        threads.back()->start();
    }
    const QDeadlineTimer deadline(limitMs);
    while (running.load(std::memory_order_acquire) > 0) {
        if (deadline.hasExpired())
            qFatal("Sessions on worker threads still running after %d ms", limitMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (const auto& thread : threads)
        thread->wait();
}

} // namespace testsupport
