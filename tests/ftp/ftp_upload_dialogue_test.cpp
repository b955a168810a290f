// Uploads against the scripted peer: data connections, refusals, failures, clean-up.
#include "ftp/FtpClient.h"
#include "platform/codepage.h"
#include "tests/ftp/FtpClientProbe.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <typeinfo>
#include <utility>

using namespace std::chrono_literals;

namespace {

constexpr char passiveReply[] = "227 Entering Passive Mode (%PASV%)\r\n";

// A peer that greets, accepts the login and answers PASV, or PORT.
testsupport::ScriptedFtpPeer& pasv(Session& s)
{
    return s.greeted().passive(passiveReply);
}

testsupport::ScriptedFtpPeer& port(Session& s)
{
    return s.greeted().reply("200 Ok.\r\n");
}

// Everything an upload must leave behind, whatever its outcome.
void expectCleanedUp(FtpClient& client, bool connected = true)
{
    EXPECT_EQ(client.dataConnection(), nullptr);
    EXPECT_TRUE(client.connected() || !connected);
}

// What a case waits in: the login, a folder change, or an upload in active or passive mode.
enum class Action { LogIn, Cwd, Active, Passive };

// Starts the peer; the client logs in unless the login is what the case is about.
void prepare(Session& s, Action action)
{
    if (action == Action::LogIn)
        s.peer.start();
    else
        s.logIn(action == Action::Passive);
}

void perform(Session& s, Action action, const QString& file)
{
    if (action == Action::LogIn)
        s.client.Connect();
    else if (action == Action::Cwd)
        s.client.ChangeDir("/notices");
    else
        s.client.Upload(file, "n.txt");
}

} // namespace

class FtpUploadDialogue : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_folder.isValid()); }

    QTemporaryDir m_folder;
};

TEST_F(FtpUploadDialogue, PassiveUploadGoesToHostAtTheReplysPort)
{
    // The reply names another machine; the client must use Host (a loopback address) at
    // port 19 * 256 + 137 = 5001 instead.
    Session s("127.0.0.77");
    s.greeted()
        .passive("227 Entering Passive Mode (10,0,0,5,19,137).\r\n", 5001)
        .reply("150 Opening data connection.\r\n")
        .transfer()
        .send("226 Transfer complete.\r\n");
    s.logIn(true);
    const QByteArray content = randomBytes(200000, 1);
    s.client.Upload(writeFile(m_folder, "notice.txt", content), "notice.txt");

    ASSERT_TRUE(s.peer.waitUntilPlayed());
    EXPECT_TRUE(s.peer.problems().isEmpty()) << s.peer.problems().join('\n').toStdString();
    EXPECT_EQ(s.peer.commands().mid(2), (Lines{"PASV\r\n", "STOR notice.txt\r\n"}));
    EXPECT_TRUE(s.peer.uploads() == Lines{content});
    EXPECT_EQ(
        s.probe.events,
        (QStringList{"OnTransactionStart", "OnPacketSent", "OnTransactionStop", "OnSuccess(9)"}));
    EXPECT_EQ(s.probe.status,
              (Lines{"227 Entering Passive Mode (10,0,0,5,19,137).\r\n", "STOR notice.txt",
                     "150 Opening data connection.\r\n", "226 Transfer complete.\r\n"}));
    EXPECT_EQ(s.client.replyCode(), 226);
    expectCleanedUp(s.client);
}

TEST_F(FtpUploadDialogue, ActivePortCarriesTheControlAddressAndStorTheGbkFileName)
{
    Session s;
    s.greeted()
        .reply("200 PORT ok.\r\n")
        .reply("150 Opening data connection.\r\n")
        .transfer()
        .send("226-Transfer complete.\r\n 2 lines\r\n226 Done.\r\n")
        .reply("257 \"/\"\r\n");
    s.logIn();
    // No remote name: the file is stored under its own name; the status shows the path.
    const QString path = writeFile(m_folder, QStringLiteral("通知.txt"), "hello");
    s.client.Upload(path, "");

    const Lines commands = s.peer.commands();
    ASSERT_EQ(commands.size(), 4);
    const auto port = QRegularExpression("^PORT 127,0,0,1,(\\d+),(\\d+)\r\n$")
                          .match(QString::fromLatin1(commands[2]));
    EXPECT_TRUE(port.hasMatch()) << commands[2].toStdString();
    EXPECT_EQ(commands[3], QByteArray("STOR \xcd\xa8\xd6\xaa.txt\r\n"));
    EXPECT_TRUE(s.probe.status.contains("STOR " + platform::toCodePage(path)));
    EXPECT_EQ(s.peer.uploads(), Lines{"hello"});
    // The continuation lines of the final reply are read: the next command gets its own reply.
    s.client.RunCommand("PWD");
    EXPECT_EQ(s.client.replyCode(), 257);
    expectCleanedUp(s.client);
}

