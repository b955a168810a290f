// Hidden message windows on Qt's event loop.
#include "net/compat/messages.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <QTimerEvent>

#include <algorithm>
#include <atomic>
#include <climits>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace compat {

namespace {

class MessageWindow;

// Shared by every thread; a window itself is used only on the thread that created it.
struct Registry {
    std::mutex mutex; // guards the maps and the handle count
    std::map<QByteArray, WNDPROC> classes;
    std::unordered_map<HWND, MessageWindow*> windows;
    HWND lastHandle = NoWindow;
    std::atomic<bool> timersRefused{false};
};

Registry& registry()
{
    // Never destroyed: a lookup's helper thread may still post at exit.
    static Registry& instance = *new Registry;
    return instance;
}

const QEvent::Type messageEventType = QEvent::Type(QEvent::registerEventType());

struct MessageEvent : QEvent {
    MessageEvent(HWND window, quint32 message, WPARAM wParam, LPARAM lParam,
                 std::function<bool()> prepare)
        : QEvent(messageEventType)
        , window(window)
        , message(message)
        , wParam(wParam)
        , lParam(lParam)
        , prepare(std::move(prepare))
    {
    }
    HWND window;
    quint32 message;
    WPARAM wParam;
    LPARAM lParam;
    std::function<bool()> prepare;
};

MessageWindow* findWindow(HWND window);

// Qt's event queue locks with a mutex of its own that ThreadSanitizer cannot see (Qt is not
// instrumented): a message marks its hand-over from the posting thread itself.
void handOver([[maybe_unused]] MessageEvent* message)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_release(message);
#endif
}

void takeOver([[maybe_unused]] QEvent* message)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(message);
#endif
}

// A hidden window: its procedure, its pointer slot and its timers.
class MessageWindow : public QObject {
public:
    MessageWindow(HWND handle, QByteArray className, WNDPROC procedure)
        : m_handle(handle)
        , m_className(std::move(className))
        , m_procedure(procedure)
    {
    }

    const QByteArray& className() const { return m_className; }
    WNDPROC procedure() const { return m_procedure; }
    void* pointer() const { return m_pointer; }
    void setPointer(void* object) { m_pointer = object; }

    bool setTimer(quintptr id, quint32 milliseconds)
    {
        killWindowTimer(id);
        const int qtId =
            startTimer(int(std::min<quint32>(milliseconds, INT_MAX)), Qt::PreciseTimer);
        if (qtId == 0)
            return false;
        m_timers[id] = qtId;
        return true;
    }

    bool killWindowTimer(quintptr id)
    {
        const auto it = m_timers.find(id);
        if (it == m_timers.end())
            return false;
        killTimer(it->second);
        m_timers.erase(it);
        return true;
    }

    void killAllTimers()
    {
        for (const auto& [id, qtId] : m_timers)
            killTimer(qtId);
        m_timers.clear();
    }

    // Deleted at once unless its procedure is running right now. On its own thread only.
    void dispose()
    {
        killAllTimers();
        if (m_busy > 0)
            deleteLater();
        else
            delete this;
    }

protected:
    // A posted message, on the window's own thread. A window destroyed since the post (kept
    // only because its procedure runs) gets nothing.
    bool event(QEvent* event) override
    {
        // Before the first read: another thread may have made the event.
        takeOver(event);
        if (event->type() != messageEventType)
            return QObject::event(event);
        auto* message = static_cast<MessageEvent*>(event);
        if (findWindow(m_handle) != this)
            return true;
        if (message->prepare && !message->prepare())
            return true;
        ++m_busy;
        m_procedure(m_handle, message->message, message->wParam, message->lParam);
        --m_busy;
        return true;
    }

    void timerEvent(QTimerEvent* event) override
    {
        for (const auto& [id, qtId] : m_timers) {
            if (qtId == event->timerId()) {
                const quintptr timerId = id;
                ++m_busy;
                m_procedure(m_handle, WM_TIMER, timerId, 0);
                --m_busy;
                return;
            }
        }
    }

private:
    HWND m_handle;
    QByteArray m_className;
    WNDPROC m_procedure;
    void* m_pointer = nullptr;
    std::map<quintptr, int> m_timers;
    int m_busy = 0;
};

