// The gradient renderer on off-screen images.
#include "LabelFixtures.h"
#include "controls/labels/LabelBackground.h"
#include "platform/exception.h"

#include <gtest/gtest.h>

using namespace testing_labels;

namespace {

using Runs = std::vector<std::pair<int, QRgb>>;

QImage render(const Gradient& gradient, int w, int h, bool forward = true)
{
    return drawn(w, h, 0xFFFFFF, [&](labels::LabelCanvas& canvas) {
        gradient.FillGradient(canvas, w, h, forward, gradient.ColorsInBetween());
    });
}

// The rows at which the colour down column x changes, with the new colour.
Runs runsDown(const QImage& image, int x)
{
    Runs runs;
    for (int y = 0; y < image.height(); ++y) {
        if (runs.empty() || runs.back().second != rgbAt(image, x, y))
            runs.push_back({y, rgbAt(image, x, y)});
    }
    return runs;
}

// Channels are never 0: red is drawn as (255, 1, 1), blue as (1, 1, 255).
constexpr QRgb red = 0xFF0101;
constexpr QRgb blue = 0x0101FF;

void redToBlueInTwoSteps(Gradient& gradient)
{
    gradient.setBeginColor(colors::clRed);
    gradient.setEndColor(colors::clBlue);
    gradient.setColorCount(2);
}

} // namespace

TEST(Gradient, TwoStepsSplitAfterRowFiftyAndInBetweenColoursRoundHalvesToEven)
{
    Gradient gradient;
    redToBlueInTwoSteps(gradient);
    EXPECT_EQ(runsDown(render(gradient, 7, 100), 3), (Runs{{0, red}, {51, blue}}));
    EXPECT_EQ(runsDown(render(gradient, 7, 100, false), 3), (Runs{{0, blue}, {51, red}}));
    gradient.setFillStyle(FillStyle::Vertical);
    const QImage vertical = render(gradient, 100, 5);
    EXPECT_EQ((QList<QRgb>{rgbAt(vertical, 50, 2), rgbAt(vertical, 51, 2), rgbAt(vertical, 99, 4)}),
              (QList<QRgb>{red, blue, blue}));

    gradient.setFillStyle(FillStyle::Horizontal);
    gradient.setColorsInBetween({QStringLiteral("clLime")});
    const Runs segmentsOf51{{0, red}, {26, 0x01FF01}, {77, blue}};
    EXPECT_EQ(runsDown(render(gradient, 5, 100), 0), segmentsOf51);
    // 101 / 2 = 50.5 rounds to 50: segments of 51 rows; 103 / 2 = 51.5 rounds to 52.
    EXPECT_EQ(runsDown(render(gradient, 5, 101), 0), segmentsOf51);
    EXPECT_EQ(runsDown(render(gradient, 5, 103), 0), (Runs{{0, red}, {27, 0x01FF01}, {80, blue}}));
}

TEST(Gradient, ShapesOfTheBarMiddleCornerAndSpectralStyles)
{
    Gradient gradient;
    redToBlueInTwoSteps(gradient);
    // H = 100, sy = 101, oy = 1, h = 50: step 0 bands rows 48..98 and 1..51, step 1 bands
    // rows 22..72 and 26..76 over them; rows 0 and 99 keep the ground colour.
    gradient.setFillStyle(FillStyle::MiddleHBar);
    EXPECT_EQ(runsDown(render(gradient, 4, 100), 0),
              (Runs{{0, 0xFF0000}, {1, red}, {22, blue}, {77, red}, {99, 0xFF0000}}));

    // sy = 100 with no + 1: rectangles shrink from both sides towards the middle.
    gradient.setFillStyle(FillStyle::SquareMiddle);
    const QImage square = render(gradient, 100, 100);
    EXPECT_EQ((QList<QRgb>{rgbAt(square, 0, 0), rgbAt(square, 24, 50), rgbAt(square, 25, 50),
                           rgbAt(square, 74, 74), rgbAt(square, 75, 50)}),
              (QList<QRgb>{red, red, blue, blue, red}));
    // LeftBottom: the second rectangle starts at md(1, 101, 2) = 51 in both directions.
    gradient.setFillStyle(FillStyle::LeftBottom);
    const QImage corner = render(gradient, 100, 100);
    EXPECT_EQ((QList<QRgb>{rgbAt(corner, 50, 99), rgbAt(corner, 51, 51), rgbAt(corner, 99, 50)}),
              (QList<QRgb>{red, blue, red}));

    // Spectral interleaves step and mirror colours; the mirrors keep their zero channels.
    gradient.setFillStyle(FillStyle::Spectral);
    const QImage spectral = render(gradient, 40, 30);
    EXPECT_EQ(colorsOf(spectral), (QSet<QRgb>{red, blue, 0xFF0000, 0x0000FF}));
    int changes = 0;
    for (int x = 1; x < 40; ++x)
        changes += rgbAt(spectral, x, 0) != rgbAt(spectral, x - 1, 0) ? 1 : 0;
    EXPECT_GE(changes, 30) << "neighbouring lines do not alternate";
    // Circle draws the same lines in the step colours only.
    gradient.setFillStyle(FillStyle::Circle);
    EXPECT_TRUE((colorsOf(render(gradient, 40, 30)) - QSet<QRgb>{red, blue, 0xFF0000}).isEmpty());
}

