// Send runs driven through the window against FTP servers on loopback addresses.
#include "WindowFixture.h"

#include "controls/explorer/FileListView.h"
#include "ftp/FtpClient.h"
#include "tests/support/FtpServerProcess.h"
#include "tests/support/ScriptedFtpPeer.h"
#include "tests/support/TempTree.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

#include <functional>

using Lines = QStringList;

namespace {

const QString header2 = QStringLiteral("★☆         您共选择了 2 个文件         ☆★");
const QString success = QStringLiteral("++++++++++++++++++++++++++      传送成功！");
const QString networkError =
    QStringLiteral("------------------------------ 网络错误，请查明原因！");
const QString stopped =
    QStringLiteral("---------------------------------------------------       用户终止！");
const QString ending = QStringLiteral("        --------======  传送完毕  ======--------");

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

QString start(const QString& name)
{
    return QStringLiteral("开始向  %1  传送...").arg(name);
}

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

    // Opens the window with these stations and both notices selected.
    void openWith(const QByteArray& stations, quint16 port)
    {
        writeSettings("Addf.cfg", stations);
        open();
        ftpClient()->Port = port;
        auto* view = child<FileListView>("noticeList");
        ASSERT_EQ(view->count(), 2);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          view->visualItemRect(view->item(0)).center());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                          view->visualItemRect(view->item(1)).center());
        ASSERT_EQ(m_form->noticeSelection().names().size(), 2);
    }

    FtpClient* ftpClient() const
    {
        return dynamic_cast<FtpClient*>(m_form->findChild<QObject*>("ftpClient"));
    }

    void send() { QTest::mouseClick(child<QPushButton>("sendButton"), Qt::LeftButton); }

    Lines pane() const { return child<QTextEdit>("logPane")->toPlainText().split(u'\n'); }

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

TEST_F(SendRunTest, TwoStationsGetBothFilesUnderLowerCaseNamesUntilAFileIsGone)
{
    StationServer first("127.0.0.2");
    ASSERT_TRUE(first.isRunning()) << first.errorString().toStdString();
    StationServer second("127.0.0.3", first.port());
    ASSERT_TRUE(second.isRunning()) << second.errorString().toStdString();
    openWith(hostRecord("\xD7\xDC\xB2\xBF", "127.0.0.2", "clerk", "pw")
                 + hostRecord("B", "127.0.0.3", "clerk", "pw"),
             first.port());

    send();
    EXPECT_EQ(pane(),
              (Lines{header2, "", start(QStringLiteral("总部")), success, start("B"), success, "",
                     ending}));
    for (const StationServer* station : {&first, &second}) {
        EXPECT_EQ(station->received("in/notice1.txt"), QByteArray("first notice\r\n"));
        EXPECT_EQ(station->received("in/z.txt"), QByteArray(100000, 'z'));
    }
    EXPECT_FALSE(ftpClient()->Connected);
    EXPECT_TRUE(child<QPushButton>("sendButton")->isEnabled());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();

    // A selected file deleted before Send: the error box says so and the run ends there.
    QFile::remove(m_notices.path("z.txt"));
    send();
    EXPECT_EQ(m_errors, QStringList{"Cannot open file " + m_notices.path("z.txt") + "."});
    EXPECT_EQ(pane(), (Lines{header2, "", start(QStringLiteral("总部"))})) << "no further lines";
    EXPECT_TRUE(child<QPushButton>("sendButton")->isEnabled());
}

