// The decorated label: text rectangle, frames, 3-D copies, disabled look, repetition.
#include "LabelFixtures.h"
#include "controls/labels/CommandLabel.h"
#include "controls/labels/DecoratedLabel.h"

#include <QHash>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <tuple>

using namespace testing_labels;

namespace {

struct Copy {
    int dx;
    int dy;
    QRgb color;
};

// The label's image must be the window colour with the caption's ink laid down at each
// offset, in order, in the given colours.
::testing::AssertionResult copiesAre(const DecoratedLabel& label, const QRect& textRect,
                                     const std::vector<Copy>& copies, int alignment = Qt::AlignLeft)
{
    QImage expected(label.size(), QImage::Format_RGB32);
    expected.fill(window);
    const auto ink = inkOf(label.Caption(), label.font(), label.size(), textRect, alignment);
    if (ink.empty())
        return ::testing::AssertionFailure() << "the caption has no ink";
    for (const Copy& copy : copies) {
        for (const QPoint& p : ink) {
            if (expected.rect().contains(p + QPoint(copy.dx, copy.dy)))
                expected.setPixel(p + QPoint(copy.dx, copy.dy), copy.color);
        }
    }
    return imageIs(label.paintImage(), [&](int x, int y) { return rgbAt(expected, x, y); });
}

} // namespace

TEST(DecoratedLabel, TextRectangleKeepsOneFrameWidthAtTopAndBottomEvenWithoutFrame)
{
    auto label = makeLabel(60, 20, QStringLiteral("Wg"));
    label->font3D().setThreeDimensional(false);
    EXPECT_EQ(label->textRect(), QRect(QPoint(0, 1), QPoint(59, 18)));
    EXPECT_TRUE(copiesAre(*label, QRect(0, 1, 60, 18), {{0, 0, text}}));

    // Right-aligned text ends at the inner right edge W - 2 * inset; no edge, no frame lines.
    label->setAlignment(TextAlignment::taRightJustify);
    label->Frame().setFrameStyle(FrameStyle::frameFramedUp);
    label->Frame().setFrameWidth(2);
    label->Frame().setEdges(FrameEdges(0));
    EXPECT_EQ(label->Frame().FrameInset(), 4);
    const QRect inner(QPoint(4, 6), QPoint(60 - 8 - 1, 20 - 6 - 1));
    EXPECT_TRUE(copiesAre(*label, inner, {{0, 0, text}}, Qt::AlignRight));
}

TEST(DecoratedLabel, PanelUpWithFrameWidthTwoDrawsFourOutlines)
{
    auto label = makeLabel(10, 8, QString());
    label->Frame().setFrameStyle(FrameStyle::framePanelUp);
    label->Frame().setFrameWidth(2);
    // H highlight, K black, S shadow, . window. Ring 2 shows only its right and bottom edges.
    const char* rows[] = {
        "HHHHHHHHHK", "HHHHHHHHKK", "HH.....SKK", "HH....SSKK",
        "HH.SSSSSKK", "HHSSSSSSKK", "HKKKKKKKKK", "KKKKKKKKKK",
    };
    const QHash<char, QRgb> colors{{'H', light}, {'K', 0}, {'S', dark}, {'.', window}};
    EXPECT_TRUE(imageIs(label->paintImage(), [&](int x, int y) { return colors[rows[y][x]]; }));
}

