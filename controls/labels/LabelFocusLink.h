// A label's FocusControl: Alt and the caption's underlined letter move the focus to it.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QShortcut;

namespace labels {

class LabelFocusLink {
public:
    explicit LabelFocusLink(QWidget* label);
    Q_DISABLE_COPY_MOVE(LabelFocusLink)

    QWidget* control() const { return m_control; }
    void setControl(QWidget* control);
    // Follows the caption's "&" letter; `accelerators` false turns the key off.
    void setCaption(const QString& caption, bool accelerators);

private:
    void updateKey();

    QWidget* m_label;
    QShortcut* m_shortcut;
    QPointer<QWidget> m_control;
    QString m_caption;
    bool m_accelerators = true;
};

} // namespace labels
