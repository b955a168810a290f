// The results of a send run at a glance: stations by notices, copied as tab-separated text.
#include "app/ResultsTable.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>

namespace {

// The station may store a notice under its lower-cased name.
qsizetype noticeColumn(const QStringList& notices, const QString& notice)
{
    const qsizetype exact = notices.indexOf(notice);
    if (exact >= 0)
        return exact;
    for (qsizetype i = 0; i < notices.size(); ++i) {
        if (notices[i].compare(notice, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString oneLine(QString text)
{
    text.replace(u'\t', u' ').replace(u'\r', u' ').replace(u'\n', u' ');
    return text;
}

} // namespace

ResultsTable::ResultsTable(QWidget* parent)
    : base(parent)
{
    setEditTriggers(NoEditTriggers);
    setSelectionMode(NoSelection);
    setWordWrap(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    horizontalHeader()->setStretchLastSection(true);
}

QString ResultsTable::resultText(NoticeResult result)
{
    switch (result) {
    case NoticeResult::DeliveredChecked: return tr("✔ 已送达，已核对");
    case NoticeResult::DeliveredUnchecked: return tr("✓ 已送达，未核对");
    case NoticeResult::NotDelivered: break;
    }
    return tr("✗ 未送达");
}

void ResultsTable::showResults(const QStringList& notices, const QList<StationResults>& stations)
{
    clear();
    setColumnCount(int(notices.size()));
    setRowCount(int(stations.size()));
    setHorizontalHeaderLabels(notices);
    for (int row = 0; row < rowCount(); ++row) {
        const StationResults& station = stations[row];
        setVerticalHeaderItem(row, new QTableWidgetItem(station.name));
        for (int column = 0; column < columnCount(); ++column) {
            auto* cell = new QTableWidgetItem(resultText(NoticeResult::NotDelivered));
            cell->setToolTip(station.unreportedReason);
            setItem(row, column, cell);
        }
        for (const NoticeOutcome& outcome : station.outcomes) {
            const qsizetype column = noticeColumn(notices, outcome.notice);
            if (column < 0)
                continue;
            QTableWidgetItem* cell = item(row, int(column));
            cell->setText(resultText(outcome.result));
            cell->setToolTip(outcome.reason);
        }
    }
}

QString ResultsTable::copyText() const
{
    QStringList header{tr("站点")};
    for (int column = 0; column < columnCount(); ++column)
        header << oneLine(horizontalHeaderItem(column)->text());
    QStringList lines{header.join(u'\t')};
    for (int row = 0; row < rowCount(); ++row) {
        QStringList cells{oneLine(verticalHeaderItem(row)->text())};
        for (int column = 0; column < columnCount(); ++column) {
            const QTableWidgetItem* cell = item(row, column);
            QString text = cell->text();
            if (!cell->toolTip().isEmpty())
                text += tr("：") + cell->toolTip();
            cells << oneLine(text);
        }
        lines << cells.join(u'\t');
    }
    return lines.join(u'\n') + u'\n';
}

void ResultsTable::copy() const
{
    QApplication::clipboard()->setText(copyText());
}

void ResultsTable::keyPressEvent(QKeyEvent* event)
{
    // The whole table, not only the current cell as an item view would copy.
    if (event->matches(QKeySequence::Copy)) {
        copy();
        event->accept();
        return;
    }
    base::keyPressEvent(event);
}
