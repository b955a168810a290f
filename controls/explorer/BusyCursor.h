// Scoped helpers of the explorer controls: the hourglass cursor and suspended repainting.
#pragma once

#include <QtGlobal>

class QWidget;

// Shows the busy cursor from start() until the object goes out of scope.
class BusyCursor {
public:
    explicit BusyCursor(bool startNow = true);
    ~BusyCursor();
    Q_DISABLE_COPY_MOVE(BusyCursor)

    void start();

private:
    bool m_active = false;
};

// Suspends the repainting of a widget while the object lives.
class RepaintSuspender {
public:
    explicit RepaintSuspender(QWidget* widget);
    ~RepaintSuspender();
    Q_DISABLE_COPY_MOVE(RepaintSuspender)

private:
    QWidget* m_widget;
    bool m_wasEnabled;
};
