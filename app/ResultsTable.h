// The results of a send run at a glance: stations by notices, copied as tab-separated text.
#pragma once

#include "app/RunProgress.h"

#include <QList>
#include <QStringList>
#include <QTableWidget>

// One row per station (names in the row header, so they stay in view), one column per notice.
// Each cell says with a symbol and words whether the notice arrived and was checked; the reason
// of a notice not delivered or not checked is the cell's tooltip.
class ResultsTable : public QTableWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResultsTable)

public:
    using base = QTableWidget;

    struct StationResults {
        QString name;
        QList<NoticeOutcome> outcomes;
        // The tooltip of a notice the station never reported, such as "已停止".
        QString unreportedReason;
    };

    explicit ResultsTable(QWidget* parent = nullptr);

    void showResults(const QStringList& notices, const QList<StationResults>& stations);
    // A header row ("站点" and the notices), then a row per station; cells as shown, with the
    // reason after "：" where there is one. Tabs and line breaks inside a cell become spaces.
    QString copyText() const;
    // Puts copyText() on the clipboard.
    void copy() const;

    static QString resultText(NoticeResult result);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
