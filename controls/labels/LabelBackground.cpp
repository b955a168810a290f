// Gradient, texture, hatch brush and the shared background of the decorated labels.
#include "controls/labels/LabelBackground.h"

#include "controls/labels/Color.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

using colors::ColorCode;
using labels::LabelCanvas;

namespace {

// Nearest integer, ties to the even neighbour.
int rnd(double x)
{
    return static_cast<int>(std::nearbyint(x));
}

// a·b/c with a 64-bit intermediate, rounded to nearest with halves away from zero.
int md(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const std::int64_t product = std::int64_t{a} * b;
    const std::int64_t absProduct = product < 0 ? -product : product;
    const std::int64_t absDivisor = c < 0 ? -std::int64_t{c} : c;
    const std::int64_t quotient = (2 * absProduct + absDivisor) / (2 * absDivisor);
    return static_cast<int>(((product < 0) != (c < 0)) ? -quotient : quotient);
}

struct Channels {
    int r = 0;
    int g = 0;
    int b = 0;
};

Channels channelsOf(QRgb rgb)
{
    return {qRed(rgb), qGreen(rgb), qBlue(rgb)};
}

QRgb rgbOf(const Channels& c)
{
    return qRgb(c.r, c.g, c.b);
}

// The colour of step i between c1 and c2 (the mirror runs from c2 back to c1).
Channels stepBetween(const Channels& c1, const Channels& c2, int i, int count)
{
    return {c1.r + md(i, c2.r - c1.r, count - 1), c1.g + md(i, c2.g - c1.g, count - 1),
            c1.b + md(i, c2.b - c1.b, count - 1)};
}

// The fill styles' rectangle F(x, y, w, h) with signed extents.
void fill(LabelCanvas& dc, int x, int y, int w, int h, QRgb color)
{
    if (w == 0 || h == 0)
        return;
    dc.fillRect(labels::signedRect(x, y, w, h), color);
}

// Gives every pixel of colour `from` the colour `to` (both 0xRRGGBB).
void replaceColor(QImage& image, QRgb from, QRgb to)
{
    from &= 0xFFFFFF;
    to |= 0xFF000000u;
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((row[x] & 0xFFFFFF) == from)
                row[x] = to;
        }
    }
}

// Replaces `target`'s pixels by `source`'s wherever `source` differs from `key`.
void drawKeyed(QImage& target, const QImage& source, QRgb key)
{
    const int w = std::min(target.width(), source.width());
    const int h = std::min(target.height(), source.height());
    key &= 0xFFFFFF;
    for (int y = 0; y < h; ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        auto* to = reinterpret_cast<QRgb*>(target.scanLine(y));
        for (int x = 0; x < w; ++x) {
            if ((from[x] & 0xFFFFFF) != key)
                to[x] = from[x] | 0xFF000000u;
        }
    }
}

Qt::BrushStyle qtBrushStyle(HatchStyle style)
{
    switch (style) {
    case HatchStyle::bsSolid: return Qt::SolidPattern;
    case HatchStyle::bsClear: return Qt::NoBrush;
    case HatchStyle::bsHorizontal: return Qt::HorPattern;
    case HatchStyle::bsVertical: return Qt::VerPattern;
    case HatchStyle::bsFDiagonal: return Qt::FDiagPattern;
    case HatchStyle::bsBDiagonal: return Qt::BDiagPattern;
    case HatchStyle::bsCross: return Qt::CrossPattern;
    case HatchStyle::bsDiagCross: return Qt::DiagCrossPattern;
    }
    return Qt::SolidPattern;
}

} // namespace

// --- Gradient ---

void Gradient::setBeginColor(ColorCode color)
{
    m_beginColor = color;
    Changed();
}

void Gradient::setEndColor(ColorCode color)
{
    m_endColor = color;
    Changed();
}

void Gradient::setFillStyle(FillStyle style)
{
    m_fillStyle = style;
    Changed();
}

void Gradient::setColorCount(int count)
{
    if (count >= 2 && count <= 255)
        m_colorCount = count;
    Changed();
}

