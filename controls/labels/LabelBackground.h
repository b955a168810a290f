// The shared label background: gradient, texture, hatch brush or solid colour, painted
// behind a label or into the letters of its caption.
#pragma once

#include "controls/labels/LabelCanvas.h"
#include "controls/labels/LabelDecorations.h"
#include "platform/color.h"

#include <QFont>
#include <QImage>
#include <QList>
#include <QObject>
#include <QStringList>

#include <cstdint>
#include <functional>

class TOvoLabel;

enum class TOvoFillStyle : std::uint8_t {
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

class TOvoGradient : public TOvoGraphicsObject {
public:
    TOvoGradient() = default;

    platform::TColor BeginColor() const { return m_beginColor; }
    void setBeginColor(platform::TColor color);
    platform::TColor EndColor() const { return m_endColor; }
    void setEndColor(platform::TColor color);
    TOvoFillStyle FillStyle() const { return m_fillStyle; }
    void setFillStyle(TOvoFillStyle style);
    int ColorCount() const { return m_colorCount; }
    // Values outside 2..255 are ignored; the change is announced either way.
    void setColorCount(int count);
    const QStringList& ColorsInBetween() const { return m_colorsInBetween; }
    void setColorsInBetween(const QStringList& lines);
    // The owned lines, edited in place without a notification.
    QStringList& colorsInBetweenLines() { return m_colorsInBetween; }

    void assign(const TOvoGradient& other);

    // Renders the gradient into (0, 0, W, H) of `dc`. A line that is no colour throws
    // EConvertError and leaves `dc` untouched.
    void FillGradient(labels::OvoCanvas& dc, int W, int H, bool forward,
                      const QStringList& lines) const;

private:
    platform::TColor m_beginColor = platform::clBtnShadow;
    platform::TColor m_endColor = platform::clBtnHighlight;
    TOvoFillStyle m_fillStyle = TOvoFillStyle::Horizontal;
    int m_colorCount = 32;
    QStringList m_colorsInBetween;
};

enum class TOvoImageStyle : std::uint8_t { isTile, isCenter, isStretched };

class TOvoTexture : public TOvoGraphicsObject {
public:
    TOvoTexture() = default;

    const QImage& Image() const { return m_image; }
    void setImage(const QImage& image);
    TOvoImageStyle ImageStyle() const { return m_imageStyle; }
    void setImageStyle(TOvoImageStyle style);
    platform::TColor TransparentColor() const { return m_transparentColor; }
    void setTransparentColor(platform::TColor color);
    platform::TColor TransparentBackground() const { return m_transparentBackground; }
    void setTransparentBackground(platform::TColor color);

    void assign(const TOvoTexture& other);

    // Places the image in (0, 0, W, H) of `dc`; `ground` colours the white of a
    // monochrome image centred without a transparent colour. An empty image paints nothing.
    void PaintTexture(labels::OvoCanvas& dc, int W, int H, platform::TColor ground) const;

private:
    QImage m_image;
    TOvoImageStyle m_imageStyle = TOvoImageStyle::isTile;
    platform::TColor m_transparentColor = platform::clNone;
    platform::TColor m_transparentBackground = platform::clBtnFace;
};

enum class TBrushStyle : std::uint8_t {
    bsSolid,
    bsClear,
    bsHorizontal,
    bsVertical,
    bsFDiagonal,
    bsBDiagonal,
    bsCross,
    bsDiagCross,
};

class TOvoBrushFill : public TOvoGraphicsObject {
public:
    TOvoBrushFill() = default;

    TBrushStyle BrushStyle() const { return m_brushStyle; }
    void setBrushStyle(TBrushStyle style);
    platform::TColor BrushColor() const { return m_brushColor; }
    void setBrushColor(platform::TColor color);

    void assign(const TOvoBrushFill& other);

    // The pattern in BrushColor on white (lines only for the hatch styles).
    QImage patternOnWhite(const labels::OvoCanvas& dc, int W, int H) const;

private:
    TBrushStyle m_brushStyle = TBrushStyle::bsSolid;
    platform::TColor m_brushColor = platform::clBtnFace;
};

enum class TOvoBackStyle : std::uint8_t {
    bGradient,
    bTexture,
    bSolidcolor,
    bBrushFillUseCurrent,
    bBrushFillSolidColor,
};

// A non-visual component; labels reference it and are repainted whenever it changes.
class TOvoBackground : public QObject {
public:
    explicit TOvoBackground(QObject* owner = nullptr);
    ~TOvoBackground() override;
    Q_DISABLE_COPY_MOVE(TOvoBackground)

    TOvoTexture& Texture() { return m_texture; }
    TOvoGradient& Gradient() { return m_gradient; }
    TOvoBrushFill& BrushFill() { return m_brushFill; }
    const TOvoTexture& Texture() const { return m_texture; }
    const TOvoGradient& Gradient() const { return m_gradient; }
    const TOvoBrushFill& BrushFill() const { return m_brushFill; }

    platform::TColor SolidColor() const { return m_solidColor; }
    void setSolidColor(platform::TColor color);
    TOvoBackStyle BackgroundStyle() const { return m_backgroundStyle; }
    void setBackgroundStyle(TOvoBackStyle style);

    QString About() const { return m_about; }
    void setAbout(const QString& about) { m_about = about; }

    std::function<void(TOvoBackground* sender)> OnChanged;

    // Labels that reference this background, once per role, in the order they came.
    const QList<TOvoLabel*>& Clients() const { return m_clients; }
    void AddClient(TOvoLabel* label);
    // Removes one entry of the label.
    void RemoveClient(TOvoLabel* label);
    // Repaints every client, then fires OnChanged.
    void NotifyClients();

    void PaintBackground(labels::OvoCanvas& dc, int W, int H, bool forward) const;
    // Draws the caption with its letters filled by this background onto `canvas`.
    void DrawTextFilled(const TOvoFont3D& f3d, const QFont& font, platform::TColor fontColor,
                        unsigned flags, const QString& text, const QRect& rect,
                        labels::OvoCanvas& canvas) const;

private:
    void fillLettersWithBackground(const TOvoFont3D& f3d, const QFont& font, QRgb fontColor,
                                   unsigned flags, const QString& text, const QRect& rect,
                                   labels::OvoCanvas& work) const;

    QList<TOvoLabel*> m_clients;
    QString m_about;
    platform::TColor m_solidColor = platform::clBtnFace;
    TOvoTexture m_texture;
    TOvoGradient m_gradient;
    TOvoBrushFill m_brushFill;
    TOvoBackStyle m_backgroundStyle = TOvoBackStyle::bGradient;
};
