// The run view driven by a run's progress values: rows, bars, silence, summary, results, title,
// and what it tells the desktop over a private bus.
#include "app/DesktopNotifier.h"
#include "app/ResultsTable.h"
#include "app/RunView.h"
#include "tests/support/QtPrinters.h"

#include <QApplication>
#include <QClipboard>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using State = StationState;

// A bus nobody listens on: the view must stay silent and quick without one.
QDBusConnection noBus()
{
    return QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/zarvel-test-bus"),
                                         QStringLiteral("zarvel-no-bus"));
}

StationProgress progress(int station, State state, qint64 done, qint64 total,
                         const QString& file = {}, double speed = 0, int silent = 0, int limit = 0)
{
    return {station, state, file, done, total, speed, silent, limit};
}

const QStringList stations = {QStringLiteral("东区"), QStringLiteral("西区"),
                              QStringLiteral("南区")};
const QStringList notices = {QStringLiteral("a.zip"), QStringLiteral("b.txt")};

// Drives a run of three stations to its end: 东区 done, 西区 stopped, 南区 failed.
void runToTheEnd(RunView& view)
{
    view.startRun(stations, notices);
    for (const StationProgress& value :
         {progress(0, State::Waiting, 0, 1000), progress(1, State::Waiting, 0, 3000),
          progress(2, State::Waiting, 0, 1000), progress(0, State::Done, 1000, 1000),
          progress(1, State::Stopped, 600, 3000), progress(2, State::Failed, 0, 1000)})
        view.updateStation(value);
    view.finishStation(0,
                       {{"a.zip", NoticeResult::DeliveredChecked, {}},
                        {"b.txt", NoticeResult::DeliveredUnchecked, "服务器不支持 SIZE"}});
    // Stored lower-cased on the station; b.txt was never reached.
    view.finishStation(1, {{"A.ZIP", NoticeResult::NotDelivered, "站点上的 a.zip 不完整"}});
    view.finishStation(2,
                       {{"a.zip", NoticeResult::NotDelivered, "登录失败：530\tno"},
                        {"b.txt", NoticeResult::NotDelivered, "登录失败：530\tno"}});
    view.endRun();
}

} // namespace

