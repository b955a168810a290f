// Hidden message windows on Qt's event loop (bodies follow).
#include "platform/messages.h"

namespace platform {
bool isWindowClassRegistered(const QByteArray&) { return false; }
bool registerWindowClass(const QByteArray&, WNDPROC) { return false; }
HWND createWindow(const QByteArray&) { return NoWindow; }
void destroyWindow(HWND) {}
bool isWindow(HWND) { return false; }
void setWindowPointer(HWND, void*) {}
void* windowPointer(HWND) { return nullptr; }
LRESULT defWindowProc(HWND, quint32, WPARAM, LPARAM) { return 0; }
bool PostMessage(HWND, quint32, WPARAM, LPARAM) { return false; }
bool SetTimer(HWND, quintptr, quint32) { return false; }
bool KillTimer(HWND, quintptr) { return false; }
void processMessages() {}
void waitMessages(int) {}
void Sleep(quint32) {}
void setTimerRefusedForTesting(bool) {}
} // namespace platform
