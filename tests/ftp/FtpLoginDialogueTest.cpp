// Login, logout and single commands against the scripted peer, checked byte for byte.
#include "ftp/NMFtp.h"
#include "platform/codepage.h"
#include "tests/ftp/FtpClientProbe.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <utility>

using namespace std::chrono_literals;

TEST(FtpLoginDialogue, MultiLineGreetingIsReadWholeAndUser230NeedsNoPassword)
{
    Session s;
    s.peer.send("220-Welcome to the station\r\n second line\r\n220-third line\r\n220 last line\r\n")
        .reply("230 Logged in without password.\r\n")
        .reply("221 Bye.\r\n");
    s.peer.start();
    s.client.Password.clear();
    QList<int> codesWhenAsked;
    s.client.OnAuthenticationNeeded = [&](bool& handled) {
        codesWhenAsked << s.client.ReplyCode;
        handled = false;
    };

    s.client.Connect();
    EXPECT_TRUE(s.client.Connected);
    EXPECT_EQ(codesWhenAsked, QList<int> {220});
    EXPECT_EQ(s.probe.events, QStringList {"OnConnect"});
    EXPECT_EQ(s.probe.status, (Lines {"220-Welcome to the station\r\n", " second line\r\n", "220-third line\r\n",
                                      "220 last line\r\n", "USER user", "230 Logged in without password.\r\n"}));
    s.client.Disconnect();
    EXPECT_FALSE(s.client.Connected);
    EXPECT_EQ(s.probe.events, (QStringList {"OnConnect", "OnDisconnect"}));
    ASSERT_TRUE(s.peer.waitUntilFinished());
    EXPECT_EQ(s.peer.commands(), (Lines {"USER user\r\n", "QUIT\r\n"}));
    EXPECT_TRUE(s.peer.problems().isEmpty()) << s.peer.problems().join('\n').toStdString();
}

TEST(FtpLoginDialogue, RefusedLoginStepsDisconnectAndCarryTheReplyLine)
{
    struct Case {
        Lines script; // the greeting, then the replies
        bool firewall;
        QString message;
        Lines commands;
        Lines status; // checked when given
    };
    const QList<Case> cases {
        {{"220 Ready\r\n", "331 Password required for user.\r\n", "530 Login incorrect.\r\n", "221 Bye.\r\n"}, false,
         "530 Login incorrect.\r\n", {"USER user\r\n", "PASS secret\r\n", "QUIT\r\n"},
         {"220 Ready\r\n", "USER user", "331 Password required for user.\r\n", "PASS ", "530 Login incorrect.\r\n",
          "QUIT", "221 Bye.\r\n", "Disconnected"}},
        {{"421 Too many users.\r\n", "221 Bye.\r\n"}, false, "421 Too many users.\r\n", {"QUIT\r\n"}, {}},
        {{"220 Ready\r\n", "530 No such user.\r\n", "221 Bye.\r\n"}, false, "530 No such user.\r\n",
         {"USER user\r\n", "QUIT\r\n"}, {}},
        {{"220 Proxy ready\r\n", "331 Firewall password?\r\n", "530 Denied.\r\n", "221 Bye.\r\n"}, true,
         "530 Denied.\r\n", {"USER fw\r\n", "PASS fwpw\r\n", "QUIT\r\n"}, {}},
        // 400 to USER counts as acceptance at login.
        {{"220 Ready\r\n", "400 Odd.\r\n", "221 Bye.\r\n"}, false, "<no exception>", {"USER user\r\n", "QUIT\r\n"}, {}},
    };
    for (const Case& c : cases) {
        Session s;
        s.peer.send(c.script[0]);
        for (const QByteArray& reply : c.script.mid(1))
            s.peer.reply(reply);
        s.peer.start();
        s.client.FWAuthenticate = c.firewall;
        s.client.FWUserID = "fw";
        s.client.FWPassword = "fwpw";
        const bool refused = c.message != "<no exception>";

        EXPECT_EQ(failureOf<FTPException>([&] { s.client.Connect(); }), c.message);
        EXPECT_EQ(s.client.Connected, !refused);
        s.client.Disconnect();
        const QString first = refused ? "OnConnectionFailed" : "OnConnect";
        EXPECT_EQ(s.probe.events, (QStringList {first, "OnDisconnect"}));
        if (!c.status.isEmpty()) {
            EXPECT_EQ(s.probe.status, c.status);
        }
        EXPECT_FALSE(s.probe.statusContains("secret") || s.probe.statusContains("fwpw"));
        ASSERT_TRUE(s.peer.waitUntilFinished());
        EXPECT_EQ(s.peer.commands(), c.commands);
    }
}