void Gradient::setColorsInBetween(const QStringList& lines)
{
    m_colorsInBetween = lines;
    Changed();
}

void Gradient::assign(const Gradient& other)
{
    m_beginColor = other.m_beginColor;
    m_endColor = other.m_endColor;
    m_fillStyle = other.m_fillStyle;
    m_colorCount = other.m_colorCount;
    m_colorsInBetween = other.m_colorsInBetween;
    Changed();
}

void Gradient::FillGradient(LabelCanvas& dc, int W, int H, bool forward,
                            const QStringList& lines) const
{
    QStringList sequence = lines;
    sequence.prepend(colors::colorToString(forward ? m_beginColor : m_endColor));
    sequence.append(colors::colorToString(forward ? m_endColor : m_beginColor));
    // Every entry is read before anything is drawn, so a bad line leaves dc as it was.
    std::vector<Channels> colors;
    colors.reserve(sequence.size());
    for (const QString& entry : std::as_const(sequence))
        colors.push_back(channelsOf(dc.rgb(colors::stringToColor(entry))));
    const int N = std::max(1, static_cast<int>(colors.size()) - 1);
    const int CC = m_colorCount;
    if (W <= 0 || H <= 0)
        return;

    QImage scratch = labels::whiteImage(W, H, dc.ratio());
    LabelCanvas out(scratch, dc.palette());
    out.fillRect(QRect(0, 0, W, H), rgbOf(colors.front()));

    using S = FillStyle;
    for (int s = 0; s < N; ++s) {
        const Channels& c1 = colors[s];
        const Channels& c2 = colors[s + 1];
        for (int i = 0; i < CC; ++i) {
            Channels step = stepBetween(c1, c2, i, CC);
            // Never a zero channel: pure black is drawn as (1, 1, 1).
            step.r = step.r == 0 ? 1 : step.r;
            step.g = step.g == 0 ? 1 : step.g;
            step.b = step.b == 0 ? 1 : step.b;
            const QRgb color = rgbOf(step);
            switch (m_fillStyle) {
            case S::Circle:
            case S::Spectral: {
                const QRgb mirror = rgbOf(stepBetween(c1, c2, CC - 1 - i, CC));
                const bool spectral = m_fillStyle == S::Spectral;
                const int sy = rnd(double(H) / N) + 1;
                const int oy = sy * s;
                const int sx = rnd(double(W) / N) + 1;
                const int ox = sx * s;
                for (int x = md(i, sx, CC); x <= md(i + 2, sx, CC); ++x)
                    out.line({ox + x, 0}, {W - x - ox, H}, spectral && x % 2 == 0 ? mirror : color);
                for (int y = md(i, sy, CC); y <= md(i + 2, sy, CC); ++y)
                    out.line({0, oy + y}, {W, H - y - oy}, spectral && y % 2 == 0 ? mirror : color);
                break;
            }
            case S::Horizontal: {
                const int sy = rnd(double(H) / N) + 1;
                const int oy = sy * s;
                const int y0 = md(i, sy, CC);
                const int y1 = md(i + 2, sy, CC);
                fill(out, 0, oy + y0, W, oy + y1 - y0, color);
                break;
            }
            case S::Vertical: {
                const int sx = rnd(double(W) / N) + 1;
                const int ox = sx * s;
                const int x0 = md(i, sx, CC);
                const int x1 = md(i + 2, sx, CC);
                fill(out, ox + x0, 0, ox + x1 - x0, H, color);
                break;
            }
            case S::LeftBottom: {
                const int sy = rnd(double(H) / N) + 1;
                const int oy = sy * s;
                const int sx = rnd(double(W) / N) + 1;
                const int ox = sx * s;
                const int dx = md(i, sx, CC);
                const int dy = md(i, sy, CC);
                fill(out, ox + dx, oy + dy, W - dx, H - dy, color);
                break;
            }
            case S::RoundMiddle: {
                const int sy = rnd(double(H) / N) + 1;
                const int oy = rnd(sy * s / 2.0) + 1;
                const int sx = rnd(double(W) / N) + 1;
                const int ox = rnd(sx * s / 2.0) + 1;
                const int dx = md(i, rnd(sx / 2.0) + 1, CC);
                const int dy = md(i, rnd(sy / 2.0) + 1, CC);
                out.ellipse(ox + dx, oy + dy, W - dx - ox, H - dy - oy, color);
                break;
            }
            case S::SquareMiddle: {
                const int sy = rnd(double(H) / N);
                const int oy = rnd(sy * s / 2.0);
                const int sx = rnd(double(W) / N);
                const int ox = rnd(sx * s / 2.0);
                const int dx = md(i, rnd(sx / 2.0), CC);
                const int dy = md(i, rnd(sy / 2.0), CC);
                fill(out, ox + dx, oy + dy, W - 2 * dx - 2 * ox, H - 2 * dy - 2 * oy, color);
                break;
            }
            case S::DoppelFlash: {
                const int sy = rnd(double(H) / N) + 1;
                const int oy = sy * s + 1;
                const int sx = rnd(double(W) / N) + 1;
                const int ox = sx * s + 1;
                const int dx = md(i, sx, CC);
                const int dy = md(i, sy, CC);
                out.ellipse(ox + dx, oy + dy, W, H, color);
                out.ellipse(W - dx - ox, H - dy - oy, 0, 0, color);
                break;
            }
            case S::Singleflash: {
                const int sy = rnd(double(H) / N);
                const int oy = sy * s;
                const int sx = rnd(double(W) / N);
                const int ox = sx * s;
                const int dx = md(i, sx, CC);
                const int dy = md(i, sy, CC);
                out.ellipse(ox + dx, oy + dy, W, H, color);
                break;
            }
            case S::MiddleHBar: {
                const int sy = rnd(double(H) / N) + 1;
                const int oy = rnd(sy * s / 2.0) + 1;
                const int h = rnd(sy / 2.0);
                const int a0 = H - md(i, h + 1, CC);
                const int a1 = H - md(i + 2, h + 1, CC);
                const int b0 = md(i, h, CC);
                const int b1 = md(i + 2, h, CC);
                fill(out, 0, a0 - 1 - oy, W, a1 - a0, color);
                fill(out, 0, oy + b0, W, b1 - b0 + 1, color);
                break;
            }
            case S::MiddleVBar: {
                const int sx = rnd(double(W) / N) + 1;
                const int ox = rnd(sx * s / 2.0) + 1;
                const int h = rnd(sx / 2.0);
                const int a0 = W - md(i, h + 1, CC);
                const int a1 = W - md(i + 2, h + 1, CC);
                const int b0 = md(i, h, CC);
                const int b1 = md(i + 2, h, CC);
                fill(out, a0 - 1 - ox, 0, a1 - a0, H, color);
                fill(out, ox + b0, 0, b1 - b0 + 1, H, color);
                break;
            }
            case S::VerticalDoppelBar: {
                const int sx = rnd(double(W) / N) + 1;
                const int ox = rnd(sx * s / 3.0) + 1;
                const int t = rnd(sx / 3.0) + 1;
                const int b0 = md(i, t, CC);
                const int b1 = md(i + 1, t, CC);
                const int k = 2 * rnd(W / 3.0);
                fill(out, ox + b0, 0, b1 - b0, H, color);
                fill(out, k - b1 - ox, 0, b1 - b0, H, color);
                fill(out, k + ox + b0, 0, b1 - b0, H, color);
                break;
            }
            case S::HorizontalDoppelBar: {
                const int sy = rnd(double(H) / N) + 1;
                const int oy = rnd(sy * s / 3.0) + 1;
                const int t = rnd(sy / 3.0) + 1;
                const int b0 = md(i, t, CC);
                const int b1 = md(i + 1, t, CC);
                const int k = 2 * rnd(H / 3.0);
                fill(out, 0, oy + b0, W, b1 - b0, color);
                fill(out, 0, k - b1 - oy, W, b1 - b0, color);
                fill(out, 0, k + oy + b0, W, b1 - b0, color);
                break;
            }
            }
        }
    }
    dc.copyFrom(scratch, 0, 0);
}

