// A timer on a hidden message window.
#include "net/WindowTimer.h"

#include "platform/application.h"
#include "platform/exception.h"

#include <utility>

namespace {

constexpr char timerWindowClass[] = "TmrWindowClass";

compat::LRESULT timerWindowProc(compat::HWND Window, quint32 Message, compat::WPARAM WParam,
                                compat::LPARAM LParam)
{
    auto* timer = static_cast<WindowTimer*>(compat::windowPointer(Window));
    if (!timer)
        return compat::defWindowProc(Window, Message, WParam, LParam);
    if (Message == compat::WM_ACTIVATEAPP_BROADCAST)
        return 0;
    if (Message == compat::WM_TIMER) {
        platform::guarded([timer] { timer->Tick(); });
        return 0;
    }
    return compat::defWindowProc(Window, Message, WParam, LParam);
}

} // namespace

WindowTimer::WindowTimer(QObject* AOwner)
    : QObject(AOwner)
{
    FWindowHandle = compat::createObjectWindow(timerWindowClass, timerWindowProc, this);
}

WindowTimer::~WindowTimer()
{
    FEnabled = false;
    UpdateTimer(); // disabled: only removes the system timer, cannot fail
    compat::destroyWindow(FWindowHandle);
}

void WindowTimer::setInterval(quint32 Value)
{
    if (Value == FInterval)
        return;
    FInterval = Value;
    UpdateTimer();
}

void WindowTimer::setEnabled(bool Value)
{
    if (Value == FEnabled)
        return;
    FEnabled = Value;
    UpdateTimer();
}

void WindowTimer::setOnTimer(TimerEvent Value)
{
    FOnTimer = std::move(Value);
    UpdateTimer();
}

void WindowTimer::UpdateTimer()
{
    compat::KillTimer(FWindowHandle, 1);
    m_armed = false;
    if (FInterval != 0 && FEnabled && FOnTimer) {
        if (!compat::SetTimer(FWindowHandle, 1, FInterval))
            throw platform::Exception(QStringLiteral("No Timer"));
        m_armed = true;
    }
}

void WindowTimer::Tick()
{
    if (FOnTimer)
        FOnTimer(this);
}
