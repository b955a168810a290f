// The decorated label: text rectangle, frames, 3-D copies, disabled look, repetition.
#include "controls/labels/OvoTCommandLabel.h"
#include "controls/labels/OvoTLabel.h"
#include "label_fixtures.h"

#include <QImage>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace testing_labels;

namespace {

struct Copy {
    int dx;
    int dy;
    QRgb color;
};

std::unique_ptr<TOvoLabel> makeLabel(int w, int h, const QString& caption)
{
    auto label = std::make_unique<TOvoLabel>();
    label->setPalette(fixedPalette());
    label->setFont(crispFont());
    label->resize(w, h);
    label->setCaption(caption);
    return label;
}

// The label's image must be the window colour with the caption's ink laid down at each
// offset, in order, in the given colours.
void expectCopies(const TOvoLabel& label, const QRect& textRect, const std::vector<Copy>& copies)
{
    const QImage image = label.paintImage();
    QImage expected(image.size(), QImage::Format_RGB32);
    expected.fill(window);
    const auto ink = inkOf(label.Caption(), label.font(), image.size(), textRect);
    ASSERT_FALSE(ink.empty());
    for (const Copy& copy : copies) {
        for (const QPoint& p : ink) {
            const QPoint q = p + QPoint(copy.dx, copy.dy);
            if (expected.rect().contains(q))
                expected.setPixel(q, copy.color | 0xFF000000u);
        }
    }
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ASSERT_EQ(rgbAt(image, x, y), rgbAt(expected, x, y)) << "at " << x << "," << y;
        }
    }
}

} // namespace

TEST(OvoLabel, TextRectangleKeepsOneFrameWidthAtTopAndBottomEvenWithoutFrame)
{
    auto label = makeLabel(60, 20, QStringLiteral("Wg"));
    label->Font3D().setThreeDimensional(false);
    EXPECT_EQ(label->Frame().FrameStyle(), TOvoFrameStyle::frameNone);
    EXPECT_EQ(label->textRect(), QRect(QPoint(0, 1), QPoint(59, 18)));
    expectCopies(*label, QRect(0, 1, 60, 18), {{0, 0, text}});

    // Right-aligned text ends at the inner right edge: W - 2 * inset.
    label->setAlignment(TAlignment::taRightJustify);
    label->Frame().setFrameStyle(TOvoFrameStyle::frameFramedUp);
    label->Frame().setFrameWidth(2);
    label->Frame().setEdges(TOvoFrameEdges(0));  // no lines, the inset stays
    EXPECT_EQ(label->Frame().FrameInset(), 4);
    const QImage image = label->paintImage();
    const QRect expected = boundsOf(inkOf("Wg", label->font(), image.size(),
                                          QRect(QPoint(4, 6), QPoint(60 - 8 - 1, 20 - 6 - 1)),
                                          Qt::AlignRight));
    EXPECT_EQ(boundsOf(pixelsOf(image, text)), expected);
    EXPECT_EQ(pixelsOf(image, light).size() + pixelsOf(image, dark).size(), 0u)
        << "frame lines drawn although no edge is selected";
}

TEST(OvoLabel, PanelUpWithFrameWidthTwoDrawsFourOutlines)
{
    auto label = makeLabel(10, 8, QString());
    label->Frame().setFrameStyle(TOvoFrameStyle::framePanelUp);
    label->Frame().setFrameWidth(2);
    const QImage image = label->paintImage();
    const QRgb black = 0;
    const char* rows[] = {
        // H highlight, K black, S shadow, . window
        "HHHHHHHHHK",
        "HHHHHHHHKK",
        "HH.....SKK",
        "HH....SSKK",
        "HH.SSSSSKK",
        "HHSSSSSSKK",
        "HKKKKKKKKK",
        "KKKKKKKKKK",
    };
    // Ring 2 lies inside ring 1: only its right and bottom edges, in shadow.
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 10; ++x) {
            QRgb want = window;
            switch (rows[y][x]) {
            case 'H': want = light; break;
            case 'K': want = black; break;
            case 'S': want = dark; break;
            default: break;
            }
            EXPECT_EQ(rgbAt(image, x, y), want) << "at " << x << "," << y;
        }
    }
}

