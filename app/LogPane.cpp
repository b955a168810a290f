// Lines added to the information pane.
#include "app/LogPane.h"

#include <QColor>
#include <QTextCursor>

namespace {

const QColor errorColor(255, 0, 0);

} // namespace

LogPane::LogPane(QWidget* parent)
    : base(parent)
{
}

void LogPane::clearLog()
{
    clear();
    m_lines = 0;
}

void LogPane::addLine(const QString& text, bool isError)
{
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    if (m_lines > 0 || !document()->isEmpty())
        cursor.insertBlock();
    QTextCharFormat format;
    format.setForeground(isError ? errorColor : palette().color(QPalette::Text));
    cursor.insertText(text, format);
    ++m_lines;
    ensureCursorVisible();
}
