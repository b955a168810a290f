// Sessions side by side on worker threads.
#include "tests/support/WorkerThreads.h"

#include "platform/exception.h"

#include <QDeadlineTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace testsupport {

void runOnWorkerThreads(int count, const std::function<void(int index)>& session, int limitMs)
{
    std::vector<std::unique_ptr<QThread>> threads;
    for (int index = 0; index < count; ++index) {
        QThread& thread = *threads.emplace_back(std::make_unique<QThread>());
        // The session starts from the thread's own event loop; its context goes with the loop.
        auto* context = new QObject;
        context->moveToThread(&thread);
        QObject::connect(&thread, &QThread::finished, context, &QObject::deleteLater);
        thread.start();
        QMetaObject::invokeMethod(
            context,
            [&session, index] {
                try {
                    session(index);
                } catch (const platform::Exception& error) {
                    ADD_FAILURE() << "session " << index << ": " << error.message().toStdString();
                } catch (...) {
                    ADD_FAILURE() << "session " << index << " threw";
                }
                QThread::currentThread()->quit();
            },
            Qt::QueuedConnection);
    }
    const QDeadlineTimer deadline(limitMs);
    for (const auto& thread : threads) {
        if (!thread->wait(deadline))
            qFatal("Sessions on worker threads still running after %d ms", limitMs);
    }
}

} // namespace testsupport
