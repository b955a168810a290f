// The shared background: hatch brushes, textures, letter filling and the labels that follow it.
#include "LabelFixtures.h"
#include "controls/labels/DecoratedLabel.h"
#include "controls/labels/LabelBackground.h"
#include "platform/application.h"
#include "platform/exception.h"

#include <QEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

using namespace testing_labels;

namespace {

QImage paint(const LabelBackground& background, int w, int h)
{
    return drawn(w, h, 0x00FF00, [&](labels::LabelCanvas& canvas) {
        background.PaintBackground(canvas, w, h, true);
    });
}

// Labels follow a background through its changed() signal: one connection per label and role.
struct CountedBackground : LabelBackground {
    int listeners() const { return receivers(SIGNAL(changed())); }
};

struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

} // namespace

TEST(LabelBackground, HatchBrushesOnSolidColourAndOnWhite)
{
    LabelBackground background;
    background.setBackgroundStyle(BackStyle::bBrushFillSolidColor);
    background.brushFill().setBrushStyle(HatchStyle::bsDiagCross);
    background.brushFill().setBrushColor(colors::clRed);
    background.setSolidColor(colors::clYellow);
    const QRgb red = 0xFF0000;
    const QRgb yellow = 0xFFFF00;
    const QImage image = paint(background, 32, 24);
    EXPECT_EQ(colorsOf(image), (QSet<QRgb>{red, yellow}));
    // Every red pixel inside lies on a diagonal; both directions occur.
    int falling = 0, rising = 0;
    for (const QPoint& p : pixelsOf(image, red)) {
        const auto redAt = [&](int dx, int dy) {
            return rgbAt(image, p.x() + dx, p.y() + dy) == red;
        };
        if (!QRect(1, 1, 30, 22).contains(p))
            continue;
        const bool onFalling = redAt(-1, -1) || redAt(1, 1);
        const bool onRising = redAt(1, -1) || redAt(-1, 1);
        EXPECT_TRUE(onFalling || onRising) << p.x() << "," << p.y();
        falling += onFalling ? 1 : 0;
        rising += onRising ? 1 : 0;
    }
    EXPECT_GT(falling, 20);
    EXPECT_GT(rising, 20);
    background.setBackgroundStyle(BackStyle::bBrushFillUseCurrent);
    const QImage onWhite = paint(background, 32, 24);
    EXPECT_EQ(colorsOf(onWhite), (QSet<QRgb>{red, 0xFFFFFF}));
    EXPECT_EQ(pixelsOf(onWhite, red), pixelsOf(image, red));

    background.brushFill().setBrushStyle(HatchStyle::bsClear);
    EXPECT_EQ(colorsOf(paint(background, 8, 8)), QSet<QRgb>{0xFFFFFF});
    background.setBackgroundStyle(BackStyle::bBrushFillSolidColor);
    EXPECT_EQ(colorsOf(paint(background, 8, 8)), QSet<QRgb>{yellow});
    background.brushFill().setBrushStyle(HatchStyle::bsSolid);
    EXPECT_EQ(colorsOf(paint(background, 8, 8)), QSet<QRgb>{red});
    background.brushFill().setBrushStyle(HatchStyle::bsHorizontal);
    const QImage lines = paint(background, 16, 16);
    for (int y = 0; y < 16; ++y)
        EXPECT_EQ(colorsOf(lines.copy(0, y, 16, 1)).size(), 1u) << "row " << y << " not uniform";
    background.setBackgroundStyle(BackStyle::bSolidcolor);
    EXPECT_EQ(colorsOf(paint(background, 8, 8)), QSet<QRgb>{yellow});
}

