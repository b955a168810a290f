// Send runs driven through the window against FTP servers on loopback addresses.
#include "WindowFixture.h"

#include "app/RunCoordinator.h"
#include "app/StationFile.h"
#include "app/StationSettings.h"
#include "controls/explorer/FileListView.h"
#include "ftp/FtpClient.h"
#include "tests/app/RunLogLines.h"
#include "tests/support/FtpServerProcess.h"
#include "tests/support/ScriptedFtpPeer.h"
#include "tests/support/TempTree.h"
#include "tests/support/WaitFor.h"

#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QTableWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

using Lines = QStringList;
using namespace std::chrono_literals;

namespace {

using runlines::ending;
using runlines::header2;
using runlines::networkError;
using runlines::stopped;
using runlines::success;
const QString stopping = QStringLiteral("正在结束当前文件，再按一次停止立即中断");
const QString retry = QStringLiteral("已勾选未完成的站点，再按传送(S)即可重发");
// pyftpdlib lists SIZE: every stored file is checked.
const QString notice1Sent = QStringLiteral("    notice1.txt  已传送 14 字节，已核对");
const QString zSent = QStringLiteral("    z.txt  已传送 100,000 字节，已核对");

// A receiving station: user "clerk", password "pw", a remote folder "in"; stations on
// several addresses share one port, as the window's FTP client uses one for all.
class StationServer : public testsupport::FtpServerProcess {
public:
    explicit StationServer(const QByteArray& address, quint16 port = 0)
        : FtpServerProcess({.address = address, .user = "clerk", .password = "pw", .port = port})
    {
        QDir(rootPath()).mkdir(QStringLiteral("in"));
    }

    // The bytes that arrived as `name` (a path below the root), or "<none>".
    QByteArray received(const QString& name) const
    {
        QFile file(QDir(rootPath()).filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            return "<none>";
        return file.readAll();
    }
};

// The session's name encoding, written after each login: pyftpdlib offers UTF8, the
// scripted peers do not.
const QString utf8Names = QStringLiteral("    文件名编码：UTF-8");
const QString gbkNames = QStringLiteral("    文件名编码：GBK");
// Written after each login before the encoding: these stations are set to go without TLS.
const QString notEncrypted = QStringLiteral("    未加密（该站点设为不加密）");

QString start(const QString& name)
{
    return QStringLiteral("开始向  %1  传送...").arg(name);
}

// Greeting, login, folder, type and the data port of one upload in active mode.
testsupport::ScriptedFtpPeer& readyForUpload(testsupport::ScriptedFtpPeer& peer)
{
    return peer.send("220 Ready\r\n")
        .reply("331 Password?\r\n")
        .reply("230 In\r\n")
        .reply(testsupport::featUnknown)
        .reply("250 Ok\r\n")
        .reply("200 Type\r\n")
        .reply("200 Port\r\n")
        .reply("150 Go\r\n");
}

// The line of big.bin (16 MiB) cut while it was sent.
const QRegularExpression bigCut(
    QStringLiteral("^    big\\.bin  已发送 [0-9,]+ / 16,777,216 字节；站点上的 big\\.bin 不完整$"));

class SendRunTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ASSERT_TRUE(m_notices.isValid());
        m_notices.addFile("Notice1.TXT", "first notice\r\n");
        m_notices.addFile("z.txt", QByteArray(100000, 'z'));
        writeSettings("Dirt.cfg", QFile::encodeName(m_notices.path()) + "/\r\nin\r\n\r\n");
    }

