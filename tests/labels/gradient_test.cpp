// The gradient renderer on off-screen images.
#include "controls/labels/OvoTBackground.h"
#include "label_fixtures.h"
#include "platform/exception.h"

#include <QImage>
#include <QSet>

#include <gtest/gtest.h>

using namespace testing_labels;

namespace {

QImage render(const TOvoGradient& gradient, int w, int h, bool forward = true)
{
    QImage image = labels::whiteImage(w, h);
    const QPalette palette = fixedPalette();
    labels::OvoCanvas canvas(image, palette);
    gradient.FillGradient(canvas, w, h, forward, gradient.ColorsInBetween());
    return image;
}

// The first row (or column) at which the colour along the left column (top row) changes.
std::vector<std::pair<int, QRgb>> runsDown(const QImage& image, int x)
{
    std::vector<std::pair<int, QRgb>> runs;
    for (int y = 0; y < image.height(); ++y) {
        if (runs.empty() || runs.back().second != rgbAt(image, x, y))
            runs.push_back({y, rgbAt(image, x, y)});
    }
    return runs;
}

} // namespace

TEST(OvoGradient, TwoStepsSplitTheHeightAfterRowFifty)
{
    TOvoGradient gradient;
    gradient.setBeginColor(platform::clRed);
    gradient.setEndColor(platform::clBlue);
    gradient.setColorCount(2);
    // Channels are never 0: red is drawn as (255, 1, 1), blue as (1, 1, 255).
    using Runs = std::vector<std::pair<int, QRgb>>;
    EXPECT_EQ(runsDown(render(gradient, 7, 100), 3), (Runs{{0, 0xFF0101}, {51, 0x0101FF}}));
    EXPECT_EQ(runsDown(render(gradient, 7, 100, false), 3), (Runs{{0, 0x0101FF}, {51, 0xFF0101}}));

    gradient.setFillStyle(TOvoFillStyle::Vertical);
    const QImage vertical = render(gradient, 100, 5);
    EXPECT_EQ(rgbAt(vertical, 50, 2), 0xFF0101u);
    EXPECT_EQ(rgbAt(vertical, 51, 2), 0x0101FFu);
    EXPECT_EQ(rgbAt(vertical, 99, 4), 0x0101FFu);
}

TEST(OvoGradient, InBetweenColoursStartNewSegmentsRoundingHalvesToEven)
{
    TOvoGradient gradient;
    gradient.setBeginColor(platform::clRed);
    gradient.setEndColor(platform::clBlue);
    gradient.setColorsInBetween({QStringLiteral("clLime")});
    gradient.setColorCount(2);
    using Runs = std::vector<std::pair<int, QRgb>>;
    EXPECT_EQ(runsDown(render(gradient, 5, 100), 0),
              (Runs{{0, 0xFF0101}, {26, 0x01FF01}, {77, 0x0101FF}}));
    // 101 / 2 = 50.5 rounds to 50: segments of 51 rows, the last colour from row 77.
    EXPECT_EQ(runsDown(render(gradient, 5, 101), 0),
              (Runs{{0, 0xFF0101}, {26, 0x01FF01}, {77, 0x0101FF}}));
    // 103 / 2 = 51.5 rounds to 52: segments of 53 rows.
    EXPECT_EQ(runsDown(render(gradient, 5, 103), 0),
              (Runs{{0, 0xFF0101}, {27, 0x01FF01}, {80, 0x0101FF}}));
}

TEST(OvoGradient, StepsBlendTheChannelsWithRoundedMultiplyDivide)
{
    TOvoGradient gradient;
    gradient.setBeginColor(0x000000);
    gradient.setEndColor(0x0000FF);  // red 255
    gradient.setColorCount(4);
    // Step i has red md(i, 255, 3): 0 -> 1, 85, 170, 255.
    const QImage image = render(gradient, 3, 40);
    QList<QRgb> reds;
    for (const auto& run : runsDown(image, 1))
        reds.append(run.second);
    EXPECT_EQ(reds, (QList<QRgb>{0x010101, 0x550101, 0xAA0101, 0xFF0101}));

    // Falling channels round their halves away from zero too: 2 + md(1, -1, 2) = 1.
    gradient.setBeginColor(0x000002);
    gradient.setEndColor(0x000001);
    gradient.setColorCount(3);
    using Runs = std::vector<std::pair<int, QRgb>>;
    EXPECT_EQ(runsDown(render(gradient, 3, 30), 1), (Runs{{0, 0x020101}, {10, 0x010101}}));
}

TEST(OvoGradient, ColorCountOutsideTwoToTwoHundredFiftyFiveIsIgnoredButAnnounced)
{
    TOvoGradient gradient;
    int changes = 0;
    gradient.OnChange = [&] { ++changes; };
    gradient.setColorCount(1);
    gradient.setColorCount(256);
    EXPECT_EQ(gradient.ColorCount(), 32);
    EXPECT_EQ(changes, 2);
    gradient.setColorCount(255);
    gradient.setColorCount(2);
    EXPECT_EQ(gradient.ColorCount(), 2);
    gradient.colorsInBetweenLines().append(QStringLiteral("clRed"));
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(gradient.ColorsInBetween().size(), 1);
}

