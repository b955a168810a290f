// A timer on a hidden message window.
#include "net/WindowTimer.h"

#include "net/NetReasons.h"
#include "platform/application.h"
#include "platform/exception.h"

#include <utility>

namespace {

constexpr char timerWindowClass[] = "WindowTimerWindow";

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
    m_window = compat::createObjectWindow(timerWindowClass, timerWindowProc, this);
}

WindowTimer::~WindowTimer()
{
    m_enabled = false;
    UpdateTimer(); // disabled: only removes the system timer, cannot fail
    compat::destroyWindow(m_window);
}

void WindowTimer::setInterval(quint32 Value)
{
    if (Value == m_interval)
        return;
    m_interval = Value;
    UpdateTimer();
}

void WindowTimer::setEnabled(bool Value)
{
    if (Value == m_enabled)
        return;
    m_enabled = Value;
    UpdateTimer();
}

void WindowTimer::setOnTimer(TimerEvent Value)
{
    m_onTimer = std::move(Value);
    UpdateTimer();
}

void WindowTimer::UpdateTimer()
{
    compat::KillTimer(m_window, 1);
    m_armed = false;
    if (m_interval != 0 && m_enabled && m_onTimer) {
        if (!compat::SetTimer(m_window, 1, m_interval))
            throw platform::Exception(platform::reason(NetCode::NoTimer));
        m_armed = true;
    }
}

void WindowTimer::Tick()
{
    if (m_onTimer)
        m_onTimer(this);
}
