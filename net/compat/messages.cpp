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
#include <unordered_map>
#include <utility>

namespace compat {

namespace {

class MessageWindow;

struct Registry {
    std::map<QByteArray, WNDPROC> classes;
    std::unordered_map<HWND, MessageWindow*> windows;
    HWND lastHandle = NoWindow;
    bool timersRefused = false;
};

Registry& registry()
{
    static Registry instance;
    return instance;
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

    // Deleted at once unless its procedure is running right now.
    void dispose()
    {
        killAllTimers();
        if (m_busy > 0)
            deleteLater();
        else
            delete this;
    }

protected:
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
    const auto it = registry().windows.find(window);
    return it == registry().windows.end() ? nullptr : it->second;
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

// Every posted message goes through this one object of the UI thread, so that the
// window is looked up when the message is dispatched: a destroyed window gets nothing.
class PostBox : public QObject {
public:
    bool event(QEvent* event) override
    {
        if (event->type() != messageEventType)
            return QObject::event(event);
        auto* message = static_cast<MessageEvent*>(event);
        MessageWindow* window = findWindow(message->window);
        if (!window)
            return true;
        if (message->prepare && !message->prepare())
            return true;
        // The procedure may destroy the window; nothing of it is used afterwards.
        const WNDPROC procedure = window->procedure();
        procedure(message->window, message->message, message->wParam, message->lParam);
        return true;
    }
};

std::atomic<PostBox*> postBox{nullptr};

PostBox* ensurePostBox()
{
    PostBox* box = postBox.load();
    if (!box) {
        // Lives as long as the process: helper threads may still post to it at exit.
        box = new PostBox;
        postBox.store(box);
    }
    return box;
}

// Wakes a blocked waitMessages() when its time is up.
class Waker : public QObject {
protected:
    void timerEvent(QTimerEvent*) override {}
};

} // namespace

bool isWindowClassRegistered(const QByteArray& className)
{
    return registry().classes.count(className) > 0;
}

bool registerWindowClass(const QByteArray& className, WNDPROC procedure)
{
    if (className.isEmpty() || !procedure || isWindowClassRegistered(className))
        return false;
    registry().classes.emplace(className, procedure);
    return true;
}

HWND createWindow(const QByteArray& className)
{
    const auto it = registry().classes.find(className);
    if (it == registry().classes.end())
        return NoWindow;
    ensurePostBox();
    const HWND handle = ++registry().lastHandle;
    registry().windows.emplace(handle, new MessageWindow(handle, className, it->second));
    return handle;
}

void destroyWindow(HWND window)
{
    const auto it = registry().windows.find(window);
    if (it == registry().windows.end())
        return;
    MessageWindow* object = it->second;
    registry().windows.erase(it);
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
    HWND newest = NoWindow;
    for (const auto& [handle, window] : registry().windows) {
        if (window->className() == className)
            newest = std::max(newest, handle);
    }
    return newest;
}

HWND createObjectWindow(const QByteArray& className, WNDPROC procedure, void* object)
{
    if (!isWindowClassRegistered(className) && !registerWindowClass(className, procedure))
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
    PostBox* box = postBox.load();
    if (window == NoWindow || !box)
        return false;
    QCoreApplication::postEvent(
        box, new MessageEvent(window, message, wParam, lParam, std::move(prepare)));
    return true;
}

bool SetTimer(HWND window, quintptr id, quint32 milliseconds)
{
    MessageWindow* target = findWindow(window);
    if (!target || registry().timersRefused)
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
    static Waker* waker = new Waker;
    int timerId = 0;
    if (maxMilliseconds >= 0)
        timerId = waker->startTimer(maxMilliseconds, Qt::PreciseTimer);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (timerId != 0)
        waker->killTimer(timerId);
}

void Sleep(quint32 milliseconds)
{
    QThread::msleep(milliseconds);
}

void setTimerRefusedForTesting(bool refused)
{
    registry().timersRefused = refused;
}

} // namespace compat