TEST(LabelBackground, TextureTilesCentresStretchesAndKeysOutItsTransparentColour)
{
    LabelBackground background;
    background.setBackgroundStyle(BackStyle::bTexture);
    // Empty image: the destination keeps what it had.
    EXPECT_EQ(colorsOf(paint(background, 40, 20)), QSet<QRgb>{0x00FF00});

    // Every pixel tells its own position, so each placement can be traced.
    QImage pattern(16, 16, QImage::Format_RGB32);
    for (int i = 0; i < 16 * 16; ++i)
        pattern.setPixel(i % 16, i / 16, qRgb(i % 16 * 8 + 4, i / 16 * 8 + 4, 77));
    background.texture().setImage(pattern);
    EXPECT_TRUE(imageIs(paint(background, 40, 20),
                        [&](int x, int y) { return rgbAt(pattern, x % 16, y % 16); }));
    background.texture().setImageStyle(ImageStyle::isCenter);
    EXPECT_TRUE(imageIs(paint(background, 40, 10), [&](int x, int y) {
        return x >= 12 && x < 28 ? rgbAt(pattern, x - 12, y) : 0x00FF00;
    }));
    background.texture().setImageStyle(ImageStyle::isStretched);
    const QImage stretched = paint(background, 32, 32);
    EXPECT_EQ(rgbAt(stretched, 0, 0), rgbAt(pattern, 0, 0));
    EXPECT_EQ(rgbAt(stretched, 31, 31), rgbAt(pattern, 15, 15));
    EXPECT_EQ(rgbAt(stretched, 17, 3), rgbAt(pattern, 8, 1));

    // The keyed colour shows the replacement colour in every placement; clNone keys nothing.
    const QRgb key = rgbAt(pattern, 5, 5);
    background.texture().setTransparentColor(0x4D2C2C); // that pixel as 0x00BBGGRR
    for (ImageStyle style : {ImageStyle::isTile, ImageStyle::isCenter, ImageStyle::isStretched}) {
        background.texture().setImageStyle(style);
        const QSet<QRgb> colors = colorsOf(paint(background, 40, 20));
        EXPECT_FALSE(colors.contains(key)) << static_cast<int>(style);
        EXPECT_TRUE(colors.contains(button)) << static_cast<int>(style);
        EXPECT_TRUE(colors.contains(rgbAt(pattern, 6, 5))) << static_cast<int>(style);
    }
    background.texture().setTransparentColor(colors::clNone);
    EXPECT_TRUE(colorsOf(paint(background, 40, 20)).contains(key));

    // A centred monochrome image takes the ground colour for its white; keyed out, its white
    // shows the replacement colour instead.
    QImage mono(8, 8, QImage::Format_Mono);
    mono.fill(1);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mono.setPixel(2, 2, 0);
    background.texture().setImage(mono);
    background.texture().setImageStyle(ImageStyle::isCenter);
    background.setSolidColor(colors::clAqua);
    const QImage ground = paint(background, 8, 8);
    EXPECT_EQ((QList<QRgb>{rgbAt(ground, 0, 0), rgbAt(ground, 2, 2)}), (QList<QRgb>{0x00FFFF, 0}));
    background.texture().setTransparentColor(colors::clWhite);
    const QImage keyed = paint(background, 8, 8);
    EXPECT_EQ((QList<QRgb>{rgbAt(keyed, 0, 0), rgbAt(keyed, 2, 2)}), (QList<QRgb>{button, 0}));
}

TEST(LabelBackground, LettersFilledWithTheBackgroundAndThreeDCopiesAround)
{
    LabelBackground background;
    background.setBackgroundStyle(BackStyle::bSolidcolor);
    background.setSolidColor(colors::clRed);
    auto label = makeLabel(60, 24, QStringLiteral("Hi"), 16);
    label->font3D().setMaskFont(false);
    label->font3D().setThreeDimensional(false);
    label->setFontBackground(&background);
    const auto ink = inkOf("Hi", label->font(), label->size(), QRect(0, 1, 60, 22));
    EXPECT_EQ(pixelsOf(label->paintImage(), 0xFF0000), ink);
    EXPECT_EQ(colorsOf(label->paintImage()), (QSet<QRgb>{window, 0xFF0000}));

    // The font mask turns the letters white and lets the pattern's own colour through
    // transparently: a solid pattern leaves white letters on the label.
    label->font3D().setMaskFont(true);
    EXPECT_EQ(pixelsOf(label->paintImage(), 0xFFFFFF), ink);
    EXPECT_EQ(colorsOf(label->paintImage()), (QSet<QRgb>{window, 0xFFFFFF}));
    label->font3D().setMaskFont(false);

    // With 3-D copies the highlight copy sits at (-1, -1), under the filled letters.
    label->font3D().setThreeDimensional(true);
    const QImage raised = label->paintImage();
    EXPECT_EQ(pixelsOf(raised, 0xFF0000), ink);
    EXPECT_EQ(pixelsOf(raised, light).front(), ink.front() - QPoint(1, 1)); // its first row shows
}