TEST_F(FtpUploadDialogue, ExtendedModesOverIPv6AndEpsvWhenAServerDoesNotKnowPasv)
{
    const bool ipv6 = testsupport::hasIPv6Loopback();
    struct Row {
        QByteArray address;
        bool passive;
        std::function<void(testsupport::ScriptedFtpPeer&)> script; // up to the STOR reply
        QString commands;                                          // after USER, as a pattern
    };
    const QList<Row> rows{
        {.address = "::1",
         .passive = true,
         .script = [](auto& peer) { peer.extendedPassive().reply("150 Ok.\r\n"); },
         .commands = "EPSV\r\n,STOR n.txt\r\n"},
        {.address = "::1",
         .passive = false,
         .script = [](auto& peer) { peer.reply("200 EPRT ok.\r\n").reply("150 Ok.\r\n"); },
         .commands = "EPRT \\|2\\|::1\\|\\d+\\|\r\n,STOR n.txt\r\n"},
        {.address = "127.0.0.1",
         .passive = true,
         .script =
             [](auto& peer) {
                 peer.reply("500 'PASV': command not understood.\r\n")
                     .extendedPassive()
                     .reply("150 Ok.\r\n");
             },
         .commands = "PASV\r\n,EPSV\r\n,STOR n.txt\r\n"},
    };
    const QByteArray content = randomBytes(100000, 4);
    const QString path = writeFile(m_folder, "n.txt", content);
    for (const Row& row : rows) {
        if (row.address == "::1" && !ipv6)
            continue;
        SCOPED_TRACE(testing::Message() << row.address.constData() << " passive " << row.passive);
        Session s(row.address);
        row.script(s.greeted());
        s.peer.transfer().send("226 Done.\r\n");
        s.logIn(row.passive);
        s.client.Upload(path, "n.txt");

        ASSERT_TRUE(s.peer.waitUntilPlayed());
        EXPECT_TRUE(s.peer.problems().isEmpty()) << s.peer.problems().join('\n').toStdString();
        const QString commands = QString::fromLatin1(s.peer.commands().mid(2).join(','));
        EXPECT_TRUE(QRegularExpression('^' + row.commands + '$').match(commands).hasMatch())
            << commands.toStdString();
        EXPECT_TRUE(s.peer.uploads() == Lines{content});
        EXPECT_EQ(s.probe.count("OnSuccess(9)"), 1);
        expectCleanedUp(s.client);
    }
    if (!ipv6)
        GTEST_SKIP() << "this machine has no IPv6 loopback address ::1; its rows were skipped";
}

