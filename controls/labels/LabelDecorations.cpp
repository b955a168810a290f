// Bevel frame and 3-D text of the decorated label.
#include "controls/labels/LabelDecorations.h"

using platform::TColor;

namespace {

// One pass of the caption, never clipped to its rectangle.
void drawTextPass(labels::OvoCanvas& dc, const QFont& font, TColor color, unsigned flags,
                  const QString& text, const QRect& rect)
{
    dc.drawText(font, dc.rgb(color), rect, flags | labels::textNoClip, text);
}

} // namespace

TOvoGraphicsObject::TOvoGraphicsObject(QWidget* owner)
    : m_owner(owner)
{
}

void TOvoGraphicsObject::Changed()
{
    if (m_owner)
        m_owner->update();
    if (OnChange)
        OnChange();
}

// --- TOvoFrame ---

TOvoFrame::TOvoFrame(QWidget* owner)
    : TOvoGraphicsObject(owner)
{
}

void TOvoFrame::setFrameStyle(TOvoFrameStyle style)
{
    m_frameStyle = style;
    Changed();
}

void TOvoFrame::setEdges(TOvoFrameEdges edges)
{
    m_edges = edges;
    Changed();
}

void TOvoFrame::setHighlight(TColor color)
{
    m_highlight = color;
    Changed();
}

void TOvoFrame::setShadow(TColor color)
{
    m_shadow = color;
    Changed();
}

void TOvoFrame::setSolid(TColor color)
{
    m_solid = color;
    Changed();
}

void TOvoFrame::setFrameWidth(std::uint8_t width)
{
    if (width == 0)
        return;
    m_frameWidth = width;
    Changed();
}

void TOvoFrame::assign(const TOvoFrame& other)
{
    m_frameStyle = other.m_frameStyle;
    m_edges = other.m_edges;
    m_highlight = other.m_highlight;
    m_shadow = other.m_shadow;
    m_solid = other.m_solid;
    m_frameWidth = other.m_frameWidth;
    Changed();
}

int TOvoFrame::FrameInset() const
{
    switch (m_frameStyle) {
    case TOvoFrameStyle::frameNone:
        return 0;
    case TOvoFrameStyle::frameSolid:
    case TOvoFrameStyle::frameRaised:
    case TOvoFrameStyle::frameLowered:
        return m_frameWidth;
    default:
        return 2 * m_frameWidth;
    }
}

void TOvoFrame::drawOutline(labels::OvoCanvas& dc, const QRect& rect, TColor a, TColor b) const
{
    const int l = rect.left();
    const int t = rect.top();
    const int r = rect.right();
    const int bottom = rect.bottom();
    if (a != platform::clNone) {
        const QRgb color = dc.rgb(a);
        if (m_edges.contains(TOvoFrameEdge::EdgeLeft))
            dc.line({l, bottom}, {l, t}, color);
        if (m_edges.contains(TOvoFrameEdge::EdgeTop))
            dc.line({l, t}, {r, t}, color);
    }
    if (b != platform::clNone) {
        const QRgb color = dc.rgb(b);
        if (m_edges.contains(TOvoFrameEdge::EdgeRight))
            dc.line({r, t}, {r, bottom}, color);
        if (m_edges.contains(TOvoFrameEdge::EdgeBottom))
            dc.line({r, bottom}, {l - 1, bottom}, color);
    }
}

void TOvoFrame::drawRing(labels::OvoCanvas& dc, QRect& rect, TColor a, TColor b) const
{
    // QRect's right() and bottom() are already the inclusive corner pixels.
    for (int ring = 0; ring < m_frameWidth; ++ring) {
        drawOutline(dc, rect, a, b);
        rect.adjust(1, 1, -1, -1);
    }
}

void TOvoFrame::DrawFrame(labels::OvoCanvas& dc, const QRect& rect) const
{
    QRect r = rect;
    using S = TOvoFrameStyle;
    switch (m_frameStyle) {
    case S::frameSolid:
        drawRing(dc, r, m_solid, m_solid);
        break;
    case S::frameRaised:
        drawRing(dc, r, m_highlight, m_shadow);
        break;
    case S::frameLowered:
        drawRing(dc, r, m_shadow, m_highlight);
        break;
    case S::frameNone:
        break;
    case S::frameFramedUp:
        drawRing(dc, r, m_highlight, m_shadow);
        drawRing(dc, r, m_shadow, m_highlight);
        break;
    case S::frameFramedDown:
        drawRing(dc, r, m_shadow, m_highlight);
        drawRing(dc, r, m_highlight, m_shadow);
        break;
    case S::framePanelUp:
        drawRing(dc, r, m_highlight, platform::clBlack);
        drawRing(dc, r, platform::clNone, m_shadow);
        break;
    case S::framePanelDown:
        drawRing(dc, r, m_shadow, platform::clNone);
        drawRing(dc, r, platform::clBlack, m_highlight);
        break;
    case S::frameLightBordered:
        drawRing(dc, r, platform::clNone, m_shadow);
        drawRing(dc, r, m_highlight, m_highlight);
        break;
    }
}

