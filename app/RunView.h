// The run view: one row per station while a send run goes, the summary and the results after it.
#pragma once

#include "app/RunProgress.h"

#include <QList>
#include <QStringList>
#include <QWidget>

class DesktopNotifier;
class QDBusConnection;
class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTableWidget;
class ResultsTable;
class TaskbarProgress;

// The window title while a run is in progress: "37% — <usual title>".
QString runWindowTitle(int percent, const QString& usualTitle);

// Driven by the values a run reports (app/RunProgress.h); holds no protocol logic. While a run
// goes it also feeds the taskbar, and when the run ends with the window inactive it puts the
// summary line on the desktop.
class RunView : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RunView)

public:
    using base = QWidget;

    // The columns of a station's row.
    enum Column { NameColumn, StateColumn, ProgressColumn, DetailColumn, ColumnCount };

    explicit RunView(QWidget* parent = nullptr);

    void startRun(const QStringList& stationNames, const QStringList& notices);
    void updateStation(const StationProgress& progress);
    void finishStation(int station, const QList<NoticeOutcome>& outcomes);
    // Shows the summary line and the results table.
    void endRun();

    // "9 个站点：6 个完成，3 个未完成（西区、南区、城郊）"
    QString summaryLine() const;
    bool isRunning() const { return m_running; }
    int overallPercent() const { return m_overallPercent; }
    // The window title: runWindowTitle() while a run is in progress, else the usual title.
    QString runTitle(const QString& usualTitle) const;

    // The bus for the taskbar and the desktop notification; the session bus unless set.
    void setDesktopBus(const QDBusConnection& bus);

    // The texts of a row's state and detail cells.
    static QString stateText(const StationProgress& progress);
    static QString detailText(const StationProgress& progress);

signals:
    // For the window title and the taskbar.
    void overallPercentChanged(int percent);
    // When a run starts and ends: the title goes back to the usual one.
    void runningChanged(bool running);

private:
    struct Station {
        QString name;
        StationProgress progress;
        QList<NoticeOutcome> outcomes;
    };

    void updateOverall();
    QProgressBar* rowBar(int row) const;

    QProgressBar* m_overallBar;
    QStackedWidget* m_pages;
    QTableWidget* m_stationRows;
    ResultsTable* m_results;
    QLabel* m_summary;
    QPushButton* m_copyButton;
    DesktopNotifier* m_notifier;
    TaskbarProgress* m_taskbar;

    QList<Station> m_stations;
    QStringList m_notices;
    int m_overallPercent = 0;
    bool m_running = false;
};