TEST(OvoGradient, BlackIsDrawnAsOneOneOneInEveryStyle)
{
    for (int style = 0; style <= static_cast<int>(TOvoFillStyle::HorizontalDoppelBar); ++style) {
        TOvoGradient gradient;
        gradient.setBeginColor(platform::clBlack);
        gradient.setEndColor(platform::clBlack);
        gradient.setFillStyle(static_cast<TOvoFillStyle>(style));
        const QSet<QRgb> colors = colorsOf(render(gradient, 40, 30));
        EXPECT_TRUE(colors.contains(0x010101)) << "style " << style;
        EXPECT_TRUE((colors - QSet<QRgb>{0x000000, 0x010101}).isEmpty()) << "style " << style;
    }
}

TEST(OvoGradient, SpectralInterleavesStepAndMirrorColours)
{
    TOvoGradient gradient;
    gradient.setBeginColor(platform::clRed);
    gradient.setEndColor(platform::clBlue);
    gradient.setColorCount(2);
    gradient.setFillStyle(TOvoFillStyle::Spectral);
    const QImage image = render(gradient, 40, 30);
    // The mirror colours keep their zero channels; only the step colours are raised.
    EXPECT_TRUE((colorsOf(image) - QSet<QRgb>{0xFF0101, 0x0101FF, 0xFF0000, 0x0000FF}).isEmpty());
    int changes = 0;
    for (int x = 1; x < 40; ++x)
        changes += rgbAt(image, x, 0) != rgbAt(image, x - 1, 0) ? 1 : 0;
    EXPECT_GE(changes, 30) << "neighbouring lines do not alternate";
    EXPECT_TRUE(colorsOf(image).contains(0x0000FF));
    EXPECT_TRUE(colorsOf(image).contains(0xFF0101));

    // Circle draws the same lines in the step colours only.
    gradient.setFillStyle(TOvoFillStyle::Circle);
    EXPECT_TRUE(
        (colorsOf(render(gradient, 40, 30)) - QSet<QRgb>{0xFF0101, 0x0101FF, 0xFF0000}).isEmpty());
}

TEST(OvoGradient, EmptyAreaDrawsNothingAndABadLineStopsBeforeDrawing)
{
    TOvoGradient gradient;
    QImage image = labels::whiteImage(10, 10);
    const QPalette palette = fixedPalette();
    labels::OvoCanvas canvas(image, palette);
    EXPECT_NO_THROW(gradient.FillGradient(canvas, 0, 10, true, {}));
    EXPECT_NO_THROW(gradient.FillGradient(canvas, 10, 0, true, {}));
    EXPECT_EQ(colorsOf(image), QSet<QRgb>{0xFFFFFF});

    gradient.setColorsInBetween({QStringLiteral("clRed"), QStringLiteral("rosso")});
    try {
        gradient.FillGradient(canvas, 10, 10, true, gradient.ColorsInBetween());
        ADD_FAILURE() << "no conversion error";
    } catch (const platform::EConvertError& error) {
        EXPECT_EQ(error.message(), QStringLiteral("'rosso' is not a valid integer value"));
    }
    EXPECT_EQ(colorsOf(image), QSet<QRgb>{0xFFFFFF});
}

TEST(OvoGradient, ShapesOfTheBarAndMiddleStyles)
{
    TOvoGradient gradient;
    gradient.setBeginColor(platform::clRed);
    gradient.setEndColor(platform::clBlue);
    gradient.setColorCount(2);
    using Runs = std::vector<std::pair<int, QRgb>>;

    // H = 100, sy = 101, oy = 1, h = 50: step 0 bands rows 48..98 and 1..51, step 1 bands
    // rows 22..72 and 26..76 over them; rows 0 and 99 keep the ground colour.
    gradient.setFillStyle(TOvoFillStyle::MiddleHBar);
    EXPECT_EQ(runsDown(render(gradient, 4, 100), 0),
              (Runs{{0, 0xFF0000}, {1, 0xFF0101}, {22, 0x0101FF}, {77, 0xFF0101}, {99, 0xFF0000}}));

    // sy = 100 with no + 1: rectangles shrink from both sides towards the middle.
    gradient.setFillStyle(TOvoFillStyle::SquareMiddle);
    const QImage square = render(gradient, 100, 100);
    EXPECT_EQ(rgbAt(square, 0, 0), 0xFF0101u);
    EXPECT_EQ(rgbAt(square, 24, 50), 0xFF0101u);
    EXPECT_EQ(rgbAt(square, 25, 50), 0x0101FFu);
    EXPECT_EQ(rgbAt(square, 74, 74), 0x0101FFu);
    EXPECT_EQ(rgbAt(square, 75, 50), 0xFF0101u);

    // LeftBottom: the second rectangle starts at md(1, 101, 2) = 51 in both directions.
    gradient.setFillStyle(TOvoFillStyle::LeftBottom);
    const QImage corner = render(gradient, 100, 100);
    EXPECT_EQ(rgbAt(corner, 50, 99), 0xFF0101u);
    EXPECT_EQ(rgbAt(corner, 51, 51), 0x0101FFu);
    EXPECT_EQ(rgbAt(corner, 99, 50), 0xFF0101u);
}