// --- Texture ---

void Texture::setImage(const QImage& image)
{
    m_image = image.copy();
    Changed();
}

void Texture::setImageStyle(ImageStyle style)
{
    m_imageStyle = style;
    Changed();
}

void Texture::setTransparentColor(ColorCode color)
{
    m_transparentColor = color;
    Changed();
}

void Texture::setTransparentBackground(ColorCode color)
{
    m_transparentBackground = color;
    Changed();
}

void Texture::assign(const Texture& other)
{
    m_image = other.m_image.copy();
    m_imageStyle = other.m_imageStyle;
    m_transparentColor = other.m_transparentColor;
    m_transparentBackground = other.m_transparentBackground;
    Changed();
}

void Texture::PaintTexture(LabelCanvas& dc, int W, int H, ColorCode ground) const
{
    if (m_image.isNull())
        return;
    const int iw = m_image.width();
    const int ih = m_image.height();
    QImage source = m_image.convertToFormat(QImage::Format_RGB32);
    if (m_transparentColor != colors::clNone) {
        replaceColor(source, dc.rgb(m_transparentColor), dc.rgb(m_transparentBackground));
    } else if (m_imageStyle == ImageStyle::isCenter && m_image.depth() == 1) {
        // Only the monochrome image itself takes the ground for its white; the keyed copy
        // is already in colour.
        replaceColor(source, 0xFFFFFF, dc.rgb(ground));
    }
    switch (m_imageStyle) {
    case ImageStyle::isTile: {
        const int cols = W / iw;
        const int rows = H / ih;
        for (int c = 0; c <= cols; ++c) {
            for (int r = 0; r <= rows; ++r)
                dc.copyFrom(source, c * iw, r * ih);
        }
        break;
    }
    case ImageStyle::isStretched: {
        if (W <= 0 || H <= 0 || dc.image().isNull())
            break;
        QPainter painter(&dc.image());
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QRect(0, 0, W, H), source);
        break;
    }
    case ImageStyle::isCenter: {
        const int x = W > iw ? (W - iw) / 2 : 0;
        const int y = H > ih ? (H - ih) / 2 : 0;
        dc.copyFrom(source, x, y);
        break;
    }
    }
}

