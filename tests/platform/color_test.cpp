// Colours: their text form, the conversion error and the palette's system colours.
#include "platform/color.h"
#include "platform/exception.h"

#include <QPalette>

#include <gtest/gtest.h>

using namespace platform;

TEST(Color, ReadsIdentifiersDecimalAndDollarHex)
{
    EXPECT_EQ(stringToColor("clRed"), 0xFFu);
    EXPECT_EQ(stringToColor("CLBTNFACE"), 0x8000000Fu);
    EXPECT_EQ(stringToColor("clNone"), 0x1FFFFFFFu);
    EXPECT_EQ(stringToColor("clLtGray"), 0xC0C0C0u);
    EXPECT_EQ(stringToColor("255"), 0xFFu);
    EXPECT_EQ(stringToColor("-1"), 0xFFFFFFFFu);
    EXPECT_EQ(stringToColor("$00FF8000"), 0xFF8000u);
    EXPECT_EQ(stringToColor("$80000014"), clBtnHighlight);
    EXPECT_EQ(stringToColor("$ff"), 0xFFu);
}

TEST(Color, WritesIdentifiersOrEightHexDigitsAndReadsThemBack)
{
    EXPECT_EQ(colorToString(clBtnShadow), "clBtnShadow");
    EXPECT_EQ(colorToString(0xC0C0C0), "clSilver");
    EXPECT_EQ(colorToString(0x123456), "$00123456");
    EXPECT_EQ(colorToString(0x80000099), "$80000099");
    for (TColor color : {clBlack, clPurple, clGrayText, clNone, TColor{0x00ABCDEF}, TColor{0x80000099}})
        EXPECT_EQ(stringToColor(colorToString(color)), color) << colorToString(color).toStdString();
}

TEST(Color, RejectsTextsThatAreNoColourWithTheConversionMessage)
{
    for (const char* bad : {"clReddish", "", "12a", "$", "$1G", "2147483648", "$123456789", "1 2"}) {
        try {
            stringToColor(bad);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const EConvertError& error) {
            EXPECT_EQ(error.message(), QStringLiteral("'%1' is not a valid integer value").arg(bad));
        }
    }
}

TEST(Color, ResolvesSystemColoursFromThePaletteAndPlainOnesFromTheirBytes)
{
    QPalette palette;
    palette.setColor(QPalette::Button, QColor(10, 20, 30));
    palette.setColor(QPalette::Light, QColor(250, 251, 252));
    palette.setColor(QPalette::Dark, QColor(100, 101, 102));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 121, 122));
    palette.setColor(QPalette::Active, QPalette::WindowText, QColor(1, 2, 3));
    EXPECT_EQ(colorToRgb(clBtnFace, palette), qRgb(10, 20, 30) & 0xFFFFFF);
    EXPECT_EQ(colorToRgb(clBtnHighlight, palette), qRgb(250, 251, 252) & 0xFFFFFF);
    EXPECT_EQ(colorToRgb(clBtnShadow, palette), qRgb(100, 101, 102) & 0xFFFFFF);
    EXPECT_EQ(colorToRgb(clGrayText, palette), qRgb(120, 121, 122) & 0xFFFFFF);
    EXPECT_EQ(colorToRgb(clWindowText, palette), qRgb(1, 2, 3) & 0xFFFFFF);
    // Red sits in the low byte of a plain colour.
    EXPECT_EQ(toQColor(0x00332211, palette), QColor(0x11, 0x22, 0x33));
    EXPECT_EQ(toQColor(clBlue, palette), QColor(0, 0, 255));
}