TEST(RunViewTest, RowsBarsAndTitleFollowTheProgressValues)
{
    RunView view;
    view.setDesktopBus(noBus());
    QSignalSpy percents(&view, &RunView::overallPercentChanged);
    view.startRun(stations, notices);
    auto* rows = view.findChild<QTableWidget*>("stationRows");
    auto* overall = view.findChild<QProgressBar*>("overallBar");
    ASSERT_TRUE(rows && overall);
    ASSERT_EQ(rows->rowCount(), 3);
    EXPECT_EQ(rows->item(1, RunView::NameColumn)->text(), "西区");
    EXPECT_EQ(rows->item(1, RunView::StateColumn)->text(), "等待");
    EXPECT_EQ(view.runTitle("Zarvel"), "0% — Zarvel");

    struct Row {
        StationProgress value;
        QString state;
        QString detail;
        int bar; // thousandths of the station's bytes
        int overall;
    };
    const Row table[] = {
        {progress(1, State::Waiting, 0, 3000), "等待", "", 0, 0},
        {progress(2, State::Waiting, 0, 1000), "等待", "", 0, 0},
        {progress(0, State::Connecting, 0, 1000, {}, 0, 12, 20), "连接中",
         "等待服务器回应 12 / 20 秒", 0, 0},
        // Not yet silent for a whole second: nothing to say.
        {progress(0, State::LoggingIn, 0, 1000, {}, 0, 0, 60), "登录", "", 0, 0},
        {progress(0, State::Sending, 250, 1000, "a.zip", 1536), "传送 a.zip",
         "1.5 KiB/秒，剩余 1 秒", 250, 5},
        {progress(1, State::Sending, 600, 3000, "b.txt", 20), "传送 b.txt",
         "20 bytes/秒，剩余 2 分 0 秒", 200, 17},
        {progress(0, State::Checking, 1000, 1000, "a.zip", 0, 3, 60), "核对",
         "等待服务器回应 3 / 60 秒", 1000, 32},
        // A failed station sends no more: its bytes count as settled in the overall bar.
        {progress(2, State::Failed, 0, 1000), "失败", "", 0, 52},
        {progress(0, State::Done, 1000, 1000), "完成", "", 1000, 52},
        {progress(1, State::Stopped, 600, 3000), "已停止", "", 200, 100},
    };
    for (const Row& row : table) {
        view.updateStation(row.value);
        const int station = row.value.station;
        SCOPED_TRACE(row.state.toStdString() + " " + row.detail.toStdString());
        EXPECT_EQ(rows->item(station, RunView::StateColumn)->text(), row.state);
        EXPECT_EQ(rows->item(station, RunView::DetailColumn)->text(), row.detail);
        EXPECT_EQ(rows->item(station, RunView::DetailColumn)->toolTip(), row.detail);
        auto* bar = qobject_cast<QProgressBar*>(rows->cellWidget(station, RunView::ProgressColumn));
        ASSERT_TRUE(bar);
        EXPECT_EQ(bar->value(), row.bar);
        EXPECT_EQ(overall->value(), row.overall);
        EXPECT_EQ(view.overallPercent(), row.overall);
        EXPECT_EQ(percents.last().at(0).toInt(), row.overall);
        EXPECT_EQ(view.runTitle("Zarvel   0.0.1版"),
                  QString::number(row.overall) + "% — Zarvel   0.0.1版");
    }
    // Only changes are signalled.
    EXPECT_EQ(percents.count(), 6);
    view.endRun();
    EXPECT_EQ(view.runTitle("Zarvel"), "Zarvel");
    EXPECT_FALSE(view.isRunning());
}

TEST(RunViewTest, TheEndShowsTheSummaryAndResultsThatCopyAsText)
{
    RunView view;
    view.setDesktopBus(noBus());
    view.resize(284, 174);
    view.show();
    runToTheEnd(view);

    const QString summary = "3 个站点：1 个完成，2 个未完成（西区、南区）";
    EXPECT_EQ(view.summaryLine(), summary);
    auto* label = view.findChild<QLabel*>("summary");
    ASSERT_TRUE(label);
    EXPECT_TRUE(label->isVisible());
    EXPECT_EQ(label->text(), summary);

    auto* results = view.findChild<ResultsTable*>("results");
    ASSERT_TRUE(results);
    EXPECT_TRUE(results->isVisible());
    EXPECT_EQ(results->verticalHeaderItem(2)->text(), "南区");
    EXPECT_EQ(results->item(1, 1)->text(), "✗ 未送达");
    EXPECT_EQ(results->item(1, 1)->toolTip(), "已停止");
    EXPECT_EQ(results->item(2, 0)->toolTip(), "登录失败：530\tno");
    EXPECT_EQ(results->item(0, 0)->toolTip(), "");

    // The cells as shown, each with its tooltip after "："; tabs inside a cell are spaced.
    const QString copied = "站点\ta.zip\tb.txt\n"
                           "东区\t✔ 已送达，已核对\t✓ 已送达，未核对：服务器不支持 SIZE\n"
                           "西区\t✗ 未送达：站点上的 a.zip 不完整\t✗ 未送达：已停止\n"
                           "南区\t✗ 未送达：登录失败：530 no\t✗ 未送达：登录失败：530 no\n";
    QApplication::clipboard()->clear();
    QTest::mouseClick(view.findChild<QPushButton*>("copyResults"), Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text(), copied);
    QApplication::clipboard()->clear();
    results->setFocus();
    QTest::keyClick(results, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), copied);

    // A new run shows the rows again; all done reads so.
    view.startRun(stations.mid(0, 1), notices);
    EXPECT_FALSE(label->isVisible());
    EXPECT_TRUE(view.findChild<QTableWidget*>("stationRows")->isVisible());
    view.updateStation(progress(0, State::Done, 5, 5));
    EXPECT_EQ(view.summaryLine(), "1 个站点：1 个完成");

    // Fits beside the log pane of the smallest window.
    EXPECT_LE(view.minimumSizeHint().width(), 284);
    EXPECT_LE(view.minimumSizeHint().height(), 174);
}

