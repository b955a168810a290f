// Caption settings of the labels: every change repaints.
#include "controls/labels/CustomLabel.h"

CustomLabel::CustomLabel(QWidget* parent, colors::ColorCode fontColor)
    : QWidget(parent)
    , m_fontColor(fontColor)
{
}

void CustomLabel::setCaption(const QString& caption)
{
    m_caption = caption;
    m_focusLink.setCaption(m_caption, m_showAccelChar);
    update();
}

void CustomLabel::setAlignment(TextAlignment alignment)
{
    m_alignment = alignment;
    update();
}

void CustomLabel::setColor(colors::ColorCode color)
{
    m_color = color;
    m_parentColor = false;
    update();
}

void CustomLabel::setParentColor(bool on)
{
    m_parentColor = on;
    update();
}

void CustomLabel::setFontColor(colors::ColorCode color)
{
    m_fontColor = color;
    update();
}

void CustomLabel::setTransparent(bool on)
{
    m_transparent = on;
    update();
}

void CustomLabel::setWordWrap(bool on)
{
    m_wordWrap = on;
    update();
}

void CustomLabel::setShowAccelChar(bool on)
{
    m_showAccelChar = on;
    m_focusLink.setCaption(m_caption, m_showAccelChar);
    update();
}

unsigned CustomLabel::captionFlags() const
{
    return labels::textExpandTabs | labels::alignmentFlag(m_alignment)
        | (m_wordWrap ? labels::textWordBreak : 0u);
}

QRgb CustomLabel::groundColor(const labels::LabelCanvas& canvas) const
{
    return m_parentColor ? canvas.palette().color(QPalette::Window).rgb() : canvas.rgb(m_color);
}
