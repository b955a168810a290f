// The run view: one row per station while a send run goes, the summary and the results after it.
#include "app/RunView.h"

#include "app/DesktopNotifier.h"
#include "app/ResultsTable.h"
#include "app/TaskbarProgress.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// Station bars count in thousandths: bytes do not fit a bar's int.
constexpr int barSteps = 1000;
constexpr int progressColumnWidth = 90;

bool isFinal(StationState state)
{
    return state == StationState::Done || state == StationState::Failed
        || state == StationState::Stopped;
}

// A finished station's remaining bytes are settled: it will send no more.
qint64 settledBytes(const StationProgress& progress)
{
    if (isFinal(progress.state))
        return progress.bytesTotal;
    return std::clamp(progress.bytesDone, qint64(0), progress.bytesTotal);
}

QString durationText(qint64 seconds)
{
    if (seconds < 60)
        return RunView::tr("%1 秒").arg(seconds);
    if (seconds < 3600)
        return RunView::tr("%1 分 %2 秒").arg(seconds / 60).arg(seconds % 60);
    return RunView::tr("%1 小时 %2 分").arg(seconds / 3600).arg(seconds % 3600 / 60);
}

} // namespace

QString runWindowTitle(int percent, const QString& usualTitle)
{
    return QString::number(percent) + QStringLiteral("% — ") + usualTitle;
}

RunView::RunView(QWidget* parent)
    : base(parent)
    , m_overallBar(new QProgressBar(this))
    , m_pages(new QStackedWidget(this))
    , m_stationRows(new QTableWidget(0, ColumnCount, m_pages))
    , m_results(new ResultsTable(m_pages))
    , m_summary(new QLabel(this))
    , m_copyButton(new QPushButton(tr("复制结果"), this))
    , m_notifier(new DesktopNotifier(this))
    , m_taskbar(new TaskbarProgress(this))
{
    m_overallBar->setObjectName(QStringLiteral("overallBar"));
    m_overallBar->setFormat(tr("总进度 %p%"));
    m_overallBar->setRange(0, 100);
    m_overallBar->setValue(0);

    m_stationRows->setObjectName(QStringLiteral("stationRows"));
    m_stationRows->setHorizontalHeaderLabels({tr("站点"), tr("状态"), tr("进度"), tr("详情")});
    m_stationRows->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_stationRows->setSelectionMode(QAbstractItemView::NoSelection);
    m_stationRows->setWordWrap(false);
    m_stationRows->verticalHeader()->hide();
    m_stationRows->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    QHeaderView* columns = m_stationRows->horizontalHeader();
    columns->setSectionResizeMode(NameColumn, QHeaderView::ResizeToContents);
    columns->setSectionResizeMode(StateColumn, QHeaderView::ResizeToContents);
    columns->resizeSection(ProgressColumn, progressColumnWidth);
    columns->setStretchLastSection(true);

    m_results->setObjectName(QStringLiteral("results"));
    m_pages->addWidget(m_stationRows);
    m_pages->addWidget(m_results);

    m_summary->setObjectName(QStringLiteral("summary"));
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_copyButton->setObjectName(QStringLiteral("copyResults"));
    m_copyButton->setToolTip(tr("以制表符分隔的文本复制结果表（Ctrl+C）"));
    connect(m_copyButton, &QPushButton::clicked, m_results, &ResultsTable::copy);
    m_summary->hide();
    m_copyButton->hide();

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_summary, 1);
    bottom->addWidget(m_copyButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_overallBar);
    layout->addWidget(m_pages, 1);
    layout->addLayout(bottom);

    connect(this, &RunView::overallPercentChanged, m_taskbar, &TaskbarProgress::setPercent);
}

void RunView::setDesktopBus(const QDBusConnection& bus)
{
    m_notifier->setBus(bus);
    m_taskbar->setBus(bus);
}

void RunView::startRun(const QStringList& stationNames, const QStringList& notices)
{
    m_notices = notices;
    m_stations.clear();
    m_stationRows->setRowCount(0);
    m_stationRows->setRowCount(int(stationNames.size()));
    for (int row = 0; row < stationNames.size(); ++row) {
        Station station;
        station.name = stationNames[row];
        station.progress.station = row;
        m_stations << station;
        m_stationRows->setItem(row, NameColumn, new QTableWidgetItem(station.name));
        m_stationRows->setItem(row, StateColumn, new QTableWidgetItem(stateText(station.progress)));
        m_stationRows->setItem(row, DetailColumn, new QTableWidgetItem);
        auto* bar = new QProgressBar;
        bar->setRange(0, barSteps);
        bar->setValue(0);
        m_stationRows->setCellWidget(row, ProgressColumn, bar);
    }
    m_pages->setCurrentWidget(m_stationRows);
    m_summary->hide();
    m_copyButton->hide();
    m_running = true;
    m_overallPercent = -1;
    emit runningChanged(true);
    updateOverall();
}