TEST_F(FtpUploadDialogue, RefusalsAndFailuresEndTheUploadWithoutSuccess)
{
    const QString missing = m_folder.filePath("missing.txt");
    const QStringList twice{"OnFailure(9)", "OnFailure(9)"};
    const QStringList sentThenTwice =
        QStringList{"OnTransactionStart", "OnPacketSent", "OnTransactionStop"} + twice;
    const quint16 closedPort = testsupport::ScriptedFtpPeer().port(); // nobody listens there
    const QByteArray closedPassive =
        QStringLiteral("227 Entering Passive Mode (127,0,0,1,%1,%2)\r\n")
            .arg(closedPort / 256)
            .arg(closedPort % 256)
            .toLatin1();
    const auto finalReply = [](const QByteArray& reply) {
        return [reply](Session& s) { pasv(s).reply("150 Ok.\r\n").transfer().send(reply); };
    };
    struct Case {
        bool passive;
        std::function<void(Session&)> script;
        const std::type_info& type;
        QString failure;    // when OnFailure does not handle it
        QStringList events; // then
        int commands;       // after USER and FEAT
        QString file = {};  // to upload when not the small one
        qint64 sent = 0;    // bytes handed over; -1: some, not all
    };
    const QString path = writeFile(m_folder, "n.txt", "notice");
    const QString big = writeFile(m_folder, "big.bin", randomBytes(8 << 20, 5));
    const QList<Case> cases{
        // PASV unknown (500-502) is asked again as EPSV, whose refusal is no unsupported
        // function either; PORT is refused from 301 on.
        {true,
         [](Session& s) {
             s.greeted().reply("502 No passive.\r\n").reply("500 No EPSV either.\r\n");
         },
         typeid(FtpError), "PASV: 502 No passive.; EPSV: 500 No EPSV either.", twice, 2},
        {false, [](Session& s) { s.greeted().reply("301 Odd.\r\n"); }, typeid(FtpError), "301 Odd.",
         twice, 1},
        {false, [](Session& s) { port(s).reply("502 No STOR.\r\n"); }, typeid(FtpError),
         "502 No STOR.", QStringList{"OnUnSupportedFunction(9)"} + twice, 2},
        {false, [](Session& s) { port(s).reply("553 Bad name.\r\n"); }, typeid(FtpError),
         "553 Bad name.", twice, 2},
        // A 4xx to PASV is the server's refusal in its own words; a 2xx without port fields
        // cannot be used.
        {true, [](Session& s) { s.greeted().reply("421 Timeout.\r\n"); }, typeid(FtpError),
         "421 Timeout.", twice, 1},
        {true,
         [](Session& s) { s.greeted().reply("227 Passive.\r\n"); },
         typeid(platform::ConversionError),
         "Cannot read the passive address in the reply: 227 Passive.",
         {"OnFailure(9)"},
         1},
        // Nobody listens at the passive address.
        {true,
         [&](Session& s) { s.greeted().reply(closedPassive); },
         typeid(SocketError),
         QStringLiteral("Data connection to 127.0.0.1:%1 failed: connection refused")
             .arg(closedPort),
         {"OnFailure(9)"},
         1},
        // Active: the server gives up on connecting to us; no waiting for the idle limit.
        {false,
         [](Session& s) {
             port(s)
                 .reply("150 Opening data connection.\r\n")
                 .delay(100ms)
                 .send("425 Can't open data connection.\r\n");
         },
         typeid(FtpError), "425 Can't open data connection.", twice, 2},
        // The final reply after the data is judged, also after a second preliminary reply;
        // only a 2xx stores the file, and the refusal is the whole reply.
        {true, finalReply("150 Still writing.\r\n451 Local error: disk trouble.\r\n"),
         typeid(FtpError), "451 Local error: disk trouble.", sentThenTwice, 2, path, 6},
        {true, finalReply("451-Local error:\r\n disk full\r\n451 Try later.\r\n"), typeid(FtpError),
         "451 Local error: disk full Try later.", sentThenTwice, 2, path, 6},
        {true, finalReply("999 I did not store it.\r\n"), typeid(FtpError),
         "999 I did not store it.", sentThenTwice, 2, path, 6},
        {true, finalReply("Stored, I promise.\r\n"), typeid(FtpError), "Stored, I promise.",
         sentThenTwice, 2, path, 6},
        // A server that cuts the data connection says why on the control connection.
        {true,
         [](Session& s) {
             pasv(s).reply("150 Ok.\r\n").cutTransfer(100000).send("451 Disk full.\r\n");
         },
         typeid(FtpError), "451 Disk full.",
         QStringList{"OnTransactionStart", "OnPacketSent"} + twice, 2, big, -1},
        // A missing local file sends nothing.
        {false,
         [](Session& s) { s.greeted(); },
         typeid(FileOpenError),
         "Cannot open file " + missing,
         {"OnFailure(9)"},
         0,
         missing},
    };
    for (const Case& c : cases) {
        for (const int handling : {0, 1, 2}) { // OnFailure: none, not handling, handling
            SCOPED_TRACE(testing::Message()
                         << "case " << &c - cases.data() << ", handling " << handling);
            Session s;
            c.script(s);
            s.logIn(c.passive);
            if (handling == 0)
                s.client.OnFailure = nullptr;
            else
                s.probe.recordOutcomes(handling == 2);

            QString failure = "<no exception>";
            QElapsedTimer clock;
            clock.start();
            try {
                s.client.Upload(c.file.isEmpty() ? path : c.file, "n.txt");
            } catch (const platform::Exception& error) {
                failure = error.message();
                EXPECT_TRUE(typeid(error) == c.type) << typeid(error).name();
            }
            EXPECT_LT(clock.elapsed(), 1000);
            EXPECT_EQ(failure, handling == 2 ? "<no exception>" : c.failure);
            EXPECT_EQ(s.client.lastUpload().size,
                      QFileInfo(c.file.isEmpty() ? path : c.file).size());
            if (c.sent >= 0) {
                EXPECT_EQ(s.client.lastUpload().sent, c.sent);
            } else {
                EXPECT_GT(s.client.lastUpload().sent, 0);
                EXPECT_LT(s.client.lastUpload().sent, s.client.lastUpload().size);
            }
            if (handling == 1) {
                EXPECT_EQ(s.probe.events, c.events);
            }
            const int failures = handling == 2 ? 1
                : handling == 1                ? c.events.count("OnFailure(9)")
                                               : 0;
            EXPECT_EQ(s.probe.count("OnFailure(9)"), failures);
            EXPECT_FALSE(s.probe.events.contains("OnSuccess(9)"));
            if (c.failure[0].isDigit()) {
                EXPECT_EQ(s.client.replyCode(), c.failure.left(3).toInt());
            }
            QTest::qWait(50);
            EXPECT_EQ(s.peer.commands().size(), c.commands + 2);
            expectCleanedUp(s.client);
        }
    }
}

