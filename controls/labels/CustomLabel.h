// The standard label's caption settings, shared by the decorated and the command label.
#pragma once

#include "controls/labels/Color.h"
#include "controls/labels/LabelCanvas.h"
#include "controls/labels/LabelFocusLink.h"

#include <QString>
#include <QWidget>

class CustomLabel : public QWidget {
public:
    using base = QWidget;
    Q_DISABLE_COPY_MOVE(CustomLabel)

    QString Caption() const { return m_caption; }
    void setCaption(const QString& caption);
    TextAlignment Alignment() const { return m_alignment; }
    void setAlignment(TextAlignment alignment);
    // The fill colour; ParentColor (the default) takes the parent's window colour instead.
    colors::ColorCode color() const { return m_color; }
    void setColor(colors::ColorCode color);
    bool ParentColor() const { return m_parentColor; }
    void setParentColor(bool on);
    // The caption's colour (the font colour of the stored settings).
    colors::ColorCode FontColor() const { return m_fontColor; }
    void setFontColor(colors::ColorCode color);
    bool Transparent() const { return m_transparent; }
    void setTransparent(bool on);
    bool WordWrap() const { return m_wordWrap; }
    void setWordWrap(bool on);
    // False also stops Alt and the underlined letter from focusing FocusControl.
    bool ShowAccelChar() const { return m_showAccelChar; }
    void setShowAccelChar(bool on);
    // The control that Alt and the caption's underlined letter focus.
    QWidget* FocusControl() const { return m_focusLink.control(); }
    void setFocusControl(QWidget* control) { m_focusLink.setControl(control); }
    QString About() const { return m_about; }
    void setAbout(const QString& about) { m_about = about; }

protected:
    CustomLabel(QWidget* parent, colors::ColorCode fontColor);

    // Tabs expanded, aligned, broken at words when WordWrap is on.
    unsigned captionFlags() const;
    // What the label fills itself with unless it is transparent.
    QRgb groundColor(const labels::LabelCanvas& canvas) const;

private:
    labels::LabelFocusLink m_focusLink{this};
    QString m_caption;
    QString m_about;
    TextAlignment m_alignment = TextAlignment::taLeftJustify;
    colors::ColorCode m_color = colors::clBtnFace;
    colors::ColorCode m_fontColor;
    bool m_parentColor = true;
    bool m_transparent = false;
    bool m_wordWrap = false;
    bool m_showAccelChar = true;
};
