// The decorated label: optional background, caption with 3-D copies, bevel frame.
#pragma once

#include "controls/labels/LabelFocusLink.h"
#include "controls/labels/OvoCanvas.h"
#include "controls/labels/OvoEnhancedClass.h"
#include "platform/color.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <functional>

class TOvoBackground;

class TOvoLabel : public QWidget {
public:
    using base = QWidget;
    explicit TOvoLabel(QWidget* parent = nullptr);
    ~TOvoLabel() override;
    Q_DISABLE_COPY_MOVE(TOvoLabel)

    QString Caption() const { return m_caption; }
    void setCaption(const QString& caption);
    TAlignment Alignment() const { return m_alignment; }
    void setAlignment(TAlignment alignment);
    // The fill colour; ParentColor (the default) takes the parent's window colour instead.
    platform::TColor Color() const { return m_color; }
    void setColor(platform::TColor color);
    bool ParentColor() const { return m_parentColor; }
    void setParentColor(bool on);
    platform::TColor FontColor() const { return m_fontColor; }
    void setFontColor(platform::TColor color);
    bool Transparent() const { return m_transparent; }
    void setTransparent(bool on);
    bool WordWrap() const { return m_wordWrap; }
    void setWordWrap(bool on);
    // Switches the FocusControl key; "&" underlines the next character either way.
    bool ShowAccelChar() const { return m_showAccelChar; }
    void setShowAccelChar(bool on);
    // The control that Alt and the caption's underlined letter focus.
    QWidget* FocusControl() const { return m_focusLink.control(); }
    void setFocusControl(QWidget* control) { m_focusLink.setControl(control); }
    QString About() const { return m_about; }
    void setAbout(const QString& about) { m_about = about; }

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

    labels::LabelFocusLink m_focusLink{this};
    QString m_caption;
    QString m_about;
    TAlignment m_alignment = TAlignment::taLeftJustify;
    platform::TColor m_color = platform::clBtnFace;
    platform::TColor m_fontColor = platform::clWindowText;
    bool m_parentColor = true;
    bool m_transparent = false;
    bool m_wordWrap = false;
    bool m_showAccelChar = true;
    bool m_clicked = false;
    bool m_paintFailed = false;
    TOvoFont3D m_font3D;
    TOvoFrame m_frame;
    TOvoBackground* m_background = nullptr;
    TOvoBackground* m_fontBackground = nullptr;
};
