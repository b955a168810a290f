// Login, logout and single commands against the scripted peer, checked byte for byte.
#include "ftp/NMFtp.h"
#include "platform/codepage.h"
#include "tests/ftp/FtpClientProbe.h"
#include "tests/support/ScriptedFtpPeer.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using testsupport::ScriptedFtpPeer;
using Lines = QList<QByteArray>;

TEST(FtpLoginDialogue, MultiLineGreetingIsReadWholeAndUser230NeedsNoPassword)
{
    ScriptedFtpPeer peer;
    peer.send("220-Welcome to the station\r\n"
              " second line\r\n"
              "220-third line\r\n"
              "220 last line\r\n")
        .reply("230 Logged in without password.\r\n")
        .reply("221 Bye.\r\n");
    peer.start();

    TNMFTP client;
    FtpClientProbe probe(client);
    pointAt(client, peer);
    client.Password.clear();
    qint16 codeAfterGreeting = -1;
    int asked = 0;
    client.OnAuthenticationNeeded = [&](bool& handled) {
        ++asked;
        codeAfterGreeting = client.ReplyCode;
        handled = false;
    };

    client.Connect();
    EXPECT_TRUE(client.Connected);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(codeAfterGreeting, 220);
    EXPECT_EQ(probe.events, QStringList {"OnConnect"});
    EXPECT_EQ(probe.status, (Lines {"220-Welcome to the station\r\n", " second line\r\n", "220-third line\r\n",
                                    "220 last line\r\n", "USER user", "230 Logged in without password.\r\n"}));

    client.Disconnect();
    EXPECT_FALSE(client.Connected);
    EXPECT_TRUE(probe.events.contains("OnDisconnect"));
    ASSERT_TRUE(peer.waitUntilFinished());
    EXPECT_EQ(peer.commands(), (Lines {"USER user\r\n", "QUIT\r\n"}));
    EXPECT_TRUE(peer.problems().isEmpty()) << peer.problems().join('\n').toStdString();
}

TEST(FtpLoginDialogue, RefusedPasswordDisconnectsAndCarriesTheReplyLine)
{
    ScriptedFtpPeer peer;
    peer.send("220 Ready\r\n")
        .reply("331 Password required for user.\r\n")
        .reply("530 Login incorrect.\r\n")
        .reply("221 Bye.\r\n");
    peer.start();

    TNMFTP client;
    FtpClientProbe probe(client);
    pointAt(client, peer);

    EXPECT_EQ(failureOf<FTPException>([&] { client.Connect(); }), QStringLiteral("530 Login incorrect.\r\n"));
    EXPECT_FALSE(client.Connected);
    EXPECT_EQ(probe.events, (QStringList {"OnConnectionFailed", "OnDisconnect"}));
    EXPECT_EQ(probe.status, (Lines {"220 Ready\r\n", "USER user", "331 Password required for user.\r\n", "PASS ",
                                    "530 Login incorrect.\r\n", "QUIT", "221 Bye.\r\n", "Disconnected"}));
    EXPECT_FALSE(probe.statusContains("secret"));
    ASSERT_TRUE(peer.waitUntilFinished());
    EXPECT_EQ(peer.commands(), (Lines {"USER user\r\n", "PASS secret\r\n", "QUIT\r\n"}));
}

TEST(FtpLoginDialogue, RefusedGreetingAndUserFailTheLogin)
{
    {
        ScriptedFtpPeer peer;
        peer.send("421 Too many users.\r\n").reply("221 Bye.\r\n");
        peer.start();
        TNMFTP client;
        FtpClientProbe probe(client);
        pointAt(client, peer);
        EXPECT_EQ(failureOf<FTPException>([&] { client.Connect(); }), QStringLiteral("421 Too many users.\r\n"));
        EXPECT_FALSE(client.Connected);
        EXPECT_EQ(probe.events.first(), QStringLiteral("OnConnectionFailed"));
        ASSERT_TRUE(peer.waitUntilFinished());
        EXPECT_EQ(peer.commands(), (Lines {"QUIT\r\n"}));
    }
    {
        // 400 to USER counts as acceptance at login; 530 does not.
        ScriptedFtpPeer peer;
        peer.send("220 Ready\r\n").reply("400 Odd.\r\n").reply("221 Bye.\r\n");
        peer.start();
        TNMFTP client;
        pointAt(client, peer);
        client.Connect();
        EXPECT_TRUE(client.Connected);
        client.Disconnect();
    }
    {
        ScriptedFtpPeer peer;
        peer.send("220 Ready\r\n").reply("530 No such user.\r\n").reply("221 Bye.\r\n");
        peer.start();
        TNMFTP client;
        pointAt(client, peer);
        EXPECT_EQ(failureOf<FTPException>([&] { client.Connect(); }), QStringLiteral("530 No such user.\r\n"));
        ASSERT_TRUE(peer.waitUntilFinished());
        EXPECT_EQ(peer.commands(), (Lines {"USER user\r\n", "QUIT\r\n"}));
    }
}

