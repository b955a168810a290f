// Shared helpers of the label tests: a fixed palette, a crisp font and pixel reading.
#pragma once

#include "controls/labels/DecoratedLabel.h"
#include "controls/labels/LabelCanvas.h"

#include <QImage>
#include <QSet>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace testing_labels {

inline constexpr QRgb window = 0xC8C8C8;
inline constexpr QRgb button = 0xD4D0C8;
inline constexpr QRgb light = 0xFAFAF0;    // clBtnHighlight
inline constexpr QRgb dark = 0x808080;     // clBtnShadow
inline constexpr QRgb grayText = 0x786E64; // clGrayText
inline constexpr QRgb text = 0x000000;     // clWindowText

QPalette fixedPalette();
// A label with the fixed palette and a font without antialiasing, so that every pixel of
// its caption has exactly its colour.
std::unique_ptr<DecoratedLabel> makeLabel(int w, int h, const QString& caption, int pixelSize = 12);
// A w x h image of the ground colour, drawn on through a canvas with the fixed palette.
QImage drawn(int w, int h, QRgb ground, const std::function<void(labels::LabelCanvas&)>& draw);
QRgb rgbAt(const QImage& image, int x, int y);
// Fails at the first pixel that differs from want(x, y).
::testing::AssertionResult imageIs(const QImage& image, const std::function<QRgb(int, int)>& want);
// Where Qt itself puts the ink of a caption drawn at `rect` (in logical pixels of an image of
// `size` at the device pixel ratio): the reference the label's copies are compared against.
std::vector<QPoint> inkOf(const QString& caption, const QFont& font, QSize size, const QRect& rect,
                          int alignment = Qt::AlignLeft, qreal ratio = 1.0);
// Every colour that occurs in the image.
QSet<QRgb> colorsOf(const QImage& image);
// The opaque pixels of one colour, row by row.
std::vector<QPoint> pixelsOf(const QImage& image, QRgb color);

} // namespace testing_labels
