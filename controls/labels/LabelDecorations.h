// Settings objects of the decorated label: the bevel frame and the 3-D text.
#pragma once

#include "controls/labels/Color.h"
#include "controls/labels/LabelCanvas.h"

#include <QFont>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

// A small settings object: every change repaints its owning control (when it has one) and
// raises OnChange.
class GraphicsSetting {
public:
    explicit GraphicsSetting(QWidget* owner = nullptr);
    virtual ~GraphicsSetting() = default;
    Q_DISABLE_COPY_MOVE(GraphicsSetting)

    QWidget* owner() const { return m_owner; }

    std::function<void()> OnChange;

protected:
    void Changed();

private:
    QPointer<QWidget> m_owner;
};

enum class FrameStyle : std::uint8_t {
    frameSolid,
    frameRaised,
    frameLowered,
    frameNone,
    frameFramedUp,
    frameFramedDown,
    framePanelUp,
    framePanelDown,
    frameLightBordered,
};

enum class FrameEdge : std::uint8_t { EdgeLeft, EdgeRight, EdgeTop, EdgeBottom };

// A set of edges, bit n for edge n.
class FrameEdges {
public:
    constexpr FrameEdges() = default;
    constexpr explicit FrameEdges(std::uint8_t mask)
        : m_mask(mask & 0x0F)
    {
    }
    static constexpr FrameEdges all() { return FrameEdges(0x0F); }

    constexpr bool contains(FrameEdge edge) const { return (m_mask >> int(edge)) & 1; }
    constexpr std::uint8_t mask() const { return m_mask; }
    constexpr bool operator==(const FrameEdges&) const = default;

private:
    std::uint8_t m_mask = 0;
};

class LabelFrame : public GraphicsSetting {
public:
    explicit LabelFrame(QWidget* owner = nullptr);

    FrameStyle frameStyle() const { return m_frameStyle; }
    void setFrameStyle(FrameStyle style);
    FrameEdges Edges() const { return m_edges; }
    void setEdges(FrameEdges edges);
    colors::ColorCode Highlight() const { return m_highlight; }
    void setHighlight(colors::ColorCode color);
    colors::ColorCode Shadow() const { return m_shadow; }
    void setShadow(colors::ColorCode color);
    colors::ColorCode Solid() const { return m_solid; }
    void setSolid(colors::ColorCode color);
    std::uint8_t FrameWidth() const { return m_frameWidth; }
    // 0 is refused without a notification.
    void setFrameWidth(std::uint8_t width);

    // Takes over the settings of another frame.
    void assign(const LabelFrame& other);

    // Thickness of the whole frame: 0, one ring or two rings.
    int FrameInset() const;
    // Draws the frame along the inside of `rect`.
    void DrawFrame(labels::LabelCanvas& dc, const QRect& rect) const;

private:
    void drawRing(labels::LabelCanvas& dc, QRect& rect, colors::ColorCode a,
                  colors::ColorCode b) const;
    void drawOutline(labels::LabelCanvas& dc, const QRect& rect, colors::ColorCode a,
                     colors::ColorCode b) const;

    FrameStyle m_frameStyle = FrameStyle::frameRaised;
    FrameEdges m_edges = FrameEdges::all();
    colors::ColorCode m_highlight = colors::clBtnHighlight;
    colors::ColorCode m_shadow = colors::clBtnShadow;
    colors::ColorCode m_solid = colors::clBlack;
    std::uint8_t m_frameWidth = 1;
};

enum class Style3D : std::uint8_t {
    fontRaised,
    fontInset,
    fontOnlyShadow,
    fontOnlyHighlight,
    fontOutLineShadow,
};

enum class Repeat3D : std::uint8_t { repeatOnShadow, repeatOnHighLight, repeatNone };

class Font3D : public GraphicsSetting {
public:
    explicit Font3D(QWidget* owner = nullptr);

    int DrawingWidth() const { return 2 * m_offset + m_repetitionWidth; }
    bool ThreeDimensional() const { return m_threeDimensional; }
    void setThreeDimensional(bool on);
    bool MaskFont() const { return m_maskFont; }
    void setMaskFont(bool on);
    colors::ColorCode Highlight() const { return m_highlight; }
    void setHighlight(colors::ColorCode color);
    colors::ColorCode Shadow() const { return m_shadow; }
    void setShadow(colors::ColorCode color);
    colors::ColorCode RepetitionColor() const { return m_repetitionColor; }
    void setRepetitionColor(colors::ColorCode color);
    Repeat3D Repetition() const { return m_repetition; }
    void setRepetition(Repeat3D repetition);
    std::uint8_t Repetitionwidth() const { return m_repetitionWidth; }
    // Notifies only when the value changes.
    void setRepetitionwidth(std::uint8_t width);
    std::uint8_t Offset() const { return m_offset; }
    // 0 is refused, but the change is still announced.
    void setOffset(std::uint8_t offset);
    Style3D style3D() const { return m_style3D; }
    void setStyle3D(Style3D style);

    void assign(const Font3D& other);

    // Draws `text` into `rect` with its repetition and 3-D copies, `fontColor` last.
    // A disabled caption gets the engraved look instead.
    void DrawText3D(const QFont& font, colors::ColorCode fontColor, labels::LabelCanvas& dc,
                    bool enabled, unsigned flags, const QString& text, const QRect& rect) const;

    // The 3-D copies alone (no repetition, no final pass), moving `rect` as they go.
    void drawStyleCopies(const QFont& font, labels::LabelCanvas& dc, unsigned flags,
                         const QString& text, QRect& rect) const;

private:
    bool m_threeDimensional = true;
    bool m_maskFont = true;
    colors::ColorCode m_highlight = colors::clBtnHighlight;
    colors::ColorCode m_shadow = colors::clBtnShadow;
    colors::ColorCode m_repetitionColor = colors::clBlack;
    Repeat3D m_repetition = Repeat3D::repeatNone;
    std::uint8_t m_repetitionWidth = 0;
    std::uint8_t m_offset = 1;
    Style3D m_style3D = Style3D::fontOnlyHighlight;
};
