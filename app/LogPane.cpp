// The pane's two texts: the preview and the run log.
#include "app/LogPane.h"

#include <QAbstractButton>
#include <QColor>
#include <QLineEdit>
#include <QRegularExpression>
#include <QShortcut>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>

namespace {

const QColor errorColor(255, 0, 0);

// Each text keeps its own wrapping: breaks between words (and between Chinese characters).
void wrapAtWords(QTextDocument* text)
{
    QTextOption option = text->defaultTextOption();
    option.setWrapMode(QTextOption::WordWrap);
    text->setDefaultTextOption(option);
}

// A certificate fingerprint ("AB:CD:..."): longer than the pane is wide, so the text layout
// would cut it even between words; its line is not broken at all.
bool holdsFingerprint(const QString& line)
{
    static const QRegularExpression fingerprint(
        QStringLiteral("[0-9A-Fa-f]{2}(:[0-9A-Fa-f]{2}){15,}"));
    return fingerprint.match(line).hasMatch();
}

} // namespace

LogPane::LogPane(QWidget* parent)
    : base(parent)
    // The editor deletes a document it owns when another replaces it: a holder owns both.
    , m_documents(new QObject(this))
    , m_preview(new QTextDocument(m_documents))
    , m_runLog(new QTextDocument(m_documents))
    , m_findBar(new QLineEdit(this))
{
    wrapAtWords(m_preview);
    wrapAtWords(m_runLog);
    display(m_preview);

    m_findBar->setObjectName(QStringLiteral("logFindBar"));
    m_findBar->setPlaceholderText(tr("查找（Enter 或 F3：下一个，Esc：关闭）"));
    m_findBar->setClearButtonEnabled(true);
    m_findBar->hide();
    connect(m_findBar, &QLineEdit::returnPressed, this, &LogPane::findNext);
    auto* open = new QShortcut(QKeySequence::Find, this);
    open->setContext(Qt::WindowShortcut);
    connect(open, &QShortcut::activated, this, &LogPane::openFindBar);
    auto* next = new QShortcut(QKeySequence(Qt::Key_F3), this);
    next->setContext(Qt::WindowShortcut);
    connect(next, &QShortcut::activated, this, [this] {
        if (m_findBar->isVisible())
            findNext();
        else
            openFindBar();
    });
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), m_findBar);
    close->setContext(Qt::WidgetShortcut);
    connect(close, &QShortcut::activated, this, &LogPane::closeFindBar);
}

void LogPane::openFindBar()
{
    m_findBar->show();
    m_findBar->setFocus(Qt::ShortcutFocusReason);
    m_findBar->selectAll();
}

void LogPane::closeFindBar()
{
    m_findBar->hide();
    setFocus(Qt::ShortcutFocusReason);
}

bool LogPane::findNext()
{
    const QString text = m_findBar->text();
    if (text.isEmpty())
        return false;
    bool found = find(text);
    if (!found) {
        // From the top again; nothing found leaves the selection where it was.
        const QTextCursor before = textCursor();
        moveCursor(QTextCursor::Start);
        found = find(text);
        if (!found)
            setTextCursor(before);
    }
    m_findBar->setStyleSheet(found ? QString() : QStringLiteral("QLineEdit { color: red; }"));
    return found;
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
    QTextBlockFormat block = cursor.blockFormat();
    block.setNonBreakableLines(holdsFingerprint(text));
    cursor.setBlockFormat(block);
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