TEST(FtpLoginDialogue, MissingCredentialsAreAskedForOrSentEmpty)
{
    for (const bool fill : {false, true}) {
        Session s;
        s.peer.send("220 Ready\r\n").reply("331 Password?\r\n").reply("230 In.\r\n");
        s.peer.start();
        s.client.Password.clear();
        if (fill) {
            s.client.UserID.clear();
            s.client.OnAuthenticationNeeded = [&](bool& handled) {
                s.client.UserID = "late";
                s.client.Password = "given";
                handled = true;
            };
        }
        s.client.Connect();
        EXPECT_TRUE(s.client.Connected);
        EXPECT_EQ(s.peer.commands(), fill ? (Lines {"USER late\r\n", "PASS given\r\n"}) : (Lines {"USER user\r\n", "PASS \r\n"}));
    }
}

struct ProxyCase {
    const char* name;
    TFirewallType style;
    bool authenticate;
    Lines replies;
    Lines commands;
};

class FtpProxyLogin : public testing::TestWithParam<ProxyCase> {};

TEST_P(FtpProxyLogin, CommandsGoOutInTheirExactOrder)
{
    const ProxyCase& c = GetParam();
    Session s;
    s.peer.send("220 Proxy ready\r\n");
    for (const QByteArray& reply : c.replies)
        s.peer.reply(reply);
    s.peer.start();
    // The proxy is contacted; Host is only named in the commands.
    s.client.Host = "station.example";
    s.client.Port = 2121;
    s.client.Proxy = s.peer.address();
    s.client.ProxyPort = s.peer.port();
    s.client.UserID = "clerk";
    s.client.Password = "pw1";
    s.client.FWUserID = "fwuser";
    s.client.FWPassword = "fwpw";
    s.client.FWAuthenticate = c.authenticate;
    s.client.FirewallType = c.style;

    s.client.Connect();
    EXPECT_TRUE(s.client.Connected);
    EXPECT_EQ(s.probe.events, QStringList {"OnConnect"});
    EXPECT_EQ(s.peer.commands(), c.commands);
    // Neither password shows; the firewall USER and the proxy commands are not reported.
    for (const QByteArray hidden : {"pw1", "fwpw", "fwuser", "station.example"})
        EXPECT_FALSE(s.probe.statusContains(hidden)) << hidden.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Styles, FtpProxyLogin,
    testing::Values(
        ProxyCase {"UserAtHost", TFirewallType::FTUser, false,
                   {"331 Password?\r\n", "230 In.\r\n"},
                   {"USER clerk@station.example\r\n", "PASS pw1\r\n"}},
        ProxyCase {"UserAtHostAfterFirewall", TFirewallType::FTUser, true,
                   {"230 Firewall passed.\r\n", "331 Password?\r\n", "230 In.\r\n"},
                   {"USER fwuser\r\n", "USER clerk@station.example\r\n", "PASS pw1\r\n"}},
        ProxyCase {"Open", TFirewallType::FtOpen, false,
                   {"220 Opened.\r\n", "331 Password?\r\n", "230 In.\r\n"},
                   {"OPEN station.example\r\n", "USER clerk\r\n", "PASS pw1\r\n"}},
        ProxyCase {"OpenAfterFirewall", TFirewallType::FtOpen, true,
                   {"331 Firewall password?\r\n", "230 Firewall passed.\r\n", "220 Opened.\r\n", "230 In.\r\n"},
                   {"USER fwuser\r\n", "PASS fwpw\r\n", "OPEN station.example\r\n", "USER clerk\r\n"}},
        ProxyCase {"Site", TFirewallType::FtSite, false,
                   {"200 Site ok.\r\n", "331 Password?\r\n", "230 In.\r\n"},
                   {"SITE station.example\r\n", "USER clerk\r\n", "PASS pw1\r\n"}},
        ProxyCase {"SiteAfterFirewall", TFirewallType::FtSite, true,
                   {"331 Firewall password?\r\n", "230 Firewall passed.\r\n", "200 Site ok.\r\n",
                    "331 Password?\r\n", "230 In.\r\n"},
                   {"USER fwuser\r\n", "PASS fwpw\r\n", "SITE station.example\r\n", "USER clerk\r\n",
                    "PASS pw1\r\n"}}),
    [](const testing::TestParamInfo<ProxyCase>& info) { return std::string(info.param.name); });

