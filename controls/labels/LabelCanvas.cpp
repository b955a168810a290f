// Raster operations of the decorated labels on an off-screen image.
#include "controls/labels/LabelCanvas.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace labels {

unsigned alignmentFlag(TextAlignment alignment)
{
    switch (alignment) {
    case TextAlignment::taCenter: return textCenter;
    case TextAlignment::taRightJustify: return textRight;
    case TextAlignment::taLeftJustify: break;
    }
    return textLeft;
}

namespace {

int deviceLength(int logical, qreal ratio)
{
    return static_cast<int>(std::ceil(std::max(logical, 0) * ratio));
}

} // namespace

QImage whiteImage(int width, int height, qreal ratio)
{
    QImage image(deviceLength(width, ratio), deviceLength(height, ratio), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    return image;
}

QImage transparentImage(QSize size, qreal ratio)
{
    QImage image(deviceLength(size.width(), ratio), deviceLength(size.height(), ratio),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    return image;
}

QRect signedRect(int x, int y, int w, int h)
{
    const int left = w < 0 ? x + w + 1 : x;
    const int top = h < 0 ? y + h + 1 : y;
    return QRect(left, top, std::abs(w), std::abs(h));
}

LabelCanvas::LabelCanvas(QImage& image, const QPalette& palette)
    : m_image(image)
    , m_palette(palette)
    , m_ratio(image.devicePixelRatio())
{
}

int LabelCanvas::width() const
{
    return static_cast<int>(std::floor(m_image.width() / m_ratio));
}

int LabelCanvas::height() const
{
    return static_cast<int>(std::floor(m_image.height() / m_ratio));
}

QRect LabelCanvas::deviceRect(const QRect& rect) const
{
    if (m_ratio == 1.0)
        return rect;
    // Edges are rounded, so that neighbouring logical pixels share no device pixel.
    const auto edge = [this](int logical) {
        return static_cast<int>(std::lround(logical * m_ratio));
    };
    return QRect(QPoint(edge(rect.left()), edge(rect.top())),
                 QPoint(edge(rect.right() + 1) - 1, edge(rect.bottom() + 1) - 1));
}

void LabelCanvas::fillRect(const QRect& rect, QRgb color)
{
    if (rect.isEmpty())
        return;
    fillDeviceRect(deviceRect(rect), color);
}

void LabelCanvas::fillDeviceRect(const QRect& rect, QRgb color)
{
    const QRect clipped = rect.intersected(m_image.rect());
    if (clipped.isEmpty())
        return;
    const QRgb pixel = color | 0xFF000000u;
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(m_image.scanLine(y));
        std::fill(row + clipped.left(), row + clipped.right() + 1, pixel);
    }
}

void LabelCanvas::line(QPoint p, QPoint q, QRgb color)
{
    const QRgb pixel = color | 0xFF000000u;
    const int dx = std::abs(q.x() - p.x());
    const int dy = -std::abs(q.y() - p.y());
    const int stepX = p.x() < q.x() ? 1 : -1;
    const int stepY = p.y() < q.y() ? 1 : -1;
    int error = dx + dy;
    int x = p.x();
    int y = p.y();
    const QRect bounds(0, 0, width(), height());
    while (x != q.x() || y != q.y()) {
        if (bounds.contains(x, y))
            fillDeviceRect(deviceRect(QRect(x, y, 1, 1)), pixel);
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x += stepX;
        }
        if (twice <= dx) {
            error += dx;
            y += stepY;
        }
    }
}

void LabelCanvas::ellipse(int l, int t, int r, int b, QRgb color)
{
    if (r < l)
        std::swap(l, r);
    if (b < t)
        std::swap(t, b);
    if (r == l || b == t || m_image.isNull())
        return;
    QPainter painter(&m_image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor::fromRgb(color | 0xFF000000u), 0));
    painter.setBrush(QColor::fromRgb(color | 0xFF000000u));
    painter.drawEllipse(QRect(l, t, r - l - 1, b - t - 1));
}

void LabelCanvas::drawText(const QFont& font, QRgb color, const QRect& rect, unsigned flags,
                           const QString& text)
{
    if (m_image.isNull())
        return;
    int qtFlags = Qt::AlignTop;
    if (!(flags & textNoPrefix))
        qtFlags |= Qt::TextShowMnemonic;
    if (flags & textCenter)
        qtFlags |= Qt::AlignHCenter;
    else if (flags & textRight)
        qtFlags |= Qt::AlignRight;
    else
        qtFlags |= Qt::AlignLeft;
    if (flags & textWordBreak)
        qtFlags |= Qt::TextWordWrap;
    if (flags & textExpandTabs)
        qtFlags |= Qt::TextExpandTabs;
    if (flags & textNoClip)
        qtFlags |= Qt::TextDontClip;
    QPainter painter(&m_image);
    painter.setFont(font);
    painter.setPen(QColor::fromRgb(color | 0xFF000000u));
    painter.setBackgroundMode(Qt::TransparentMode);
    if (!(flags & textNoClip))
        painter.setClipRect(rect);
    painter.drawText(rect, qtFlags, text);
}

void LabelCanvas::copyFrom(const QImage& source, int x, int y)
{
    if (m_image.isNull() || source.isNull())
        return;
    QPainter painter(&m_image);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(x, y, source);
}

} // namespace labels