TEST(LabelBackground, BackgroundBehindTheLabelAndABadColourLineStopsThePaint)
{
    LabelBackground background;
    background.setBackgroundStyle(BackStyle::bSolidcolor);
    background.setSolidColor(colors::clTeal);
    auto label = makeLabel(20, 10, QStringLiteral("Ab"));
    label->setBackground(&background);
    EXPECT_EQ(colorsOf(label->paintImage()), (QSet<QRgb>{0x008080, light, text}));

    background.setBackgroundStyle(BackStyle::bGradient);
    background.gradient().setColorsInBetween({QStringLiteral("clBlau")});
    const QImage image = drawn(20, 10, 0, [&](labels::LabelCanvas& canvas) {
        try {
            label->Paint(canvas);
            ADD_FAILURE() << "the paint went on";
        } catch (const platform::ConversionError& error) {
            EXPECT_EQ(error.message(), QStringLiteral("'clBlau' is not a valid integer value"));
        }
    });
    EXPECT_EQ(colorsOf(image), QSet<QRgb>{window}) << "the caption was drawn after the failure";

    // On screen the failure is reported once, not on every repaint.
    QStringList reported;
    const auto previous = platform::setErrorBoxHook([&](const QString& text) { reported << text; });
    label->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(label.get()));
    for (int i = 0; i < 2; ++i) {
        label->repaint();
        QTest::qWait(20); // time for a second report that must not come
    }
    platform::setErrorBoxHook(previous);
    EXPECT_EQ(reported, QStringList{QStringLiteral("'clBlau' is not a valid integer value。")});
}

TEST(LabelBackground, LabelsRepaintOnEveryChangeAndLoseTheBackgroundWhenItGoes)
{
    QWidget form;
    form.resize(200, 100);
    auto background = std::make_unique<CountedBackground>();
    background->setBackgroundStyle(BackStyle::bSolidcolor);
    auto* first = new DecoratedLabel(&form);
    auto* second = new DecoratedLabel(&form);
    first->setGeometry(0, 0, 50, 20);
    second->setGeometry(0, 30, 50, 20);
    first->setBackground(background.get());
    second->setBackground(background.get());
    second->setFontBackground(background.get());
    EXPECT_EQ(background->listeners(), 3);
    second->setFontBackground(nullptr);
    EXPECT_EQ(background->listeners(), 2);
    // Set again in the same role, a label still follows it once.
    first->setBackground(background.get());
    EXPECT_EQ(background->listeners(), 2);
    second->setFontBackground(background.get());

    // Listening itself, the spy goes before the labels are counted again.
    auto announced = std::make_unique<QSignalSpy>(background.get(), &LabelBackground::changed);
    int changed = 0;
    background->OnChanged = [&](LabelBackground* sender) {
        changed += sender == background.get() ? 1 : 0;
    };
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    PaintCounter firstPaints, secondPaints;
    first->installEventFilter(&firstPaints);
    second->installEventFilter(&secondPaints);
    background->gradient().setBeginColor(colors::clRed);
    background->texture().setImageStyle(ImageStyle::isCenter);
    background->brushFill().setBrushColor(colors::clRed);
    background->setSolidColor(colors::clNavy);
    EXPECT_EQ(changed, 4);
    EXPECT_EQ(announced->count(), 4);
    announced.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return firstPaints.paints > 0 && secondPaints.paints > 0; }));
    EXPECT_EQ(colorsOf(first->grab().toImage()), QSet<QRgb>{0x000080}); // clNavy

    // A label going away is no longer told.
    auto* third = new DecoratedLabel(&form);
    third->setFontBackground(background.get());
    EXPECT_EQ(background->listeners(), 4);
    delete third;
    EXPECT_EQ(background->listeners(), 3);
    background->setSolidColor(colors::clNavy);

    background.reset();
    EXPECT_EQ(first->Background(), nullptr);
    EXPECT_EQ(second->Background(), nullptr);
    EXPECT_EQ(second->FontBackground(), nullptr);
    first->setPalette(fixedPalette());
    EXPECT_EQ(colorsOf(first->paintImage()), QSet<QRgb>{window});
}
