// The command label: colours under the pointer and the press that opens its target.
#include "controls/labels/CommandLabel.h"

#include "platform/shellopen.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

CommandLabel::CommandLabel(QWidget* parent)
    : CustomLabel(parent, colors::clBlue)
    , m_captionValue(QStringLiteral("www.example.com/ovo"))
{
    setCaption(QStringLiteral("Ovo Components"));
    QFont f = font();
    f.setPointSize(10);
    f.setUnderline(true);
    setFont(f);
    // Movements matter without a button held: they change the colour.
    setMouseTracking(true);
}

void CommandLabel::Loaded()
{
    m_savedFontColor = FontColor();
}

QImage CommandLabel::paintImage(qreal ratio) const
{
    QImage image = labels::transparentImage(size(), ratio);
    labels::LabelCanvas canvas(image, palette());
    if (!Transparent())
        canvas.fillRect(rect(), groundColor(canvas));
    unsigned flags = captionFlags();
    if (!ShowAccelChar())
        flags |= labels::textNoPrefix;
    const QRect r = rect();
    if (isEnabled()) {
        canvas.drawText(font(), canvas.rgb(FontColor()), r, flags, Caption());
    } else {
        canvas.drawText(font(), canvas.rgb(colors::clBtnHighlight), r.translated(1, 1), flags,
                        Caption());
        canvas.drawText(font(), canvas.rgb(colors::clGrayText), r, flags, Caption());
    }
    return image;
}

void CommandLabel::paintEvent(QPaintEvent*)
{
    const QImage image = paintImage(devicePixelRatioF());
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}

bool CommandLabel::inside(QPoint pos) const
{
    // The right and bottom edges themselves count as inside.
    return pos.x() >= 0 && pos.y() >= 0 && pos.x() <= width() && pos.y() <= height();
}

// The capture is the label's own: Qt reports the pointer leaving (and keeps sending moves
// while a button is held), so no pointer grab is needed, which some desktops do not allow.
void CommandLabel::takeCapture()
{
    m_captured = true;
}

void CommandLabel::releaseCapture()
{
    m_captured = false;
}

void CommandLabel::runCommand()
{
    QString prefix = QString::fromLatin1(CommandPrefixes.at(static_cast<std::size_t>(m_command)));
    if (!prefix.isEmpty() && Caption().startsWith(prefix))
        prefix.clear();
    if (prefix == QLatin1String("event")) {
        if (RunEvent)
            RunEvent(this);
        return;
    }
    platform::shellOpen(prefix + m_captionValue);
}

void CommandLabel::mousePressEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() != Qt::LeftButton) {
        if (OnMouseDown)
            OnMouseDown(this, event->button(), event->modifiers(), pos);
        return;
    }
    if (!reactsToMouse())
        return;
    m_buttonDown = true;
    m_mouseInside = true;
    setFontColor(m_savedFontColor);
    m_followed = true;
    if (OnMouseDown)
        OnMouseDown(this, event->button(), event->modifiers(), pos);
    takeCapture();
    m_clicked = true;
    runCommand();
}

void CommandLabel::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() != Qt::LeftButton) {
        if (OnMouseUp)
            OnMouseUp(this, event->button(), event->modifiers(), pos);
        return;
    }
    if (!reactsToMouse() || !m_buttonDown)
        return;
    // Without the capture, a release off the label belongs to whatever lies under the pointer.
    if (!m_captured && !inside(pos))
        return;
    m_buttonDown = false;
    m_mouseInside = false;
    setFontColor(m_followedColor);
    if (OnMouseUp)
        OnMouseUp(this, event->button(), event->modifiers(), pos);
    const bool click = m_clicked && rect().contains(pos);
    m_clicked = false;
    releaseCapture();
    if (click && isEnabled() && OnClick)
        OnClick(this);
}

void CommandLabel::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click runs no command: one double click, one target.
    if (event->button() == Qt::LeftButton && OnDblClick)
        OnDblClick(this);
    if (OnMouseDown)
        OnMouseDown(this, event->button(), event->modifiers(), event->position().toPoint());
}

void CommandLabel::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    // Qt keeps sending moves while a button is held; off the label they are not ours.
    if (!m_captured && !inside(pos))
        return;
    if (!m_captured) {
        takeCapture();
        if (reactsToMouse() && window()->isActiveWindow())
            setFontColor(m_moveOverColor);
    }
    if (m_captured && !inside(pos) && m_mouseInside)
        pointerLeft();
    if (m_captured && inside(pos) && !m_mouseInside)
        m_mouseInside = true;
    if (OnMouseMove)
        OnMouseMove(this, event->modifiers(), pos);
}

void CommandLabel::pointerLeft()
{
    m_mouseInside = false;
    setFontColor(m_followed ? m_followedColor : m_savedFontColor);
    releaseCapture();
}

void CommandLabel::leaveEvent(QEvent* event)
{
    if (m_captured && m_mouseInside)
        pointerLeft();
    base::leaveEvent(event);
}

void CommandLabel::hideEvent(QHideEvent* event)
{
    // A hidden label no longer follows the pointer.
    releaseCapture();
    base::hideEvent(event);
}

void CommandLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        releaseCapture();
    base::changeEvent(event);
}