TEST(OvoLabel, EveryFrameStyleColoursItsOuterAndInnerRing)
{
    using S = TOvoFrameStyle;
    const QRgb black = 0;
    struct Row {
        S style;
        QRgb outerTopLeft, outerBottomRight, innerTopLeft, innerBottomRight;
    };
    const Row rows[] = {
        {S::frameSolid, black, black, window, window},
        {S::frameRaised, light, dark, window, window},
        {S::frameLowered, dark, light, window, window},
        {S::frameNone, window, window, window, window},
        {S::frameFramedUp, light, dark, dark, light},
        {S::frameFramedDown, dark, light, light, dark},
        {S::framePanelUp, light, black, window, dark},
        {S::framePanelDown, dark, window, black, light},
        {S::frameLightBordered, window, dark, light, light},
    };
    auto label = makeLabel(6, 6, QString());
    for (const Row& row : rows) {
        label->Frame().setFrameStyle(row.style);
        const QImage image = label->paintImage();
        const int style = static_cast<int>(row.style);
        EXPECT_EQ(rgbAt(image, 0, 0), row.outerTopLeft) << style;
        EXPECT_EQ(rgbAt(image, 5, 5), row.outerBottomRight) << style;
        EXPECT_EQ(rgbAt(image, 1, 1), row.innerTopLeft) << style;
        EXPECT_EQ(rgbAt(image, 4, 4), row.innerBottomRight) << style;
    }
}

TEST(OvoLabel, FrameStylesHaveTheirInsetsAndRefuseAZeroWidth)
{
    TOvoFrame frame;
    int changes = 0;
    frame.OnChange = [&] { ++changes; };
    frame.setFrameWidth(3);
    frame.setFrameWidth(0);
    EXPECT_EQ(frame.FrameWidth(), 3);
    EXPECT_EQ(changes, 1);
    using S = TOvoFrameStyle;
    const std::pair<S, int> insets[] = {
        {S::frameNone, 0},        {S::frameSolid, 3},      {S::frameRaised, 3},
        {S::frameLowered, 3},     {S::frameFramedUp, 6},   {S::frameFramedDown, 6},
        {S::framePanelUp, 6},     {S::framePanelDown, 6},  {S::frameLightBordered, 6},
    };
    for (const auto& [style, inset] : insets) {
        frame.setFrameStyle(style);
        EXPECT_EQ(frame.FrameInset(), inset) << static_cast<int>(style);
    }
}

TEST(OvoLabel, DefaultCaptionHasAHighlightCopyUpAndLeft)
{
    auto label = makeLabel(60, 20, QStringLiteral("Ab"));
    expectCopies(*label, QRect(0, 1, 60, 18), {{-1, -1, light}, {0, 0, text}});
}

TEST(OvoLabel, DisabledCaptionIsEngravedWhateverTheThreeDSettings)
{
    auto label = makeLabel(60, 20, QStringLiteral("Ab"));
    label->Font3D().setStyle3D(TOvoStyle3D::fontRaised);
    label->Font3D().setRepetition(TOvoRepeat::repeatOnShadow);
    label->Font3D().setRepetitionwidth(3);
    label->setEnabled(false);
    // clBtnHighlight at the rectangle, clGrayText one pixel up and left of it.
    expectCopies(*label, QRect(0, 1, 60, 18), {{0, 0, light}, {-1, -1, grayText}});
}

TEST(OvoLabel, RepetitionCopiesStepAwayFromTheCaption)
{
    auto label = makeLabel(60, 30, QStringLiteral("|"));
    label->setFont(crispFont(20));
    label->Font3D().setRepetitionColor(platform::clRed);
    label->Font3D().setRepetition(TOvoRepeat::repeatOnShadow);
    label->Font3D().setRepetitionwidth(3);
    const QRgb red = 0xFF0000;
    // Text rectangle starts at (0, 1): copies at +4, +3, +2, highlight at 0, caption at +1.
    expectCopies(*label, QRect(0, 1, 60, 28),
                 {{4, 4, red}, {3, 3, red}, {2, 2, red}, {0, 0, light}, {1, 1, text}});

    // Width 0: no copies, but everything moves by the offset.
    label->Font3D().setRepetitionwidth(0);
    expectCopies(*label, QRect(0, 1, 60, 28), {{0, 0, light}, {1, 1, text}});

    label->Font3D().setRepetitionwidth(2);
    label->Font3D().setRepetition(TOvoRepeat::repeatOnHighLight);
    label->Font3D().setOffset(2);
    label->Font3D().setStyle3D(TOvoStyle3D::fontRaised);
    // Shrunk by 2, moved by -2: copies at 0 and +1; the loop ends at +2, so highlight at 0,
    // shadow at +4 and the caption at +2.
    expectCopies(*label, QRect(0, 1, 60, 28),
                 {{0, 0, red}, {1, 1, red}, {0, 0, light}, {4, 4, dark}, {2, 2, text}});
}