TEST_F(FtpUploadDialogue, AutoModeGoesActiveOnlyWhenTheServerRefusesPassiveMode)
{
    const QString path = writeFile(m_folder, "n.txt", "notice");
    const quint16 closedPort = testsupport::ScriptedFtpPeer().port(); // nobody listens there
    const QByteArray closedPassive =
        QStringLiteral("227 Entering Passive Mode (127,0,0,1,%1,%2)\r\n")
            .arg(closedPort / 256)
            .arg(closedPort % 256)
            .toLatin1();
    const QByteArray closedExtended =
        QStringLiteral("229 Entering Extended Passive Mode (|||%1|)\r\n")
            .arg(closedPort)
            .toLatin1();
    const QString closedReason =
        QStringLiteral("Data connection to 127.0.0.1:%1 failed: connection refused")
            .arg(closedPort);
    struct Case {
        Lines replies; // to PASV, and to EPSV when PASV is unknown
        Lines asked;
        QString reason;       // of the fall-back to active mode
        QString failure = {}; // instead: the upload fails, no port is opened
    };
    const QList<Case> cases{
        {{"502 Passive mode not allowed.\r\n", "502 Extended passive mode not allowed.\r\n"},
         {"PASV\r\n", "EPSV\r\n"},
         "PASV: 502 Passive mode not allowed.; EPSV: 502 Extended passive mode not allowed."},
        {{"550 Not here.\r\n"}, {"PASV\r\n"}, "550 Not here."},
        // The server's trouble of the moment, or a data port that cannot be reached: an
        // error, never a port opened for anybody to call.
        {{"425 Can't open passive connection.\r\n"},
         {"PASV\r\n"},
         {},
         "425 Can't open passive connection."},
        {{closedPassive}, {"PASV\r\n"}, {}, closedReason},
        {{"500 'PASV': command not understood.\r\n", closedExtended},
         {"PASV\r\n", "EPSV\r\n"},
         {},
         closedReason},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.reason + c.failure).toStdString());
        Session s;
        // The peer answers FEAT itself while its first reply step waits.
        testsupport::ScriptedFtpPeer& peer =
            s.script({"220 Ready\r\n", "230 In.\r\n"}).answerFeat();
        for (const QByteArray& reply : c.replies)
            peer.reply(reply);
        if (c.failure.isEmpty()) {
            peer.reply("200 PORT ok.\r\n")
                .reply("150 Ok.\r\n")
                .transfer()
                .send("226 Done.\r\n")
                .reply("200 PORT ok.\r\n")
                .reply("150 Ok.\r\n")
                .transfer()
                .send("226 Done.\r\n");
        }
        peer.reply("221 Bye.\r\n");
        s.logIn();
        s.client.Mode = TransferMode::Auto;
        QStringList fallbacks;
        s.client.OnModeFallback = [&](const QString& why) { fallbacks << why; };

        // The first upload is tried again actively, and the next one goes active at once.
        QString failure = failureOf<platform::Exception>([&] { s.client.Upload(path, "n.txt"); });
        if (c.failure.isEmpty())
            s.client.Upload(path, "m.txt");
        s.client.Disconnect();
        ASSERT_TRUE(s.peer.waitUntilPlayed());
        EXPECT_TRUE(s.peer.problems().isEmpty()) << s.peer.problems().join('\n').toStdString();
        EXPECT_EQ(failure, c.failure.isEmpty() ? "<no exception>" : c.failure);
        const Lines uploads = c.failure.isEmpty()
            ? Lines{"PORT\r\n", "STOR n.txt\r\n", "PORT\r\n", "STOR m.txt\r\n"}
            : Lines{};
        EXPECT_EQ(dialogue(s.peer),
                  (Lines{"USER user\r\n", "FEAT\r\n"} + c.asked + uploads + Lines{"QUIT\r\n"}));
        EXPECT_EQ(s.peer.uploads(), (c.failure.isEmpty() ? Lines{"notice", "notice"} : Lines{}));
        EXPECT_EQ(fallbacks, c.reason.isEmpty() ? QStringList{} : QStringList{c.reason});
        // A refused passive attempt is no failure of the upload.
        EXPECT_EQ(s.probe.count("OnSuccess(9)"), c.failure.isEmpty() ? 2 : 0);
        EXPECT_EQ(s.probe.count("OnFailure(9)") > 0, !c.failure.isEmpty());
        expectCleanedUp(s.client, false);
        if (!c.failure.isEmpty())
            continue;

        // The next session tries passive mode first again.
        testsupport::ScriptedFtpPeer next;
        next.send("220 Ready\r\n")
            .reply("230 In.\r\n")
            .answerFeat()
            .passive(passiveReply)
            .reply("150 Ok.\r\n")
            .transfer()
            .send("226 Done.\r\n")
            .start();
        s.client.Port = next.port();
        s.client.Connect();
        s.client.Upload(path, "n.txt");
        ASSERT_TRUE(next.waitUntilPlayed());
        EXPECT_EQ(next.commands(),
                  (Lines{"USER user\r\n", "FEAT\r\n", "PASV\r\n", "STOR n.txt\r\n"}));
        EXPECT_EQ(fallbacks.size(), 1);
    }
}

TEST_F(FtpUploadDialogue, AnActiveDataConnectionIsTakenFromTheServerOnly)
{
    // Another host that calls the announced port first is closed unread; the server's own
    // call, within the same wait, gets the file.
    const QByteArray content = randomBytes(100000, 6);
    const QString path = writeFile(m_folder, "n.txt", content);
    Session s;
    port(s).reply("150 Ok.\r\n").strangerCall("127.0.0.2").transfer().send("226 Done.\r\n");
    s.logIn();
    QList<QByteArray> refused;
    s.client.OnDataCallerRefused = [&](const QByteArray& address) { refused << address; };

    s.client.Upload(path, "n.txt");
    ASSERT_TRUE(s.peer.waitUntilPlayed());
    EXPECT_TRUE(s.peer.problems().isEmpty()) << s.peer.problems().join('\n').toStdString();
    EXPECT_EQ(refused, Lines{"127.0.0.2"});
    EXPECT_TRUE(s.peer.uploads() == Lines{content});
    EXPECT_EQ(s.probe.count("OnSuccess(9)"), 1);
    expectCleanedUp(s.client);
}

