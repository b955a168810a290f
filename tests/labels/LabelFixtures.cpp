// Shared helpers of the label tests.
#include "LabelFixtures.h"

#include <QPainter>

namespace testing_labels {

QPalette fixedPalette()
{
    QPalette palette;
    const auto set = [&](QPalette::ColorRole role, QRgb rgb) {
        palette.setColor(role, QColor::fromRgb(rgb));
    };
    set(QPalette::Window, window);
    set(QPalette::Button, button);
    set(QPalette::Light, light);
    set(QPalette::Dark, dark);
    set(QPalette::WindowText, text);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor::fromRgb(grayText));
    return palette;
}

std::unique_ptr<DecoratedLabel> makeLabel(int w, int h, const QString& caption, int pixelSize)
{
    auto label = std::make_unique<DecoratedLabel>();
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setStyleStrategy(QFont::NoAntialias);
    label->setFont(font);
    label->setPalette(fixedPalette());
    label->resize(w, h);
    label->setCaption(caption);
    return label;
}

QImage drawn(int w, int h, QRgb ground, const std::function<void(labels::LabelCanvas&)>& draw)
{
    QImage image = labels::whiteImage(w, h);
    image.fill(ground | 0xFF000000u);
    const QPalette palette = fixedPalette();
    labels::LabelCanvas canvas(image, palette);
    draw(canvas);
    return image;
}

QRgb rgbAt(const QImage& image, int x, int y)
{
    return image.pixel(x, y) & 0xFFFFFF;
}

::testing::AssertionResult imageIs(const QImage& image, const std::function<QRgb(int, int)>& want)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb seen = rgbAt(image, x, y);
            if (seen != want(x, y))
                return ::testing::AssertionFailure()
                    << (::testing::Message() << "at " << x << "," << y << ": " << std::hex << seen
                                             << " instead of " << want(x, y));
        }
    }
    return ::testing::AssertionSuccess();
}

std::vector<QPoint> inkOf(const QString& caption, const QFont& font, QSize size, const QRect& rect,
                          int alignment, qreal ratio)
{
    QImage image = labels::whiteImage(size.width(), size.height(), ratio);
    {
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(rect,
                         alignment | Qt::AlignTop | Qt::TextShowMnemonic | Qt::TextExpandTabs
                             | Qt::TextDontClip,
                         caption);
    }
    return pixelsOf(image, 0x000000);
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
            if (image.pixel(x, y) == (color | 0xFF000000u))
                found.push_back({x, y});
        }
    }
    return found;
}

} // namespace testing_labels
