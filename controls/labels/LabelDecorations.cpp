// Bevel frame and 3-D text of the decorated label.
#include "controls/labels/LabelDecorations.h"

using colors::ColorCode;

namespace {

// One pass of the caption, never clipped to its rectangle.
void drawTextPass(labels::LabelCanvas& dc, const QFont& font, ColorCode color, unsigned flags,
                  const QString& text, const QRect& rect)
{
    dc.drawText(font, dc.rgb(color), rect, flags | labels::textNoClip, text);
}

} // namespace

GraphicsSetting::GraphicsSetting(QWidget* owner)
    : m_owner(owner)
{
}

void GraphicsSetting::Changed()
{
    if (m_owner)
        m_owner->update();
    if (OnChange)
        OnChange();
}

// --- LabelFrame ---

LabelFrame::LabelFrame(QWidget* owner)
    : GraphicsSetting(owner)
{
}

void LabelFrame::setFrameStyle(FrameStyle style)
{
    m_frameStyle = style;
    Changed();
}

void LabelFrame::setEdges(FrameEdges edges)
{
    m_edges = edges;
    Changed();
}

void LabelFrame::setHighlight(ColorCode color)
{
    m_highlight = color;
    Changed();
}

void LabelFrame::setShadow(ColorCode color)
{
    m_shadow = color;
    Changed();
}

void LabelFrame::setSolid(ColorCode color)
{
    m_solid = color;
    Changed();
}

void LabelFrame::setFrameWidth(std::uint8_t width)
{
    if (width == 0)
        return;
    m_frameWidth = width;
    Changed();
}

void LabelFrame::assign(const LabelFrame& other)
{
    m_frameStyle = other.m_frameStyle;
    m_edges = other.m_edges;
    m_highlight = other.m_highlight;
    m_shadow = other.m_shadow;
    m_solid = other.m_solid;
    m_frameWidth = other.m_frameWidth;
    Changed();
}

int LabelFrame::FrameInset() const
{
    switch (m_frameStyle) {
    case FrameStyle::frameNone: return 0;
    case FrameStyle::frameSolid:
    case FrameStyle::frameRaised:
    case FrameStyle::frameLowered: return m_frameWidth;
    default: return 2 * m_frameWidth;
    }
}

void LabelFrame::drawOutline(labels::LabelCanvas& dc, const QRect& rect, ColorCode a,
                             ColorCode b) const
{
    const int l = rect.left();
    const int t = rect.top();
    const int r = rect.right();
    const int bottom = rect.bottom();
    if (a != colors::clNone) {
        const QRgb color = dc.rgb(a);
        if (m_edges.contains(FrameEdge::EdgeLeft))
            dc.line({l, bottom}, {l, t}, color);
        if (m_edges.contains(FrameEdge::EdgeTop))
            dc.line({l, t}, {r, t}, color);
    }
    if (b != colors::clNone) {
        const QRgb color = dc.rgb(b);
        if (m_edges.contains(FrameEdge::EdgeRight))
            dc.line({r, t}, {r, bottom}, color);
        if (m_edges.contains(FrameEdge::EdgeBottom))
            dc.line({r, bottom}, {l - 1, bottom}, color);
    }
}

void LabelFrame::drawRing(labels::LabelCanvas& dc, QRect& rect, ColorCode a, ColorCode b) const
{
    // QRect's right() and bottom() are already the inclusive corner pixels.
    for (int ring = 0; ring < m_frameWidth; ++ring) {
        drawOutline(dc, rect, a, b);
        rect.adjust(1, 1, -1, -1);
    }
}