    // Opens the window with these stations and every notice selected with the mouse; one
    // station at a time unless `parallel` says otherwise. Scripted peers start after it: the
    // preview of z.txt's one long line can outlast a peer's wait for the client when loaded.
    void openWith(const QByteArray& stations, quint16 port, TlsMode tls = TlsMode::Off,
                  int parallel = 1)
    {
        writeSettings("Addf.cfg", stations);
        // Every station on the peers' port (without TLS unless asked); the scripts answer
        // PORT, not PASV.
        QList<StationEntry> entries;
        for (const Station& station : StationFile(settingsFile("Addf.cfg")).load())
            entries.append({station, {port, TransferMode::Active, false, tls}});
        StationSettings(settingsFile("Stations.ini")).save(entries);
        StationSettings(settingsFile("Stations.ini")).saveParallelStations(parallel);
        open();
        auto* view = child<FileListView>("noticeList");
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          view->visualItemRect(view->item(0)).center());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                          view->visualItemRect(view->item(view->count() - 1)).center());
        ASSERT_EQ(m_form->noticeSelection().names().size(), view->count());
    }

    FtpClient* ftpClient() const
    {
        return dynamic_cast<FtpClient*>(m_form->findChild<QObject*>("ftpClient"));
    }

    // Presses Send and waits for the run's end: the window itself never waits.
    void send()
    {
        auto* button = child<QPushButton>("sendButton");
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([button] { return button->isEnabled(); }, 60000));
    }
    void stop() { QTest::mouseClick(child<QPushButton>("stopButton"), Qt::LeftButton); }

    Lines pane() const { return child<QTextEdit>("logPane")->toPlainText().split(u'\n'); }

    // Ticked items of the station list, by name.
    Lines ticked() const
    {
        Lines names;
        auto* list = child<QListWidget>("stationList");
        for (int item = 0; item < list->count(); ++item)
            if (list->item(item)->checkState() == Qt::Checked)
                names << list->item(item)->text();
        return names;
    }

    // The colour of every line of the pane that has text.
    QList<QColor> lineColours() const
    {
        QList<QColor> colours;
        for (QTextBlock block = child<QTextEdit>("logPane")->document()->begin(); block.isValid();
             block = block.next())
            if (!block.text().isEmpty())
                colours << block.begin().fragment().charFormat().foreground().color();
        return colours;
    }

    QString logFilePath() const
    {
        return settingsFile(
            QStringLiteral("logs/%1.log").arg(QDate::currentDate().toString(Qt::ISODate)));
    }

    // Station A, whose data connection takes nothing for 5 s, and big.bin (16 MiB) in place
    // of z.txt, listed with all files.
    void openWithStalledStation(testsupport::ScriptedFtpPeer& station)
    {
        QFile::remove(m_notices.path("z.txt"));
        m_notices.addFile("big.bin", QByteArray(16 << 20, 'b'));
        readyForUpload(station).stalledTransfer(5000ms);
        openWith(hostRecord("A", "127.0.0.2", "clerk", "pw"), station.port());
        station.start();
        QTest::mouseClick(child<QRadioButton>("allFilesButton"), Qt::LeftButton);
    }

    // Runs `action` once, as soon as `condition` holds, while the window is busy.
    void whenDuringRun(std::function<bool()> condition, std::function<void()> action)
    {
        auto* poll = new QTimer(m_form.get());
        QObject::connect(poll, &QTimer::timeout, poll, [poll, condition, action] {
            if (condition()) {
                poll->stop();
                action();
            }
        });
        poll->start(5);
    }

    // What runs tell the window: each station's states (repeats folded), its results, the
    // most stations under way at once, and when each ended (ms after Send).
    struct RunReport {
        QMap<int, QList<StationState>> states;
        QMap<int, QList<NoticeOutcome>> results;
        QMap<int, qint64> endedAt;
        QSet<int> underWay;
        int mostUnderWay = 0;
        // Stations that had started when the first station ended.
        int startedAtFirstEnd = 0;
        QElapsedTimer clock;
        std::function<void(RunCoordinator&)> onStart;
    };
    void watchRuns(RunReport& report)
    {
        QObject::connect(
            m_form.get(), &MainWindow::runStarted, m_form.get(),
            [&report](RunCoordinator* run, const QList<Station>&) {
                report.clock.start();
                if (report.onStart)
                    report.onStart(*run);
                QObject::connect(run, &RunCoordinator::stationProgress, run,
                                 [&report](const StationProgress& progress) {
                                     QList<StationState>& states = report.states[progress.station];
                                     if (states.isEmpty() || states.last() != progress.state)
                                         states << progress.state;
                                     if (progress.state >= StationState::Done)
                                         report.underWay.remove(progress.station);
                                     else
                                         report.underWay.insert(progress.station);
                                     report.mostUnderWay =
                                         std::max(report.mostUnderWay, int(report.underWay.size()));
                                 });
                QObject::connect(run, &RunCoordinator::stationFinished, run,
                                 [&report](int station, const QList<NoticeOutcome>& results) {
                                     if (report.results.isEmpty())
                                         report.startedAtFirstEnd = int(report.states.size());
                                     report.results[station] = results;
                                     report.endedAt[station] = report.clock.elapsed();
                                 });
            });
    }

    void setRunValue(const QString& key, int value)
    {
        QSettings(settingsFile("Stations.ini"), QSettings::IniFormat).setValue("run/" + key, value);
    }

    testsupport::TempTree m_notices;
};

bool hasCommand(const testsupport::ScriptedFtpPeer& peer, const QByteArray& prefix)
{
    for (const QByteArray& command : peer.commands())
        if (command.startsWith(prefix))
            return true;
    return false;
}

} // namespace