TEST(FtpLoginDialogue, EmptyPasswordIsSentWhenAskedAndNoHandlerFillsIt)
{
    ScriptedFtpPeer peer;
    peer.send("220 Ready\r\n").reply("331 Password?\r\n").reply("230 In.\r\n");
    peer.start();
    TNMFTP client;
    pointAt(client, peer);
    client.Password.clear();
    client.Connect();
    EXPECT_TRUE(client.Connected);
    EXPECT_EQ(peer.commands(), (Lines {"USER user\r\n", "PASS \r\n"}));

    // The handler may fill in what is missing.
    ScriptedFtpPeer second;
    second.send("220 Ready\r\n").reply("331 Password?\r\n").reply("230 In.\r\n");
    second.start();
    TNMFTP filled;
    pointAt(filled, second);
    filled.UserID.clear();
    filled.OnAuthenticationNeeded = [&](bool& handled) {
        filled.UserID = "late";
        filled.Password = "given";
        handled = true;
    };
    filled.Connect();
    EXPECT_EQ(second.commands(), (Lines {"USER late\r\n", "PASS given\r\n"}));
}

struct ProxyCase {
    const char* name;
    TFirewallType style;
    bool authenticate;
    QList<QByteArray> replies;
    QList<QByteArray> commands;
};

class FtpProxyLogin : public testing::TestWithParam<ProxyCase> {};

