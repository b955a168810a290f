// The send run driven directly against scripted FTP peers: its log lines and dialogues.
#include "app/SendRun.h"

#include "app/RunLog.h"
#include "app/RunTexts.h"
#include "app/StationSettings.h"
#include "app/StationWorker.h"
#include "ftp/FtpClient.h"
#include "ftp/SftpSession.h"
#include "tests/app/RunLogLines.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/ScopedVariable.h"
#include "tests/support/ScriptedFtpPeer.h"
#include "tests/support/SshServerProcess.h"
#include "tests/support/TempTree.h"
#include "tests/support/WorkerThreads.h"

#include <QCryptographicHash>
#include <QFile>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

using Lines = QStringList;
using Commands = QList<QByteArray>;

using runlines::ending;
using runlines::header2;
using runlines::stopped;
using runlines::success;
// Error lines are marked as the pane shows them: red.
const QString networkError = QStringLiteral("red: ") + runlines::networkError;
// Written once a station's login told the session's name encoding.
const QString gbkNames = QStringLiteral("    文件名编码：GBK");
// Before it: the client's own TLS choice (off) serves runs without a Stations.ini.
const QString notEncrypted = QStringLiteral("    未加密（该站点设为不加密）");
// In place of the success line: a station that did not get one of the two notices.
const QString oneOfTwoMissing =
    QStringLiteral("red: ------------------------------ 1 / 2 个文件未送达，请查明原因！");

QString start(const QString& name)
{
    return QStringLiteral("开始向  %1  传送...").arg(name);
}

Station station(const QString& name, const QString& address, const QString& password = "pw")
{
    return {.name = name, .address = address, .user = "clerk", .password = password};
}

// The commands a peer received, PORT arguments left out.
Commands dialogue(const testsupport::ScriptedFtpPeer& peer)
{
    Commands commands = peer.commands();
    for (QByteArray& command : commands)
        if (command.startsWith("PORT "))
            command = "PORT";
    return commands;
}

// Greeting and login of user "clerk".
testsupport::ScriptedFtpPeer& loggedIn(testsupport::ScriptedFtpPeer& peer)
{
    return peer.send("220 Ready\r\n")
        .reply("331 Password?\r\n")
        .reply("230 In\r\n")
        .reply(testsupport::featUnknown);
}

// After the login, CWD and TYPE accepted and `files` files stored over PORT.
testsupport::ScriptedFtpPeer& storesOverPort(testsupport::ScriptedFtpPeer& peer, int files)
{
    loggedIn(peer).reply("250 Ok\r\n").reply("200 Type\r\n");
    for (int file = 0; file < files; ++file)
        peer.reply("200 Port\r\n").reply("150 Go\r\n").transfer().send("226 Done\r\n");
    return peer;
}

class SendRunLog : public testing::Test {
protected:
    void SetUp() override
    {
        // A run that waits on a peer whose script has ended fails in seconds.
        m_client.setIdleLimit(5000);
        ASSERT_TRUE(m_notices.isValid());
        // On disk with capitals; the station gets the names lower-cased.
        m_notices.addFile("Notice1.TXT", "first notice\r\n");
        m_notices.addFile("z.txt", "zz");
        m_selection = NoticeSelection(m_notices.path());
        m_selection.add("Notice1.TXT");
        m_selection.add("z.txt");
    }

    RunLog::PaneSink sink()
    {
        return [this](const QString& line, bool isError) {
            m_log << (isError ? "red: " + line : line);
        };
    }

    FtpClient m_client;
    testsupport::TempTree m_notices;
    NoticeSelection m_selection;
    Lines m_log;
};

} // namespace