TEST_F(SendRunTest, WhatIsHighlightedReachesEveryStationAndAMissingFileIsLeftOut)
{
    StationServer first("127.0.0.2");
    ASSERT_TRUE(first.isRunning()) << first.errorString().toStdString();
    StationServer second("127.0.0.3", first.port());
    ASSERT_TRUE(second.isRunning()) << second.errorString().toStdString();
    openWith(hostRecord("\xD7\xDC\xB2\xBF", "127.0.0.2", "clerk", "pw")
                 + hostRecord("B", "127.0.0.3", "clerk", "pw"),
             first.port());
    const QString headquarters = start(QStringLiteral("总部"));

    send();
    EXPECT_EQ(
        pane(),
        (Lines{header2, "", headquarters, notEncrypted, utf8Names, notice1Sent, zSent, success,
               start("B"), notEncrypted, utf8Names, notice1Sent, zSent, success, "", ending}));
    for (StationServer* station : {&first, &second}) {
        EXPECT_EQ(station->received("in/notice1.txt"), QByteArray("first notice\r\n"));
        EXPECT_EQ(station->received("in/z.txt"), QByteArray(100000, 'z'));
        QDir(station->rootPath()).remove("in/notice1.txt");
        QDir(station->rootPath()).remove("in/z.txt");
    }
    EXPECT_FALSE(ftpClient()->connected());
    EXPECT_TRUE(child<QPushButton>("sendButton")->isEnabled());
    EXPECT_EQ(ticked(), (Lines{QStringLiteral("总部"), "B"}));

    // Selected with the keyboard and sent with Alt+S: that file and no other. (QTRY_* would
    // end the test unnoticed under GoogleTest: the wait is asserted.)
    auto* view = child<FileListView>("noticeList");
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Home);
    QTest::keyClick(view, Qt::Key_End);
    QTest::keyClick(m_form.get(), Qt::Key_S, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return pane().value(0) == QStringLiteral("★☆         您共选择了 1 个文件         ☆★")
            && pane().last() == ending;
    })) << pane().join('|').toStdString();
    EXPECT_EQ(pane().mid(1),
              (Lines{"", headquarters, notEncrypted, utf8Names, zSent, success, start("B"),
                     notEncrypted, utf8Names, zSent, success, "", ending}));
    EXPECT_EQ(first.received("in/notice1.txt"), "<none>");
    EXPECT_EQ(second.received("in/z.txt"), QByteArray(100000, 'z'));

    // A selected file deleted before Send: named in red, the run goes on without it, and
    // no station is a success without it.
    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    QFile::remove(m_notices.path("z.txt"));
    send();
    const QString oneMissing =
        QStringLiteral("------------------------------ 1 / 2 个文件未送达，请查明原因！");
    EXPECT_EQ(pane(),
              (Lines{header2, QStringLiteral("找不到文件 z.txt，不传送"), "", headquarters,
                     notEncrypted, utf8Names, notice1Sent, oneMissing, start("B"), notEncrypted,
                     utf8Names, notice1Sent, oneMissing, "", ending, retry}));
    EXPECT_EQ(second.received("in/notice1.txt"), QByteArray("first notice\r\n"));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(SendRunTest, EachFailingStationGetsItsCauseItIsLoggedAndLeftTickedForARetry)
{
    StationServer good("127.0.0.2");
    ASSERT_TRUE(good.isRunning()) << good.errorString().toStdString();
    const quint16 port = good.port();
    StationServer noFolder("127.0.0.3", port);
    ASSERT_TRUE(noFolder.isRunning()) << noFolder.errorString().toStdString();
    QDir(noFolder.rootPath()).rmdir("in");

    // An unreachable first station must not spoil the next one's connection.
    openWith(hostRecord("closed", "127.0.0.4", "clerk", "pw") // nothing listens there
                 + hostRecord("good", "127.0.0.2", "clerk", "pw")
                 + hostRecord("wrong", "127.0.0.2", "clerk", "bad") // refused login
                 + hostRecord("nofolder", "127.0.0.3", "clerk", "pw")
                 + hostRecord("good2", "127.0.0.2", "clerk", "pw"),
             port);
    send();
    const QString refused = QStringLiteral("    连接 127.0.0.4:%1 失败：连接被拒绝").arg(port);
    const Lines expected{header2,
                         "",
                         start("closed"),
                         networkError,
                         refused,
                         start("good"),
                         notEncrypted,
                         utf8Names,
                         notice1Sent,
                         zSent,
                         success,
                         start("wrong"),
                         networkError,
                         QStringLiteral("    登录失败：530 Authentication failed."),
                         start("nofolder"),
                         notEncrypted,
                         utf8Names,
                         networkError,
                         QStringLiteral("    进入对方目录失败：550 No such file or directory."),
                         start("good2"),
                         notEncrypted,
                         utf8Names,
                         notice1Sent,
                         zSent,
                         success,
                         "",
                         ending,
                         retry};
    EXPECT_EQ(pane(), expected);
    EXPECT_EQ(good.received("in/notice1.txt"), QByteArray("first notice\r\n"));
    EXPECT_EQ(good.received("in/z.txt"), QByteArray(100000, 'z'));
    EXPECT_EQ(noFolder.received("notice1.txt"), "<none>");
    EXPECT_EQ(ticked(), (Lines{"closed", "wrong", "nofolder"})) << "only what did not arrive";
    // The run view sums it up; the title shows no progress once the run has ended.
    EXPECT_EQ(child<QLabel>("summary")->text(),
              QStringLiteral("5 个站点：2 个完成，3 个未完成（closed、wrong、nofolder）"));
    EXPECT_TRUE(child<QWidget>("runViewArea")->isVisible());
    EXPECT_FALSE(m_form->windowTitle().contains(u'%')) << m_form->windowTitle().toStdString();

    // Network error lines are red, every other line in the window-text colour.
    const QColor text = child<QTextEdit>("logPane")->palette().color(QPalette::Text);
    const QList<QColor> colours = lineColours();
    Lines texts = pane();
    texts.removeAll(QString());
    ASSERT_EQ(colours.size(), texts.size());
    for (int line = 0; line < texts.size(); ++line)
        EXPECT_EQ(colours[line], texts[line] == networkError ? QColor(255, 0, 0) : text) << line;

    // The day's log file holds the run, each line with its time; station lines say where
    // they went and as whom, never with the password.
    QFile log(logFilePath());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString written = QString::fromUtf8(log.readAll());
    const Lines lines = written.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), expected.size());
    const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d  "));
    // Each station's lines are named by it; the run's own lines by none.
    QString station;
    for (int line = 0; line < lines.size(); ++line) {
        EXPECT_TRUE(stamp.match(lines[line]).hasMatch()) << lines[line].toStdString();
        if (expected[line].startsWith(start(QString()).left(3)))
            station = expected[line].section(u' ', 2, 2);
        const bool ownLine = line < 2 || line >= lines.size() - 3;
        const QString tag = ownLine ? QString() : u'[' + station + QStringLiteral("] ");
        EXPECT_TRUE(lines[line].mid(21).startsWith(tag + expected[line])) << line;
    }
    // The log file notes that a station went without TLS.
    EXPECT_EQ(lines[6].mid(21), "[good] " + notEncrypted + QStringLiteral("  [站点 good，未加密]"));
    EXPECT_EQ(lines[11].mid(21),
              "[wrong] " + start("wrong")
                  + QStringLiteral("  [127.0.0.2:%1 用户 clerk]").arg(port));
    EXPECT_FALSE(written.contains("pw") || written.contains("bad"));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(SendRunTest, NothingSelectedOrNoStationTickedContactsNobody)
{
    testsupport::ScriptedFtpPeer station("127.0.0.2");
    station.send("220 Ready\r\n");
    openWith(hostRecord("A", "127.0.0.2", "clerk", "pw"), station.port());
    station.start();

    // A tick is kept as the clerk left it, also when the stations page is shown again.
    auto* list = child<QListWidget>("stationList");
    list->item(0)->setCheckState(Qt::Unchecked);
    clickTab(1);
    clickTab(0);
    EXPECT_EQ(ticked(), Lines{});
    child<QLineEdit>("remoteFolderEdit")->clear();
    // A log folder that cannot be made gets one line, and the run goes on.
    writeSettings("logs", "a file where the folder would be");
    send();
    const Lines noStation{header2, "", "", ending};
    ASSERT_EQ(pane().size(), 5);
    EXPECT_TRUE(pane()[1].startsWith(QStringLiteral("传送记录无法写入 %1：").arg(logFilePath())))
        << pane()[1].toStdString();
    EXPECT_EQ(pane().mid(0, 1) + pane().mid(2), noStation);
    EXPECT_EQ(child<QLineEdit>("remoteFolderEdit")->text(), ".")
        << "an empty remote folder becomes the login folder";

    // Ctrl+click on both selected items: the table is empty.
    list->item(0)->setCheckState(Qt::Checked);
    QFile::remove(settingsFile("logs"));
    auto* view = child<FileListView>("noticeList");
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      view->visualItemRect(view->item(0)).center());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      view->visualItemRect(view->item(1)).center());
    ASSERT_TRUE(m_form->noticeSelection().names().isEmpty());
    // Alt+S presses Send: it says why nothing goes and starts no run.
    const Lines before = pane();
    QTest::keyClick(m_form.get(), Qt::Key_S, Qt::AltModifier);
    const Lines nothing =
        before + Lines{QStringLiteral("没有选中要传送的通知文件：请先在“通知文件”页中选中它们")};
    EXPECT_TRUE(QTest::qWaitFor([&] { return pane() == nothing; }))
        << pane().join('|').toStdString();
    EXPECT_TRUE(station.commands().isEmpty());

    // A preview hides the run log without wiping it; the run log button brings it back.
    auto* runLogButton = child<QPushButton>("runLogButton");
    EXPECT_FALSE(runLogButton->isVisible());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualItemRect(view->item(0)).center());
    EXPECT_EQ(pane(), (Lines{"first notice", ""}));
    ASSERT_TRUE(runLogButton->isVisible());
    QTest::mouseClick(runLogButton, Qt::LeftButton);
    EXPECT_EQ(pane(), nothing);
    EXPECT_FALSE(runLogButton->isVisible());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(SendRunTest, StopEndsASilentStationsWaitAtOnceAndLeavesTheRestTicked)
{
    testsupport::ScriptedFtpPeer silent("127.0.0.2");
    silent.send("220 Ready\r\n").command(); // USER gets no answer
    testsupport::ScriptedFtpPeer next("127.0.0.3", silent.port());
    openWith(hostRecord("A", "127.0.0.2", "clerk", "pw")
                 + hostRecord("B", "127.0.0.3", "clerk", "pw")
                 + hostRecord("C", "127.0.0.3", "clerk", "pw"),
             silent.port());
    silent.start();
    next.start();
    child<QListWidget>("stationList")->item(2)->setCheckState(Qt::Unchecked);
    ftpClient()->setIdleLimit(5000);

    QElapsedTimer sinceStop;
    whenDuringRun([&] { return hasCommand(silent, "USER"); },
                  [&] {
                      sinceStop.start();
                      stop();
                  });
    send();
    EXPECT_LT(sinceStop.elapsed(), 2000) << "at once, not after the 5 s idle limit";
    EXPECT_EQ(pane(), (Lines{header2, "", start("A"), stopped, "", ending, retry}));
    EXPECT_FALSE(ftpClient()->connected());
    EXPECT_EQ(next.connectionCount(), 0);
    EXPECT_EQ(ticked(), (Lines{"A", "B"})) << "the stopped and the unreached station";
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(SendRunTest, FirstStopLetsTheFileBeingSentFinish)
{
    testsupport::ScriptedFtpPeer station("127.0.0.2");
    readyForUpload(station).transfer().delay(600ms).send("226 Done\r\n");
    openWith(hostRecord("A", "127.0.0.2", "clerk", "pw"), station.port());
    station.start();

    bool sendDisabled = false;
    whenDuringRun([&] { return station.uploads().size() == 1; },
                  [&] {
                      sendDisabled = !child<QPushButton>("sendButton")->isEnabled();
                      QTest::keyClick(m_form.get(), Qt::Key_C, Qt::AltModifier); // Stop
                  });
    send();
    EXPECT_TRUE(sendDisabled) << "no second run while one is in progress";
    EXPECT_EQ(pane(),
              (Lines{header2, "", start("A"), notEncrypted, gbkNames, stopping,
                     QStringLiteral("    notice1.txt  已传送 14 字节，未核对（服务器不支持 SIZE）"),
                     stopped, "", ending, retry}));
    EXPECT_FALSE(hasCommand(station, "STOR z.txt"));
    EXPECT_FALSE(ftpClient()->connected()) << "closed, not left for the next run";
    EXPECT_TRUE(station.waitUntilFinished());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(SendRunTest, SecondStopCutsTheFileBeingSentAndSaysItMayBeIncomplete)
{
    testsupport::ScriptedFtpPeer station("127.0.0.2");
    openWithStalledStation(station);
    // Not a text file, so its click shows no preview.
    auto* view = child<FileListView>("noticeList");
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      view->visualItemRect(view->item(0)).center());
    ASSERT_EQ(m_form->noticeSelection().names(), (QStringList{"big.bin", "Notice1.TXT"}));

    // The data connection takes nothing: the client is stuck in the file's data.
    QElapsedTimer sinceStor;
    QElapsedTimer sinceSecondStop;
    whenDuringRun(
        [&] {
            if (!sinceStor.isValid() && hasCommand(station, "STOR"))
                sinceStor.start();
            return sinceStor.isValid() && sinceStor.elapsed() > 300;
        },
        [&] {
            stop();
            whenDuringRun([&] { return pane().contains(stopping); },
                          [&] {
                              sinceSecondStop.start();
                              stop();
                          });
        });
    send();
    EXPECT_LT(sinceSecondStop.elapsed(), 1000);
    const Lines lines = pane();
    ASSERT_EQ(lines.size(), 11) << lines.join('|').toStdString();
    EXPECT_EQ(lines.mid(0, 6), (Lines{header2, "", start("A"), notEncrypted, gbkNames, stopping}));
    EXPECT_TRUE(bigCut.match(lines[6]).hasMatch()) << lines[6].toStdString();
    EXPECT_EQ(lines.mid(7), (Lines{stopped, "", ending, retry}));
    EXPECT_FALSE(ftpClient()->connected());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(SendRunTest, ClosingTheWindowDuringARunAsksAndYesBreaksItOffAndCloses)
{
    testsupport::ScriptedFtpPeer station("127.0.0.2");
    openWithStalledStation(station);
    child<QLineEdit>("remoteFolderEdit")->setText("out");
    auto* view = child<FileListView>("noticeList");
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualItemRect(view->item(0)).center());
    ASSERT_EQ(m_form->noticeSelection().names(), QStringList{"big.bin"});

    // Closed as the login starts: the run goes on under the question until the file is in
    // transfer; No lets it go on; a second close and Yes break it off.
    MainWindow* form = m_form.get();
    int step = 0;
    QElapsedTimer sinceYes;
    whenDuringRun(
        [&] {
            auto* question = form->findChild<QMessageBox*>("abandonRunQuestion");
            const bool asked = question && question->isVisible();
            if (step == 0 && hasCommand(station, "USER")) {
                form->close();
                ++step;
            } else if (step == 1 && asked && hasCommand(station, "STOR")) {
                EXPECT_EQ(question->text(), QStringLiteral("正在传送，确定要中断并退出吗？"));
                EXPECT_EQ(question->defaultButton(), question->button(QMessageBox::No));
                QTest::mouseClick(question->button(QMessageBox::No), Qt::LeftButton);
                ++step;
            } else if (step == 2 && !asked) {
                form->close();
                ++step;
            } else if (step == 3 && asked) {
                sinceYes.start();
                QTest::mouseClick(question->button(QMessageBox::Yes), Qt::LeftButton);
                ++step;
            }
            return step == 4;
        },
        [] {});
    send();
    ASSERT_EQ(step, 4);
    EXPECT_LT(sinceYes.elapsed(), 1000) << "the file was cut at once";
    EXPECT_TRUE(QTest::qWaitFor([form] { return !form->isVisible(); }, 5000));
    // Neither Stop's second-press hint nor its stopped line: the window ended the run.
    const QString closed = QStringLiteral(
        "---------------------------------------------------       窗口关闭，传送中断！");
    const Lines lines = pane();
    ASSERT_EQ(lines.size(), 9) << lines.join('|').toStdString();
    EXPECT_EQ(lines.mid(0, 5),
              (Lines{QStringLiteral("★☆         您共选择了 1 个文件         ☆★"), "", start("A"),
                     notEncrypted, gbkNames}));
    EXPECT_TRUE(bigCut.match(lines[5]).hasMatch()) << lines[5].toStdString();
    EXPECT_EQ(lines.mid(6), (Lines{closed, "", ending}));
    QFile log(logFilePath());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString written = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(written.contains(closed) && written.contains(lines[5]));
    EXPECT_FALSE(ftpClient()->connected());
    EXPECT_EQ(readSettings("Dirt.cfg"), QFile::encodeName(m_notices.path()) + "/\r\nout\r\n\r\n");
    destroy();
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(SendRunTest, APortSetInTheGridReachesTheStationAndChineseNamesArriveAsUtf8)
{
    StationServer server("127.0.0.2");
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    ASSERT_NE(server.port(), 21);
    const QString holiday = QStringLiteral("放假通知.txt");
    QFile::remove(m_notices.path("z.txt"));
    m_notices.addFile(holiday, "holiday");
    writeSettings("Addf.cfg", hostRecord("A", "127.0.0.2", "clerk", "pw"));
    open();
    // The client's own port is not what reaches the station.
    ftpClient()->Port = 1;
    openGrid();
    EXPECT_EQ(gridText(5, 1), "21") << "a station without an entry";
    EXPECT_EQ(gridText(6, 1), "auto");
    typeIntoGrid(5, 1, QString::number(server.port()));
    // The mode is chosen from a list.
    auto* grid = child<QTableWidget>("stationGrid");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(0, 5)).center());
    auto* modes = qobject_cast<QComboBox*>(QApplication::focusWidget());
    ASSERT_NE(modes, nullptr);
    EXPECT_EQ(modes->count(), 3);
    modes->setCurrentText(QStringLiteral("被动"));
    // The temporary-name box is ticked with the space bar.
    grid->setFocus();
    grid->setCurrentCell(0, 6);
    QTest::keyClick(grid, Qt::Key_Space);
    clickTab(0);
    EXPECT_EQ(StationSettings(settingsFile("Stations.ini"))
                  .load({{"A", "127.0.0.2", "clerk", "pw"}})
                  .value(0)
                  .options,
              (StationOptions{server.port(), TransferMode::Passive, true}));
    EXPECT_EQ(readSettings("Addf.cfg"), hostRecord("A", "127.0.0.2", "clerk", "pw"));

    auto* view = child<FileListView>("noticeList");
    view->setFocus();
    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(m_form->noticeSelection().names().size(), 2);
    send();
    EXPECT_EQ(
        pane(),
        (Lines{header2, "", start("A"), QStringLiteral("    未加密（服务器不支持 TLS）"), utf8Names,
               notice1Sent, QStringLiteral("    %1  已传送 7 字节，已核对").arg(holiday), success,
               "", ending}));
    // pyftpdlib stores the name's bytes as they came: UTF-8.
    EXPECT_EQ(server.received("in/" + holiday), QByteArray("holiday"));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(SendRunTest, AutoEncryptsWhereTheServerCanAndRemembersItsCertificate)
{
    StationServer plain("127.0.0.3");
    ASSERT_TRUE(plain.isRunning()) << plain.errorString().toStdString();
    testsupport::FtpServerProcess secure({.address = "127.0.0.2",
                                          .user = "clerk",
                                          .password = "pw",
                                          .port = plain.port(),
                                          .tls = true});
    ASSERT_TRUE(secure.isRunning()) << secure.errorString().toStdString();
    QDir(secure.rootPath()).mkdir(QStringLiteral("in"));
    openWith(hostRecord("A", "127.0.0.2", "clerk", "pw")
                 + hostRecord("B", "127.0.0.3", "clerk", "pw"),
             plain.port(), TlsMode::Auto);

    send();
    const QByteArray print = secure.certificateFingerprint();
    EXPECT_EQ(pane(),
              (Lines{header2, "", start("A"), QStringLiteral("    已加密 TLS 1.3"),
                     QStringLiteral("    已记住站点证书 SHA-256 ") + QString::fromLatin1(print),
                     utf8Names, notice1Sent, zSent, success, start("B"),
                     QStringLiteral("    未加密（服务器不支持 TLS）"), utf8Names, notice1Sent,
                     zSent, success, "", ending}));
    const StationSettings settings(settingsFile("Stations.ini"));
    EXPECT_EQ(settings.certificate("127.0.0.2", plain.port()), print);
    EXPECT_EQ(settings.certificate("127.0.0.3", plain.port()), QByteArray());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

namespace {

const QString notice1Unchecked =
    QStringLiteral("    notice1.txt  已传送 14 字节，未核对（服务器不支持 SIZE）");
const QString zUnchecked =
    QStringLiteral("    z.txt  已传送 100,000 字节，未核对（服务器不支持 SIZE）");

// A scripted station that takes `wait` to answer USER and stores both notices over PORT.
void storesBoth(testsupport::ScriptedFtpPeer& peer, std::chrono::milliseconds wait)
{
    peer.send("220 Ready\r\n").delay(wait).reply("331 Password?\r\n").reply("230 In\r\n");
    peer.reply(testsupport::featUnknown).reply("250 Ok\r\n").reply("200 Type\r\n");
    for (int file = 0; file < 2; ++file)
        peer.reply("200 Port\r\n").reply("150 Go\r\n").transfer().send("226 Done\r\n");
    peer.reply("221 Bye\r\n");
}

} // namespace

TEST_F(SendRunTest, StationsGoSideBySideUpToTheSetNumberAndThePaneKeepsEachStationsLinesTogether)
{
    for (const int parallel : {2, 4}) {
        SCOPED_TRACE(parallel);
        testsupport::ScriptedFtpPeer a("127.0.0.2");
        storesBoth(a, 500ms);
        StationServer b("127.0.0.3", a.port());
        ASSERT_TRUE(b.isRunning()) << b.errorString().toStdString();
        testsupport::ScriptedFtpPeer c("127.0.0.4", a.port());
        c.send("220 Ready\r\n").delay(500ms).reply("331 Password?\r\n").reply("530 No\r\n");
        testsupport::ScriptedFtpPeer d("127.0.0.5", a.port());
        storesBoth(d, 500ms);
        // The real server last: every other station is slow enough to be under way when the
        // first one ends, however slow the machine.
        openWith(hostRecord("A", "127.0.0.2", "clerk", "pw")
                     + hostRecord("B", "127.0.0.5", "clerk", "pw")
                     + hostRecord("C", "127.0.0.4", "clerk", "pw")
                     + hostRecord("D", "127.0.0.3", "clerk", "pw"),
                 a.port(), TlsMode::Off, parallel);
        for (testsupport::ScriptedFtpPeer* peer : {&a, &c, &d})
            peer->start();
        RunReport report;
        watchRuns(report);

        send();
        EXPECT_EQ(pane(),
                  (Lines{header2,
                         "",
                         start("A"),
                         notEncrypted,
                         gbkNames,
                         notice1Unchecked,
                         zUnchecked,
                         success,
                         start("B"),
                         notEncrypted,
                         gbkNames,
                         notice1Unchecked,
                         zUnchecked,
                         success,
                         start("C"),
                         networkError,
                         QStringLiteral("    登录失败：530 No"),
                         start("D"),
                         notEncrypted,
                         utf8Names,
                         notice1Sent,
                         zSent,
                         success,
                         "",
                         ending,
                         retry}));
        EXPECT_EQ(ticked(), Lines{"C"});
        // Never more than N at once; N at once as soon as the run starts.
        EXPECT_LE(report.mostUnderWay, parallel);
        EXPECT_EQ(report.startedAtFirstEnd, parallel);
        const QList<StationState> delivered{StationState::Connecting, StationState::LoggingIn,
                                            StationState::Sending, StationState::Done};
        for (int station : {0, 1, 3}) {
            QList<StationState> states = report.states[station];
            states.removeAll(StationState::Checking);
            EXPECT_EQ(states, delivered) << station;
            ASSERT_EQ(report.results[station].size(), 2);
            EXPECT_EQ(report.results[station][1].notice, "z.txt");
        }
        EXPECT_EQ(report.results[3][0].result, NoticeResult::DeliveredChecked);
        EXPECT_EQ(report.results[0][0].result, NoticeResult::DeliveredUnchecked);
        EXPECT_EQ(report.states[2].last(), StationState::Failed);
        EXPECT_EQ(report.results[2].value(1).result, NoticeResult::NotDelivered);
        EXPECT_EQ(report.results[2].value(1).reason, QStringLiteral("登录失败：530 No"));
        EXPECT_EQ(b.received("in/z.txt"), QByteArray(100000, 'z'));
        EXPECT_TRUE(d.waitUntilFinished());
        m_form.reset();
    }
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(SendRunTest, ASilentStationCostsItsConnectLimitOnItsOwnThreadOnly)
{
    testsupport::ScriptedFtpPeer silent("127.0.0.2");
    silent.delay(5000ms); // accepts, never greets
    testsupport::ScriptedFtpPeer good("127.0.0.3", silent.port());
    storesBoth(good, 0ms);
    openWith(hostRecord("S", "127.0.0.2", "clerk", "pw")
                 + hostRecord("G", "127.0.0.3", "clerk", "pw"),
             silent.port(), TlsMode::Off, 2);
    silent.start();
    good.start();
    setRunValue("connectLimitSeconds", 1);
    setRunValue("idleLimitSeconds", 30);
    RunReport report;
    watchRuns(report);

    send();
    // G is done long before S's limit; S gives up after the connect limit, not the idle one.
    EXPECT_LT(report.endedAt.value(1, 99999), 900);
    EXPECT_GE(report.endedAt.value(0), 1000);
    EXPECT_LT(report.endedAt.value(0), 3000);
    EXPECT_EQ(
        pane(),
        (Lines{header2, "", start("S"), networkError,
               QStringLiteral("    连接 127.0.0.2:%1 失败：1 秒内没有回应").arg(silent.port()),
               start("G"), notEncrypted, gbkNames, notice1Unchecked, zUnchecked, success, "",
               ending, retry}));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(SendRunTest, StopReachesEveryWaitingStationAtOnceAndTheGridIsReadOnlyMeanwhile)
{
    std::vector<std::unique_ptr<testsupport::ScriptedFtpPeer>> peers;
    QByteArray stations;
    for (const char* name : {"A", "B", "C", "D"}) {
        const QByteArray address = "127.0.0." + QByteArray::number(2 + peers.size());
        peers.push_back(std::make_unique<testsupport::ScriptedFtpPeer>(
            address, peers.empty() ? 0 : peers.front()->port()));
        peers.back()->send("220 Ready\r\n").command(); // USER gets no answer
        stations += hostRecord(name, address, "clerk", "pw");
    }
    openWith(stations, peers.front()->port(), TlsMode::Off, 4);
    for (const auto& peer : peers)
        peer->start();
    openGrid();
    QElapsedTimer sinceStop;
    bool readOnly = false;
    whenDuringRun(
        [&] {
            return std::all_of(peers.begin(), peers.end(),
                               [](const auto& peer) { return hasCommand(*peer, "USER"); });
        },
        [&] {
            readOnly = !child<QTableWidget>("stationGrid")->isEnabled()
                && !child<QPushButton>("sendButton")->isEnabled();
            sinceStop.start();
            stop();
        });
    send();
    EXPECT_LT(sinceStop.elapsed(), 1000);
    EXPECT_TRUE(readOnly);
    EXPECT_TRUE(child<QTableWidget>("stationGrid")->isEnabled());
    EXPECT_EQ(pane(),
              (Lines{header2, "", start("A"), start("B"), start("C"), start("D"), stopped, "",
                     ending, retry}));
    EXPECT_EQ(ticked(), (Lines{"A", "B", "C", "D"}));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(SendRunTest, AStationWhoseSessionThrowsEndsWithItsOwnLineAndTheOthersGoOn)
{
    testsupport::ScriptedFtpPeer a("127.0.0.2");
    storesBoth(a, 0ms);
    openWith(hostRecord("X", "127.0.0.3", "clerk", "pw")
                 + hostRecord("A", "127.0.0.2", "clerk", "pw"),
             a.port(), TlsMode::Off, 2);
    a.start();
    RunReport report;
    report.onStart = [](RunCoordinator& run) {
        run.beforeSession = [](int station) {
            if (station == 0)
                throw std::runtime_error("boom");
        };
    };
    watchRuns(report);

    send();
    EXPECT_EQ(
        pane(),
        (Lines{header2, "", start("X"), QStringLiteral("    意外错误：boom"), start("A"),
               notEncrypted, gbkNames, notice1Unchecked, zUnchecked, success, "", ending, retry}));
    EXPECT_EQ(report.states[0].last(), StationState::Failed);
    EXPECT_EQ(ticked(), Lines{"X"});
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}
