// Settings objects of the decorated label: the bevel frame and the 3-D text.
#pragma once

#include "controls/labels/LabelCanvas.h"
#include "platform/color.h"

#include <QFont>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

// A small settings object: every change repaints its owning control (when it has one) and
// raises OnChange.
class TOvoGraphicsObject {
public:
    explicit TOvoGraphicsObject(QWidget* owner = nullptr);
    virtual ~TOvoGraphicsObject() = default;
    Q_DISABLE_COPY_MOVE(TOvoGraphicsObject)

    QWidget* owner() const { return m_owner; }

    std::function<void()> OnChange;

protected:
    void Changed();

private:
    QPointer<QWidget> m_owner;
};

enum class TOvoFrameStyle : std::uint8_t {
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

enum class TOvoFrameEdge : std::uint8_t { EdgeLeft, EdgeRight, EdgeTop, EdgeBottom };

// A set of edges, bit n for edge n.
class TOvoFrameEdges {
public:
    constexpr TOvoFrameEdges() = default;
    constexpr explicit TOvoFrameEdges(std::uint8_t mask) : m_mask(mask & 0x0F) {}
    static constexpr TOvoFrameEdges all() { return TOvoFrameEdges(0x0F); }

    constexpr bool contains(TOvoFrameEdge edge) const { return (m_mask >> int(edge)) & 1; }
    constexpr std::uint8_t mask() const { return m_mask; }
    constexpr bool operator==(const TOvoFrameEdges&) const = default;

private:
    std::uint8_t m_mask = 0;
};

class TOvoFrame : public TOvoGraphicsObject {
public:
    explicit TOvoFrame(QWidget* owner = nullptr);

    TOvoFrameStyle FrameStyle() const { return m_frameStyle; }
    void setFrameStyle(TOvoFrameStyle style);
    TOvoFrameEdges Edges() const { return m_edges; }
    void setEdges(TOvoFrameEdges edges);
    platform::TColor Highlight() const { return m_highlight; }
    void setHighlight(platform::TColor color);
    platform::TColor Shadow() const { return m_shadow; }
    void setShadow(platform::TColor color);
    platform::TColor Solid() const { return m_solid; }
    void setSolid(platform::TColor color);
    std::uint8_t FrameWidth() const { return m_frameWidth; }
    // 0 is refused without a notification.
    void setFrameWidth(std::uint8_t width);

    // Takes over the settings of another frame.
    void assign(const TOvoFrame& other);

    // Thickness of the whole frame: 0, one ring or two rings.
    int FrameInset() const;
    // Draws the frame along the inside of `rect`.
    void DrawFrame(labels::OvoCanvas& dc, const QRect& rect) const;

private:
    void drawRing(labels::OvoCanvas& dc, QRect& rect, platform::TColor a, platform::TColor b) const;
    void drawOutline(labels::OvoCanvas& dc, const QRect& rect, platform::TColor a,
                     platform::TColor b) const;

    TOvoFrameStyle m_frameStyle = TOvoFrameStyle::frameRaised;
    TOvoFrameEdges m_edges = TOvoFrameEdges::all();
    platform::TColor m_highlight = platform::clBtnHighlight;
    platform::TColor m_shadow = platform::clBtnShadow;
    platform::TColor m_solid = platform::clBlack;
    std::uint8_t m_frameWidth = 1;
};

enum class TOvoStyle3D : std::uint8_t {
    fontRaised,
    fontInset,
    fontOnlyShadow,
    fontOnlyHighlight,
    fontOutLineShadow,
};

enum class TOvoRepeat : std::uint8_t { repeatOnShadow, repeatOnHighLight, repeatNone };

class TOvoFont3D : public TOvoGraphicsObject {
public:
    explicit TOvoFont3D(QWidget* owner = nullptr);

    int DrawingWidth() const { return 2 * m_offset + m_repetitionWidth; }
    bool ThreeDimensional() const { return m_threeDimensional; }
    void setThreeDimensional(bool on);
    bool MaskFont() const { return m_maskFont; }
    void setMaskFont(bool on);
    platform::TColor Highlight() const { return m_highlight; }
    void setHighlight(platform::TColor color);
    platform::TColor Shadow() const { return m_shadow; }
    void setShadow(platform::TColor color);
    platform::TColor RepetitionColor() const { return m_repetitionColor; }
    void setRepetitionColor(platform::TColor color);
    TOvoRepeat Repetition() const { return m_repetition; }
    void setRepetition(TOvoRepeat repetition);
    std::uint8_t Repetitionwidth() const { return m_repetitionWidth; }
    // Notifies only when the value changes.
    void setRepetitionwidth(std::uint8_t width);
    std::uint8_t Offset() const { return m_offset; }
    // 0 is refused, but the change is still announced.
    void setOffset(std::uint8_t offset);
    TOvoStyle3D Style3D() const { return m_style3D; }
    void setStyle3D(TOvoStyle3D style);

    void assign(const TOvoFont3D& other);

    // Draws `text` into `rect` with its repetition and 3-D copies, `fontColor` last.
    // A disabled caption gets the engraved look instead.
    void DrawText3D(const QFont& font, platform::TColor fontColor, labels::OvoCanvas& dc,
                    bool enabled, unsigned flags, const QString& text, const QRect& rect) const;

    // The 3-D copies alone (no repetition, no final pass), moving `rect` as they go.
    void drawStyleCopies(const QFont& font, labels::OvoCanvas& dc, unsigned flags,
                         const QString& text, QRect& rect) const;

private:
    bool m_threeDimensional = true;
    bool m_maskFont = true;
    platform::TColor m_highlight = platform::clBtnHighlight;
    platform::TColor m_shadow = platform::clBtnShadow;
    platform::TColor m_repetitionColor = platform::clBlack;
    TOvoRepeat m_repetition = TOvoRepeat::repeatNone;
    std::uint8_t m_repetitionWidth = 0;
    std::uint8_t m_offset = 1;
    TOvoStyle3D m_style3D = TOvoStyle3D::fontOnlyHighlight;
};