TEST_F(SendRunLog, EveryFileAndEveryFailureGetsItsLineAndTheRunGoesOn)
{
    testsupport::ScriptedFtpPeer good("127.0.0.2");
    storesOverPort(good, 2).reply("221 Bye\r\n");
    good.start();
    const quint16 port = good.port();
    m_client.Port = port;
    testsupport::ScriptedFtpPeer refused("127.0.0.3", port);
    refused.send("220 Ready\r\n")
        .reply("331 Password?\r\n")
        .reply("530 Login incorrect\r\n")
        .reply("221 Bye\r\n");
    refused.start();
    // Refuses the first file after its data arrived, in a reply of two lines: the rest of the
    // station's files are not sent.
    testsupport::ScriptedFtpPeer full("127.0.0.5", port);
    loggedIn(full)
        .reply("250 Ok\r\n")
        .reply("200 Type\r\n")
        .reply("200 Port\r\n")
        .reply("150 Go\r\n")
        .transfer()
        .send("552-Quota exceeded\r\n552 Only part of it was stored\r\n")
        .reply("221 Bye\r\n");
    full.start();
    // Checked before the first station: a file that is gone, a name with a line break; a
    // name GBK cannot hold is refused at each station and never sent with a substitute.
    m_selection.add("gone.txt");
    m_notices.addFile("two\nlines.txt", "x");
    m_selection.add("two\nlines.txt");
    m_notices.addFile(QStringLiteral("공지.txt"), "korean");
    m_selection.add(QStringLiteral("공지.txt"));
    // Found by its exact name only; names that are one on the station, or that would leave
    // the remote folder, are refused for every station.
    m_notices.addFile("one.txt", "1");
    m_notices.addFile("Same.txt", "upper");
    m_notices.addFile("same.TXT", "lower");
    m_notices.addFile("a\\b.txt", "backslash");
    m_notices.addFile("...", "dots");
    m_notices.addFile("sub/x.txt", "below");
    for (const char* name : {"ONE.txt", "Same.txt", "same.TXT", "a\\b.txt", "...", "sub/x.txt"})
        m_selection.add(name);

    // An empty remote folder is the login folder.
    RunLog log(sink());
    SendRun run(m_client, log,
                {station("good", "127.0.0.2"), station("wrong", "127.0.0.3", "bad"),
                 station("closed", "127.0.0.4"), // nothing listens there
                 station("blank", " "), station("full", "127.0.0.5")},
                QString(), m_selection);
    run.run();

    // The cause holds every line of the reply, but not its raw continuation marks.
    const QString cause = m_log.value(m_log.size() - 3);
    EXPECT_TRUE(cause.startsWith("    ") && cause.contains("Quota exceeded")
                && cause.contains("Only part of it was stored") && !cause.contains("552-"))
        << cause.toStdString();
    m_log[m_log.size() - 3] = "<cause>";
    const QString korean =
        QStringLiteral("    공지.txt  未传送：文件名 공지.txt 无法用服务器的编码（GBK）表示");
    EXPECT_EQ(
        m_log,
        (Lines{
            QStringLiteral("★☆         您共选择了 11 个文件         ☆★"),
            QStringLiteral("red: 找不到文件 gone.txt，不传送"),
            QStringLiteral("red: 文件名 two\\nlines.txt 含换行符，不传送"),
            QStringLiteral("red: 找不到文件 ONE.txt，不传送"),
            QStringLiteral("red: 文件 Same.txt、same.TXT 在站点上同名（same.txt），都不传送"),
            QStringLiteral("red: 文件名 a\\b.txt 含路径分隔符或只有点，不传送"),
            QStringLiteral("red: 文件名 ... 含路径分隔符或只有点，不传送"),
            QStringLiteral("red: 文件名 sub/x.txt 含路径分隔符或只有点，不传送"),
            "",
            start("good"),
            notEncrypted,
            gbkNames,
            QStringLiteral("    notice1.txt  已传送 14 字节，未核对（服务器不支持 SIZE）"),
            QStringLiteral("    z.txt  已传送 2 字节，未核对（服务器不支持 SIZE）"),
            korean,
            QStringLiteral("red: ------------------------------ 9 / 11 个文件未送达，请查明原因！"),
            start("wrong"),
            networkError,
            QStringLiteral("    登录失败：530 Login incorrect"),
            start("closed"),
            networkError,
            QStringLiteral("    连接 127.0.0.4:%1 失败：连接被拒绝").arg(port),
            start("blank"),
            networkError,
            QStringLiteral("    该站点没有 IP 地址"),
            start("full"),
            notEncrypted,
            gbkNames,
            QStringLiteral(
                "red:     notice1.txt  已发送 14 / 14 字节；站点上的 notice1.txt 不完整"),
            networkError,
            "<cause>",
            "",
            ending}));
    ASSERT_TRUE(good.waitUntilFinished());
    EXPECT_EQ(dialogue(good),
              (Commands{"USER clerk\r\n", "PASS pw\r\n", "FEAT\r\n", "CWD .\r\n", "TYPE L 8\r\n",
                        "PORT", "STOR notice1.txt\r\n", "PORT", "STOR z.txt\r\n", "QUIT\r\n"}));
    EXPECT_EQ(good.uploads(), (Commands{"first notice\r\n", "zz"}))
        << "sent under its name lower-cased";
    ASSERT_TRUE(refused.waitUntilFinished());
    EXPECT_EQ(dialogue(refused).mid(0, 2), (Commands{"USER clerk\r\n", "PASS bad\r\n"}));
    ASSERT_TRUE(full.waitUntilFinished());
    EXPECT_EQ(dialogue(full),
              (Commands{"USER clerk\r\n", "PASS pw\r\n", "FEAT\r\n", "CWD .\r\n", "TYPE L 8\r\n",
                        "PORT", "STOR notice1.txt\r\n", "QUIT\r\n"}));
    EXPECT_FALSE(m_client.connected());
    EXPECT_EQ(run.unfinishedStations(), (QList<qsizetype>{0, 1, 2, 3, 4}));
}

TEST_F(SendRunLog, UncertainOptionsGetTheDefaultsAndALoginThatIsNotOneLineIsRefused)
{
    testsupport::TempTree settings;
    ASSERT_TRUE(settings.isValid());
    // Saved for "A"; Addf.cfg was edited elsewhere: A's port must not serve "A2".
    StationSettings(settings.path("Stations.ini"))
        .save({{station("A", "127.0.0.2"), {2121, TransferMode::Passive}}});
    RunLog log(sink());
    // A NUL in a password read from the file never reaches the wire.
    SendRun run(
        m_client, log,
        {station("A2", "127.0.0.2"), station("N", "127.0.0.3", QStringLiteral("p") + QChar(0))},
        "in", m_selection);
    run.useStationSettings(settings.path("Stations.ini"));
    run.run();
    EXPECT_EQ(
        m_log.mid(2, 7),
        (Lines{start("A2"),
               QStringLiteral("red:     站点文件已在别处修改，无法确定该站点的设置；"
                              "按默认设置连接（auto，端口 21）"),
               networkError, QStringLiteral("    连接 127.0.0.2:21 失败：连接被拒绝"), start("N"),
               networkError, QStringLiteral("red:     用户名或口令含有换行符或空字符，未登录")}))
        << m_log.join('\n').toStdString();
}