TEST(FtpBrokenServer, ClosingOrFallingSilentInsteadOfReplyingFailsEveryStep)
{
    QTemporaryDir folder;
    const QString small = writeFile(folder, "n.txt", "notice");
    const QString big = writeFile(folder, "big.bin", randomBytes(32 << 20, 3));
    struct Case {
        Action action;
        std::function<void(Session&)> script; // after its end the peer sends nothing more
        QString pattern;                      // of the message
        bool bigFile = false;
    };
    const auto closed = [](const char* step) {
        return "^Connection closed by the server.*" + QString(step);
    };
    const QString final = closed("final reply to STOR");
    const QString silent = " within 0\\.";
    const QString endless = "^The reply did not end within 0\\.4 s$";
    const auto trickle = [](Session& s) {
        s.peer.send("220-Welcome\r\n");
        for (int line = 0; line < 20; ++line)
            s.peer.delay(50ms).send("220-and more\r\n");
    };
    QByteArray huge = "220-Welcome\r\n";
    while (huge.size() <= 65536)
        huge += QByteArray(1000, 'x').prepend("220-") + "\r\n";
    const QList<Case> cases{
        {Action::LogIn, [](Session& s) { s.peer.delay(50ms).drop(); }, closed("greeting")},
        {Action::LogIn, [](Session& s) { s.script({"220 Ready\r\n"}).command().drop(); },
         closed("USER")},
        {Action::LogIn,
         [](Session& s) {
             s.script({"220 Ready\r\n", "331 Password?\r\n"}).command().drop();
         },
         closed("PASS")},
        {Action::Cwd, [](Session& s) { s.greeted().command().drop(); },
         closed("instead of a reply to CWD$")},
        {Action::Passive, [](Session& s) { s.greeted().command().drop(); }, closed("PASV")},
        {Action::Active, [](Session& s) { s.greeted().command().drop(); }, closed("PORT")},
        {Action::Passive, [](Session& s) { pasv(s).command().drop(); }, closed("STOR")},
        {Action::Active, [](Session& s) { port(s).command().drop(); }, closed("STOR")},
        {Action::Passive, [](Session& s) { pasv(s).reply("150 Ok.\r\n").transfer().drop(); },
         final},
        {Action::Active, [](Session& s) { port(s).reply("150 Ok.\r\n").transfer().drop(); }, final},
        // Silent before the greeting, after USER; the data connection never opens (active),
        // it takes no data, no final reply comes.
        {Action::LogIn, [](Session& s) { s.peer.delay(4000ms); }, silent},
        {Action::LogIn, [](Session& s) { s.script({"220 Ready\r\n"}).command(); }, silent},
        {Action::Active, [](Session& s) { port(s).reply("150 Ok.\r\n"); }, silent},
        {Action::Passive, [](Session& s) { pasv(s).reply("150 Ok.\r\n").stalledTransfer(4000ms); },
         silent, true},
        {Action::Active, [](Session& s) { port(s).reply("150 Ok.\r\n").stalledTransfer(4000ms); },
         silent, true},
        {Action::Passive, [](Session& s) { pasv(s).reply("150 Ok.\r\n").transfer(); }, silent},
        // A reply whose lines never end, slowly or at once.
        {Action::LogIn, trickle, endless},
        {Action::LogIn, [&](Session& s) { s.peer.send(huge); },
         "^The reply is longer than 65536 bytes$"},
        {Action::Cwd, [&](Session& s) { s.greeted().command().send("250-Ok\r\n").delay(1000ms); },
         endless},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases.data());
        Session s;
        c.script(s);
        s.client.setIdleLimit(400);
        prepare(s, c.action);
        // A closed connection is no refusal that OnFailure could settle.
        s.probe.recordOutcomes(c.action == Action::Cwd);

        QElapsedTimer clock;
        clock.start();
        QString message = QStringLiteral("<no exception>");
        SocketFailure failure = SocketFailure::Stopped;
        try {
            perform(s, c.action, c.bigFile ? big : small);
        } catch (const SocketError& error) {
            message = error.message();
            failure = error.failure();
            EXPECT_TRUE(error.endpoint().has_value());
        }
        // One limit at most, also for a login that failed: the goodbye is not waited for.
        // (A stalled data connection first takes what fits into the buffers.)
        const bool oneLimit = (c.pattern == silent && !c.bigFile) || c.pattern == endless;
        EXPECT_LT(clock.elapsed(), oneLimit ? 700 : 3000);
        EXPECT_EQ(failure,
                  message.startsWith("Connection closed") ? SocketFailure::Closed
                      : message.contains(" within ")      ? SocketFailure::TimedOut
                                                          : SocketFailure::Other)
            << message.toStdString();
        EXPECT_TRUE(QRegularExpression(c.pattern).match(message).hasMatch())
            << message.toStdString();
        EXPECT_FALSE(message.contains("secret"));
        EXPECT_FALSE(s.probe.events.contains("OnConnect")
                     || s.probe.events.contains("OnSuccess(9)"));
        EXPECT_FALSE(s.probe.events.contains("OnFailure(0)"));
        EXPECT_EQ(s.probe.events.contains("OnFailure(9)"), c.action >= Action::Active);
        if (c.action == Action::LogIn) {
            EXPECT_FALSE(s.client.connected());
            EXPECT_TRUE(s.probe.status.contains("Disconnected") || c.pattern == silent);
        }
        EXPECT_EQ(s.client.dataConnection(), nullptr);
    }
}

