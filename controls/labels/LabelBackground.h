// The shared label background: gradient, texture, hatch brush or solid colour, painted
// behind a label or into the letters of its caption.
#pragma once

#include "controls/labels/Color.h"
#include "controls/labels/LabelCanvas.h"
#include "controls/labels/LabelDecorations.h"

#include <QFont>
#include <QImage>
#include <QObject>
#include <QStringList>

#include <cstdint>
#include <functional>

enum class FillStyle : std::uint8_t {
    Circle,
    Horizontal,
    Vertical,
    LeftBottom,
    RoundMiddle,
    SquareMiddle,
    Spectral,
    DoppelFlash,
    Singleflash,
    MiddleHBar,
    MiddleVBar,
    VerticalDoppelBar,
    HorizontalDoppelBar,
};

class Gradient : public GraphicsSetting {
public:
    Gradient() = default;

    colors::ColorCode BeginColor() const { return m_beginColor; }
    void setBeginColor(colors::ColorCode color);
    colors::ColorCode EndColor() const { return m_endColor; }
    void setEndColor(colors::ColorCode color);
    FillStyle fillStyle() const { return m_fillStyle; }
    void setFillStyle(FillStyle style);
    int ColorCount() const { return m_colorCount; }
    // Values outside 2..255 are ignored; the change is announced either way.
    void setColorCount(int count);
    const QStringList& ColorsInBetween() const { return m_colorsInBetween; }
    void setColorsInBetween(const QStringList& lines);
    // The owned lines, edited in place without a notification.
    QStringList& colorsInBetweenLines() { return m_colorsInBetween; }

    void assign(const Gradient& other);

    // Renders the gradient into (0, 0, W, H) of `dc`. A line that is no colour throws
    // ConversionError and leaves `dc` untouched.
    void FillGradient(labels::LabelCanvas& dc, int W, int H, bool forward,
                      const QStringList& lines) const;

private:
    colors::ColorCode m_beginColor = colors::clBtnShadow;
    colors::ColorCode m_endColor = colors::clBtnHighlight;
    FillStyle m_fillStyle = FillStyle::Horizontal;
    int m_colorCount = 32;
    QStringList m_colorsInBetween;
};

enum class ImageStyle : std::uint8_t { isTile, isCenter, isStretched };

class Texture : public GraphicsSetting {
public:
    Texture() = default;

    const QImage& Image() const { return m_image; }
    void setImage(const QImage& image);
    ImageStyle imageStyle() const { return m_imageStyle; }
    void setImageStyle(ImageStyle style);
    colors::ColorCode TransparentColor() const { return m_transparentColor; }
    void setTransparentColor(colors::ColorCode color);
    colors::ColorCode TransparentBackground() const { return m_transparentBackground; }
    void setTransparentBackground(colors::ColorCode color);

    void assign(const Texture& other);

    // Places the image in (0, 0, W, H) of `dc`; `ground` colours the white of a
    // monochrome image centred without a transparent colour. An empty image paints nothing.
    void PaintTexture(labels::LabelCanvas& dc, int W, int H, colors::ColorCode ground) const;

private:
    QImage m_image;
    ImageStyle m_imageStyle = ImageStyle::isTile;
    colors::ColorCode m_transparentColor = colors::clNone;
    colors::ColorCode m_transparentBackground = colors::clBtnFace;
};

enum class HatchStyle : std::uint8_t {
    bsSolid,
    bsClear,
    bsHorizontal,
    bsVertical,
    bsFDiagonal,
    bsBDiagonal,
    bsCross,
    bsDiagCross,
};

class BrushFill : public GraphicsSetting {
public:
    BrushFill() = default;

    HatchStyle BrushStyle() const { return m_brushStyle; }
    void setBrushStyle(HatchStyle style);
    colors::ColorCode BrushColor() const { return m_brushColor; }
    void setBrushColor(colors::ColorCode color);

    void assign(const BrushFill& other);

    // The pattern in BrushColor on white (lines only for the hatch styles).
    QImage patternOnWhite(const labels::LabelCanvas& dc, int W, int H) const;

private:
    HatchStyle m_brushStyle = HatchStyle::bsSolid;
    colors::ColorCode m_brushColor = colors::clBtnFace;
};

enum class BackStyle : std::uint8_t {
    bGradient,
    bTexture,
    bSolidcolor,
    bBrushFillUseCurrent,
    bBrushFillSolidColor,
};

// A non-visual component; labels reference it and repaint on its changed() signal. Its
// destruction is QObject::destroyed, after which no label keeps it.
class LabelBackground : public QObject {
    Q_OBJECT

public:
    explicit LabelBackground(QObject* owner = nullptr);
    ~LabelBackground() override;
    Q_DISABLE_COPY_MOVE(LabelBackground)

    Texture& texture() { return m_texture; }
    Gradient& gradient() { return m_gradient; }
    BrushFill& brushFill() { return m_brushFill; }
    const Texture& texture() const { return m_texture; }
    const Gradient& gradient() const { return m_gradient; }
    const BrushFill& brushFill() const { return m_brushFill; }

    colors::ColorCode SolidColor() const { return m_solidColor; }
    void setSolidColor(colors::ColorCode color);
    BackStyle BackgroundStyle() const { return m_backgroundStyle; }
    void setBackgroundStyle(BackStyle style);

    QString About() const { return m_about; }
    void setAbout(const QString& about) { m_about = about; }

    // Fired after changed().
    std::function<void(LabelBackground* sender)> OnChanged;

    void PaintBackground(labels::LabelCanvas& dc, int W, int H, bool forward) const;
    // Draws the caption with its letters filled by this background onto `canvas`.
    void DrawTextFilled(const Font3D& f3d, const QFont& font, colors::ColorCode fontColor,
                        unsigned flags, const QString& text, const QRect& rect,
                        labels::LabelCanvas& canvas) const;

signals:
    // Any setting changed: what is painted with this background is painted anew.
    void changed();

private:
    // Emits changed(), then fires OnChanged.
    void announceChange();
    void fillLettersWithBackground(const Font3D& f3d, const QFont& font, QRgb fontColor,
                                   unsigned flags, const QString& text, const QRect& rect,
                                   labels::LabelCanvas& work) const;

    QString m_about;
    colors::ColorCode m_solidColor = colors::clBtnFace;
    Texture m_texture;
    Gradient m_gradient;
    BrushFill m_brushFill;
    BackStyle m_backgroundStyle = BackStyle::bGradient;
};