void LabelFrame::DrawFrame(labels::LabelCanvas& dc, const QRect& rect) const
{
    QRect r = rect;
    using S = FrameStyle;
    switch (m_frameStyle) {
    case S::frameSolid: drawRing(dc, r, m_solid, m_solid); break;
    case S::frameRaised: drawRing(dc, r, m_highlight, m_shadow); break;
    case S::frameLowered: drawRing(dc, r, m_shadow, m_highlight); break;
    case S::frameNone: break;
    case S::frameFramedUp:
        drawRing(dc, r, m_highlight, m_shadow);
        drawRing(dc, r, m_shadow, m_highlight);
        break;
    case S::frameFramedDown:
        drawRing(dc, r, m_shadow, m_highlight);
        drawRing(dc, r, m_highlight, m_shadow);
        break;
    case S::framePanelUp:
        drawRing(dc, r, m_highlight, colors::clBlack);
        drawRing(dc, r, colors::clNone, m_shadow);
        break;
    case S::framePanelDown:
        drawRing(dc, r, m_shadow, colors::clNone);
        drawRing(dc, r, colors::clBlack, m_highlight);
        break;
    case S::frameLightBordered:
        drawRing(dc, r, colors::clNone, m_shadow);
        drawRing(dc, r, m_highlight, m_highlight);
        break;
    }
}

// --- Font3D ---

Font3D::Font3D(QWidget* owner)
    : GraphicsSetting(owner)
{
}

void Font3D::setThreeDimensional(bool on)
{
    m_threeDimensional = on;
    Changed();
}

void Font3D::setMaskFont(bool on)
{
    m_maskFont = on;
    Changed();
}

void Font3D::setHighlight(ColorCode color)
{
    m_highlight = color;
    Changed();
}

void Font3D::setShadow(ColorCode color)
{
    m_shadow = color;
    Changed();
}

void Font3D::setRepetitionColor(ColorCode color)
{
    m_repetitionColor = color;
    Changed();
}

void Font3D::setRepetition(Repeat3D repetition)
{
    m_repetition = repetition;
    Changed();
}

void Font3D::setRepetitionwidth(std::uint8_t width)
{
    if (width == m_repetitionWidth)
        return;
    m_repetitionWidth = width;
    Changed();
}

void Font3D::setOffset(std::uint8_t offset)
{
    if (offset != 0)
        m_offset = offset;
    Changed();
}

void Font3D::setStyle3D(Style3D style)
{
    m_style3D = style;
    Changed();
}

void Font3D::assign(const Font3D& other)
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

void Font3D::drawStyleCopies(const QFont& font, labels::LabelCanvas& dc, unsigned flags,
                             const QString& text, QRect& rect) const
{
    using S = Style3D;
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
    const ColorCode first =
        (m_style3D == S::fontRaised || m_style3D == S::fontOnlyHighlight) ? m_highlight : m_shadow;
    rect.translate(-o, -o);
    if (m_style3D != S::fontOnlyShadow)
        drawTextPass(dc, font, first, flags, text, rect);
    const ColorCode second =
        (m_style3D == S::fontRaised || m_style3D == S::fontOnlyShadow) ? m_shadow : m_highlight;
    rect.translate(2 * o, 2 * o);
    if (m_style3D != S::fontOnlyHighlight)
        drawTextPass(dc, font, second, flags, text, rect);
    rect.translate(-o, -o);
}

void Font3D::DrawText3D(const QFont& font, ColorCode fontColor, labels::LabelCanvas& dc,
                        bool enabled, unsigned flags, const QString& text, const QRect& rect) const
{
    QRect r = rect;
    if (!enabled) {
        drawTextPass(dc, font, colors::clBtnHighlight, flags, text, r);
        r.translate(-1, -1);
        drawTextPass(dc, font, colors::clGrayText, flags, text, r);
        return;
    }
    if (!m_threeDimensional) {
        drawTextPass(dc, font, fontColor, flags, text, r);
        return;
    }
    if (m_repetition != Repeat3D::repeatNone) {
        const int w = m_repetitionWidth;
        r.adjust(w, w, -w, -w);
        const int step = m_repetition == Repeat3D::repeatOnShadow ? -1 : 1;
        r.translate(-step * m_offset, -step * m_offset);
        for (int copy = 0; copy < w; ++copy) {
            drawTextPass(dc, font, m_repetitionColor, flags, text, r);
            r.translate(step, step);
        }
    }
    drawStyleCopies(font, dc, flags, text, r);
    drawTextPass(dc, font, fontColor, flags, text, r);
}
