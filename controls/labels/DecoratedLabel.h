// The decorated label: optional background, caption with 3-D copies, bevel frame.
#pragma once

#include "controls/labels/CustomLabel.h"
#include "controls/labels/LabelCanvas.h"
#include "controls/labels/LabelDecorations.h"

#include <QImage>
#include <QWidget>

#include <functional>

class TOvoBackground;

// "&" underlines the next letter of the caption whatever ShowAccelChar says.
class TOvoLabel : public TCustomLabel {
public:
    using base = TCustomLabel;
    explicit TOvoLabel(QWidget* parent = nullptr);
    ~TOvoLabel() override;
    Q_DISABLE_COPY_MOVE(TOvoLabel)

    TOvoFont3D& Font3D() { return m_font3D; }
    const TOvoFont3D& Font3D() const { return m_font3D; }
    void setFont3D(const TOvoFont3D& settings) { m_font3D.assign(settings); }
    TOvoFrame& Frame() { return m_frame; }
    const TOvoFrame& Frame() const { return m_frame; }
    void setFrame(const TOvoFrame& settings) { m_frame.assign(settings); }

    TOvoBackground* Background() const { return m_background; }
    void setBackground(TOvoBackground* background);
    TOvoBackground* FontBackground() const { return m_fontBackground; }
    void setFontBackground(TOvoBackground* background);

    // A component is going away: drop every reference to it.
    void Notification(TOvoBackground* removed);
    // Schedules a repaint.
    void Invalidate() { update(); }

    // Where the caption goes: inside the frame, one frame width in from top and bottom.
    QRect textRect() const;
    // Paints the whole label onto `canvas` (of the label's size). Throws when a background
    // cannot be painted; what was painted up to then stays.
    void Paint(labels::OvoCanvas& canvas) const;
    // The label as painted on a transparent image.
    QImage paintImage() const;

    std::function<void(TOvoLabel* sender)> OnClick;
    std::function<void(TOvoLabel* sender)> OnDblClick;
    std::function<void(TOvoLabel* sender, Qt::MouseButton, Qt::KeyboardModifiers, QPoint)>
        OnMouseDown;
    std::function<void(TOvoLabel* sender, Qt::MouseButton, Qt::KeyboardModifiers, QPoint)>
        OnMouseUp;
    std::function<void(TOvoLabel* sender, Qt::KeyboardModifiers, QPoint)> OnMouseMove;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void replaceBackground(TOvoBackground*& role, TOvoBackground* background);

    bool m_clicked = false;
    bool m_paintFailed = false;
    TOvoFont3D m_font3D;
    TOvoFrame m_frame;
    TOvoBackground* m_background = nullptr;
    TOvoBackground* m_fontBackground = nullptr;
};