TEST(FtpLoginDialogue, SecondConnectSendsNothingAndRefusedQuitStillCloses)
{
    Session s;
    s.greeted().reply("500 Unknown command.\r\n");
    s.peer.start();
    s.client.Connect();
    s.probe.clear();

    s.client.Host = "127.0.0.2";
    s.client.UserID = "other";
    s.client.Connect();
    EXPECT_TRUE(s.client.Connected);
    EXPECT_TRUE(s.probe.events.isEmpty());
    EXPECT_TRUE(s.probe.status.isEmpty());

    s.client.Vendor = 7;
    EXPECT_EQ(failureOf<FTPException>([&] { s.client.Disconnect(); }), QStringLiteral("500 Unknown command.\r\n"));
    EXPECT_FALSE(s.client.Connected);
    EXPECT_EQ(s.probe.events, QStringList {"OnDisconnect"});
    EXPECT_EQ(s.client.Vendor, 2411);
    // Nothing more to close: no QUIT goes out again.
    s.client.Disconnect();
    ASSERT_TRUE(s.peer.waitUntilFinished());
    EXPECT_EQ(s.peer.commands(), (Lines {"USER user\r\n", "QUIT\r\n"}));
    EXPECT_EQ(s.peer.connectionCount(), 1);
}

TEST(FtpLoginDialogue, ServerClosingInsteadOfReplyingFailsEveryLoginStep)
{
    // The replies before the server just closes, and the step the message names.
    const QList<std::pair<Lines, QString>> cases {
        {{}, "greeting"}, {{"220 Ready\r\n"}, "USER"}, {{"220 Ready\r\n", "331 Password?\r\n"}, "PASS"}};
    for (const auto& [replies, step] : cases) {
        Session s;
        if (replies.isEmpty())
            s.peer.delay(50ms);
        else
            s.peer.send(replies[0]);
        for (const QByteArray& reply : replies.mid(1))
            s.peer.reply(reply);
        if (!replies.isEmpty())
            s.peer.command();
        s.peer.drop();
        s.peer.start();

        const QString message = failureOf<ESockError>([&] { s.client.Connect(); });
        EXPECT_TRUE(message.startsWith("Connection closed by the server")) << message.toStdString();
        EXPECT_TRUE(message.contains(step) && !message.contains("secret")) << message.toStdString();
        EXPECT_FALSE(s.client.Connected);
        EXPECT_FALSE(s.probe.events.contains("OnConnect"));
        EXPECT_TRUE(s.probe.status.contains("Disconnected"));
    }

    // After QUIT, closing is what was asked for.
    Session s;
    s.greeted().command().drop();
    s.peer.start();
    s.client.Connect();
    EXPECT_NO_THROW(s.client.Disconnect());
    EXPECT_FALSE(s.client.Connected);
}

