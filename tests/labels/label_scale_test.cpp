// The labels painted for a screen scaled to 200 %: device pixel blocks for frames and
// backgrounds, letters at the device's resolution.
#include "LabelFixtures.h"
#include "controls/labels/LabelBackground.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace testing_labels;

TEST(LabelScale, AtTwiceThePixelsFramesAndBackgroundsAreBlocksAndLettersAreSharp)
{
    auto label = makeLabel(60, 20, QStringLiteral("Ag&x"));
    label->font3D().setThreeDimensional(false);
    label->Frame().setFrameStyle(FrameStyle::frameRaised);
    const QImage single = label->paintImage();
    const QImage twice = label->paintImage(2.0);
    ASSERT_EQ(twice.size(), QSize(120, 40));

    // The caption is Qt's own text on a device of twice the pixels, not 100 % blown up.
    const auto ink = inkOf(QStringLiteral("Ag&x"), label->font(), label->size(), label->textRect(),
                           Qt::AlignLeft, 2.0);
    EXPECT_TRUE(imageIs(twice, [&](int x, int y) {
        if (x < 2 || y < 2 || x >= 118 || y >= 38)
            return rgbAt(single, x / 2, y / 2);
        return std::find(ink.begin(), ink.end(), QPoint(x, y)) != ink.end() ? text : window;
    }));
    EXPECT_TRUE(std::any_of(ink.begin(), ink.end(), [&](QPoint p) {
        return rgbAt(twice, p.x() ^ 1, p.y()) != text || rgbAt(twice, p.x(), p.y() ^ 1) != text;
    })) << "some ink covers part of a 2 x 2 block only";

    LabelBackground gradient;
    gradient.setBackgroundStyle(BackStyle::bGradient);
    gradient.gradient().setBeginColor(colors::clRed);
    gradient.gradient().setEndColor(colors::clBlue);
    gradient.gradient().setFillStyle(FillStyle::Spectral);
    auto background = makeLabel(30, 20, QString());
    background->setBackground(&gradient);
    const QImage blocks = background->paintImage();
    EXPECT_TRUE(imageIs(background->paintImage(2.0),
                        [&](int x, int y) { return rgbAt(blocks, x / 2, y / 2); }));
}
