// A link-style label that hands a web, mail, FTP or file target to the desktop when pressed.
#pragma once

#include "controls/labels/Color.h"
#include "controls/labels/CustomLabel.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

enum class CommandTarget : std::uint8_t { runNothing, runMAIL, runURL, runFTP, runFILE, runEVENT };

// The text put in front of CaptionValue, per command; "event" is a marker only.
inline constexpr std::array<const char*, 6> CommandPrefixes{"",       "mailto:", "http://",
                                                            "ftp://", "file:",   "event"};

class CommandLabel : public CustomLabel {
public:
    using base = CustomLabel;
    explicit CommandLabel(QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(CommandLabel)

    QString CaptionValue() const { return m_captionValue; }
    void setCaptionValue(const QString& value) { m_captionValue = value; }
    CommandTarget Command() const { return m_command; }
    void setCommand(CommandTarget command) { m_command = command; }
    colors::ColorCode FollowedColor() const { return m_followedColor; }
    void setFollowedColor(colors::ColorCode color) { m_followedColor = color; }
    colors::ColorCode MoveOverColor() const { return m_moveOverColor; }
    void setMoveOverColor(colors::ColorCode color) { m_moveOverColor = color; }

    // End of loading the stored settings: the font colour becomes the colour to return to.
    void Loaded();

    bool Followed() const { return m_followed; }
    bool ButtonDown() const { return m_buttonDown; }
    bool MouseInside() const { return m_mouseInside; }
    bool hasCapture() const { return m_captured; }

    std::function<void(CommandLabel* sender)> RunEvent;
    std::function<void(CommandLabel* sender)> OnClick;
    std::function<void(CommandLabel* sender)> OnDblClick;
    std::function<void(CommandLabel* sender, Qt::MouseButton, Qt::KeyboardModifiers, QPoint)>
        OnMouseDown;
    std::function<void(CommandLabel* sender, Qt::MouseButton, Qt::KeyboardModifiers, QPoint)>
        OnMouseUp;
    std::function<void(CommandLabel* sender, Qt::KeyboardModifiers, QPoint)> OnMouseMove;

    // The label as the standard label paints it, on a transparent image at the device pixel
    // ratio.
    QImage paintImage(qreal ratio = 1.0) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void takeCapture();
    void releaseCapture();
    void pointerLeft();
    bool reactsToMouse() const { return isEnabled() && isVisible(); }
    bool inside(QPoint pos) const;
    void runCommand();

    QString m_captionValue;
    CommandTarget m_command = CommandTarget::runURL;
    colors::ColorCode m_followedColor = colors::clPurple;
    colors::ColorCode m_moveOverColor = colors::clRed;
    colors::ColorCode m_savedFontColor = colors::clBlack;
    bool m_followed = false;
    bool m_buttonDown = false;
    bool m_mouseInside = false;
    bool m_captured = false;
    bool m_clicked = false;
};