TEST(DecoratedLabel, EveryFrameStyleColoursItsRingsAndInsetsByThem)
{
    using S = FrameStyle;
    const QRgb black = 0;
    // Rings; outer top-left, outer bottom-right, inner top-left, inner bottom-right.
    const std::tuple<S, int, QList<QRgb>> rows[] = {
        {S::frameSolid, 1, {black, black, window, window}},
        {S::frameRaised, 1, {light, dark, window, window}},
        {S::frameLowered, 1, {dark, light, window, window}},
        {S::frameNone, 0, {window, window, window, window}},
        {S::frameFramedUp, 2, {light, dark, dark, light}},
        {S::frameFramedDown, 2, {dark, light, light, dark}},
        {S::framePanelUp, 2, {light, black, window, dark}},
        {S::framePanelDown, 2, {dark, window, black, light}},
        {S::frameLightBordered, 2, {window, dark, light, light}},
    };
    auto label = makeLabel(6, 6, QString());
    for (const auto& [style, rings, colors] : rows) {
        label->Frame().setFrameStyle(style);
        label->Frame().setFrameWidth(3);
        EXPECT_EQ(label->Frame().FrameInset(), 3 * rings) << static_cast<int>(style);
        label->Frame().setFrameWidth(1);
        const QImage image = label->paintImage();
        EXPECT_EQ((QList<QRgb>{rgbAt(image, 0, 0), rgbAt(image, 5, 5), rgbAt(image, 1, 1),
                               rgbAt(image, 4, 4)}),
                  colors)
            << static_cast<int>(style);
    }
}

TEST(DecoratedLabel, ZeroFrameWidthIsRefusedAndZeroOffsetRefusedButAnnounced)
{
    LabelFrame frame;
    Font3D font3D;
    int frameChanges = 0, fontChanges = 0;
    frame.OnChange = [&] { ++frameChanges; };
    font3D.OnChange = [&] { ++fontChanges; };
    frame.setFrameWidth(3);
    frame.setFrameWidth(0);
    EXPECT_EQ(frame.FrameWidth(), 3);
    EXPECT_EQ(frameChanges, 1);
    font3D.setOffset(3);
    font3D.setOffset(0);
    EXPECT_EQ(font3D.Offset(), 3);
    EXPECT_EQ(fontChanges, 2);
    font3D.setRepetitionwidth(0); // unchanged: no repaint
    font3D.setRepetitionwidth(4);
    EXPECT_EQ(fontChanges, 3);
    EXPECT_EQ(font3D.DrawingWidth(), 2 * 3 + 4);
}

TEST(DecoratedLabel, ThreeDStylesPlaceTheirCopiesAndTheDisabledLookOverridesThem)
{
    auto label = makeLabel(60, 24, QStringLiteral("Ab"));
    const QRect r(0, 1, 60, 22);
    EXPECT_TRUE(copiesAre(*label, r, {{-1, -1, light}, {0, 0, text}}));
    label->font3D().setOffset(2);
    label->font3D().setStyle3D(Style3D::fontRaised);
    EXPECT_TRUE(copiesAre(*label, r, {{-2, -2, light}, {2, 2, dark}, {0, 0, text}}));
    label->font3D().setStyle3D(Style3D::fontInset);
    EXPECT_TRUE(copiesAre(*label, r, {{-2, -2, dark}, {2, 2, light}, {0, 0, text}}));
    label->font3D().setStyle3D(Style3D::fontOnlyShadow);
    EXPECT_TRUE(copiesAre(*label, r, {{2, 2, dark}, {0, 0, text}}));
    label->font3D().setStyle3D(Style3D::fontOutLineShadow);
    EXPECT_TRUE(copiesAre(
        *label, r, {{-1, -1, dark}, {1, -1, dark}, {1, 1, dark}, {-1, 1, dark}, {0, 0, text}}));
    label->font3D().setThreeDimensional(false);
    EXPECT_TRUE(copiesAre(*label, r, {{0, 0, text}}));

    // Disabled: clBtnHighlight at the rectangle, clGrayText one pixel up and left of it.
    label->font3D().setThreeDimensional(true);
    label->font3D().setStyle3D(Style3D::fontRaised);
    label->font3D().setRepetition(Repeat3D::repeatOnShadow);
    label->font3D().setRepetitionwidth(3);
    label->setEnabled(false);
    EXPECT_TRUE(copiesAre(*label, r, {{0, 0, light}, {-1, -1, grayText}}));
}

