// Caption settings of the labels: every change repaints.
#include "controls/labels/CustomLabel.h"

TCustomLabel::TCustomLabel(QWidget* parent, platform::TColor fontColor)
    : QWidget(parent)
    , m_fontColor(fontColor)
{
}

void TCustomLabel::setCaption(const QString& caption)
{
    m_caption = caption;
    m_focusLink.setCaption(m_caption, m_showAccelChar);
    update();
}

void TCustomLabel::setAlignment(TAlignment alignment)
{
    m_alignment = alignment;
    update();
}

void TCustomLabel::setColor(platform::TColor color)
{
    m_color = color;
    m_parentColor = false;
    update();
}

void TCustomLabel::setParentColor(bool on)
{
    m_parentColor = on;
    update();
}

void TCustomLabel::setFontColor(platform::TColor color)
{
    m_fontColor = color;
    update();
}

void TCustomLabel::setTransparent(bool on)
{
    m_transparent = on;
    update();
}

void TCustomLabel::setWordWrap(bool on)
{
    m_wordWrap = on;
    update();
}

void TCustomLabel::setShowAccelChar(bool on)
{
    m_showAccelChar = on;
    m_focusLink.setCaption(m_caption, m_showAccelChar);
    update();
}

unsigned TCustomLabel::captionFlags() const
{
    return labels::textExpandTabs | labels::alignmentFlag(m_alignment) |
           (m_wordWrap ? labels::textWordBreak : 0u);
}

QRgb TCustomLabel::groundColor(const labels::OvoCanvas& canvas) const
{
    return m_parentColor ? canvas.palette().color(QPalette::Window).rgb() : canvas.rgb(m_color);
}