// --- BrushFill ---

void BrushFill::setBrushStyle(HatchStyle style)
{
    m_brushStyle = style;
    Changed();
}

void BrushFill::setBrushColor(ColorCode color)
{
    m_brushColor = color;
    Changed();
}

void BrushFill::assign(const BrushFill& other)
{
    m_brushStyle = other.m_brushStyle;
    m_brushColor = other.m_brushColor;
    Changed();
}

QImage BrushFill::patternOnWhite(const LabelCanvas& dc, int W, int H) const
{
    QImage pattern = labels::whiteImage(W, H, dc.ratio());
    if (pattern.isNull() || m_brushStyle == HatchStyle::bsClear)
        return pattern;
    QPainter painter(&pattern);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.fillRect(
        QRect(0, 0, W, H),
        QBrush(colors::toQColor(m_brushColor, dc.palette()), qtBrushStyle(m_brushStyle)));
    return pattern;
}

// --- LabelBackground ---

LabelBackground::LabelBackground(QObject* owner)
    : QObject(owner)
{
    m_texture.OnChange = [this] { announceChange(); };
    m_gradient.OnChange = [this] { announceChange(); };
    m_brushFill.OnChange = [this] { announceChange(); };
}

LabelBackground::~LabelBackground()
{
    m_texture.OnChange = nullptr;
    m_gradient.OnChange = nullptr;
    m_brushFill.OnChange = nullptr;
}

void LabelBackground::setSolidColor(ColorCode color)
{
    m_solidColor = color;
    announceChange();
}

void LabelBackground::setBackgroundStyle(BackStyle style)
{
    m_backgroundStyle = style;
    announceChange();
}