TEST(OvoLabel, ThreeDStylesPlaceTheirCopies)
{
    auto label = makeLabel(60, 24, QStringLiteral("Ab"));
    label->Font3D().setOffset(2);
    const QRect r(0, 1, 60, 22);
    label->Font3D().setStyle3D(TOvoStyle3D::fontRaised);
    expectCopies(*label, r, {{-2, -2, light}, {2, 2, dark}, {0, 0, text}});
    label->Font3D().setStyle3D(TOvoStyle3D::fontInset);
    expectCopies(*label, r, {{-2, -2, dark}, {2, 2, light}, {0, 0, text}});
    label->Font3D().setStyle3D(TOvoStyle3D::fontOnlyShadow);
    expectCopies(*label, r, {{2, 2, dark}, {0, 0, text}});
    label->Font3D().setStyle3D(TOvoStyle3D::fontOutLineShadow);
    expectCopies(*label, r, {{-1, -1, dark}, {1, -1, dark}, {1, 1, dark}, {-1, 1, dark},
                             {0, 0, text}});
    label->Font3D().setThreeDimensional(false);
    expectCopies(*label, r, {{0, 0, text}});
}

TEST(OvoLabel, RefusedOffsetStillRepaintsAndEqualRepetitionWidthDoesNot)
{
    TOvoFont3D font3D;
    int changes = 0;
    font3D.OnChange = [&] { ++changes; };
    font3D.setOffset(3);
    font3D.setOffset(0);
    EXPECT_EQ(font3D.Offset(), 3);
    EXPECT_EQ(changes, 2);
    font3D.setRepetitionwidth(0);
    EXPECT_EQ(changes, 2);
    font3D.setRepetitionwidth(4);
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(font3D.DrawingWidth(), 2 * 3 + 4);
}

TEST(OvoLabel, AmpersandUnderlinesTheNextLetterAlsoWithoutAccelChars)
{
    auto label = makeLabel(60, 20, QStringLiteral("A&B"));
    label->Font3D().setThreeDimensional(false);
    label->setShowAccelChar(false);
    const QImage image = label->paintImage();
    const auto underlined = inkOf("A&B", label->font(), image.size(), QRect(0, 1, 60, 18));
    const auto plain = inkOf("AB", label->font(), image.size(), QRect(0, 1, 60, 18));
    EXPECT_GT(underlined.size(), plain.size());
    EXPECT_EQ(pixelsOf(image, text), underlined);

    label->setCaption(QStringLiteral("A&&B"));
    const QImage both = label->paintImage();
    EXPECT_EQ(pixelsOf(both, text), inkOf("A&&B", label->font(), both.size(), QRect(0, 1, 60, 18)));
    EXPECT_GT(pixelsOf(both, text).size(), plain.size());
}

TEST(OvoLabel, TransparentLabelPaintsOnlyItsCaption)
{
    auto label = makeLabel(40, 20, QStringLiteral("Ab"));
    label->setTransparent(true);
    const QImage image = label->paintImage();
    EXPECT_EQ(qAlpha(image.pixel(39, 19)), 0);
    EXPECT_FALSE(pixelsOf(image, text).empty());
    EXPECT_TRUE(pixelsOf(image, window).empty());
}

TEST(OvoLabel, DoubleClickGivesOneClickOneDoubleClickAndTwoPresses)
{
    auto label = makeLabel(40, 20, QStringLiteral("Ab"));
    int clicks = 0;
    int doubleClicks = 0;
    int presses = 0;
    label->OnClick = [&](TOvoLabel*) { ++clicks; };
    label->OnMouseDown = [&](TOvoLabel*, Qt::MouseButton, Qt::KeyboardModifiers, QPoint) {
        ++presses;
    };
    label->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(label.get()));
    QTest::mouseDClick(label->windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(presses, 2);
    label->OnDblClick = [&](TOvoLabel*) { ++doubleClicks; };
    QTest::mouseDClick(label->windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_EQ(presses, 4);
}

TEST(OvoLabel, AltAndTheUnderlinedLetterFocusTheFocusControl)
{
    QWidget form;
    auto* first = new QLineEdit(&form);
    auto* named = new QLineEdit(&form);
    auto* mailed = new QLineEdit(&form);
    named->move(0, 30);
    mailed->move(0, 60);
    auto* label = new TOvoLabel(&form);
    label->setCaption(QStringLiteral("&Name"));
    label->setFocusControl(named);
    auto* link = new TOvoCommandLabel(&form);
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
    QTest::qWait(50);
    EXPECT_TRUE(first->hasFocus());
}