TEST(FtpStop, AStopEndsEveryWaitAtOnceButLetsAFileInTransferFinish)
{
    QTemporaryDir folder;
    const QString small = writeFile(folder, "n.txt", "notice");
    const QString big = writeFile(folder, "big.bin", randomBytes(8 << 20, 4));
    struct Case {
        Action action;
        std::function<void(Session&)> script;
        bool onFirstPacket; // else 50 ms after the start
        bool abort;         // abortTransfer() instead of stopWaiting()
        QString failure;    // pattern of the AbortError's message
        qint64 sent;        // bytes handed over; -1: some, not all
        bool bigFile = true;
    };
    const QString waiting = "^Stopped while waiting for 127\\.0\\.0\\.1:\\d+$";
    const QString none = "<no exception>";
    const qint64 size = 8 << 20;
    const QList<Case> cases{
        // Silent greeting, login reply, command reply, data connection (active).
        {Action::LogIn, [](Session& s) { s.peer.send("").delay(600ms); }, false, false, waiting, 0},
        {Action::LogIn, [](Session& s) { s.script({"220 Ready\r\n"}).command(); }, false, false,
         waiting, 0},
        {Action::Cwd, [](Session& s) { s.greeted().command(); }, false, false, waiting, 0},
        {Action::Active, [](Session& s) { port(s).reply("150 Ok.\r\n"); }, false, false,
         "^Stopped while waiting for the data connection on 127\\.0\\.0\\.1:\\d+$", 0},
        // The file being sent goes on to its end, and its final reply is waited for.
        {Action::Passive,
         [](Session& s) {
             pasv(s).reply("150 Ok.\r\n").transfer().delay(300ms).send("226 Done.\r\n");
         },
         true, false, none, size},
        {Action::Active,
         [](Session& s) { port(s).reply("150 Ok.\r\n").transfer().send("226 Done.\r\n"); }, true,
         false, none, size},
        // The second step cuts the file, or the wait for its final reply.
        {Action::Passive,
         [](Session& s) {
             pasv(s).reply("150 Ok.\r\n").transfer().delay(500ms).send("426 Aborted.\r\n");
         },
         true, true, "^Socket send aborted$", -1},
        {Action::Passive,
         [](Session& s) {
             pasv(s).reply("150 Ok.\r\n").transfer().delay(500ms).send("226 Done.\r\n");
         },
         false, true, waiting, 6, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases.data());
        Session s;
        c.script(s);
        prepare(s, c.action);
        QElapsedTimer clock;
        qint64 stoppedAt = -1;
        const auto stop = [&] {
            stoppedAt = clock.elapsed();
            c.abort ? s.client.abortTransfer() : s.client.stopWaiting();
        };
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, stop);
        bool stopped = false;
        s.client.OnPacketSent = [&](QObject*) {
            if (c.onFirstPacket && !std::exchange(stopped, true))
                stop();
        };
        if (!c.onFirstPacket)
            timer.start(50);

        clock.start();
        QString message = none;
        try {
            perform(s, c.action, c.bigFile ? big : small);
        } catch (const AbortError& error) {
            message = error.message();
            EXPECT_EQ(error.failure(), SocketFailure::Stopped);
        }
        // The waits dispatch events, so the stop runs inside them and takes effect at once.
        if (!c.onFirstPacket) {
            EXPECT_GE(stoppedAt, 0);
            EXPECT_LT(clock.elapsed() - stoppedAt, 100);
        }
        EXPECT_TRUE(QRegularExpression(c.failure).match(message).hasMatch() || c.failure == message)
            << message.toStdString();
        EXPECT_TRUE(s.client.stopping());
        if (c.sent >= 0) {
            EXPECT_EQ(s.client.lastUpload().sent, c.sent);
        } else {
            EXPECT_GT(s.client.lastUpload().sent, 0);
            EXPECT_LT(s.client.lastUpload().sent, size);
        }
        EXPECT_EQ(s.probe.events.contains("OnSuccess(9)"), c.failure == none);

        // Nothing more is asked of the server, and the goodbye does not wait for it.
        if (c.action != Action::LogIn) {
            EXPECT_EQ(failureOf<AbortError>([&] { s.client.RunCommand("PWD"); }),
                      QStringLiteral("Stopped before PWD"));
        }
        clock.restart();
        EXPECT_NO_THROW(s.client.Disconnect());
        EXPECT_LT(clock.elapsed(), 100);
        EXPECT_FALSE(s.client.connected());
        ASSERT_TRUE(s.peer.waitUntilFinished());
        EXPECT_EQ(s.peer.commands().value(s.peer.commands().size() - 1), "QUIT\r\n");
        EXPECT_FALSE(s.peer.commands().contains("PWD\r\n"));
        EXPECT_EQ(s.client.dataConnection(), nullptr);

        // The next Connect starts afresh.
        testsupport::ScriptedFtpPeer next;
        next.send("220 Ready\r\n").reply("230 In.\r\n").reply(testsupport::featUnknown).start();
        s.client.Port = next.port();
        s.client.Connect();
        EXPECT_TRUE(s.client.connected());
        EXPECT_FALSE(s.client.stopping());
    }
}

