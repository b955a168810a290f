// The program's window started as the program starts it, timed to its first paint: prints one
// line of key=value fields (first_paint_ms since main(), clock_ns: the monotonic clock then,
// rss_kib) and quits. Apart from the program so that the product carries no measuring code.
#include "app/Language.h"
#include "app/MainWindow.h"

#include "platform/application.h"
#include "platform/memory.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstring>

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

int main(int argc, char** argv)
{
    startClock().start();
    platform::Application application(argc, argv);
    language::install(language::chosen());
    MainWindow form;
    form.installEventFilter(new FirstPaintWatch(&form));
    form.show();
    return platform::Application::exec();
}
