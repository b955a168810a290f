// The decorated label.
#include "controls/labels/DecoratedLabel.h"

#include "controls/labels/LabelBackground.h"
#include "platform/application.h"

#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>

#include <exception>

DecoratedLabel::DecoratedLabel(QWidget* parent)
    : CustomLabel(parent, colors::clWindowText)
    , m_font3D(this)
    , m_frame(this)
{
    m_frame.setFrameStyle(FrameStyle::frameNone);
}

void DecoratedLabel::replaceBackground(BackgroundRole& role, LabelBackground* background)
{
    disconnect(role.changed);
    disconnect(role.destroyed);
    role = {background, {}, {}};
    if (background) {
        // Both connections end with the label, so a label gone is no longer told anything.
        role.changed =
            connect(background, &LabelBackground::changed, this, qOverload<>(&QWidget::update));
        role.destroyed = connect(background, &QObject::destroyed, this, [this, &role] {
            role = {};
            update();
        });
    }
    update();
}

void DecoratedLabel::setBackground(LabelBackground* background)
{
    replaceBackground(m_background, background);
}

void DecoratedLabel::setFontBackground(LabelBackground* background)
{
    replaceBackground(m_fontBackground, background);
}

QRect DecoratedLabel::textRect() const
{
    const int inset = m_frame.FrameInset();
    const int frameWidth = m_frame.FrameWidth();
    return QRect(QPoint(inset, inset + frameWidth),
                 QPoint(width() - 2 * inset - 1, height() - inset - frameWidth - 1));
}

void DecoratedLabel::Paint(labels::LabelCanvas& canvas) const
{
    const int w = width();
    const int h = height();
    if (!Transparent()) {
        canvas.fillRect(QRect(0, 0, w, h), groundColor(canvas));
        if (const LabelBackground* background = m_background.background)
            background->PaintBackground(canvas, w, h, true);
    }
    const unsigned flags = captionFlags();
    const QRect r = textRect();
    if (const LabelBackground* letters = m_fontBackground.background)
        letters->DrawTextFilled(m_font3D, font(), FontColor(), flags, Caption(), r, canvas);
    else
        m_font3D.DrawText3D(font(), FontColor(), canvas, isEnabled(), flags, Caption(), r);
    m_frame.DrawFrame(canvas, QRect(0, 0, w, h));
}

QImage DecoratedLabel::paintImage(qreal ratio) const
{
    QImage image = labels::transparentImage(size(), ratio);
    labels::LabelCanvas canvas(image, palette());
    Paint(canvas);
    return image;
}

void DecoratedLabel::paintEvent(QPaintEvent*)
{
    // At the screen's pixel ratio, so that a scaled screen shows sharp letters.
    QImage image = labels::transparentImage(size(), devicePixelRatioF());
    labels::LabelCanvas canvas(image, palette());
    try {
        Paint(canvas);
        m_paintFailed = false;
    } catch (const std::exception& error) {
        // Reported once, after the paint, so that a failing paint cannot flood the screen
        // with message boxes; nothing is thrown through Qt's painting.
        if (!m_paintFailed) {
            m_paintFailed = true;
            QMetaObject::invokeMethod(
                this,
                [message = QString::fromUtf8(error.what())] { platform::showErrorBox(message); },
                Qt::QueuedConnection);
        }
    }
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}

void DecoratedLabel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_clicked = true;
    if (OnMouseDown)
        OnMouseDown(this, event->button(), event->modifiers(), event->position().toPoint());
}

void DecoratedLabel::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = event->button() == Qt::LeftButton && m_clicked
        && rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        m_clicked = false;
    if (OnMouseUp)
        OnMouseUp(this, event->button(), event->modifiers(), event->position().toPoint());
    if (click && isEnabled() && OnClick)
        OnClick(this);
}

void DecoratedLabel::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click reports itself but makes no second click.
    if (event->button() == Qt::LeftButton && OnDblClick)
        OnDblClick(this);
    if (OnMouseDown)
        OnMouseDown(this, event->button(), event->modifiers(), event->position().toPoint());
}

void DecoratedLabel::mouseMoveEvent(QMouseEvent* event)
{
    if (OnMouseMove)
        OnMouseMove(this, event->modifiers(), event->position().toPoint());
}
