// The program's 32-bit colours: plain 0x00BBGGRR values, system colours resolved from
// the palette when drawn, and their text form.
#pragma once

#include <QColor>
#include <QPalette>
#include <QString>

#include <cstdint>
#include <optional>

namespace colors {

// Plain colours are 0x00BBGGRR (red in the low byte); 0x80000000 + n is system colour n.
using ColorCode = std::uint32_t;

inline constexpr ColorCode systemColorFlag = 0x80000000u;

// Standard colours.
inline constexpr ColorCode clBlack = 0x000000;
inline constexpr ColorCode clMaroon = 0x000080;
inline constexpr ColorCode clGreen = 0x008000;
inline constexpr ColorCode clOlive = 0x008080;
inline constexpr ColorCode clNavy = 0x800000;
inline constexpr ColorCode clPurple = 0x800080;
inline constexpr ColorCode clTeal = 0x808000;
inline constexpr ColorCode clGray = 0x808080;
inline constexpr ColorCode clSilver = 0xC0C0C0;
inline constexpr ColorCode clRed = 0x0000FF;
inline constexpr ColorCode clLime = 0x00FF00;
inline constexpr ColorCode clYellow = 0x00FFFF;
inline constexpr ColorCode clBlue = 0xFF0000;
inline constexpr ColorCode clFuchsia = 0xFF00FF;
inline constexpr ColorCode clAqua = 0xFFFF00;
inline constexpr ColorCode clLtGray = 0xC0C0C0;
inline constexpr ColorCode clDkGray = 0x808080;
inline constexpr ColorCode clWhite = 0xFFFFFF;
inline constexpr ColorCode clMoneyGreen = 0xC0DCC0;
inline constexpr ColorCode clSkyBlue = 0xF0CAA6;
inline constexpr ColorCode clCream = 0xF0FBFF;
inline constexpr ColorCode clMedGray = 0xA4A0A0;
inline constexpr ColorCode clNone = 0x1FFFFFFF;
inline constexpr ColorCode clDefault = 0x20000000;

// System colours.
inline constexpr ColorCode clScrollBar = systemColorFlag | 0;
inline constexpr ColorCode clBackground = systemColorFlag | 1;
inline constexpr ColorCode clActiveCaption = systemColorFlag | 2;
inline constexpr ColorCode clInactiveCaption = systemColorFlag | 3;
inline constexpr ColorCode clMenu = systemColorFlag | 4;
inline constexpr ColorCode clWindow = systemColorFlag | 5;
inline constexpr ColorCode clWindowFrame = systemColorFlag | 6;
inline constexpr ColorCode clMenuText = systemColorFlag | 7;
inline constexpr ColorCode clWindowText = systemColorFlag | 8;
inline constexpr ColorCode clCaptionText = systemColorFlag | 9;
inline constexpr ColorCode clActiveBorder = systemColorFlag | 10;
inline constexpr ColorCode clInactiveBorder = systemColorFlag | 11;
inline constexpr ColorCode clAppWorkSpace = systemColorFlag | 12;
inline constexpr ColorCode clHighlight = systemColorFlag | 13;
inline constexpr ColorCode clHighlightText = systemColorFlag | 14;
inline constexpr ColorCode clBtnFace = systemColorFlag | 15;
inline constexpr ColorCode clBtnShadow = systemColorFlag | 16;
inline constexpr ColorCode clGrayText = systemColorFlag | 17;
inline constexpr ColorCode clBtnText = systemColorFlag | 18;
inline constexpr ColorCode clInactiveCaptionText = systemColorFlag | 19;
inline constexpr ColorCode clBtnHighlight = systemColorFlag | 20;
inline constexpr ColorCode cl3DDkShadow = systemColorFlag | 21;
inline constexpr ColorCode cl3DLight = systemColorFlag | 22;
inline constexpr ColorCode clInfoText = systemColorFlag | 23;
inline constexpr ColorCode clInfoBk = systemColorFlag | 24;
inline constexpr ColorCode clHotLight = systemColorFlag | 26;
inline constexpr ColorCode clGradientActiveCaption = systemColorFlag | 27;
inline constexpr ColorCode clGradientInactiveCaption = systemColorFlag | 28;
inline constexpr ColorCode clMenuHighlight = systemColorFlag | 29;
inline constexpr ColorCode clMenuBar = systemColorFlag | 30;

constexpr bool isSystemColor(ColorCode color)
{
    return (color & systemColorFlag) != 0;
}

// The palette entry that stands in for a system colour.
struct PaletteEntry {
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};
PaletteEntry paletteEntryOf(ColorCode systemColor);

// The colour's current 0xRRGGBB value: system colours come from `palette`; of a plain
// colour only the low 24 bits count (clNone therefore gives white).
QRgb colorToRgb(ColorCode color, const QPalette& palette);
QColor toQColor(ColorCode color, const QPalette& palette);

// Text form: the cl identifier when the colour has one, else "$" and eight hex digits.
QString colorToString(ColorCode color);
std::optional<ColorCode> identToColor(const QString& ident);

// Reads a cl identifier (any letter case), a decimal or a "$" hexadecimal integer.
// Throws ConversionError "'%s' is not a valid integer value" for anything else.
ColorCode stringToColor(const QString& text);

} // namespace colors