TEST(FtpLoginDialogue, RefusedTcpConnectionGoesStraightToTheCaller)
{
    TNMFTP client;
    FtpClientProbe probe(client);
    client.Host = "127.0.0.1";
    client.Port = Session().peer.port(); // nobody listens there once the peer is gone
    EXPECT_EQ(failureOf<ESockError>([&] { client.Connect(); }), QStringLiteral("Connection Failed"));
    EXPECT_FALSE(client.Connected);
    EXPECT_EQ(probe.events, QStringList {"OnConnectionFailed"});
    EXPECT_FALSE(probe.status.contains("Disconnected"));
}

TEST(FtpLoginDialogue, SilentServerTimesOut)
{
    // Silent before the greeting, then silent after USER.
    for (const bool greet : {false, true}) {
        Session s;
        if (greet)
            s.peer.send("220 Ready\r\n").command();
        s.peer.delay(3000ms);
        s.peer.start();
        s.client.setIdleLimit(300);
        QElapsedTimer clock;
        clock.start();
        const QString message = failureOf<ESockError>([&] { s.client.Connect(); });
        EXPECT_LT(clock.elapsed(), 2500);
        EXPECT_TRUE(message.contains(" within 0.")) << message.toStdString();
        EXPECT_FALSE(s.client.Connected);
    }
}

TEST(FtpCommands, KindsReachOnSuccessAndTextsGoOutUnchanged)
{
    const QList<std::pair<QByteArray, int>> commands {
        {"CWD /notices", 0}, {"CWD", 0}, {"PWD", 15}, {"pwd", 14}, {"PWD x", 14}, {"MKD new", 1},
        {"DELE old.txt", 2}, {"RMD gone", 3}, {"cwd x", 14}, {"CWDX y", 14}};
    Session s;
    s.greeted();
    for (qsizetype i = 0; i < commands.size() + 5; ++i)
        s.peer.reply("250 Ok.\r\n");
    s.peer.reply("600 Odd but fine.\r\n").reply("Not a code\r\n");
    s.logIn();

    QStringList events;
    Lines wire {"USER user\r\n"};
    for (const auto& [command, kind] : commands) {
        s.client.RunCommand(command);
        events << QStringLiteral("OnSuccess(%1)").arg(kind);
        wire << command + "\r\n";
    }
    s.client.ChangeDir("/notices");
    s.client.ChangeDir("");
    for (const int mode : {1, 2, 3, 0, 4})
        s.client.SetTransferType(mode);
    s.client.RunCommand("NOOP");
    s.client.RunCommand("NOOP");
    EXPECT_EQ(s.client.ReplyCode, 0);

    events << "OnSuccess(0)" << "OnSuccess(0)" << "OnSuccess(14)" << "OnSuccess(14)" << "OnSuccess(14)"
           << "OnSuccess(14)" << "OnSuccess(14)";
    wire << "CWD /notices\r\n" << "CWD \r\n" << "TYPE A\r\n" << "TYPE I\r\n" << "TYPE L 8\r\n" << "NOOP\r\n"
         << "NOOP\r\n";
    EXPECT_EQ(s.probe.events, events);
    EXPECT_EQ(s.peer.commands(), wire);
    EXPECT_EQ(s.probe.status.mid(0, 2), (Lines {"CWD /notices", "250 Ok.\r\n"}));
}