TEST_F(SendRunTest, EachFailingStationGetsARedLineAndTheRunGoesOn)
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
                 + hostRecord("good", "127.0.0.2", "clerk", "pw"),
             port);
    send();
    EXPECT_EQ(
        pane(),
        (Lines{header2, "", start("closed"), networkError, start("good"), success, start("wrong"),
               networkError, start("nofolder"), networkError, start("good"), success, "", ending}));
    EXPECT_EQ(good.received("in/notice1.txt"), QByteArray("first notice\r\n"));
    EXPECT_EQ(good.received("in/z.txt"), QByteArray(100000, 'z'));
    EXPECT_EQ(noFolder.received("notice1.txt"), "<none>");

    // Error lines are red, the others in the window-text colour, also after the run.
    const QColor text = child<QTextEdit>("logPane")->palette().color(QPalette::Text);
    const QList<QColor> colours = lineColours();
    ASSERT_EQ(colours.size(), 12);
    const Lines texts = [&] {
        Lines l = pane();
        l.removeAll(QString());
        return l;
    }();
    for (int line = 0; line < texts.size(); ++line)
        EXPECT_EQ(colours[line], texts[line] == networkError ? QColor(255, 0, 0) : text) << line;
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(SendRunTest, NothingSelectedOrNoStationTickedContactsNobody)
{
    testsupport::ScriptedFtpPeer station("127.0.0.2");
    station.send("220 Ready\r\n");
    station.start();
    openWith(hostRecord("A", "127.0.0.2", "clerk", "pw"), station.port());

    auto* list = child<QListWidget>("stationList");
    list->item(0)->setCheckState(Qt::Unchecked);
    child<QLineEdit>("remoteFolderEdit")->clear();
    send();
    EXPECT_EQ(pane(), (Lines{header2, "", "", ending}));
    EXPECT_EQ(child<QLineEdit>("remoteFolderEdit")->text(), ".")
        << "an empty remote folder becomes the login folder";

    // Ctrl+click on both selected items: the table is empty.
    list->item(0)->setCheckState(Qt::Checked);
    auto* view = child<FileListView>("noticeList");
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      view->visualItemRect(view->item(0)).center());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      view->visualItemRect(view->item(1)).center());
    ASSERT_TRUE(m_form->noticeSelection().names().isEmpty());
    // Alt+S presses Send.
    QTest::keyClick(m_form.get(), Qt::Key_S, Qt::AltModifier);
    const Lines nothing{QStringLiteral("★☆         您共选择了 0 个文件         ☆★"), "", ending};
    QTRY_COMPARE(pane(), nothing);
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

TEST_F(SendRunTest, StopEndsTheRunAfterTheCurrentUploadAndTheNextRunClosesTheConnection)
{
    testsupport::ScriptedFtpPeer first("127.0.0.2");
    first.send("220 Ready\r\n")
        .reply("331 Password?\r\n")
        .reply("230 In\r\n")
        .reply("250 Ok\r\n")
        .reply("200 Type\r\n")
        .reply("200 Port\r\n")
        .reply("150 Go\r\n")
        .transfer()
        .delay(std::chrono::milliseconds(600))
        .send("226 Done\r\n")
        .reply("221 Bye\r\n");
    first.start();
    openWith(hostRecord("A", "127.0.0.2", "clerk", "pw"), first.port());

    bool sendDisabled = false;
    whenDuringRun([&] { return hasCommand(first, "STOR"); },
                  [&] {
                      sendDisabled = !child<QPushButton>("sendButton")->isEnabled();
                      QTest::keyClick(m_form.get(), Qt::Key_C, Qt::AltModifier); // Stop
                  });
    send();
    EXPECT_TRUE(sendDisabled) << "no second run while one is in progress";
    EXPECT_EQ(pane(), (Lines{header2, "", start("A"), stopped, "", ending}));
    EXPECT_EQ(first.uploads().value(0), QByteArray("first notice\r\n"))
        << "the current upload completes";
    EXPECT_FALSE(hasCommand(first, "STOR z.txt"));
    EXPECT_TRUE(ftpClient()->Connected) << "left open until the next run";

    child<QListWidget>("stationList")->item(0)->setCheckState(Qt::Unchecked);
    send();
    EXPECT_FALSE(ftpClient()->Connected);
    ASSERT_TRUE(first.waitUntilPlayed());
    EXPECT_EQ(first.commands().last(), QByteArray("QUIT\r\n"));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(SendRunTest, ClosingTheWindowDuringARunStopsItAndThenCloses)
{
    testsupport::ScriptedFtpPeer silent("127.0.0.2");
    silent.send("220 Ready\r\n").command(); // USER gets no answer
    silent.start();
    openWith(hostRecord("A", "127.0.0.2", "clerk", "pw"), silent.port());
    child<QLineEdit>("remoteFolderEdit")->setText("out");

    MainWindow* form = m_form.get();
    whenDuringRun([&] { return hasCommand(silent, "USER"); }, [form] { form->close(); });
    QElapsedTimer clock;
    clock.start();
    send();
    EXPECT_LT(clock.elapsed(), 10000) << "the network wait was cancelled";
    QTRY_VERIFY_WITH_TIMEOUT(!form->isVisible(), 5000);
    EXPECT_EQ(pane(), (Lines{header2, "", start("A"), networkError, "", ending}));
    EXPECT_EQ(readSettings("Dirt.cfg"), QFile::encodeName(m_notices.path()) + "/\r\nout\r\n\r\n");
    destroy();
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}
