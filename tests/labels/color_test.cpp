// Colours: their text form, the conversion error and the palette's system colours.
#include "controls/labels/Color.h"
#include "platform/exception.h"

#include <QPalette>

#include <gtest/gtest.h>

using namespace colors;

TEST(Color, TextFormOfIdentifiersDecimalAndDollarHex)
{
    // Written and read back alike: names where there are, else eight hex digits.
    const std::pair<const char*, ColorCode> both[] = {
        {"clRed", 0xFF},         {"clBtnShadow", clBtnShadow}, {"clSilver", 0xC0C0C0},
        {"clBlack", clBlack},    {"clGrayText", clGrayText},   {"clNone", 0x1FFFFFFF},
        {"$00123456", 0x123456}, {"$00FF8000", 0xFF8000},      {"$80000099", 0x80000099},
    };
    for (const auto& [text, color] : both) {
        EXPECT_EQ(colorToString(color), text);
        EXPECT_EQ(stringToColor(text), color) << text;
    }
    // Read only: any case, aliases, decimal and short hexadecimal.
    const std::pair<const char*, ColorCode> readOnly[] = {
        {"CLBTNFACE", 0x8000000F}, {"clLtGray", 0xC0C0C0},        {"255", 0xFF},
        {"-1", 0xFFFFFFFF},        {"$80000014", clBtnHighlight}, {"$ff", 0xFF},
    };
    for (const auto& [text, color] : readOnly)
        EXPECT_EQ(stringToColor(text), color) << text;
    for (const char* bad :
         {"clReddish", "", "12a", "$", "$1G", "2147483648", "$123456789", "1 2"}) {
        try {
            stringToColor(bad);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const platform::ConversionError& error) {
            EXPECT_EQ(error.message(),
                      QStringLiteral("'%1' is not a valid integer value").arg(bad));
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
    EXPECT_EQ(colorToRgb(clBtnFace, palette), 0x0A141Eu);
    EXPECT_EQ(colorToRgb(clBtnHighlight, palette), 0xFAFBFCu);
    EXPECT_EQ(colorToRgb(clBtnShadow, palette), 0x646566u);
    EXPECT_EQ(colorToRgb(clGrayText, palette), 0x78797Au);
    EXPECT_EQ(colorToRgb(clWindowText, palette), 0x010203u);
    // Red sits in the low byte of a plain colour.
    EXPECT_EQ(toQColor(0x00332211, palette), QColor(0x11, 0x22, 0x33));
    EXPECT_EQ(toQColor(clBlue, palette), QColor(0, 0, 255));
}