MessageWindow* findWindow(HWND window)
{
    const std::lock_guard lock(registry().mutex);
    const auto it = registry().windows.find(window);
    return it == registry().windows.end() ? nullptr : it->second;
}

// Wakes a blocked waitMessages() when its time is up.
class Waker : public QObject {
protected:
    void timerEvent(QTimerEvent*) override {}
};

} // namespace

bool isWindowClassRegistered(const QByteArray& className)
{
    const std::lock_guard lock(registry().mutex);
    return registry().classes.count(className) > 0;
}

bool registerWindowClass(const QByteArray& className, WNDPROC procedure)
{
    const std::lock_guard lock(registry().mutex);
    return !className.isEmpty() && procedure
        && registry().classes.emplace(className, procedure).second;
}

HWND createWindow(const QByteArray& className)
{
    const std::lock_guard lock(registry().mutex);
    const auto it = registry().classes.find(className);
    if (it == registry().classes.end())
        return NoWindow;
    // The window belongs to this thread: its messages and timers are dispatched here.
    const HWND handle = ++registry().lastHandle;
    registry().windows.emplace(handle, new MessageWindow(handle, className, it->second));
    return handle;
}

void destroyWindow(HWND window)
{
    MessageWindow* object = nullptr;
    {
        const std::lock_guard lock(registry().mutex);
        const auto it = registry().windows.find(window);
        if (it == registry().windows.end())
            return;
        object = it->second;
        registry().windows.erase(it);
    }
    object->dispose();
}

bool isWindow(HWND window)
{
    return findWindow(window) != nullptr;
}

void setWindowPointer(HWND window, void* object)
{
    if (MessageWindow* target = findWindow(window))
        target->setPointer(object);
}

void* windowPointer(HWND window)
{
    MessageWindow* target = findWindow(window);
    return target ? target->pointer() : nullptr;
}

HWND findWindow(const QByteArray& className)
{
    const std::lock_guard lock(registry().mutex);
    HWND newest = NoWindow;
    for (const auto& [handle, window] : registry().windows) {
        if (window->className() == className)
            newest = std::max(newest, handle);
    }
    return newest;
}

HWND createObjectWindow(const QByteArray& className, WNDPROC procedure, void* object)
{
    // Another thread may register the class between the two calls.
    if (!registerWindowClass(className, procedure) && !isWindowClassRegistered(className))
        return NoWindow;
    const HWND window = createWindow(className);
    if (window != NoWindow)
        setWindowPointer(window, object);
    return window;
}

LRESULT defWindowProc(HWND, quint32, WPARAM, LPARAM)
{
    return 0;
}

bool PostMessage(HWND window, quint32 message, WPARAM wParam, LPARAM lParam)
{
    return postMessageWith(window, message, wParam, lParam, {});
}

bool postMessageWith(HWND window, quint32 message, WPARAM wParam, LPARAM lParam,
                     std::function<bool()> prepare)
{
    // To the window's own thread. Under the lock the window cannot be deleted before the post;
    // a window deleted afterwards takes its waiting messages with it.
    const std::lock_guard lock(registry().mutex);
    const auto it = registry().windows.find(window);
    if (it == registry().windows.end())
        return false;
    auto* event = new MessageEvent(window, message, wParam, lParam, std::move(prepare));
    handOver(event);
    QCoreApplication::postEvent(it->second, event);
    return true;
}

bool SetTimer(HWND window, quintptr id, quint32 milliseconds)
{
    MessageWindow* target = findWindow(window);
    if (!target || registry().timersRefused.load())
        return false;
    return target->setTimer(id, milliseconds);
}

bool KillTimer(HWND window, quintptr id)
{
    MessageWindow* target = findWindow(window);
    return target && target->killWindowTimer(id);
}

void processMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void waitMessages(int maxMilliseconds)
{
    Waker waker; // of this thread: a timer runs only on the thread of its object
    int timerId = 0;
    if (maxMilliseconds >= 0)
        timerId = waker.startTimer(maxMilliseconds, Qt::PreciseTimer);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (timerId != 0)
        waker.killTimer(timerId);
}

void Sleep(quint32 milliseconds)
{
    QThread::msleep(milliseconds);
}

void setTimerRefusedForTesting(bool refused)
{
    registry().timersRefused.store(refused);
}

} // namespace compat