// --- TOvoFont3D ---

TOvoFont3D::TOvoFont3D(QWidget* owner)
    : TOvoGraphicsObject(owner)
{
}

void TOvoFont3D::setThreeDimensional(bool on)
{
    m_threeDimensional = on;
    Changed();
}

void TOvoFont3D::setMaskFont(bool on)
{
    m_maskFont = on;
    Changed();
}

void TOvoFont3D::setHighlight(TColor color)
{
    m_highlight = color;
    Changed();
}

void TOvoFont3D::setShadow(TColor color)
{
    m_shadow = color;
    Changed();
}

void TOvoFont3D::setRepetitionColor(TColor color)
{
    m_repetitionColor = color;
    Changed();
}

void TOvoFont3D::setRepetition(TOvoRepeat repetition)
{
    m_repetition = repetition;
    Changed();
}

void TOvoFont3D::setRepetitionwidth(std::uint8_t width)
{
    if (width == m_repetitionWidth)
        return;
    m_repetitionWidth = width;
    Changed();
}

void TOvoFont3D::setOffset(std::uint8_t offset)
{
    if (offset != 0)
        m_offset = offset;
    Changed();
}

void TOvoFont3D::setStyle3D(TOvoStyle3D style)
{
    m_style3D = style;
    Changed();
}

void TOvoFont3D::assign(const TOvoFont3D& other)
{
    m_threeDimensional = other.m_threeDimensional;
    m_maskFont = other.m_maskFont;
    m_highlight = other.m_highlight;
    m_shadow = other.m_shadow;
    m_repetitionColor = other.m_repetitionColor;
    m_repetition = other.m_repetition;
    m_repetitionWidth = other.m_repetitionWidth;
    m_offset = other.m_offset;
    m_style3D = other.m_style3D;
    Changed();
}

void TOvoFont3D::drawStyleCopies(const QFont& font, labels::OvoCanvas& dc, unsigned flags,
                                 const QString& text, QRect& rect) const
{
    using S = TOvoStyle3D;
    if (m_style3D == S::fontOutLineShadow) {
        // The four diagonal neighbours, whatever the offset.
        rect.translate(-1, -1);
        drawTextPass(dc, font, m_shadow, flags, text, rect);
        rect.translate(2, 0);
        drawTextPass(dc, font, m_shadow, flags, text, rect);
        rect.translate(0, 2);
        drawTextPass(dc, font, m_shadow, flags, text, rect);
        rect.translate(-2, 0);
        drawTextPass(dc, font, m_shadow, flags, text, rect);
        rect.translate(1, -1);
        return;
    }
    const int o = m_offset;
    const TColor first =
        (m_style3D == S::fontRaised || m_style3D == S::fontOnlyHighlight) ? m_highlight : m_shadow;
    rect.translate(-o, -o);
    if (m_style3D != S::fontOnlyShadow)
        drawTextPass(dc, font, first, flags, text, rect);
    const TColor second =
        (m_style3D == S::fontRaised || m_style3D == S::fontOnlyShadow) ? m_shadow : m_highlight;
    rect.translate(2 * o, 2 * o);
    if (m_style3D != S::fontOnlyHighlight)
        drawTextPass(dc, font, second, flags, text, rect);
    rect.translate(-o, -o);
}

void TOvoFont3D::DrawText3D(const QFont& font, TColor fontColor, labels::OvoCanvas& dc,
                            bool enabled, unsigned flags, const QString& text,
                            const QRect& rect) const
{
    QRect r = rect;
    if (!enabled) {
        drawTextPass(dc, font, platform::clBtnHighlight, flags, text, r);
        r.translate(-1, -1);
        drawTextPass(dc, font, platform::clGrayText, flags, text, r);
        return;
    }
    if (!m_threeDimensional) {
        drawTextPass(dc, font, fontColor, flags, text, r);
        return;
    }
    if (m_repetition != TOvoRepeat::repeatNone) {
        const int w = m_repetitionWidth;
        r.adjust(w, w, -w, -w);
        const int step = m_repetition == TOvoRepeat::repeatOnShadow ? -1 : 1;
        r.translate(-step * m_offset, -step * m_offset);
        for (int copy = 0; copy < w; ++copy) {
            drawTextPass(dc, font, m_repetitionColor, flags, text, r);
            r.translate(step, step);
        }
    }
    drawStyleCopies(font, dc, flags, text, r);
    drawTextPass(dc, font, fontColor, flags, text, r);
}
