// Watches the main window for its first paint and reports the time it took.
#include "app/StartupBenchmark.h"

#include "platform/memory.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstring>

namespace startup {
namespace {

QElapsedTimer& startClock()
{
    static QElapsedTimer clock;
    return clock;
}

class FirstPaintWatch : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // The report waits for the paint pass to end, its flush to the screen included.
            QTimer::singleShot(0, this, &FirstPaintWatch::report);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void report()
    {
        std::printf("first_paint_ms=%.1f clock_ns=%lld rss_kib=%lld\n",
                    startClock().nsecsElapsed() / 1e6,
                    static_cast<long long>(QDeadlineTimer::current().deadlineNSecs()),
                    static_cast<long long>(platform::residentMemoryKiB()));
        std::fflush(stdout);
        QCoreApplication::quit();
    }

    bool m_seen = false;
};

} // namespace

bool benchmarkRequested(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--benchmark-startup") == 0)
            return true;
    return false;
}

void markStart()
{
    startClock().start();
}

void reportFirstPaint(QWidget& window)
{
    window.installEventFilter(new FirstPaintWatch(&window));
}

} // namespace startup