TEST_F(SendRunLog, StopBeforeAStationContactsNoOneMoreAndLeavesNothingOpen)
{
    testsupport::ScriptedFtpPeer first("127.0.0.2");
    storesOverPort(first, 1).reply("221 Bye\r\n");
    first.start();
    m_client.Port = first.port();
    testsupport::ScriptedFtpPeer second("127.0.0.3", first.port());
    second.send("220 Ready\r\n");
    second.start();

    // Stop pressed as the second station is started: it is not contacted; it and the
    // stations after it are what a retry sends to.
    SendRun* running = nullptr;
    RunLog log([&](const QString& line, bool isError) {
        sink()(line, isError);
        if (line == start("B"))
            running->requestStop();
    });
    NoticeSelection one(m_notices.path());
    one.add("z.txt");
    SendRun run(m_client, log,
                {station("A", "127.0.0.2"), station("B", "127.0.0.3"), station("C", "127.0.0.3")},
                "in", one);
    running = &run;
    run.run();
    EXPECT_EQ(m_log,
              (Lines{QStringLiteral("★☆         您共选择了 1 个文件         ☆★"), "", start("A"),
                     notEncrypted, gbkNames,
                     QStringLiteral("    z.txt  已传送 2 字节，未核对（服务器不支持 SIZE）"),
                     success, start("B"), stopped, "", ending}));
    ASSERT_TRUE(first.waitUntilFinished());
    EXPECT_EQ(first.commands().last(), QByteArray("QUIT\r\n"));
    EXPECT_EQ(second.connectionCount(), 0);
    EXPECT_EQ(run.unfinishedStations(), (QList<qsizetype>{1, 2}));
    EXPECT_FALSE(m_client.connected());
}

TEST_F(SendRunLog, AutoModeFallsBackToActiveWhenTheServerRefusesPassiveModeAndSaysSo)
{
    // The server refuses PASV: the file goes over PORT instead, and the session stays
    // active for the next file.
    testsupport::ScriptedFtpPeer peer("127.0.0.2");
    loggedIn(peer)
        .reply("250 Ok\r\n")
        .reply("200 Type\r\n")
        .reply("550 Passive mode not allowed.\r\n")
        .reply("200 Port\r\n")
        .reply("150 Go\r\n")
        .transfer()
        .send("226 Done\r\n")
        .reply("200 Port\r\n")
        .reply("150 Go\r\n")
        .transfer()
        .send("226 Done\r\n")
        .reply("221 Bye\r\n");
    peer.start();
    testsupport::TempTree settings;
    ASSERT_TRUE(settings.isValid());
    // The station's own port wins over the client's.
    StationSettings(settings.path("Stations.ini"))
        .save({{station("A", "127.0.0.2"), {peer.port(), {}, false, TlsMode::Off}}});
    m_client.Port = 1;

    RunLog log(sink());
    SendRun run(m_client, log, {station("A", "127.0.0.2")}, "in", m_selection);
    run.useStationSettings(settings.path("Stations.ini"));
    run.run();

    ASSERT_EQ(m_log.size(), 11) << m_log.join('|').toStdString();
    EXPECT_EQ(m_log.mid(0, 5), (Lines{header2, "", start("A"), notEncrypted, gbkNames}));
    EXPECT_TRUE(m_log[5].startsWith(QStringLiteral("    改用主动模式："))
                && m_log[5].contains("550 Passive mode not allowed."))
        << m_log[5].toStdString();
    EXPECT_EQ(m_log.mid(6),
              (Lines{QStringLiteral("    notice1.txt  已传送 14 字节，未核对（服务器不支持 SIZE）"),
                     QStringLiteral("    z.txt  已传送 2 字节，未核对（服务器不支持 SIZE）"),
                     success, "", ending}));
    ASSERT_TRUE(peer.waitUntilFinished());
    EXPECT_EQ(dialogue(peer),
              (Commands{"USER clerk\r\n", "PASS pw\r\n", "FEAT\r\n", "CWD in\r\n", "TYPE L 8\r\n",
                        "PASV\r\n", "PORT", "STOR notice1.txt\r\n", "PORT", "STOR z.txt\r\n",
                        "QUIT\r\n"}));
    EXPECT_EQ(peer.uploads(), (Commands{"first notice\r\n", "zz"}));
}

