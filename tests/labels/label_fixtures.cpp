// Shared helpers of the label tests.
#include "label_fixtures.h"

#include <QPainter>

namespace testing_labels {

namespace {

QColor solid(QRgb color)
{
    return QColor::fromRgb(color | 0xFF000000u);
}

} // namespace

QPalette fixedPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, solid(window));
    palette.setColor(QPalette::Button, solid(button));
    palette.setColor(QPalette::Light, solid(light));
    palette.setColor(QPalette::Dark, solid(dark));
    palette.setColor(QPalette::WindowText, solid(text));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, solid(grayText));
    palette.setColor(QPalette::Disabled, QPalette::Light, solid(light));
    palette.setColor(QPalette::Disabled, QPalette::Dark, solid(dark));
    palette.setColor(QPalette::Disabled, QPalette::Window, solid(window));
    palette.setColor(QPalette::Disabled, QPalette::Button, solid(button));
    return palette;
}

QFont crispFont(int pixelSize)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

QRgb rgbAt(const QImage& image, int x, int y)
{
    return image.pixel(x, y) & 0xFFFFFF;
}

QRgb opaque(QRgb color)
{
    return color & 0xFFFFFF;
}

std::vector<QPoint> inkOf(const QString& caption, const QFont& font, QSize size,
                                 const QRect& rect, int alignment)
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

QSet<QRgb> colorsOf(const QImage& image)
{
    QSet<QRgb> colors;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            colors.insert(rgbAt(image, x, y));
    }
    return colors;
}

std::vector<QPoint> pixelsOf(const QImage& image, QRgb color)
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

QRect boundsOf(const std::vector<QPoint>& points)
{
    QRect bounds;
    for (const QPoint& p : points)
        bounds |= QRect(p, QSize(1, 1));
    return bounds;
}

} // namespace testing_labels