void RunView::updateStation(const StationProgress& progress)
{
    if (progress.station < 0 || progress.station >= m_stations.size())
        return;
    const int row = progress.station;
    m_stations[row].progress = progress;
    m_stationRows->item(row, StateColumn)->setText(stateText(progress));
    // The detail column is the first to be cut short in a narrow window.
    QTableWidgetItem* detail = m_stationRows->item(row, DetailColumn);
    detail->setText(detailText(progress));
    detail->setToolTip(detail->text());
    int steps = progress.state == StationState::Done ? barSteps : 0;
    if (progress.bytesTotal > 0) {
        const qint64 done = std::clamp(progress.bytesDone, qint64(0), progress.bytesTotal);
        steps = int(done * barSteps / progress.bytesTotal);
    }
    rowBar(row)->setValue(steps);
    updateOverall();
}

void RunView::finishStation(int station, const QList<NoticeOutcome>& outcomes)
{
    if (station < 0 || station >= m_stations.size())
        return;
    m_stations[station].outcomes = outcomes;
}

void RunView::endRun()
{
    QList<ResultsTable::StationResults> results;
    for (const Station& station : m_stations) {
        // A station stopped or never started reports no outcome for its notices.
        results << ResultsTable::StationResults{.name = station.name,
                                                .outcomes = station.outcomes,
                                                .unreportedReason = stateText(station.progress)};
    }
    m_results->showResults(m_notices, results);
    m_pages->setCurrentWidget(m_results);
    m_summary->setText(summaryLine());
    m_summary->show();
    m_copyButton->show();
    m_running = false;
    if (!window()->isActiveWindow())
        m_notifier->notify(summaryLine());
    m_taskbar->clear();
    emit runningChanged(false);
}

QString RunView::summaryLine() const
{
    QStringList unfinished;
    for (const Station& station : m_stations) {
        if (station.progress.state != StationState::Done)
            unfinished << station.name;
    }
    const qsizetype total = m_stations.size();
    const qsizetype done = total - unfinished.size();
    if (unfinished.isEmpty())
        return tr("%1 个站点：%2 个完成").arg(total).arg(done);
    return tr("%1 个站点：%2 个完成，%3 个未完成（%4）")
        .arg(total)
        .arg(done)
        .arg(unfinished.size())
        .arg(unfinished.join(tr("、")));
}

QString RunView::runTitle(const QString& usualTitle) const
{
    return m_running ? runWindowTitle(m_overallPercent, usualTitle) : usualTitle;
}

QString RunView::stateText(const StationProgress& progress)
{
    switch (progress.state) {
    case StationState::Waiting: return tr("等待");
    case StationState::Connecting: return tr("连接中");
    case StationState::LoggingIn: return tr("登录");
    case StationState::Sending: return tr("传送 %1").arg(progress.file);
    case StationState::Checking: return tr("核对");
    case StationState::Done: return tr("完成");
    case StationState::Failed: return tr("失败");
    case StationState::Stopped: break;
    }
    return tr("已停止");
}

QString RunView::detailText(const StationProgress& progress)
{
    if (progress.silentLimitSeconds > 0 && progress.silentSeconds > 0) {
        return tr("等待服务器回应 %1 / %2 秒")
            .arg(progress.silentSeconds)
            .arg(progress.silentLimitSeconds);
    }
    if (progress.state != StationState::Sending || progress.bytesPerSecond <= 0)
        return {};
    const qint64 left = std::max(progress.bytesTotal - progress.bytesDone, qint64(0));
    const auto seconds = qint64(std::ceil(double(left) / progress.bytesPerSecond));
    const QString speed = QLocale::c().formattedDataSize(qint64(progress.bytesPerSecond), 1,
                                                         QLocale::DataSizeIecFormat);
    return tr("%1/秒，剩余 %2").arg(speed, durationText(seconds));
}

void RunView::updateOverall()
{
    qint64 done = 0;
    qint64 total = 0;
    bool allFinal = true;
    for (const Station& station : m_stations) {
        done += settledBytes(station.progress);
        total += station.progress.bytesTotal;
        allFinal = allFinal && isFinal(station.progress.state);
    }
    int percent = allFinal && !m_stations.isEmpty() ? 100 : 0;
    if (total > 0)
        percent = int(done * 100 / total);
    m_overallBar->setValue(percent);
    if (percent == m_overallPercent)
        return;
    m_overallPercent = percent;
    emit overallPercentChanged(percent);
}

QProgressBar* RunView::rowBar(int row) const
{
    return static_cast<QProgressBar*>(m_stationRows->cellWidget(row, ProgressColumn));
}
