// The drawing surface of the decorated labels: an off-screen image with the palette that
// resolves system colours, and the few raster operations the labels need.
#pragma once

#include "controls/labels/Color.h"

#include <QFont>
#include <QImage>
#include <QPalette>
#include <QRect>
#include <QString>

#include <cstdint>

enum class TextAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };

namespace labels {

using ColorCode = colors::ColorCode;

// Text format flags, combined with |.
inline constexpr unsigned textLeft = 0x00;
inline constexpr unsigned textCenter = 0x01;
inline constexpr unsigned textRight = 0x02;
inline constexpr unsigned textWordBreak = 0x10;
inline constexpr unsigned textExpandTabs = 0x40;
inline constexpr unsigned textNoClip = 0x100;
inline constexpr unsigned textNoPrefix = 0x800;

// The text format flag of an alignment.
unsigned alignmentFlag(TextAlignment alignment);

// A blank white RGB image of width x height logical pixels at the device pixel ratio:
// every scratch bitmap starts out white.
QImage whiteImage(int width, int height, qreal ratio = 1.0);
// A fully transparent image of `size` logical pixels at the device pixel ratio, that a label
// paints itself onto.
QImage transparentImage(QSize size, qreal ratio = 1.0);

// Rectangle fill with signed extents: a negative width covers the |w| columns ending at x
// (likewise the height); a zero extent fills nothing.
QRect signedRect(int x, int y, int w, int h);

// Every operation takes logical pixels. On an image whose device pixel ratio is above 1
// (a screen scaled to 150 % or 200 %) a logical pixel covers a block of device pixels and
// text is drawn at the device's resolution, so that the labels stay sharp; at ratio 1 a
// logical pixel is one pixel of the image.
class LabelCanvas {
public:
    LabelCanvas(QImage& image, const QPalette& palette);

    QImage& image() { return m_image; }
    const QPalette& palette() const { return m_palette; }
    qreal ratio() const { return m_ratio; }
    // The size in logical pixels.
    int width() const;
    int height() const;
    // The device pixels of a rectangle of logical pixels.
    QRect deviceRect(const QRect& rect) const;

    QRgb rgb(ColorCode color) const { return colors::colorToRgb(color, m_palette); }

    void fillRect(const QRect& rect, QRgb color);
    void fillColor(const QRect& rect, ColorCode color) { fillRect(rect, rgb(color)); }
    // One-pixel line from p to q; q itself is not drawn.
    void line(QPoint p, QPoint q, QRgb color);
    // Filled and outlined ellipse in the box from (l, t) to (r, b); swapped corners are sorted.
    void ellipse(int l, int t, int r, int b, QRgb color);
    // Text in a transparent background mode; "&" underlines the next character and "&&"
    // shows one, unless textNoPrefix is given.
    void drawText(const QFont& font, QRgb color, const QRect& rect, unsigned flags,
                  const QString& text);
    // Block copy of `source` to (x, y), replacing the pixels.
    void copyFrom(const QImage& source, int x, int y);

private:
    void fillDeviceRect(const QRect& rect, QRgb color);

    QImage& m_image;
    const QPalette& m_palette;
    qreal m_ratio;
};

} // namespace labels
