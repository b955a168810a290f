// The information pane: the introduction or a previewed notice, and the log of a send run.
#pragma once

#include <QTextEdit>

class QAbstractButton;
class QLineEdit;
class QTextDocument;

// The log of the last run is kept until the next run starts: a preview shows in its place
// and the log comes back with the run log button. Lines wrap between words only, so that a
// fingerprint stays whole on its line. Ctrl+F opens the find bar (Enter or F3 finds the next
// match, from the top again after the last; Esc closes it); the text can be selected and copied.
class LogPane : public QTextEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LogPane)

public:
    using base = QTextEdit;

    explicit LogPane(QWidget* parent = nullptr);

    // Starts an empty run log and shows it.
    void clearLog();
    // Adds a line at the end of the run log, in the window-text colour or red for an
    // error line, and shows the log; each line keeps the colour it was written in.
    void addLine(const QString& text, bool isError = false);
    // Shows `text` as the preview; the run log is kept. An empty text clears the preview.
    void showPreview(const QString& text);
    void showRunLog();
    bool showsRunLog() const { return document() == m_runLog; }

    // The button shows while a preview hides a run log; pressing it shows the log.
    void setRunLogButton(QAbstractButton* button);
    // The find bar, hidden until Ctrl+F; the window places it (under the pane).
    QLineEdit* findBar() const { return m_findBar; }
    void openFindBar();
    // Selects the next match of the find bar's text; false when the text holds none.
    bool findNext();

private:
    void display(QTextDocument* text);
    void closeFindBar();

    QObject* m_documents;
    QTextDocument* m_preview;
    QTextDocument* m_runLog;
    QAbstractButton* m_runLogButton = nullptr;
    QLineEdit* m_findBar;
    bool m_hasRunLog = false;
    int m_lines = 0;
};