TEST_P(FtpProxyLogin, CommandsGoOutInTheirExactOrder)
{
    const ProxyCase& c = GetParam();
    ScriptedFtpPeer peer;
    peer.send("220 Proxy ready\r\n");
    for (const QByteArray& reply : c.replies)
        peer.reply(reply);
    peer.start();

    TNMFTP client;
    FtpClientProbe probe(client);
    // The proxy is contacted; Host is only named in the commands.
    client.Host = "station.example";
    client.Port = 2121;
    client.Proxy = peer.address();
    client.ProxyPort = peer.port();
    client.UserID = "clerk";
    client.Password = "pw1";
    client.FWUserID = "fwuser";
    client.FWPassword = "fwpw";
    client.FWAuthenticate = c.authenticate;
    client.FirewallType = c.style;

    client.Connect();
    EXPECT_TRUE(client.Connected);
    EXPECT_EQ(probe.events, QStringList {"OnConnect"});
    EXPECT_EQ(peer.commands(), c.commands);
    // Neither password shows; the firewall USER and the proxy commands are not reported.
    EXPECT_FALSE(probe.statusContains("pw1"));
    EXPECT_FALSE(probe.statusContains("fwpw"));
    EXPECT_FALSE(probe.status.contains("USER fwuser"));
    EXPECT_FALSE(probe.statusContains("station.example"));
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

TEST(FtpLoginDialogue, RefusedFirewallLoginFails)
{
    ScriptedFtpPeer peer;
    peer.send("220 Proxy ready\r\n").reply("331 Firewall password?\r\n").reply("530 Denied.\r\n").reply("221 Bye.\r\n");
    peer.start();
    TNMFTP client;
    FtpClientProbe probe(client);
    pointAt(client, peer);
    client.FWAuthenticate = true;
    client.FWUserID = "fw";
    client.FWPassword = "fwpw";
    EXPECT_EQ(failureOf<FTPException>([&] { client.Connect(); }), QStringLiteral("530 Denied.\r\n"));
    EXPECT_FALSE(client.Connected);
    EXPECT_EQ(probe.events.first(), QStringLiteral("OnConnectionFailed"));
    ASSERT_TRUE(peer.waitUntilFinished());
    EXPECT_EQ(peer.commands(), (Lines {"USER fw\r\n", "PASS fwpw\r\n", "QUIT\r\n"}));
}

TEST(FtpLoginDialogue, SecondConnectWhileConnectedSendsNothing)
{
    ScriptedFtpPeer peer;
    peer.send("220 Ready\r\n").reply("230 In.\r\n");
    peer.start();
    TNMFTP client;
    FtpClientProbe probe(client);
    pointAt(client, peer);
    client.Connect();
    probe.events.clear();
    probe.status.clear();

    client.Host = "127.0.0.2";
    client.UserID = "other";
    client.Connect();
    EXPECT_TRUE(client.Connected);
    EXPECT_TRUE(probe.events.isEmpty());
    EXPECT_TRUE(probe.status.isEmpty());
    ASSERT_TRUE(peer.waitUntilPlayed());
    QTest::qWait(100);
    EXPECT_EQ(peer.commands(), (Lines {"USER user\r\n"}));
    EXPECT_EQ(peer.connectionCount(), 1);
}

TEST(FtpLoginDialogue, RefusedQuitStillCloses)
{
    ScriptedFtpPeer peer;
    peer.send("220 Ready\r\n").reply("230 In.\r\n").reply("500 Unknown command.\r\n");
    peer.start();
    TNMFTP client;
    FtpClientProbe probe(client);
    pointAt(client, peer);
    client.Connect();
    client.Vendor = 7;

    EXPECT_EQ(failureOf<FTPException>([&] { client.Disconnect(); }), QStringLiteral("500 Unknown command.\r\n"));
    EXPECT_FALSE(client.Connected);
    EXPECT_EQ(probe.events, (QStringList {"OnConnect", "OnDisconnect"}));
    EXPECT_EQ(client.Vendor, 2411);

    // Nothing more to close: no QUIT goes out again.
    client.Disconnect();
    ASSERT_TRUE(peer.waitUntilFinished());
    EXPECT_EQ(peer.commands(), (Lines {"USER user\r\n", "QUIT\r\n"}));
}

TEST(FtpLoginDialogue, ServerClosingInsteadOfReplyingFailsEveryLoginStep)
{
    // Each case: the replies before the server just closes, and the message's key word.
    struct Case {
        QList<QByteArray> replies;
        QByteArray password;
        QString expected;
    };
    const QList<Case> cases {
        {{}, "secret", "greeting"},
        {{"220 Ready\r\n"}, "secret", "USER"},
        {{"220 Ready\r\n", "331 Password?\r\n"}, "secret", "PASS"},
    };
    for (const Case& c : cases) {
        ScriptedFtpPeer peer;
        for (qsizetype i = 0; i < c.replies.size(); ++i) {
            if (i == 0)
                peer.send(c.replies[i]);
            else
                peer.reply(c.replies[i]);
        }
        if (c.replies.isEmpty())
            peer.delay(std::chrono::milliseconds(50));
        else
            peer.command();
        peer.drop();
        peer.start();

        TNMFTP client;
        FtpClientProbe probe(client);
        pointAt(client, peer);
        const QString message = failureOf<ESockError>([&] { client.Connect(); });
        EXPECT_TRUE(message.startsWith("Connection closed by the server")) << message.toStdString();
        EXPECT_TRUE(message.contains(c.expected)) << message.toStdString();
        EXPECT_FALSE(message.contains("secret"));
        EXPECT_FALSE(client.Connected);
        EXPECT_FALSE(probe.events.contains("OnConnect"));
        EXPECT_TRUE(probe.status.contains("Disconnected"));
    }

    // After QUIT, closing is what was asked for.
    ScriptedFtpPeer peer;
    peer.send("220 Ready\r\n").reply("230 In.\r\n").command().drop();
    peer.start();
    TNMFTP client;
    pointAt(client, peer);
    client.Connect();
    EXPECT_NO_THROW(client.Disconnect());
    EXPECT_FALSE(client.Connected);
}

TEST(FtpLoginDialogue, RefusedTcpConnectionGoesStraightToTheCaller)
{
    // A port nobody listens on: the peer's own port once it is gone.
    quint16 port = 0;
    {
        ScriptedFtpPeer closed;
        port = closed.port();
    }
    TNMFTP client;
    FtpClientProbe probe(client);
    client.Host = "127.0.0.1";
    client.Port = port;
    EXPECT_EQ(failureOf<ESockError>([&] { client.Connect(); }), QStringLiteral("Connection Failed"));
    EXPECT_FALSE(client.Connected);
    EXPECT_EQ(probe.events, QStringList {"OnConnectionFailed"});
    EXPECT_FALSE(probe.status.contains("Disconnected"));
}

TEST(FtpLoginDialogue, SilentServerTimesOut)
{
    // Silent before the greeting, then silent after USER.
    for (const bool greet : {false, true}) {
        ScriptedFtpPeer peer;
        if (greet)
            peer.send("220 Ready\r\n").command();
        peer.delay(std::chrono::milliseconds(3000));
        peer.start();
        TNMFTP client;
        pointAt(client, peer);
        client.setIdleLimit(300);
        QElapsedTimer clock;
        clock.start();
        const QString message = failureOf<ESockError>([&] { client.Connect(); });
        EXPECT_LT(clock.elapsed(), 2500);
        EXPECT_TRUE(message.contains(" within 0.")) << message.toStdString();
        EXPECT_FALSE(client.Connected);
    }
}

TEST(FtpCommands, KindsReachOnSuccessAndTextsGoOutUnchanged)
{
    ScriptedFtpPeer peer;
    peer.send("220 Ready\r\n").reply("230 In.\r\n");
    for (int i = 0; i < 13; ++i)
        peer.reply(i == 11 ? "600 Odd but fine.\r\n" : i == 12 ? "Not a code\r\n" : "250 Ok.\r\n");
    peer.start();

    TNMFTP client;
    FtpClientProbe probe(client);
    pointAt(client, peer);
    client.Connect();
    probe.recordOutcomes(false);
    probe.events.clear();
    probe.status.clear();

    client.ChangeDir("/notices");
    client.RunCommand("PWD");
    client.RunCommand("pwd");
    client.RunCommand("PWD x");
    client.RunCommand("MKD new");
    client.RunCommand("DELE old.txt");
    client.RunCommand("RMD gone");
    client.ChangeDir("");
    client.SetTransferType(1);
    client.SetTransferType(2);
    client.SetTransferType(3);
    client.SetTransferType(0);
    client.SetTransferType(4);
    client.RunCommand("CWD");
    client.RunCommand("NOOP");
    EXPECT_EQ(client.ReplyCode, 0);

    EXPECT_EQ(probe.events, (QStringList {"OnSuccess(0)", "OnSuccess(15)", "OnSuccess(14)", "OnSuccess(14)",
                                          "OnSuccess(1)", "OnSuccess(2)", "OnSuccess(3)", "OnSuccess(0)",
                                          "OnSuccess(14)", "OnSuccess(14)", "OnSuccess(14)", "OnSuccess(0)",
                                          "OnSuccess(14)"}));
    EXPECT_EQ(peer.commands().mid(1),
              (Lines {"CWD /notices\r\n", "PWD\r\n", "pwd\r\n", "PWD x\r\n", "MKD new\r\n", "DELE old.txt\r\n",
                      "RMD gone\r\n", "CWD \r\n", "TYPE A\r\n", "TYPE I\r\n", "TYPE L 8\r\n", "CWD\r\n",
                      "NOOP\r\n"}));
    EXPECT_EQ(probe.status.mid(0, 2), (Lines {"CWD /notices", "250 Ok.\r\n"}));
}

TEST(FtpCommands, RefusalsGoToOnFailureOrRaise)
{
    ScriptedFtpPeer peer;
    peer.send("220 Ready\r\n")
        .reply("230 In.\r\n")
        .reply("502 Not implemented.\r\n")
        .reply("550 No such folder.\r\n")
        .reply("400 Refused.\r\n")
        .reply("599 Refused too.\r\n")
        .reply("550 Missing.\r\n")
        .reply("501 Bad.\r\n");
    peer.start();

    TNMFTP client;
    FtpClientProbe probe(client);
    pointAt(client, peer);
    client.Connect();
    probe.events.clear();

    // Handled: no exception, no success; 500 to 502 tell OnUnSupportedFunction first.
    probe.recordOutcomes(true);
    EXPECT_NO_THROW(client.ChangeDir("x"));
    EXPECT_NO_THROW(client.RunCommand("MKD y"));
    EXPECT_EQ(probe.events, (QStringList {"OnUnSupportedFunction(0)", "OnFailure(0)", "OnFailure(1)"}));

    // Not handled: the reply line goes to the caller.
    probe.recordOutcomes(false);
    probe.events.clear();
    EXPECT_EQ(failureOf<FTPException>([&] { client.RunCommand("DELE z"); }), QStringLiteral("400 Refused.\r\n"));
    EXPECT_EQ(failureOf<FTPException>([&] { client.RunCommand("RMD z"); }), QStringLiteral("599 Refused too.\r\n"));
    EXPECT_EQ(probe.events, (QStringList {"OnFailure(2)", "OnFailure(3)"}));

    // No OnFailure at all.
    client.OnFailure = nullptr;
    client.OnSuccess = nullptr;
    probe.events.clear();
    EXPECT_EQ(failureOf<FTPException>([&] { client.ChangeDir("gone"); }), QStringLiteral("550 Missing.\r\n"));
    EXPECT_EQ(failureOf<FTPException>([&] { client.RunCommand("pwd"); }), QStringLiteral("501 Bad.\r\n"));
    EXPECT_EQ(probe.events, QStringList {"OnUnSupportedFunction(14)"});
    EXPECT_TRUE(client.Connected);
}

TEST(FtpCommands, NotConnectedAndClosedConnection)
{
    TNMFTP idle;
    EXPECT_EQ(failureOf<platform::Exception>([&] { idle.RunCommand("PWD"); }), QStringLiteral("Not Connected"));

    ScriptedFtpPeer peer;
    peer.send("220 Ready\r\n").reply("230 In.\r\n").command().drop();
    peer.start();
    TNMFTP client;
    FtpClientProbe probe(client);
    pointAt(client, peer);
    client.Connect();
    probe.recordOutcomes(true);
    probe.events.clear();
    const QString message = failureOf<ESockError>([&] { client.ChangeDir("/notices"); });
    EXPECT_EQ(message, QStringLiteral("Connection closed by the server instead of a reply to CWD"));
    EXPECT_TRUE(probe.events.isEmpty() || probe.events == QStringList {"OnDisconnect"}) << probe.events.join(',').toStdString();
}

TEST(FtpCommands, LeftOverReplyLinesAreDiscardedBeforeTheNextCommand)
{
    ScriptedFtpPeer peer;
    peer.send("220 Ready\r\n").reply("230 In.\r\n").send("226 Late line.\r\n").reply("257 \"/\"\r\n");
    peer.start();
    TNMFTP client;
    pointAt(client, peer);
    client.Connect();
    QTest::qWait(100);
    client.RunCommand("PWD");
    EXPECT_EQ(client.ReplyCode, 257);
}

TEST(FtpCommands, FolderNamesGoOutAsBytesButNeverWithALineBreak)
{
    ScriptedFtpPeer peer;
    peer.send("220 Ready\r\n").reply("230 In.\r\n").reply("250 Ok.\r\n").reply("200 Ok.\r\n");
    peer.start();
    TNMFTP client;
    pointAt(client, peer);
    client.Connect();
    client.ChangeDir(platform::toCodePage(QStringLiteral("/通知")));
    EXPECT_EQ(peer.commands().last(), QByteArray("CWD /\xcd\xa8\xd6\xaa\r\n"));

    // A name with a line break would carry a command of its own to the server.
    EXPECT_EQ(failureOf<EInvalidCommand>([&] { client.ChangeDir("in\r\nDELE notice.txt"); }),
              QStringLiteral("Line break in the CWD command; nothing was sent"));
    QTemporaryDir folder;
    const QString path = writeFile(folder, "n\nDELE notice.txt", "notice");
    EXPECT_EQ(failureOf<EInvalidCommand>([&] { client.Upload(path, ""); }),
              QStringLiteral("Line break in the STOR command; nothing was sent"));
    EXPECT_TRUE(client.Connected);
    EXPECT_EQ(client.DataConnection, nullptr);
    QTest::qWait(100);
    const QList<QByteArray> commands = peer.commands();
    EXPECT_EQ(commands.size(), 3);
    for (const QByteArray& command : commands)
        EXPECT_FALSE(command.contains("DELE")) << command.toStdString();
}