TEST_F(SendRunLog, AFailedCheckFailsTheStationButItsNextFileStillGoes)
{
    const QByteArray zHash = QCryptographicHash::hash("zz", QCryptographicHash::Sha256).toHex();
    const QByteArray listsSize = "211-Features:\r\n SIZE\r\n211 End\r\n";
    struct Case {
        QByteArray feat;
        QByteArray firstReply;  // to the check of notice1.txt (14 bytes sent)
        QByteArray secondReply; // to the check of z.txt ("zz")
        QString cause;
        QString check = "SIZE"; // or the hash algorithm, selected by OPTS HASH
    };
    const QList<Case> cases{
        {listsSize, "213 1\r\n", "213 2\r\n",
         QStringLiteral("服务器上的文件为 1 字节，已发送 14 字节，文件不完整")},
        {listsSize, "550 No such file.\r\n", "213 2\r\n",
         QStringLiteral("服务器无法核对文件大小：550 No such file.")},
        {listsSize, "213 two\r\n", "213 2\r\n", QStringLiteral("服务器无法核对文件大小：213 two")},
        {"211-Features:\r\n HASH MD5*;SHA-256\r\n SIZE\r\n211 End\r\n",
         "213 SHA-256 0-14 " + zHash + " notice1.txt\r\n",
         "213 SHA-256 0-2 " + zHash + " z.txt\r\n",
         QStringLiteral("服务器上文件的 SHA-256 与发送的内容不符，文件不完整"), "SHA-256"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firstReply.toStdString());
        const bool hash = c.check != "SIZE";
        m_log.clear();
        testsupport::ScriptedFtpPeer peer("127.0.0.2");
        peer.send("220 Ready\r\n")
            .reply("331 Password?\r\n")
            .reply("230 In\r\n")
            .reply(c.feat)
            .reply("250 Ok\r\n")
            .reply("200 Type\r\n");
        if (hash)
            peer.reply("200 SHA-256\r\n");
        peer.reply("200 Port\r\n")
            .reply("150 Go\r\n")
            .transfer()
            .send("226 Done\r\n")
            .reply(c.firstReply)
            .reply("200 Port\r\n")
            .reply("150 Go\r\n")
            .transfer()
            .send("226 Done\r\n")
            .reply(c.secondReply)
            .reply("221 Bye\r\n");
        peer.start();
        m_client.Port = peer.port();
        testsupport::TempTree logs;
        ASSERT_TRUE(logs.isValid());

        {
            RunLog log(sink(), logs.path("run.log"));
            SendRun run(m_client, log, {station("A", "127.0.0.2")}, "in", m_selection);
            run.run();
            EXPECT_EQ(run.unfinishedStations(), QList<qsizetype>{0});
        }
        const QString checked = hash ? QStringLiteral("已核对（%1）").arg(c.check) : "已核对";
        EXPECT_EQ(
            m_log,
            (Lines{header2, "", start("A"), notEncrypted, gbkNames,
                   QStringLiteral("    notice1.txt  已传送 14 字节，核对不符，未送达"),
                   "red:     " + c.cause, QStringLiteral("    z.txt  已传送 2 字节，") + checked,
                   oneOfTwoMissing, "", ending}));
        ASSERT_TRUE(peer.waitUntilFinished());
        const QByteArray verb = hash ? "HASH " : "SIZE ";
        const Commands opts = hash ? Commands{"OPTS HASH SHA-256\r\n"} : Commands{};
        EXPECT_EQ(dialogue(peer).mid(5),
                  (opts
                   + Commands{"PORT", "STOR notice1.txt\r\n", verb + "notice1.txt\r\n", "PORT",
                              "STOR z.txt\r\n", verb + "z.txt\r\n", "QUIT\r\n"}));
        // The run log file tells, per file, where it went and how it was checked.
        QFile file(logs.path("run.log"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QString written = QString::fromUtf8(file.readAll());
        EXPECT_TRUE(written.contains(
            QStringLiteral("[站点 A，文件 notice1.txt，14 字节，%1 核对未通过]").arg(c.check)));
        EXPECT_TRUE(written.contains(
            QStringLiteral("[站点 A，文件 z.txt，2 字节，已用 %1 核对]").arg(c.check)));
    }
}

TEST_F(SendRunLog, AStationWithTemporaryNamesRenamesEachFileAndARefusalFailsIt)
{
    // The first file's rename is refused; the second still goes and is renamed.
    testsupport::ScriptedFtpPeer peer("127.0.0.2");
    storesOverPort(peer, 1)
        .reply("350 Ready\r\n")
        .reply("553 Not allowed\r\n")
        .reply("200 Port\r\n")
        .reply("150 Go\r\n")
        .transfer()
        .send("226 Done\r\n")
        .reply("350 Ready\r\n")
        .reply("250 Renamed\r\n")
        .reply("221 Bye\r\n");
    peer.start();
    testsupport::TempTree settings;
    ASSERT_TRUE(settings.isValid());
    StationSettings(settings.path("Stations.ini"))
        .save(
            {{station("A", "127.0.0.2"), {peer.port(), TransferMode::Active, true, TlsMode::Off}}});
    testsupport::TempTree logs;
    ASSERT_TRUE(logs.isValid());

    {
        RunLog log(sink(), logs.path("run.log"));
        SendRun run(m_client, log, {station("A", "127.0.0.2")}, "in", m_selection);
        run.useStationSettings(settings.path("Stations.ini"));
        run.run();
        EXPECT_EQ(run.unfinishedStations(), QList<qsizetype>{0});
    }

    EXPECT_EQ(m_log,
              (Lines{header2, "", start("A"), notEncrypted, gbkNames,
                     QStringLiteral("    notice1.txt  已传送 14 字节，改名被拒绝，临时文件 "
                                    "notice1.txt.part 留在服务器上"),
                     "red:     553 Not allowed",
                     QStringLiteral("    z.txt  已传送 2 字节，未核对（服务器不支持 SIZE）"),
                     oneOfTwoMissing, "", ending}));
    ASSERT_TRUE(peer.waitUntilFinished());
    EXPECT_EQ(dialogue(peer).mid(5),
              (Commands{"PORT", "STOR notice1.txt.part\r\n", "RNFR notice1.txt.part\r\n",
                        "RNTO notice1.txt\r\n", "PORT", "STOR z.txt.part\r\n",
                        "RNFR z.txt.part\r\n", "RNTO z.txt\r\n", "QUIT\r\n"}));
    // The run log file names the temporary name each file had.
    QFile file(logs.path("run.log"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(
        QString::fromUtf8(file.readAll())
            .contains(QStringLiteral("[站点 A，文件 z.txt，2 字节，未核对，临时名 z.txt.part]")));
}

TEST_F(SendRunLog, OnlyAStationThatGotEveryNoticeWholeSucceeds)
{
    // Once the station is started, the first notice shrinks and the third is deleted; the
    // server cannot check the second. A stranger tries the data connection meanwhile.
    m_notices.addFile("later.txt", "gone by then");
    m_selection.add("later.txt");
    testsupport::ScriptedFtpPeer peer("127.0.0.2");
    peer.send("220 Ready\r\n")
        .reply("331 Password?\r\n")
        .reply("230 In\r\n")
        .reply("211-Features:\r\n SIZE\r\n211 End\r\n")
        .reply("250 Ok\r\n")
        .reply("200 Type\r\n");
    for (const char* check : {"213 5\r\n", "502 SIZE not implemented\r\n"})
        peer.reply("200 Port\r\n").reply("150 Go\r\n").transfer().send("226 Done\r\n").reply(check);
    peer.reply("221 Bye\r\n").start();
    m_client.Port = peer.port();

    RunLog log([&](const QString& line, bool isError) {
        sink()(line, isError);
        if (line != start("A"))
            return;
        m_notices.addFile("Notice1.TXT", "first");
        QFile::remove(m_notices.path("later.txt"));
        m_client.OnDataCallerRefused("127.0.0.2");
    });
    SendRun run(m_client, log, {station("A", "127.0.0.2")}, "in", m_selection);
    run.run();

    EXPECT_EQ(
        m_log,
        (Lines{
            QStringLiteral("★☆         您共选择了 3 个文件         ☆★"), "", start("A"),
            QStringLiteral("red:     来自 127.0.0.2 的数据连接已拒绝：不是服务器"), notEncrypted,
            gbkNames,
            QStringLiteral("red:     notice1.txt  已发送 5 / 14 字节；站点上的 notice1.txt 不完整"),
            QStringLiteral("    z.txt  已传送 2 字节，未核对（服务器无法核对：502 SIZE not "
                           "implemented）"),
            QStringLiteral("    later.txt  未传送：无法打开本地文件"),
            QStringLiteral("red: ------------------------------ 2 / 3 个文件未送达，请查明原因！"),
            "", ending}));
    EXPECT_EQ(run.unfinishedStations(), QList<qsizetype>{0});
    ASSERT_TRUE(peer.waitUntilFinished());
    EXPECT_EQ(peer.uploads(), (Commands{"first", "zz"}));
    EXPECT_EQ(peer.commands().last(), QByteArray("QUIT\r\n"));
}

TEST(RunLogFile, ServerWordsAreCleanedAndTheFileIsTheOwnersOnlyAndNeverALinksTarget)
{
    testsupport::TempTree folder;
    ASSERT_TRUE(folder.isValid());
    Lines pane;
    const auto sink = [&](const QString& line, bool isError) {
        pane << (isError ? "red: " + line : line);
    };
    {
        RunLog log(sink, folder.path("logs/run.log"));
        log.add("    550 \x1b[2Jgone\r\x07now", true, "[\x1b]0;title\x07note]");
    }
    EXPECT_EQ(pane, Lines{"red:     550 gone  now"});
    QFile file(folder.path("logs/run.log"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().endsWith("    550 gone  now  [note]\n"));
    EXPECT_EQ(file.permissions(),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);

    // A link in the log's place: the pane says so, the run goes on, the target stays as it was.
    const QString target = folder.addFile("elsewhere", "kept");
    ASSERT_TRUE(QFile::link(target, folder.path("link.log")));
    pane.clear();
    {
        RunLog log(sink, folder.path("link.log"));
        log.add("a");
        log.add("b");
    }
    ASSERT_EQ(pane.size(), 3);
    EXPECT_TRUE(pane[1].startsWith(
        "red: " + QStringLiteral("传送记录无法写入 %1：").arg(folder.path("link.log"))))
        << pane[1].toStdString();
    EXPECT_EQ(pane.mid(0, 1) + pane.mid(2), (Lines{"a", "b"}));
    QFile kept(target);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("kept"));
}

namespace {

// Greeting, AUTH TLS with the handshake, login, protected data, FEAT unknown; then the folder,
// the type and both notices over active data connections, and the goodbye.
testsupport::ScriptedFtpPeer& secureUploads(testsupport::ScriptedFtpPeer& peer)
{
    peer.send("220 Ready\r\n")
        .authTls()
        .reply("331 Password?\r\n")
        .reply("230 In\r\n")
        .reply("200 PBSZ=0\r\n")
        .reply("200 Protection set to Private\r\n")
        .reply(testsupport::featUnknown)
        .reply("250 Ok\r\n")
        .reply("200 Type\r\n");
    for (int file = 0; file < 2; ++file)
        peer.reply("200 Port\r\n").reply("150 Go\r\n").transfer().send("226 Done\r\n");
    return peer.reply("221 Bye\r\n");
}

bool sentAny(const testsupport::ScriptedFtpPeer& peer, const QByteArray& verb)
{
    const Commands commands = peer.commands();
    return std::any_of(commands.begin(), commands.end(),
                       [&](const QByteArray& line) { return line.startsWith(verb); });
}

} // namespace

TEST_F(SendRunLog, EachStationSaysWhetherItIsEncryptedAndCertificatesAreRemembered)
{
    using testsupport::ScriptedFtpPeer;
    // The system's trust store: a folder the test makes, read at the client's first TLS session.
    testsupport::TempTree store;
    ASSERT_TRUE(store.isValid());
    const testsupport::ScopedVariable trustStore("SSL_CERT_DIR", QFile::encodeName(store.path()));
    ScriptedFtpPeer fresh("127.0.0.2"); // TLS, seen for the first time
    fresh.enableTls();
    secureUploads(fresh).start();
    ScriptedFtpPeer changed("127.0.0.3"); // TLS, another certificate than remembered
    changed.enableTls();
    changed.send("220 Ready\r\n").authTls();
    changed.start();
    ScriptedFtpPeer plain("127.0.0.4"); // no TLS; the station's choice is auto
    plain.send("220 Ready\r\n")
        .reply("500 AUTH not understood\r\n")
        .reply("331 Password?\r\n")
        .reply("230 In\r\n")
        .reply(testsupport::featUnknown)
        .reply("250 Ok\r\n")
        .reply("200 Type\r\n");
    for (int file = 0; file < 2; ++file)
        plain.reply("200 Port\r\n").reply("150 Go\r\n").transfer().send("226 Done\r\n");
    plain.reply("221 Bye\r\n").start();
    ScriptedFtpPeer strict("127.0.0.5"); // no TLS; the station requires it
    strict.send("220 Ready\r\n").reply("500 AUTH not understood\r\n");
    strict.start();
    ScriptedFtpPeer downgraded("127.0.0.7"); // encrypted before, set to auto, refuses TLS now
    downgraded.send("220 Ready\r\n").reply("500 AUTH not understood\r\n");
    downgraded.start();
    ScriptedFtpPeer cut("127.0.0.8"); // encrypted before, hangs up on AUTH TLS now
    cut.send("220 Ready\r\n").command().drop();
    cut.start();
    ScriptedFtpPeer known("127.0.0.6"); // TLS, the certificate remembered earlier
    known.enableTls({.maxVersion = 0x0303});
    secureUploads(known).start();
    ScriptedFtpPeer trusted("127.0.0.1"); // TLS, its certificate (for 127.0.0.1) in the store
    trusted.enableTls();
    ASSERT_TRUE(trusted.addCertificateToTrustFolder(store.path()));
    secureUploads(trusted).start();

    testsupport::TempTree folder;
    ASSERT_TRUE(folder.isValid());
    const StationSettings settings(folder.path("Stations.ini"));
    const auto options = [](const char* name, const ScriptedFtpPeer& peer, TlsMode tls) {
        return StationEntry{station(name, QString::fromLatin1(peer.address())),
                            {peer.port(), TransferMode::Active, false, tls}};
    };
    settings.save(
        {options("fresh", fresh, TlsMode::Auto), options("changed", changed, TlsMode::Auto),
         options("plain", plain, TlsMode::Auto), options("strict", strict, TlsMode::Require),
         options("known", known, TlsMode::Require), options("trusted", trusted, TlsMode::Auto),
         options("downgraded", downgraded, TlsMode::Auto), options("cut", cut, TlsMode::Auto)});
    settings.rememberEncrypted("127.0.0.7", downgraded.port());
    settings.rememberEncrypted("127.0.0.8", cut.port());
    const QByteArray otherPrint = "00:" + QByteArray("11:").repeated(30) + "22";
    settings.rememberCertificate("127.0.0.3", changed.port(), otherPrint);
    // Remembered in lower case without colons: the same print all the same.
    settings.rememberCertificate("127.0.0.6", known.port(),
                                 known.certificateFingerprint().toLower().replace(":", ""));

    {
        RunLog log(sink(), folder.path("run.log"));
        SendRun run(m_client, log,
                    {station("fresh", "127.0.0.2"), station("changed", "127.0.0.3"),
                     station("plain", "127.0.0.4"), station("strict", "127.0.0.5"),
                     station("known", "127.0.0.6"), station("trusted", "127.0.0.1"),
                     station("downgraded", "127.0.0.7"), station("cut", "127.0.0.8")},
                    "in", m_selection);
        run.useStationSettings(folder.path("Stations.ini"));
        run.run();
        EXPECT_EQ(run.unfinishedStations(), (QList<qsizetype>{1, 3, 6, 7}));
    }

    const QString freshPrint = QString::fromLatin1(fresh.certificateFingerprint());
    const QString notice1 =
        QStringLiteral("    notice1.txt  已传送 14 字节，未核对（服务器不支持 SIZE）");
    const QString z = QStringLiteral("    z.txt  已传送 2 字节，未核对（服务器不支持 SIZE）");
    // After the encryption line (and the certificate's), each served station logs the same.
    const Lines served{gbkNames, notice1, z, success};
    const Lines expected = Lines{header2, "", start("fresh"), QStringLiteral("    已加密 TLS 1.3"),
                                 QStringLiteral("    已记住站点证书 SHA-256 ") + freshPrint}
        + served
        + Lines{start("changed"), networkError,
                QStringLiteral("red:     站点证书已改变：记住的 %1，现在的 %2；未登录。"
                               "如证书确实更换，请在系统设置中忘记旧证书")
                    .arg(QString::fromLatin1(otherPrint),
                         QString::fromLatin1(changed.certificateFingerprint())),
                // Its password went in clear: red.
                start("plain"), QStringLiteral("red:     未加密（服务器不支持 TLS）")}
        + served
        + Lines{start("strict"), networkError,
                QStringLiteral("    服务器拒绝 AUTH TLS：500 AUTH not understood"), start("known"),
                QStringLiteral("    已加密 TLS 1.2")}
        + served + Lines{start("trusted"), QStringLiteral("    已加密 TLS 1.3")} + served
        + Lines{start("downgraded"),
                QStringLiteral("red:     站点曾使用加密连接，现在服务器拒绝加密；未登录"),
                QStringLiteral("    服务器拒绝 AUTH TLS：500 AUTH not understood"), start("cut"),
                QStringLiteral("red:     站点曾使用加密连接，现在服务器拒绝加密；未登录")};
    ASSERT_GE(m_log.size(), expected.size() + 3) << m_log.join('\n').toStdString();
    EXPECT_EQ(m_log.mid(0, expected.size()), expected) << m_log.join('\n').toStdString();
    // The cut connection's cause in the reader's words, then the end of the run.
    EXPECT_EQ(m_log.mid(expected.size() + 1), (Lines{"", ending}));

    // What was remembered: the first contact's print; the changed one is kept as it was.
    EXPECT_EQ(settings.certificate("127.0.0.2", fresh.port()), fresh.certificateFingerprint());
    EXPECT_EQ(settings.certificate("127.0.0.3", changed.port()), otherPrint);
    EXPECT_EQ(settings.certificate("127.0.0.4", plain.port()), QByteArray());
    EXPECT_EQ(settings.certificate("127.0.0.1", trusted.port()), QByteArray())
        << "trusted by the system";
    // The grid's choices are untouched by the run.
    EXPECT_EQ(settings.load({station("fresh", "127.0.0.2")}).value(0).options,
              (StationOptions{fresh.port(), TransferMode::Active, false, TlsMode::Auto}));
    // Reached with TLS: "auto" is "require" from now on, at that address and port only.
    EXPECT_TRUE(settings.wasEncrypted("127.0.0.2", fresh.port()));
    EXPECT_TRUE(settings.wasEncrypted("127.0.0.1", trusted.port()));
    EXPECT_FALSE(settings.wasEncrypted("127.0.0.2", fresh.port() + 1));
    EXPECT_FALSE(settings.wasEncrypted("127.0.0.4", plain.port()));

    // No login where the certificate changed or TLS was required of a plain server.
    for (ScriptedFtpPeer* peer : {&changed, &strict, &downgraded, &cut}) {
        ASSERT_TRUE(peer->waitUntilFinished());
        EXPECT_EQ(peer->commands().value(0), QByteArray("AUTH TLS\r\n"));
        EXPECT_FALSE(sentAny(*peer, "USER") || sentAny(*peer, "PASS"))
            << peer->commands().join("|").toStdString();
    }
    // The encrypted stations got every file over data connections of the session.
    for (ScriptedFtpPeer* peer : {&fresh, &known, &trusted}) {
        ASSERT_TRUE(peer->waitUntilFinished());
        EXPECT_TRUE(peer->problems().isEmpty()) << peer->problems().join('\n').toStdString();
        EXPECT_EQ(peer->uploads(), (Commands{"first notice\r\n", "zz"}));
        for (const testsupport::PeerDataTls& data : peer->dataTls())
            EXPECT_TRUE(data.encrypted && data.resumed);
    }
    ASSERT_TRUE(plain.waitUntilFinished());
    EXPECT_EQ(dialogue(plain).mid(0, 3),
              (Commands{"AUTH TLS\r\n", "USER clerk\r\n", "PASS pw\r\n"}));

    // The run log file notes each station's encryption with the certificate's print.
    QFile file(folder.path("run.log"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString written = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(written.contains(
        QStringLiteral("    已加密 TLS 1.3  [站点 fresh，已加密 TLS 1.3，证书 SHA-256 %1]")
            .arg(freshPrint)));
    EXPECT_TRUE(
        written.contains(QStringLiteral("    未加密（服务器不支持 TLS）  [站点 plain，未加密]")));
}

TEST_F(SendRunLog, ANoticeThatAnotherStationSendsAtTheSameTimeStillGoes)
{
    testsupport::ScriptedFtpPeer good("127.0.0.2");
    storesOverPort(good, 2).reply("221 Bye\r\n");
    good.start();
    m_client.Port = good.port();
    // Another station's thread has the file open for its own upload, as stations side by side do.
    const int held = ::open(QFile::encodeName(m_notices.path("z.txt")).constData(), O_RDONLY);
    ASSERT_GE(held, 0);
    const auto release = qScopeGuard([held] { ::close(held); });
    ASSERT_EQ(::flock(held, LOCK_SH | LOCK_NB), 0);

    RunLog log(sink());
    SendRun run(m_client, log, {station("A", "127.0.0.2")}, "in", m_selection);
    run.run();
    EXPECT_EQ(m_log.mid(2, 5),
              (Lines{start("A"), notEncrypted, gbkNames,
                     QStringLiteral("    notice1.txt  已传送 14 字节，未核对（服务器不支持 SIZE）"),
                     QStringLiteral("    z.txt  已传送 2 字节，未核对（服务器不支持 SIZE）")}))
        << m_log.join('\n').toStdString();
    EXPECT_TRUE(run.unfinishedStations().isEmpty());
}

TEST_F(SendRunLog, EachStationsNameEncodingChoiceHoldsWhateverTheServerAnnounces)
{
    const QString chinese = QStringLiteral("通知.txt");
    m_notices.addFile(chinese, "x");
    NoticeSelection selection(m_notices.path());
    selection.add(chinese);
    const QByteArray listsUtf8 = "211-Features:\r\n UTF8\r\n211 End\r\n";
    struct Case {
        EncodingChoice choice;
        QByteArray feat;
        NameEncoding expected;
    } cases[] = {
        {EncodingChoice::Gbk, listsUtf8, NameEncoding::Gbk},
        {EncodingChoice::Utf8, testsupport::featUnknown, NameEncoding::Utf8},
        {EncodingChoice::Auto, listsUtf8, NameEncoding::Utf8},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(encodingKey(test.choice).toStdString());
        testsupport::ScriptedFtpPeer peer("127.0.0.2");
        peer.send("220 Ready\r\n").reply("331 Password?\r\n").reply("230 In\r\n").reply(test.feat);
        if (test.choice == EncodingChoice::Auto)
            peer.reply("200 UTF8 on\r\n");
        peer.reply("250 Ok\r\n")
            .reply("200 Type\r\n")
            .reply("200 Port\r\n")
            .reply("150 Go\r\n")
            .transfer()
            .send("226 Done\r\n")
            .reply("221 Bye\r\n");
        peer.start();
        testsupport::TempTree settings;
        ASSERT_TRUE(settings.isValid());
        StationOptions options{peer.port(), TransferMode::Active, false, TlsMode::Off};
        options.encoding = test.choice;
        StationSettings(settings.path("Stations.ini")).save({{station("A", "127.0.0.2"), options}});
        m_log.clear();

        SendRun run(
            m_client, [this](const QString& line, bool, const QString&) { m_log << line; },
            {station("A", "127.0.0.2")}, "in", selection);
        run.useStationSettings(settings.path("Stations.ini"));
        run.run();

        EXPECT_TRUE(run.unfinishedStations().isEmpty()) << m_log.join('\n').toStdString();
        EXPECT_TRUE(m_log.contains("    文件名编码：" + ftp::encodingName(test.expected)));
        ASSERT_TRUE(peer.waitUntilFinished());
        EXPECT_TRUE(
            peer.commands().contains("STOR " + *ftp::encodeName(chinese, test.expected) + "\r\n"))
            << peer.commands().join(' ').toStdString();
    }
}

TEST_F(SendRunLog, AnSftpStationsHostKeyIsRememberedAndAChangedOneEndsTheStationBeforeTheLogin)
{
    testsupport::SshServerProcess server;
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    testsupport::TempTree settings;
    ASSERT_TRUE(settings.isValid());
    const QString ini = settings.path("Stations.ini");
    // No password: the user's key logs in, as ssh would.
    const Station sftpStation{.name = "A", .address = "127.0.0.1", .user = server.user()};
    StationOptions options{server.port(), TransferMode::Auto, true, TlsMode::Auto};
    options.protocol = Protocol::Sftp;
    StationSettings(ini).save({{sftpStation, options}});
    const auto send = [&] {
        m_log.clear();
        SftpSession session;
        session.setSshFolder(server.clientSshFolder());
        session.setLimits(5000, 10000);
        SendRun run(
            session,
            [this](const QString& line, bool isError, const QString&) {
                m_log << (isError ? "red: " + line : line);
            },
            {sftpStation}, server.rootPath(), m_selection);
        run.useStationSettings(ini);
        run.run();
        return run.unfinishedStations();
    };

    EXPECT_TRUE(send().isEmpty()) << m_log.join('\n').toStdString();
    const QString print = QString::fromLatin1(server.hostKeyFingerprint());
    EXPECT_EQ(m_log.mid(2, 4),
              (Lines{start("A"), "    已加密 SSH", "    已记住主机密钥 " + print,
                     "    文件名编码：UTF-8"}));
    EXPECT_EQ(m_log.mid(m_log.size() - 3), (Lines{success, "", ending}));
    EXPECT_EQ(StationSettings(ini).hostKey("127.0.0.1", server.port()),
              server.hostKeyFingerprint());
    QFile stored(server.rootPath() + "/notice1.txt");
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), "first notice\r\n");
    EXPECT_FALSE(QFile::exists(server.rootPath() + "/notice1.txt.part"));

    // A new key: both prints in red, nothing delivered, the key on file unchanged.
    ASSERT_TRUE(server.changeHostKey()) << server.errorString().toStdString();
    EXPECT_EQ(send(), QList<qsizetype>{0});
    const QString cause = QStringLiteral("主机密钥已改变：记住的 %1，现在的 %2；未发送密码。"
                                         "如主机密钥确实更换，请在系统设置中忘记旧主机密钥")
                              .arg(print, QString::fromLatin1(server.hostKeyFingerprint()));
    EXPECT_EQ(m_log.mid(2), (Lines{start("A"), networkError, "red:     " + cause, "", ending}));
    EXPECT_EQ(StationSettings(ini).hostKey("127.0.0.1", server.port()), print.toLatin1());
}

TEST(StationWorkerStop, APressBeforeTheSessionStopsTheStationBeforeItConnects)
{
    // Stop pressed once or twice, or the window closed, before the station's session began:
    // nothing listens at the station's port, so a connect would fail it instead.
    struct Row {
        int presses;
        bool closing;
    };
    for (const Row row : {Row{1, false}, Row{2, false}, Row{0, true}}) {
        testsupport::TempTree tree;
        const QString path = tree.addFile(QStringLiteral("notice.txt"), "notice");
        NoticeSelection selection(tree.path());
        selection.add(QStringLiteral("notice.txt"));
        QStringList lines;
        std::optional<SendRun::Outcome> outcome;
        QList<NoticeOutcome> results;
        testsupport::runOnWorkerThreads(1, [&](int) {
            StationWorker worker(StationWorker::Job{
                .station = Station{QStringLiteral("A"), QStringLiteral("127.0.0.2"),
                                   QStringLiteral("clerk"), QStringLiteral("pw")},
                .selection = selection,
                .notices = {SendRun::Notice{QStringLiteral("notice.txt"), path, 6}},
                .settingsPath = tree.path(QStringLiteral("Stations.ini"))});
            QObject::connect(
                &worker, &StationWorker::line,
                [&](int, const QString& text, bool, const QString&) { lines << text; });
            QObject::connect(
                &worker, &StationWorker::finished,
                [&](int, SendRun::Outcome ended, const QList<NoticeOutcome>& noticeResults) {
                    outcome = ended;
                    results = noticeResults;
                });
            for (int press = 0; press < row.presses; ++press)
                worker.requestStop();
            if (row.closing)
                worker.abandon();
            worker.run();
        });
        ASSERT_TRUE(outcome.has_value());
        EXPECT_EQ(*outcome, SendRun::Outcome::Stopped) << lines.join('|').toStdString();
        ASSERT_EQ(results.size(), 1);
        EXPECT_EQ(results[0].result, NoticeResult::NotDelivered);
        EXPECT_EQ(results[0].reason, runtexts::stoppedReason());
        // The station's start line only: no stopping line, no network error.
        EXPECT_EQ(lines.size(), 1) << lines.join('|').toStdString();
    }
}
