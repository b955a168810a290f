// Hidden message windows on Qt's event loop: window classes, a window procedure, one
// pointer slot, posted messages, timers and the dispatching of waiting messages.
// A window belongs to the thread that created it (a QThread, whose event loop dispatches
// it): its messages and timers arrive there, and only that thread uses or destroys it.
// Private to net/ (its compatibility layer): only net/ and tests/net include it.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <functional>

namespace compat {

// A window is named by a number that is never reused in the process; 0 is no window.
using HWND = quintptr;
using WPARAM = quintptr;
using LPARAM = qintptr;
using LRESULT = qintptr;
using WNDPROC = LRESULT (*)(HWND window, quint32 message, WPARAM wParam, LPARAM lParam);

constexpr HWND NoWindow = 0;
constexpr quint32 WM_ACTIVATEAPP_BROADCAST = 28;
constexpr quint32 WM_TIMER = 275;
constexpr quint32 WM_USER = 1024;

constexpr LPARAM makeLParam(quint16 low, quint16 high)
{
    return LPARAM(quint32(low) | (quint32(high) << 16));
}
constexpr quint16 lowWord(LPARAM value)
{
    return quint16(quint32(value) & 0xFFFF);
}
constexpr quint16 highWord(LPARAM value)
{
    return quint16((quint32(value) >> 16) & 0xFFFF);
}

// Window classes stay registered for the life of the process.
bool isWindowClassRegistered(const QByteArray& className);
bool registerWindowClass(const QByteArray& className, WNDPROC procedure);

// A hidden window of a registered class; NoWindow when the class is unknown.
HWND createWindow(const QByteArray& className);
void destroyWindow(HWND window);
bool isWindow(HWND window);

// The window's one pointer slot; null until set, so early messages find no object.
void setWindowPointer(HWND window, void* object);
void* windowPointer(HWND window);

// Seam for tests: the newest existing window of the class, or NoWindow.
HWND findWindow(const QByteArray& className);

// A hidden window of the class (registered with `procedure` on first use) whose pointer
// slot holds `object`; NoWindow when it cannot be created.
HWND createObjectWindow(const QByteArray& className, WNDPROC procedure, void* object);

// Default processing: nothing happens, the result is 0.
LRESULT defWindowProc(HWND window, quint32 message, WPARAM wParam, LPARAM lParam);

// Queues a message for the window's procedure; it runs when the window's thread dispatches.
// Safe from any thread. False for a window that does not exist; one destroyed before the
// delivery gets nothing.
bool PostMessage(HWND window, quint32 message, WPARAM wParam, LPARAM lParam);

// PostMessage whose delivery first runs `prepare` on the window's thread; when it returns
// false the message is dropped. Lets the socket layer fill a result buffer or drop the
// notice of a socket closed meanwhile.
bool postMessageWith(HWND window, quint32 message, WPARAM wParam, LPARAM lParam,
                     std::function<bool()> prepare);

// Timer `id` of the window: message 275 (wParam = id) each time the period has passed
// and the queue is dispatched. Setting an existing id restarts it with the new period.
bool SetTimer(HWND window, quintptr id, quint32 milliseconds);
bool KillTimer(HWND window, quintptr id);

// Dispatches every message waiting in the calling thread's queue, then returns.
void processMessages();

// Blocks in the calling thread's event loop until at least one event has arrived and been
// dispatched, or until `maxMilliseconds` have passed (negative: no limit). Costs no processor
// time.
void waitMessages(int maxMilliseconds = -1);

void Sleep(quint32 milliseconds);

// Seam for tests: refuses the next SetTimer calls while set.
void setTimerRefusedForTesting(bool refused);

} // namespace compat