TEST(DecoratedLabel, RepetitionCopiesStepAwayFromTheCaption)
{
    auto label = makeLabel(60, 30, QStringLiteral("|"), 20);
    label->font3D().setRepetitionColor(colors::clRed);
    label->font3D().setRepetition(Repeat3D::repeatOnShadow);
    label->font3D().setRepetitionwidth(3);
    const QRgb red = 0xFF0000;
    const QRect r(0, 1, 60, 28);
    // Copies at +4, +3, +2, the highlight at 0, the caption at +1.
    EXPECT_TRUE(
        copiesAre(*label, r, {{4, 4, red}, {3, 3, red}, {2, 2, red}, {0, 0, light}, {1, 1, text}}));
    // Width 0: no copies, but everything moves by the offset.
    label->font3D().setRepetitionwidth(0);
    EXPECT_TRUE(copiesAre(*label, r, {{0, 0, light}, {1, 1, text}}));

    label->font3D().setRepetitionwidth(2);
    label->font3D().setRepetition(Repeat3D::repeatOnHighLight);
    label->font3D().setOffset(2);
    label->font3D().setStyle3D(Style3D::fontRaised);
    // Shrunk by 2, moved by -2: copies at 0 and +1; the loop ends at +2, so highlight at 0,
    // shadow at +4 and the caption at +2.
    EXPECT_TRUE(copiesAre(*label, r,
                          {{0, 0, red}, {1, 1, red}, {0, 0, light}, {4, 4, dark}, {2, 2, text}}));
}

TEST(DecoratedLabel, AmpersandUnderlinesTheNextLetterAlsoWithoutAccelCharsAndTransparency)
{
    auto label = makeLabel(60, 20, QStringLiteral("A&B"));
    label->font3D().setThreeDimensional(false);
    label->setShowAccelChar(false);
    const QRect r(0, 1, 60, 18);
    EXPECT_GT(inkOf("A&B", label->font(), label->size(), r).size(),
              inkOf("AB", label->font(), label->size(), r).size());
    EXPECT_TRUE(copiesAre(*label, r, {{0, 0, text}}));
    label->setCaption(QStringLiteral("A&&B"));
    EXPECT_TRUE(copiesAre(*label, r, {{0, 0, text}}));

    // A transparent label paints only its caption.
    label->setTransparent(true);
    const QImage image = label->paintImage();
    EXPECT_EQ(qAlpha(image.pixel(59, 19)), 0);
    EXPECT_EQ(pixelsOf(image, text), inkOf("A&&B", label->font(), label->size(), r));
    EXPECT_TRUE(pixelsOf(image, window).empty());
}

TEST(DecoratedLabel, DoubleClickGivesOneClickOneDoubleClickAndTwoPresses)
{
    auto label = makeLabel(40, 20, QStringLiteral("Ab"));
    int clicks = 0, doubleClicks = 0, presses = 0;
    label->OnClick = [&](DecoratedLabel*) { ++clicks; };
    label->OnMouseDown = [&](DecoratedLabel*, Qt::MouseButton, Qt::KeyboardModifiers, QPoint) {
        ++presses;
    };
    label->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(label.get()));
    QTest::mouseDClick(label->windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(presses, 2);
    label->OnDblClick = [&](DecoratedLabel*) { ++doubleClicks; };
    QTest::mouseDClick(label->windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_EQ(presses, 4);
}

TEST(DecoratedLabel, AltAndTheUnderlinedLetterFocusTheFocusControl)
{
    QWidget form;
    auto* first = new QLineEdit(&form);
    auto* named = new QLineEdit(&form);
    auto* mailed = new QLineEdit(&form);
    auto* label = new DecoratedLabel(&form);
    label->setCaption(QStringLiteral("&Name"));
    label->setFocusControl(named);
    auto* link = new CommandLabel(&form);
    link->setCaption(QStringLiteral("&Mail"));
    link->setFocusControl(mailed);
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    first->setFocus();
    QTest::keyClick(&form, Qt::Key_N, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return named->hasFocus(); }));
    QTest::keyClick(&form, Qt::Key_M, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return mailed->hasFocus(); }));

    // Without accelerators the letter is only underlined.
    label->setShowAccelChar(false);
    first->setFocus();
    QTest::keyClick(&form, Qt::Key_N, Qt::AltModifier);
    QTest::qWait(50); // time for a focus change that must not come
    EXPECT_TRUE(first->hasFocus());
}
