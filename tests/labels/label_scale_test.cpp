// The labels painted for a screen scaled to 150 % and 200 %: blocks of device pixels for the
// frame and the backgrounds, letters at the device's resolution.
#include "LabelFixtures.h"
#include "controls/labels/LabelBackground.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace testing_labels;

TEST(LabelScale, AtTwiceThePixelsFramesAreBlocksAndLettersAreSharp)
{
    auto label = makeLabel(60, 20, QStringLiteral("Ag&x"));
    label->font3D().setThreeDimensional(false);
    label->Frame().setFrameStyle(FrameStyle::frameRaised);
    const QImage single = label->paintImage();
    const QImage twice = label->paintImage(2.0);
    ASSERT_EQ(twice.size(), QSize(120, 40));
    EXPECT_EQ(twice.devicePixelRatio(), 2.0);

    // The letters as Qt draws them on a device of twice the pixels, where the caption goes.
    const auto ink = inkOf(QStringLiteral("Ag&x"), label->font(), label->size(), label->textRect(),
                           Qt::AlignLeft, 2.0);
    ASSERT_FALSE(ink.empty());
    const auto isInk = [&](int x, int y) {
        return std::find(ink.begin(), ink.end(), QPoint(x, y)) != ink.end();
    };
    EXPECT_TRUE(imageIs(twice, [&](int x, int y) {
        const bool ring = x < 2 || y < 2 || x >= 118 || y >= 38;
        return ring ? rgbAt(single, x / 2, y / 2) : isInk(x, y) ? text : window;
    }));
    // Not a picture of 100 % blown up: some 2 x 2 blocks hold ink and ground both.
    int mixed = 0;
    for (int y = 2; y < 38; y += 2)
        for (int x = 2; x < 118; x += 2) {
            const QRgb first = rgbAt(twice, x, y);
            mixed += rgbAt(twice, x + 1, y) != first || rgbAt(twice, x, y + 1) != first
                || rgbAt(twice, x + 1, y + 1) != first;
        }
    EXPECT_GT(mixed, 0);
}

TEST(LabelScale, BackgroundsScaleAsBlocksAndFilledLettersKeepTheirColours)
{
    LabelBackground gradient;
    gradient.setBackgroundStyle(BackStyle::bGradient);
    gradient.gradient().setBeginColor(platform::clRed);
    gradient.gradient().setEndColor(platform::clBlue);
    gradient.gradient().setColorCount(5);
    for (const FillStyle style : {FillStyle::Horizontal, FillStyle::Spectral, FillStyle::Circle}) {
        gradient.gradient().setFillStyle(style);
        auto label = makeLabel(30, 20, QString());
        label->setBackground(&gradient);
        const QImage single = label->paintImage();
        EXPECT_TRUE(imageIs(label->paintImage(2.0), [&](int x, int y) {
            return rgbAt(single, x / 2, y / 2);
        })) << int(style);
    }

    // At 150 % a logical pixel covers one or two device pixels, and none is left out.
    auto framed = makeLabel(30, 20, QString());
    framed->Frame().setFrameStyle(FrameStyle::frameSolid);
    framed->Frame().setSolid(platform::clRed);
    const QImage half = framed->paintImage(1.5);
    ASSERT_EQ(half.size(), QSize(45, 30));
    EXPECT_EQ(colorsOf(half), (QSet<QRgb>{0xFF0000, window}));
    for (int x = 0; x < 45; ++x)
        EXPECT_TRUE(rgbAt(half, x, 0) == 0xFF0000 && rgbAt(half, x, 29) == 0xFF0000) << x;
    for (int y = 0; y < 30; ++y)
        EXPECT_TRUE(rgbAt(half, 0, y) == 0xFF0000 && rgbAt(half, 44, y) == 0xFF0000) << y;
    EXPECT_EQ(rgbAt(half, 22, 15), window);

    LabelBackground solid;
    solid.setBackgroundStyle(BackStyle::bSolidcolor);
    solid.setSolidColor(platform::clRed);
    auto filled = makeLabel(60, 24, QStringLiteral("Hi"), 16);
    filled->font3D().setThreeDimensional(true);
    filled->font3D().setMaskFont(false);
    filled->setFontBackground(&solid);
    const QImage twice = filled->paintImage(2.0);
    EXPECT_EQ(colorsOf(twice), colorsOf(filled->paintImage()));
    EXPECT_GT(pixelsOf(twice, 0xFF0000).size(),
              3 * pixelsOf(filled->paintImage(), 0xFF0000).size());
}