TEST(RunViewTest, NoBusNoTrayNothingShown)
{
    DesktopNotifier notifier;
    notifier.setBus(noBus());
    EXPECT_EQ(notifier.notify("1 个站点：1 个完成"), DesktopNotifier::Channel::None);
}

namespace {

// The desktop's side of a private bus: a notification service and a dock.
class FakeDesktop : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList notified;
    QList<QVariantMap> updates;

public slots:
    Q_SCRIPTABLE uint Notify(const QString& app, uint replaces, const QString& icon,
                             const QString& line, const QString& body, const QStringList&,
                             const QVariantMap&, int timeout)
    {
        notified << QStringList{app,  QString::number(replaces), icon, line,
                                body, QString::number(timeout)}
                        .join(u'|');
        return 1;
    }
    void update(const QDBusMessage& message)
    {
        if (message.arguments().value(0).toString() == "application://zarvel.desktop")
            updates << qdbus_cast<QVariantMap>(message.arguments().value(1));
    }
};

// A session bus of the test's own, never the user's.
struct PrivateBus {
    PrivateBus()
    {
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        if (daemon.waitForReadyRead(5000))
            address = QString::fromUtf8(daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        for (const QString& name : names)
            QDBusConnection::disconnectFromBus(name);
        daemon.kill();
        daemon.waitForFinished();
    }
    QDBusConnection connect(const QString& name)
    {
        names << name;
        return QDBusConnection::connectToBus(address, name);
    }

    QProcess daemon;
    QString address;
    QStringList names;
};

} // namespace

TEST(RunViewTest, TaskbarAndNotificationReachThePrivateBus)
{
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
        GTEST_SKIP() << "dbus-daemon is not installed";
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    QDBusConnection desktopSide = bus.connect("desktop");
    ASSERT_TRUE(desktopSide.isConnected());
    FakeDesktop desktop;
    ASSERT_TRUE(desktopSide.registerObject("/org/freedesktop/Notifications", &desktop,
                                           QDBusConnection::ExportScriptableSlots));
    ASSERT_TRUE(desktopSide.registerService("org.freedesktop.Notifications"));
    ASSERT_TRUE(desktopSide.connect({}, {}, "com.canonical.Unity.LauncherEntry", "Update", &desktop,
                                    SLOT(update(QDBusMessage))));

    {
        RunView view; // not the active window: the end is told on the desktop
        view.setDesktopBus(bus.connect("zarvel"));
        runToTheEnd(view);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !desktop.notified.isEmpty(); }, 5000));
        EXPECT_EQ(desktop.notified[0],
                  "Zarvel|0||3 个站点：1 个完成，2 个未完成（西区、南区）||-1");
        ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.updates.size() >= 5; }, 5000));
        QStringList shown;
        for (const QVariantMap& update : desktop.updates)
            shown << QString::number(update["progress"].toDouble()) + " "
                    + update["progress-visible"].toString();
        EXPECT_EQ(shown, QStringList({"0 true", "0.2 true", "0.8 true", "1 true", "0 false"}));
    }

    // In front, the window itself says it.
    RunView view;
    view.setDesktopBus(bus.connect("zarvel-front"));
    view.show();
    QApplication::setActiveWindow(&view);
    ASSERT_TRUE(view.isActiveWindow());
    runToTheEnd(view);
    // The taskbar's last word, sent after the notification would have been.
    ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.updates.size() >= 10; }, 5000));
    EXPECT_EQ(desktop.notified.size(), 1);
}

#include "run_view_test.moc"
