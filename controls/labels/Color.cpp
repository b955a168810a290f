// Colours: palette resolution of system colours and the text form.
#include "controls/labels/Color.h"

#include "platform/exception.h"

#include <array>
#include <limits>

namespace colors {

namespace {

struct ColorName {
    ColorCode color;
    const char* name;
};

constexpr std::array colorNames{
    ColorName{clBlack, "clBlack"},
    ColorName{clMaroon, "clMaroon"},
    ColorName{clGreen, "clGreen"},
    ColorName{clOlive, "clOlive"},
    ColorName{clNavy, "clNavy"},
    ColorName{clPurple, "clPurple"},
    ColorName{clTeal, "clTeal"},
    ColorName{clGray, "clGray"},
    ColorName{clSilver, "clSilver"},
    ColorName{clRed, "clRed"},
    ColorName{clLime, "clLime"},
    ColorName{clYellow, "clYellow"},
    ColorName{clBlue, "clBlue"},
    ColorName{clFuchsia, "clFuchsia"},
    ColorName{clAqua, "clAqua"},
    ColorName{clWhite, "clWhite"},
    ColorName{clMoneyGreen, "clMoneyGreen"},
    ColorName{clSkyBlue, "clSkyBlue"},
    ColorName{clCream, "clCream"},
    ColorName{clMedGray, "clMedGray"},
    ColorName{clScrollBar, "clScrollBar"},
    ColorName{clBackground, "clBackground"},
    ColorName{clActiveCaption, "clActiveCaption"},
    ColorName{clInactiveCaption, "clInactiveCaption"},
    ColorName{clMenu, "clMenu"},
    ColorName{clWindow, "clWindow"},
    ColorName{clWindowFrame, "clWindowFrame"},
    ColorName{clMenuText, "clMenuText"},
    ColorName{clWindowText, "clWindowText"},
    ColorName{clCaptionText, "clCaptionText"},
    ColorName{clActiveBorder, "clActiveBorder"},
    ColorName{clInactiveBorder, "clInactiveBorder"},
    ColorName{clAppWorkSpace, "clAppWorkSpace"},
    ColorName{clHighlight, "clHighlight"},
    ColorName{clHighlightText, "clHighlightText"},
    ColorName{clBtnFace, "clBtnFace"},
    ColorName{clBtnShadow, "clBtnShadow"},
    ColorName{clGrayText, "clGrayText"},
    ColorName{clBtnText, "clBtnText"},
    ColorName{clInactiveCaptionText, "clInactiveCaptionText"},
    ColorName{clBtnHighlight, "clBtnHighlight"},
    ColorName{cl3DDkShadow, "cl3DDkShadow"},
    ColorName{cl3DLight, "cl3DLight"},
    ColorName{clInfoText, "clInfoText"},
    ColorName{clInfoBk, "clInfoBk"},
    ColorName{clHotLight, "clHotLight"},
    ColorName{clGradientActiveCaption, "clGradientActiveCaption"},
    ColorName{clGradientInactiveCaption, "clGradientInactiveCaption"},
    ColorName{clMenuHighlight, "clMenuHighlight"},
    ColorName{clMenuBar, "clMenuBar"},
    ColorName{clNone, "clNone"},
    ColorName{clDefault, "clDefault"},
    // Aliases: read, never written.
    ColorName{clLtGray, "clLtGray"},
    ColorName{clDkGray, "clDkGray"},
};

// Decimal must fit a signed 32-bit integer; "$" hexadecimal may use all 32 bits.
std::optional<ColorCode> parseInteger(const QString& text)
{
    qsizetype pos = 0;
    while (pos < text.size() && text.at(pos).isSpace())
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text.at(pos) == u'-' || text.at(pos) == u'+')) {
        negative = text.at(pos) == u'-';
        ++pos;
    }
    const bool hex = pos < text.size() && text.at(pos) == u'$';
    if (hex)
        ++pos;
    if (pos == text.size())
        return std::nullopt;
    const int base = hex ? 16 : 10;
    const std::int64_t limit = hex ? std::int64_t{0xFFFFFFFF} : std::int64_t{0x80000000};
    std::int64_t value = 0;
    for (; pos < text.size(); ++pos) {
        const char16_t ch = text.at(pos).toLower().unicode();
        int digit = -1;
        if (ch >= u'0' && ch <= u'9')
            digit = ch - u'0';
        else if (hex && ch >= u'a' && ch <= u'f')
            digit = ch - u'a' + 10;
        if (digit < 0)
            return std::nullopt;
        value = value * base + digit;
        if (value > limit)
            return std::nullopt;
    }
    if (!hex && !negative && value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<ColorCode>(negative ? -value : value);
}

} // namespace

PaletteEntry paletteEntryOf(ColorCode systemColor)
{
    using P = QPalette;
    switch (systemColor & 0xFF) {
    case 1: return {P::Active, P::Dark};            // desktop
    case 2: return {P::Active, P::Highlight};       // active caption
    case 3: return {P::Inactive, P::Mid};           // inactive caption
    case 4: return {P::Active, P::Window};          // menu
    case 5: return {P::Active, P::Base};            // window
    case 6: return {P::Active, P::Shadow};          // window frame
    case 7: return {P::Active, P::WindowText};      // menu text
    case 8: return {P::Active, P::WindowText};      // window text
    case 9: return {P::Active, P::HighlightedText}; // caption text
    case 12: return {P::Active, P::Mid};            // application work space
    case 13: return {P::Active, P::Highlight};
    case 14: return {P::Active, P::HighlightedText};
    case 16: return {P::Active, P::Dark};         // button shadow
    case 17: return {P::Disabled, P::WindowText}; // grey text
    case 18: return {P::Active, P::ButtonText};
    case 19: return {P::Inactive, P::ButtonText}; // inactive caption text
    case 20: return {P::Active, P::Light};        // button highlight
    case 21: return {P::Active, P::Shadow};       // 3-D dark shadow
    case 22: return {P::Active, P::Midlight};     // 3-D light
    case 23: return {P::Active, P::ToolTipText};
    case 24: return {P::Active, P::ToolTipBase};
    case 26: return {P::Active, P::Link}; // hot light
    case 27: return {P::Active, P::Highlight};
    case 28: return {P::Inactive, P::Mid};
    case 29: return {P::Active, P::Highlight}; // menu highlight
    case 30: return {P::Active, P::Window};    // menu bar
    default: return {P::Active, P::Button};    // button face, borders, scroll bar
    }
}

QRgb colorToRgb(ColorCode color, const QPalette& palette)
{
    if (isSystemColor(color)) {
        const PaletteEntry entry = paletteEntryOf(color);
        return palette.color(entry.group, entry.role).rgb() & 0xFFFFFF;
    }
    return qRgb(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF) & 0xFFFFFF;
}

QColor toQColor(ColorCode color, const QPalette& palette)
{
    return QColor(colorToRgb(color, palette) | 0xFF000000u);
}

QString colorToString(ColorCode color)
{
    for (const ColorName& entry : colorNames) {
        if (entry.color == color)
            return QString::fromLatin1(entry.name);
    }
    return QStringLiteral("$%1").arg(color, 8, 16, QLatin1Char('0')).toUpper();
}

std::optional<ColorCode> identToColor(const QString& ident)
{
    for (const ColorName& entry : colorNames) {
        if (ident.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0)
            return entry.color;
    }
    return std::nullopt;
}

ColorCode stringToColor(const QString& text)
{
    if (const std::optional<ColorCode> named = identToColor(text))
        return *named;
    if (const std::optional<ColorCode> number = parseInteger(text))
        return *number;
    throw platform::ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

} // namespace colors
