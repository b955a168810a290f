// A timer on a hidden message window, as the socket component uses for its time-out.
// Private to net/: only net/ and tests/net include it.
#pragma once

#include "net/compat/messages.h"

#include <QObject>

#include <functional>

using TimerEvent = std::function<void(QObject* Sender)>;

// A timer on its own hidden window, ticking on the thread that made it when that thread
// dispatches messages.
// Armed exactly when Interval != 0, Enabled and OnTimer is assigned.
class WindowTimer : public QObject {
public:
    explicit WindowTimer(QObject* AOwner = nullptr);
    ~WindowTimer() override;
    Q_DISABLE_COPY_MOVE(WindowTimer)

    void setInterval(quint32 Value);
    void setEnabled(bool Value);
    void setOnTimer(TimerEvent Value);
    compat::HWND window() const { return m_window; }

    // Whether system timer 1 currently exists on the window.
    bool isArmed() const { return m_armed; }

    // Runs OnTimer: the window procedure calls it for each timer message.
    void Tick();

private:
    void UpdateTimer();

    quint32 m_interval = 1000;
    compat::HWND m_window = compat::NoWindow;
    TimerEvent m_onTimer;
    bool m_enabled = true;
    bool m_armed = false;
};
