// Sessions side by side on worker threads.
#include "tests/support/WorkerThreads.h"

#include "platform/exception.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace testsupport {

void runOnWorkerThreads(int count, const std::function<void(int index)>& session, int limitMs)
{
    // The end of each session is told through the standard library, whose hand-over
    // ThreadSanitizer sees (Qt's own waits it cannot).
    std::mutex mutex;
    std::condition_variable ended;
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
            ended.notify_all();
        }));
        threads.back()->start();
    }
    std::unique_lock lock(mutex);
    // Against the system clock: libstdc++ then waits in pthread_cond_timedwait, which
    // ThreadSanitizer follows (a steady-clock wait uses pthread_cond_clockwait, which it does not).
    const auto deadline = std::chrono::system_clock::now() + std::chrono::milliseconds(limitMs);
    if (!ended.wait_until(lock, deadline, [&] { return running == 0; }))
        qFatal("Sessions on worker threads still running after %d ms", limitMs);
    lock.unlock();
    for (const auto& thread : threads)
        thread->wait();
}

} // namespace testsupport
