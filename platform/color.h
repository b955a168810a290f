// The program's 32-bit colours: plain 0x00BBGGRR values, system colours resolved from
// the palette when drawn, and their text form.
#pragma once

#include <QColor>
#include <QPalette>
#include <QString>

#include <cstdint>
#include <optional>

namespace platform {

// Plain colours are 0x00BBGGRR (red in the low byte); 0x80000000 + n is system colour n.
using TColor = std::uint32_t;

inline constexpr TColor systemColorFlag = 0x80000000u;

// Standard colours.
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clPurple = 0x800080;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clLtGray = 0xC0C0C0;
inline constexpr TColor clDkGray = 0x808080;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clMoneyGreen = 0xC0DCC0;
inline constexpr TColor clSkyBlue = 0xF0CAA6;
inline constexpr TColor clCream = 0xF0FBFF;
inline constexpr TColor clMedGray = 0xA4A0A0;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

// System colours.
inline constexpr TColor clScrollBar = systemColorFlag | 0;
inline constexpr TColor clBackground = systemColorFlag | 1;
inline constexpr TColor clActiveCaption = systemColorFlag | 2;
inline constexpr TColor clInactiveCaption = systemColorFlag | 3;
inline constexpr TColor clMenu = systemColorFlag | 4;
inline constexpr TColor clWindow = systemColorFlag | 5;
inline constexpr TColor clWindowFrame = systemColorFlag | 6;
inline constexpr TColor clMenuText = systemColorFlag | 7;
inline constexpr TColor clWindowText = systemColorFlag | 8;
inline constexpr TColor clCaptionText = systemColorFlag | 9;
inline constexpr TColor clActiveBorder = systemColorFlag | 10;
inline constexpr TColor clInactiveBorder = systemColorFlag | 11;
inline constexpr TColor clAppWorkSpace = systemColorFlag | 12;
inline constexpr TColor clHighlight = systemColorFlag | 13;
inline constexpr TColor clHighlightText = systemColorFlag | 14;
inline constexpr TColor clBtnFace = systemColorFlag | 15;
inline constexpr TColor clBtnShadow = systemColorFlag | 16;
inline constexpr TColor clGrayText = systemColorFlag | 17;
inline constexpr TColor clBtnText = systemColorFlag | 18;
inline constexpr TColor clInactiveCaptionText = systemColorFlag | 19;
inline constexpr TColor clBtnHighlight = systemColorFlag | 20;
inline constexpr TColor cl3DDkShadow = systemColorFlag | 21;
inline constexpr TColor cl3DLight = systemColorFlag | 22;
inline constexpr TColor clInfoText = systemColorFlag | 23;
inline constexpr TColor clInfoBk = systemColorFlag | 24;
inline constexpr TColor clHotLight = systemColorFlag | 26;
inline constexpr TColor clGradientActiveCaption = systemColorFlag | 27;
inline constexpr TColor clGradientInactiveCaption = systemColorFlag | 28;
inline constexpr TColor clMenuHighlight = systemColorFlag | 29;
inline constexpr TColor clMenuBar = systemColorFlag | 30;

constexpr bool isSystemColor(TColor color) { return (color & systemColorFlag) != 0; }

// The palette entry that stands in for a system colour.
struct PaletteEntry {
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};
PaletteEntry paletteEntryOf(TColor systemColor);

// The colour's current 0xRRGGBB value: system colours come from `palette`; of a plain
// colour only the low 24 bits count (clNone therefore gives white).
QRgb colorToRgb(TColor color, const QPalette& palette);
QColor toQColor(TColor color, const QPalette& palette);

// Text form: the cl identifier when the colour has one, else "$" and eight hex digits.
QString colorToString(TColor color);
std::optional<TColor> identToColor(const QString& ident);

// Reads a cl identifier (any letter case), a decimal or a "$" hexadecimal integer.
// Throws EConvertError "'%s' is not a valid integer value" for anything else.
TColor stringToColor(const QString& text);

} // namespace platform