TEST_F(FtpUploadDialogue, AStoredFileIsCheckedBySizeWhenTheServerListsIt)
{
    constexpr char listsSize[] = "211-Features:\r\n SIZE\r\n211 End\r\n";
    struct Case {
        QByteArray feat;
        QByteArray sizeReply = {}; // empty: no SIZE is to be asked
        bool verify = true;
        int type = 2; // SetTransferType
        Verification verification = Verification::NotChecked;
        QString failure = {}; // empty: stored
        qint64 serverSize = -1;
        QString unchecked = {};
    };
    const QList<Case> cases{
        {.feat = listsSize, .sizeReply = "213 6\r\n", .verification = Verification::Size},
        {.feat = listsSize,
         .sizeReply = "213 4\r\n",
         .failure = "The server holds 4 bytes of the 6 sent",
         .serverSize = 4},
        {.feat = listsSize,
         .sizeReply = "550 Could not get file size.\r\n",
         .failure = "The server cannot tell the size of the stored file: 550 Could not get "
                    "file size."},
        {.feat = listsSize,
         .sizeReply = "450 Busy.\r\n",
         .failure = "The server cannot tell the size of the stored file: 450 Busy."},
        // "Not implemented" though FEAT listed it: stored, unchecked, and the reply kept.
        {.feat = listsSize,
         .sizeReply = "500 SIZE not understood.\r\n",
         .unchecked = "500 SIZE not understood."},
        {.feat = listsSize, .sizeReply = "502 No.\r\n", .unchecked = "502 No."},
        {.feat = listsSize,
         .sizeReply = "213 six\r\n",
         .failure = "The server's size of the stored file is no number: 213 six"},
        {.feat = testsupport::featUnknown},
        {.feat = "211-Features:\r\n MDTM\r\n211 End\r\n"},
        // Switched off, or ASCII type (where sizes change with line ends): SIZE is not asked.
        {.feat = listsSize, .verify = false},
        {.feat = listsSize, .type = 1},
    };
    const QString path = writeFile(m_folder, "n.txt", "notice");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases.data());
        Session s;
        testsupport::ScriptedFtpPeer& peer = s.script({"220 Ready\r\n", "230 In.\r\n", c.feat})
                                                 .reply("200 Type set to I.\r\n")
                                                 .passive(passiveReply)
                                                 .reply("150 Ok.\r\n")
                                                 .transfer()
                                                 .send("226 Done.\r\n");
        if (!c.sizeReply.isEmpty())
            peer.reply(c.sizeReply);
        s.logIn(true);
        s.client.VerifyUploads = c.verify;
        s.client.OnFailure = nullptr;
        s.client.SetTransferType(c.type);

        QString failure;
        qint64 serverSize = -1;
        try {
            s.client.Upload(path, QStringLiteral("n.txt"));
        } catch (const VerifyError& error) {
            failure = error.message();
            serverSize = error.serverSize();
            EXPECT_EQ(error.sent(), 6);
        }
        ASSERT_TRUE(s.peer.waitUntilPlayed());
        EXPECT_EQ(failure, c.failure);
        EXPECT_EQ(serverSize, c.serverSize);
        EXPECT_EQ(s.client.lastUpload().sent, 6);
        EXPECT_EQ(s.client.lastUpload().verification, c.verification);
        EXPECT_EQ(s.client.lastUpload().uncheckedReply, c.unchecked);
        EXPECT_EQ(s.probe.count("OnSuccess(9)"), c.failure.isEmpty() ? 1 : 0);
        const Lines tail = s.peer.commands().mid(4);
        EXPECT_EQ(tail,
                  c.sizeReply.isEmpty() ? Lines{"STOR n.txt\r\n"}
                                        : (Lines{"STOR n.txt\r\n", "SIZE n.txt\r\n"}));
        expectCleanedUp(s.client);
    }
}

TEST_F(FtpUploadDialogue, ATemporaryNameIsRenamedOnceTheFileIsStoredAndChecked)
{
    struct Case {
        Lines renameReplies;
        Lines renameCommands;
        QString failure = {}; // empty: renamed
    };
    const QList<Case> cases{
        {{"350 Ready for RNTO.\r\n", "250 Renamed.\r\n"},
         {"RNFR n.txt.part\r\n", "RNTO n.txt\r\n"}},
        {{"550 No such file.\r\n"}, {"RNFR n.txt.part\r\n"}, "550 No such file."},
        // Only 350 leads to RNTO: a 2xx to RNFR renamed nothing.
        {{"250 Fine.\r\n"}, {"RNFR n.txt.part\r\n"}, "250 Fine."},
        {{"350 Ready for RNTO.\r\n", "553 Name not allowed.\r\n"},
         {"RNFR n.txt.part\r\n", "RNTO n.txt\r\n"},
         "553 Name not allowed."},
    };
    const QString path = writeFile(m_folder, "n.txt", "notice");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases.data());
        Session s;
        testsupport::ScriptedFtpPeer& peer =
            s.script({"220 Ready\r\n", "230 In.\r\n", "211-Features:\r\n SIZE\r\n211 End\r\n"})
                .reply("200 Type set to I.\r\n")
                .passive(passiveReply)
                .reply("150 Ok.\r\n")
                .transfer()
                .send("226 Done.\r\n")
                .reply("213 6\r\n");
        for (const QByteArray& reply : c.renameReplies)
            peer.reply(reply);
        s.logIn(true);
        s.client.TempNames = true;
        s.client.OnFailure = nullptr;
        s.client.SetTransferType(2);

        QString failure;
        try {
            s.client.Upload(path, QStringLiteral("n.txt"));
        } catch (const RenameError& error) {
            failure = error.message();
        }
        ASSERT_TRUE(s.peer.waitUntilPlayed());
        EXPECT_EQ(failure, c.failure);
        EXPECT_EQ(s.client.lastUpload().verification, Verification::Size);
        EXPECT_EQ(s.probe.count("OnSuccess(9)"), c.failure.isEmpty() ? 1 : 0);
        EXPECT_EQ(s.peer.commands().mid(4),
                  (Lines{"STOR n.txt.part\r\n", "SIZE n.txt.part\r\n"} + c.renameCommands));
        expectCleanedUp(s.client);
    }
}

