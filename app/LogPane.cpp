// The pane's two texts: the preview and the run log.
#include "app/LogPane.h"

#include <QAbstractButton>
#include <QColor>
#include <QTextCursor>
#include <QTextDocument>

namespace {

const QColor errorColor(255, 0, 0);

} // namespace

LogPane::LogPane(QWidget* parent)
    : base(parent)
    // The editor deletes a document it owns when another replaces it: a holder owns both.
    , m_documents(new QObject(this))
    , m_preview(new QTextDocument(m_documents))
    , m_runLog(new QTextDocument(m_documents))
{
    display(m_preview);
}

void LogPane::clearLog()
{
    m_runLog->clear();
    m_lines = 0;
    m_hasRunLog = true;
    display(m_runLog);
}

void LogPane::addLine(const QString& text, bool isError)
{
    if (!m_hasRunLog)
        clearLog();
    display(m_runLog);
    QTextCursor cursor(m_runLog);
    cursor.movePosition(QTextCursor::End);
    if (m_lines > 0)
        cursor.insertBlock();
    QTextCharFormat format;
    format.setForeground(isError ? errorColor : palette().color(QPalette::Text));
    cursor.insertText(text, format);
    ++m_lines;
    // The newest line stays in view while the run goes on.
    moveCursor(QTextCursor::End);
}

void LogPane::showPreview(const QString& text)
{
    m_preview->setPlainText(text);
    display(m_preview);
}

void LogPane::showRunLog()
{
    if (m_hasRunLog)
        display(m_runLog);
}

void LogPane::setRunLogButton(QAbstractButton* button)
{
    m_runLogButton = button;
    connect(button, &QAbstractButton::clicked, this, &LogPane::showRunLog);
    button->setVisible(false);
}

void LogPane::display(QTextDocument* text)
{
    if (document() != text) {
        text->setDefaultFont(font());
        setDocument(text);
        if (text == m_runLog)
            moveCursor(QTextCursor::End);
    }
    if (m_runLogButton)
        m_runLogButton->setVisible(m_hasRunLog && text != m_runLog);
}
