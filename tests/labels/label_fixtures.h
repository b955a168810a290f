// Shared helpers of the label tests: a fixed palette, a crisp font and pixel reading.
#pragma once

#include "platform/color.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QRect>
#include <QString>

#include <vector>

namespace testing_labels {

inline const QRgb window = qRgb(200, 200, 200) & 0xFFFFFF;
inline const QRgb button = qRgb(212, 208, 200) & 0xFFFFFF;
inline const QRgb light = qRgb(250, 250, 240) & 0xFFFFFF;      // clBtnHighlight
inline const QRgb dark = qRgb(128, 128, 128) & 0xFFFFFF;       // clBtnShadow
inline const QRgb grayText = qRgb(120, 110, 100) & 0xFFFFFF;   // clGrayText
inline const QRgb text = qRgb(0, 0, 0) & 0xFFFFFF;             // clWindowText

inline QPalette fixedPalette()
{
    QPalette palette(QColor::fromRgb(button | 0xFF000000u), QColor::fromRgb(window | 0xFF000000u));
    palette.setColor(QPalette::Window, QColor::fromRgb(window | 0xFF000000u));
    palette.setColor(QPalette::Button, QColor::fromRgb(button | 0xFF000000u));
    palette.setColor(QPalette::Light, QColor::fromRgb(light | 0xFF000000u));
    palette.setColor(QPalette::Dark, QColor::fromRgb(dark | 0xFF000000u));
    palette.setColor(QPalette::WindowText, QColor::fromRgb(text | 0xFF000000u));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor::fromRgb(grayText | 0xFF000000u));
    palette.setColor(QPalette::Disabled, QPalette::Light, QColor::fromRgb(light | 0xFF000000u));
    palette.setColor(QPalette::Disabled, QPalette::Dark, QColor::fromRgb(dark | 0xFF000000u));
    palette.setColor(QPalette::Disabled, QPalette::Window, QColor::fromRgb(window | 0xFF000000u));
    palette.setColor(QPalette::Disabled, QPalette::Button, QColor::fromRgb(button | 0xFF000000u));
    return palette;
}

// Without antialiasing every pixel of a caption has exactly its colour.
inline QFont crispFont(int pixelSize = 12)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

inline QRgb rgbAt(const QImage& image, int x, int y)
{
    return image.pixel(x, y) & 0xFFFFFF;
}

inline QRgb opaque(QRgb color)
{
    return color & 0xFFFFFF;
}

// Where Qt itself puts the ink of a left-aligned caption drawn at `rect`: the reference the
// label's copies are compared against.
inline std::vector<QPoint> inkOf(const QString& caption, const QFont& font, QSize size,
                                 const QRect& rect, int alignment = Qt::AlignLeft)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(rect, alignment | Qt::AlignTop | Qt::TextShowMnemonic |
                                   Qt::TextExpandTabs | Qt::TextDontClip,
                         caption);
    }
    std::vector<QPoint> ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (rgbAt(image, x, y) != 0xFFFFFF)
                ink.push_back({x, y});
        }
    }
    return ink;
}

// The pixels of one colour.
inline std::vector<QPoint> pixelsOf(const QImage& image, QRgb color)
{
    std::vector<QPoint> found;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (rgbAt(image, x, y) == opaque(color) && qAlpha(image.pixel(x, y)) == 255)
                found.push_back({x, y});
        }
    }
    return found;
}

inline QRect boundsOf(const std::vector<QPoint>& points)
{
    QRect bounds;
    for (const QPoint& p : points)
        bounds |= QRect(p, QSize(1, 1));
    return bounds;
}

} // namespace testing_labels