TEST_F(FtpUploadDialogue, AHashTheServerOffersChecksTheBytesSentAndIsPreferredToSize)
{
    using H = QCryptographicHash;
    const QByteArray sha256 =
        "213 SHA-256 0-6 " + H::hash("notice", H::Sha256).toHex() + " n.txt\r\n";
    const QByteArray sha1 = "213 SHA-1 0-6 " + H::hash("notice", H::Sha1).toHex() + " n.txt\r\n";
    const QByteArray otherSha256 =
        "213 SHA-256 0-6 " + H::hash("other", H::Sha256).toHex() + " n\r\n";
    const auto feat = [](const QByteArray& hash, const QByteArray& size = " SIZE\r\n") {
        return "211-Features:\r\n HASH " + hash + "\r\n" + size + "211 End\r\n";
    };
    const QString differs =
        "The server's SHA-256 hash of the stored file differs from the 6 bytes sent";
    const QString odd = "The server's SHA-256 hash reply is in an unexpected form: ";
    const QString refused = "The server cannot tell the SHA-256 hash of the stored file: ";
    const QByteArray upper =
        "213 sha-256 0-6 " + H::hash("notice", H::Sha256).toHex().toUpper() + " n.txt\r\n";
    struct Case {
        QByteArray feat;
        QByteArray opts = {};  // the reply to "OPTS HASH SHA-256"; empty: not sent
        QByteArray check = {}; // the command after the final reply, and its reply
        QByteArray checkReply = {};
        QByteArray passed = {}; // the check that passed: a hash, else "SIZE", else none
        QString failure = {};
        QString unchecked = {};
    };
    const QList<Case> cases{
        // Current already: no OPTS; letter case of algorithm and digest aside.
        {feat("SHA-256*;SHA-1;MD5"), {}, "HASH", upper, "SHA-256"},
        {feat("MD5*;SHA-1;SHA-256"), "200 SHA-256\r\n", "HASH", sha256, "SHA-256"},
        {feat("SHA-256*"), {}, "HASH", otherSha256, {}, differs},
        {feat("SHA-256*"), {}, "HASH", "213 6\r\n", {}, odd + "213 6"},
        {feat("SHA-256*"), {}, "HASH", sha1, {}, odd + QString::fromLatin1(sha1.trimmed())},
        {feat("SHA-256*"), {}, "HASH", "550 Busy.\r\n", {}, refused + "550 Busy."},
        // A server's digest module announces its work first; the result is the last line.
        {feat("SHA-256*"),
         {},
         "HASH",
         "213-Computing SHA-256 digest\r\n213 SHA-256 0-1000 "
             + H::hash("notice", H::Sha256).toHex() + " notice.bin\r\n",
         "SHA-256"},
        {feat("SHA-256*"),
         {},
         "HASH",
         "504 Not for\x1b[2J this\rfile.\r\n",
         {},
         {},
         "504 Not for this file."},
        {feat("SHA-256*"), {}, "HASH", "501 Syntax.\r\n", {}, {}, "501 Syntax."},
        // OPTS refused: a current SHA-1 serves, else SIZE, else no check.
        {feat("SHA-1*;SHA-256"), "501 No.\r\n", "HASH", sha1, "SHA-1"},
        {feat("MD5*;SHA-256"), "501 No.\r\n", "SIZE", "213 6\r\n", "SIZE"},
        {feat("MD5*;SHA-256", {}), "501 No.\r\n"},
        {feat("MD5*;CRC32"), {}, "SIZE", "213 6\r\n", "SIZE"},
    };
    const QString path = writeFile(m_folder, "n.txt", "notice");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases.data());
        Session s;
        testsupport::ScriptedFtpPeer& peer =
            s.script({"220 Ready\r\n", "230 In.\r\n", c.feat}).reply("200 Type set to I.\r\n");
        Lines expected;
        if (!c.opts.isEmpty()) {
            peer.reply(c.opts);
            expected << "OPTS HASH SHA-256\r\n";
        }
        peer.passive(passiveReply).reply("150 Ok.\r\n").transfer().send("226 Done.\r\n");
        expected += Lines{"PASV\r\n", "STOR n.txt\r\n"};
        if (!c.check.isEmpty()) {
            peer.reply(c.checkReply);
            expected << c.check + " n.txt\r\n";
        }
        s.logIn(true);
        s.client.OnFailure = nullptr;
        s.client.SetTransferType(2);

        const QString failure = failureOf<VerifyError>([&] { s.client.Upload(path, "n.txt"); });
        ASSERT_TRUE(s.peer.waitUntilPlayed());
        EXPECT_EQ(failure, c.failure.isEmpty() ? "<no exception>" : c.failure);
        const UploadProgress& upload = s.client.lastUpload();
        EXPECT_EQ(upload.verification,
                  c.passed.isEmpty()       ? Verification::NotChecked
                      : c.passed == "SIZE" ? Verification::Size
                                           : Verification::Hash);
        EXPECT_EQ(upload.hashName, c.passed == "SIZE" ? QByteArray() : c.passed);
        EXPECT_EQ(upload.uncheckedReply, c.unchecked);
        EXPECT_EQ(s.peer.commands().mid(3), expected);
        expectCleanedUp(s.client);
    }
}