TEST(Gradient, StepsBlendTheChannelsWithRoundedMultiplyDivide)
{
    Gradient gradient;
    gradient.setBeginColor(0x000000);
    gradient.setEndColor(0x0000FF); // red 255
    gradient.setColorCount(4);
    // Step i has red md(i, 255, 3) (0 -> 1, 85, 170, 255) from row md(i, 41, 4) (halves up).
    EXPECT_EQ(runsDown(render(gradient, 3, 40), 1),
              (Runs{{0, 0x010101}, {10, 0x550101}, {21, 0xAA0101}, {31, 0xFF0101}}));

    // Falling channels round their halves away from zero too: 2 + md(1, -1, 2) = 1.
    gradient.setBeginColor(0x000002);
    gradient.setEndColor(0x000001);
    gradient.setColorCount(3);
    EXPECT_EQ(runsDown(render(gradient, 3, 30), 1), (Runs{{0, 0x020101}, {10, 0x010101}}));
}

TEST(Gradient, ColorCountOutsideTwoToTwoHundredFiftyFiveIsIgnoredButAnnounced)
{
    Gradient gradient;
    int changes = 0;
    gradient.OnChange = [&] { ++changes; };
    gradient.setColorCount(1);
    gradient.setColorCount(256);
    EXPECT_EQ(gradient.ColorCount(), 32);
    EXPECT_EQ(changes, 2);
    gradient.setColorCount(255);
    gradient.setColorCount(2);
    EXPECT_EQ(gradient.ColorCount(), 2);
    EXPECT_EQ(changes, 4);
}

TEST(Gradient, BlackIsDrawnAsOneOneOneInEveryStyle)
{
    for (int style = 0; style <= static_cast<int>(FillStyle::HorizontalDoppelBar); ++style) {
        Gradient gradient;
        gradient.setBeginColor(colors::clBlack);
        gradient.setEndColor(colors::clBlack);
        gradient.setFillStyle(static_cast<FillStyle>(style));
        const QSet<QRgb> colors = colorsOf(render(gradient, 40, 30));
        EXPECT_TRUE(colors.contains(0x010101)) << "style " << style;
        EXPECT_TRUE((colors - QSet<QRgb>{0x000000, 0x010101}).isEmpty()) << "style " << style;
    }
}

TEST(Gradient, EmptyAreaDrawsNothingAndABadLineStopsBeforeDrawing)
{
    Gradient gradient;
    gradient.setColorsInBetween({QStringLiteral("clRed"), QStringLiteral("rosso")});
    const QImage image = drawn(10, 10, 0xFFFFFF, [&](labels::LabelCanvas& canvas) {
        EXPECT_NO_THROW(gradient.FillGradient(canvas, 0, 10, true, {}));
        EXPECT_NO_THROW(gradient.FillGradient(canvas, 10, 0, true, {}));
        try {
            gradient.FillGradient(canvas, 10, 10, true, gradient.ColorsInBetween());
            ADD_FAILURE() << "no conversion error";
        } catch (const platform::ConversionError& error) {
            EXPECT_EQ(error.message(), QStringLiteral("'rosso' is not a valid integer value"));
        }
    });
    EXPECT_EQ(colorsOf(image), QSet<QRgb>{0xFFFFFF});
}
