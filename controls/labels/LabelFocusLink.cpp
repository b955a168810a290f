// The accelerator key of a label that hands the focus to its FocusControl.
#include "controls/labels/LabelFocusLink.h"

#include <QKeySequence>
#include <QShortcut>

namespace labels {

LabelFocusLink::LabelFocusLink(QWidget* label)
    : m_label(label)
    , m_shortcut(new QShortcut(label))
{
    QObject::connect(m_shortcut, &QShortcut::activated, label, [this] {
        if (m_control && m_label->isEnabled())
            m_control->setFocus(Qt::ShortcutFocusReason);
    });
}

void LabelFocusLink::setControl(QWidget* control)
{
    m_control = control;
    updateKey();
}

void LabelFocusLink::setCaption(const QString& caption, bool accelerators)
{
    m_caption = caption;
    m_accelerators = accelerators;
    updateKey();
}

void LabelFocusLink::updateKey()
{
    // Without a control the key stays free for the rest of the window.
    const bool active = m_control && m_accelerators;
    m_shortcut->setKey(active ? QKeySequence::mnemonic(m_caption) : QKeySequence());
}

} // namespace labels
