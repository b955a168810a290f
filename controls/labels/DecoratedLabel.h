// The decorated label: optional background, caption with 3-D copies, bevel frame.
#pragma once

#include "controls/labels/CustomLabel.h"
#include "controls/labels/LabelCanvas.h"
#include "controls/labels/LabelDecorations.h"

#include <QImage>
#include <QWidget>

#include <functional>

class LabelBackground;

// "&" underlines the next letter of the caption whatever ShowAccelChar says.
class DecoratedLabel : public CustomLabel {
public:
    using base = CustomLabel;
    explicit DecoratedLabel(QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(DecoratedLabel)

    Font3D& font3D() { return m_font3D; }
    const Font3D& font3D() const { return m_font3D; }
    void setFont3D(const Font3D& settings) { m_font3D.assign(settings); }
    LabelFrame& Frame() { return m_frame; }
    const LabelFrame& Frame() const { return m_frame; }
    void setFrame(const LabelFrame& settings) { m_frame.assign(settings); }

    LabelBackground* Background() const { return m_background.background; }
    void setBackground(LabelBackground* background);
    LabelBackground* FontBackground() const { return m_fontBackground.background; }
    void setFontBackground(LabelBackground* background);

    // Where the caption goes: inside the frame, one frame width in from top and bottom.
    QRect textRect() const;
    // Paints the whole label onto `canvas` (of the label's size). Throws when a background
    // cannot be painted; what was painted up to then stays.
    void Paint(labels::LabelCanvas& canvas) const;
    // The label as painted on a transparent image at the device pixel ratio.
    QImage paintImage(qreal ratio = 1.0) const;

    std::function<void(DecoratedLabel* sender)> OnClick;
    std::function<void(DecoratedLabel* sender)> OnDblClick;
    std::function<void(DecoratedLabel* sender, Qt::MouseButton, Qt::KeyboardModifiers, QPoint)>
        OnMouseDown;
    std::function<void(DecoratedLabel* sender, Qt::MouseButton, Qt::KeyboardModifiers, QPoint)>
        OnMouseUp;
    std::function<void(DecoratedLabel* sender, Qt::KeyboardModifiers, QPoint)> OnMouseMove;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    // A background in one role (behind the label or in its letters) and the label's
    // connections to it; the label repaints once per role on each change.
    struct BackgroundRole {
        LabelBackground* background = nullptr;
        QMetaObject::Connection changed;
        QMetaObject::Connection destroyed;
    };
    void replaceBackground(BackgroundRole& role, LabelBackground* background);

    bool m_clicked = false;
    bool m_paintFailed = false;
    Font3D m_font3D;
    LabelFrame m_frame;
    BackgroundRole m_background;
    BackgroundRole m_fontBackground;
};
