// Sessions side by side on worker threads.
#include "tests/support/WorkerThreads.h"

#include "platform/exception.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace testsupport {

void runOnWorkerThreads(int count, const std::function<void(int index)>& session, int limitMs)
{
    // The end of each session is told under a standard mutex, whose hand-over
    // ThreadSanitizer sees (Qt's own waits it cannot).
    std::mutex mutex;
    int running = count;
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
            const std::lock_guard lock(mutex);
            --running;
        }));
        threads.back()->start();
    }
    // Polled under the mutex: ThreadSanitizer does not follow libstdc++'s timed condition
    // waits (pthread_cond_clockwait), and would take the hand-over for a race.
    const QDeadlineTimer deadline(limitMs);
    for (;;) {
        {
            const std::lock_guard lock(mutex);
            if (running == 0)
                break;
        }
        if (deadline.hasExpired())
            qFatal("Sessions on worker threads still running after %d ms", limitMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (const auto& thread : threads)
        thread->wait();
}

} // namespace testsupport
