// A timer on a hidden message window, as the socket component uses for its time-out.
#pragma once

#include "net/compat/messages.h"

#include <QObject>

#include <functional>

using TimerEvent = std::function<void(QObject* Sender)>;

// A timer on its own hidden window, ticking on the UI thread when messages are dispatched.
// Armed exactly when Interval != 0, Enabled and OnTimer is assigned.
class WindowTimer : public QObject {
public:
    explicit WindowTimer(QObject* AOwner = nullptr);
    ~WindowTimer() override;
    Q_DISABLE_COPY_MOVE(WindowTimer)

    quint32 Interval() const { return FInterval; }
    void setInterval(quint32 Value);
    bool Enabled() const { return FEnabled; }
    void setEnabled(bool Value);
    const TimerEvent& OnTimer() const { return FOnTimer; }
    void setOnTimer(TimerEvent Value);
    compat::HWND WindowHandle() const { return FWindowHandle; }

    // Whether system timer 1 currently exists on the window.
    bool isArmed() const { return m_armed; }

    virtual void Tick();

protected:
    void UpdateTimer();

private:
    quint32 FInterval = 1000;
    compat::HWND FWindowHandle = compat::NoWindow;
    TimerEvent FOnTimer;
    bool FEnabled = true;
    bool m_armed = false;
};