TEST(FtpCommands, RefusalsGoToOnFailureOrRaise)
{
    Session s;
    s.greeted()
        .reply("502 Not implemented.\r\n")
        .reply("550 No such folder.\r\n")
        .reply("400 Refused.\r\n")
        .reply("599 Refused too.\r\n")
        .reply("550 Missing.\r\n")
        .reply("501 Bad.\r\n");
    s.logIn();

    // Handled: no exception, no success; 500 to 502 tell OnUnSupportedFunction first.
    s.probe.recordOutcomes(true);
    EXPECT_NO_THROW(s.client.ChangeDir("x"));
    EXPECT_NO_THROW(s.client.RunCommand("MKD y"));
    EXPECT_EQ(s.probe.events, (QStringList {"OnUnSupportedFunction(0)", "OnFailure(0)", "OnFailure(1)"}));

    // Not handled: the reply line goes to the caller.
    s.probe.recordOutcomes(false);
    s.probe.clear();
    EXPECT_EQ(failureOf<FTPException>([&] { s.client.RunCommand("DELE z"); }), QStringLiteral("400 Refused.\r\n"));
    EXPECT_EQ(failureOf<FTPException>([&] { s.client.RunCommand("RMD z"); }), QStringLiteral("599 Refused too.\r\n"));
    EXPECT_EQ(s.probe.events, (QStringList {"OnFailure(2)", "OnFailure(3)"}));

    // No OnFailure at all.
    s.client.OnFailure = nullptr;
    s.client.OnSuccess = nullptr;
    s.probe.clear();
    EXPECT_EQ(failureOf<FTPException>([&] { s.client.ChangeDir("gone"); }), QStringLiteral("550 Missing.\r\n"));
    EXPECT_EQ(failureOf<FTPException>([&] { s.client.RunCommand("pwd"); }), QStringLiteral("501 Bad.\r\n"));
    EXPECT_EQ(s.probe.events, QStringList {"OnUnSupportedFunction(14)"});
    EXPECT_TRUE(s.client.Connected);
}

TEST(FtpCommands, NotConnectedAndClosedConnection)
{
    TNMFTP idle;
    EXPECT_EQ(failureOf<platform::Exception>([&] { idle.RunCommand("PWD"); }), QStringLiteral("Not Connected"));
    EXPECT_EQ(failureOf<platform::Exception>([&] { idle.Upload("missing.txt", ""); }), QStringLiteral("Not Connected"));

    Session s;
    s.greeted().command().drop();
    s.logIn();
    s.probe.recordOutcomes(true);
    EXPECT_EQ(failureOf<ESockError>([&] { s.client.ChangeDir("/notices"); }),
              QStringLiteral("Connection closed by the server instead of a reply to CWD"));
    EXPECT_TRUE(s.probe.events.isEmpty() || s.probe.events == QStringList {"OnDisconnect"}) << s.probe.events.join(',').toStdString();
}

TEST(FtpCommands, LeftOverReplyLinesAreDiscardedBeforeTheNextCommand)
{
    Session s;
    s.greeted().send("226 Late line.\r\n").reply("257 \"/\"\r\n");
    s.logIn();
    QTest::qWait(100);
    s.client.RunCommand("PWD");
    EXPECT_EQ(s.client.ReplyCode, 257);
}

TEST(FtpCommands, FolderNamesGoOutAsBytesButNeverWithALineBreak)
{
    Session s;
    s.greeted().reply("250 Ok.\r\n").reply("200 Ok.\r\n");
    s.logIn();
    s.client.ChangeDir(platform::toCodePage(QStringLiteral("/通知")));
    EXPECT_EQ(s.peer.commands().last(), QByteArray("CWD /\xcd\xa8\xd6\xaa\r\n"));

    // A name with a line break would carry a command of its own to the server.
    EXPECT_EQ(failureOf<EInvalidCommand>([&] { s.client.ChangeDir("in\r\nDELE notice.txt"); }),
              QStringLiteral("Line break in the CWD command; nothing was sent"));
    QTemporaryDir folder;
    const QString path = writeFile(folder, "n\nDELE notice.txt", "notice");
    EXPECT_EQ(failureOf<EInvalidCommand>([&] { s.client.Upload(path, ""); }),
              QStringLiteral("Line break in the STOR command; nothing was sent"));
    EXPECT_TRUE(s.client.Connected);
    EXPECT_EQ(s.client.DataConnection, nullptr);
    QTest::qWait(100);
    EXPECT_EQ(s.peer.commands().size(), 3); // USER, CWD, PORT
    EXPECT_FALSE(s.peer.commands().join().contains("DELE"));
}
