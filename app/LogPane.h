// The information pane: the introduction, a previewed notice or the log of a send run.
#pragma once

#include <QTextEdit>

class LogPane : public QTextEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LogPane)

public:
    using base = QTextEdit;

    explicit LogPane(QWidget* parent = nullptr);

    // Empties the pane; the next line is its first.
    void clearLog();
    // Adds a line at the end in the window-text colour, or red for an error line; each
    // line keeps the colour it was written in.
    void addLine(const QString& text, bool isError = false);

private:
    int m_lines = 0;
};
