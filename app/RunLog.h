// The log of a send run: every line to the pane, and with its time to the day's log file.
#pragma once

#include <QDate>
#include <QFile>
#include <QString>

#include <functional>

class RunLog {
public:
    // Receives each line for the pane; an error line is shown apart (red).
    using PaneSink = std::function<void(const QString& line, bool isError)>;

    // Lines are appended to the UTF-8 file at `filePath` (created with its folder when
    // missing, readable by its owner only; a symbolic link there is not followed); an empty
    // path keeps the log in the pane only.
    explicit RunLog(PaneSink pane, QString filePath = {});
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // Adds a line; `note` follows it in the file only. Both are cleaned of control
    // characters and escape sequences first. A file that cannot be written gets one line in
    // the pane and is left alone for the rest of the run.
    void add(const QString& line, bool isError = false, const QString& note = {});
    // The two halves of add(), for stations side by side: the file gets each line as it comes,
    // named by its station ("[西区] " after the time; none for the run's own lines), the pane
    // a station's lines when their turn comes.
    void write(const QString& line, const QString& note, const QString& station);
    void show(const QString& line, bool isError);

    // The log file of `day` in the log folder `folder` ("/" at its end).
    static QString dailyPath(const QString& folder, const QDate& day);

private:
    void writeToFile(const QString& line, const QString& note, const QString& station);
    bool openFile();
    // `reason` empty: the file's own error.
    void giveUpFile(const QString& reason = {});

    PaneSink m_pane;
    QFile m_file;
    bool m_fileFailed = false;
};
