// Scoped busy cursor and suspended repainting.
#include "controls/explorer/BusyCursor.h"

#include <QApplication>
#include <QWidget>

BusyCursor::BusyCursor(bool startNow)
{
    if (startNow)
        start();
}

BusyCursor::~BusyCursor()
{
    if (m_active)
        QApplication::restoreOverrideCursor();
}

void BusyCursor::start()
{
    if (m_active)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_active = true;
}

RepaintSuspender::RepaintSuspender(QWidget* widget)
    : m_widget(widget)
    , m_wasEnabled(widget->updatesEnabled())
{
    m_widget->setUpdatesEnabled(false);
}

RepaintSuspender::~RepaintSuspender()
{
    m_widget->setUpdatesEnabled(m_wasEnabled);
}
