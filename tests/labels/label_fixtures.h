// Shared helpers of the label tests: a fixed palette, a crisp font and pixel reading.
#pragma once

#include "platform/color.h"

#include <QFont>
#include <QImage>
#include <QPalette>
#include <QRect>
#include <QSet>
#include <QString>

#include <vector>

namespace testing_labels {

inline const QRgb window = qRgb(200, 200, 200) & 0xFFFFFF;
inline const QRgb button = qRgb(212, 208, 200) & 0xFFFFFF;
inline const QRgb light = qRgb(250, 250, 240) & 0xFFFFFF;      // clBtnHighlight
inline const QRgb dark = qRgb(128, 128, 128) & 0xFFFFFF;       // clBtnShadow
inline const QRgb grayText = qRgb(120, 110, 100) & 0xFFFFFF;   // clGrayText
inline const QRgb text = qRgb(0, 0, 0) & 0xFFFFFF;             // clWindowText

QPalette fixedPalette();
// Without antialiasing every pixel of a caption has exactly its colour.
QFont crispFont(int pixelSize = 12);
QRgb rgbAt(const QImage& image, int x, int y);
QRgb opaque(QRgb color);
// Where Qt itself puts the ink of a caption drawn at `rect`: the reference the label's
// copies are compared against.
std::vector<QPoint> inkOf(const QString& caption, const QFont& font, QSize size,
                          const QRect& rect, int alignment = Qt::AlignLeft);
// Every colour that occurs in the image.
QSet<QRgb> colorsOf(const QImage& image);
// The opaque pixels of one colour.
std::vector<QPoint> pixelsOf(const QImage& image, QRgb color);
QRect boundsOf(const std::vector<QPoint>& points);

} // namespace testing_labels