void LabelBackground::announceChange()
{
    emit changed();
    if (OnChanged)
        OnChanged(this);
}

void LabelBackground::PaintBackground(LabelCanvas& dc, int W, int H, bool forward) const
{
    switch (m_backgroundStyle) {
    case BackStyle::bGradient:
        m_gradient.FillGradient(dc, W, H, forward, m_gradient.ColorsInBetween());
        return;
    case BackStyle::bTexture: m_texture.PaintTexture(dc, W, H, m_solidColor); return;
    case BackStyle::bBrushFillUseCurrent:
    case BackStyle::bBrushFillSolidColor: {
        QImage pattern = m_brushFill.patternOnWhite(dc, W, H);
        // The white ground (and any white pattern line) takes the solid colour.
        if (m_backgroundStyle == BackStyle::bBrushFillSolidColor)
            replaceColor(pattern, 0xFFFFFF, dc.rgb(m_solidColor));
        dc.copyFrom(pattern, 0, 0);
        return;
    }
    case BackStyle::bSolidcolor: break;
    }
    dc.fillColor(QRect(0, 0, W, H), m_solidColor);
}

void LabelBackground::DrawTextFilled(const Font3D& f3d, const QFont& font, ColorCode fontColor,
                                     unsigned flags, const QString& text, const QRect& rect,
                                     LabelCanvas& canvas) const
{
    QRect r = rect;
    const int w = r.width();
    const int h = r.height();
    if (w <= 0 || h <= 0)
        return;
    const int rw = f3d.Repetitionwidth();
    r.adjust(rw, 0, -rw, 0);
    // The work image holds what the label has painted so far, in the label's coordinates.
    QImage work = canvas.image().copy(canvas.deviceRect(QRect(0, 0, w, h)));
    work.setDevicePixelRatio(canvas.ratio());
    LabelCanvas wk(work, canvas.palette());
    if (f3d.ThreeDimensional()) {
        const QRgb repetition = wk.rgb(f3d.RepetitionColor());
        if (f3d.Repetition() == Repeat3D::repeatOnShadow) {
            r.translate(rw, rw);
            for (int copy = 0; copy < rw; ++copy) {
                wk.drawText(font, repetition, r, flags, text);
                r.translate(-1, -1);
            }
        } else if (f3d.Repetition() == Repeat3D::repeatOnHighLight) {
            for (int copy = 0; copy < rw; ++copy) {
                wk.drawText(font, repetition, r, flags, text);
                r.translate(1, 1);
            }
        }
        f3d.drawStyleCopies(font, wk, flags, text, r);
    }
    fillLettersWithBackground(f3d, font, wk.rgb(fontColor), flags, text, r, wk);
    canvas.copyFrom(work, 0, 0);
}

void LabelBackground::fillLettersWithBackground(const Font3D& f3d, const QFont& font,
                                                QRgb fontColor, unsigned flags, const QString& text,
                                                const QRect& rect, LabelCanvas& work) const
{
    const int w = work.width();
    const int h = work.height();
    QImage patternImage = labels::whiteImage(w, h, work.ratio());
    LabelCanvas pattern(patternImage, work.palette());
    PaintBackground(pattern, w, h, true);

    // The letters in exactly the font colour: the colour key below needs unblended pixels.
    QFont letterFont = font;
    letterFont.setStyleStrategy(QFont::NoAntialias);
    QImage lettersImage = labels::whiteImage(w, h, work.ratio());
    LabelCanvas letters(lettersImage, work.palette());
    letters.drawText(letterFont, fontColor, rect, flags, text);
    fontColor &= 0xFFFFFF;
    if (f3d.MaskFont()) {
        for (int y = 0; y < lettersImage.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(lettersImage.scanLine(y));
            for (int x = 0; x < lettersImage.width(); ++x)
                row[x] = (row[x] & 0xFFFFFF) == fontColor ? 0xFFFFFFFFu : 0xFF000000u;
        }
    }
    drawKeyed(patternImage, lettersImage, fontColor);
    drawKeyed(work.image(), patternImage, patternImage.pixel(0, 0));
}
