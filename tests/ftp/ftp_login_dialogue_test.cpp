// Login, logout and single commands against the scripted peer, checked byte for byte.
#include "ftp/FtpClient.h"
#include "platform/codepage.h"
#include "tests/ftp/FtpClientProbe.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <utility>

using namespace std::chrono_literals;

TEST(FtpLoginDialogue, MissingCredentialsCanBeFilledInWhenAskedFor)
{
    Session s;
    // The peer answers FEAT itself, also after its script has ended.
    s.script({"220 Ready\r\n", "331 Password?\r\n", "230 In.\r\n"}).answerFeat();
    s.peer.start();
    s.client.UserID.clear();
    s.client.OnAuthenticationNeeded = [&](bool& handled) {
        s.client.UserID = "late";
        s.client.Password = "given";
        handled = true;
    };
    s.client.Connect();
    EXPECT_TRUE(s.client.connected());
    EXPECT_EQ(s.client.sessionEncoding(), NameEncoding::Gbk);
    EXPECT_EQ(s.peer.commands(), (Lines{"USER late\r\n", "PASS given\r\n", "FEAT\r\n"}));
}

TEST(FtpLoginDialogue, LoginCommandsGoOutInTheirExactOrderAndRefusalsCarryTheReplyLine)
{
    struct Case {
        bool viaProxy;
        FirewallStyle style;
        bool firewallLogin;
        Lines script;   // the greeting, then the replies up to the login's last
        Lines commands; // up to the login's last
        QString failure = "<no exception>";
        Lines status = {}; // checked when given
        QByteArray password = "secret";
    };
    const QList<Case> cases{
        // A greeting of several lines is read whole; 230 to USER needs no password.
        {false,
         FirewallStyle::FTUser,
         false,
         {"220-Welcome to the station\r\n second line\r\n220-third line\r\n220 last line\r\n",
          "230 Logged in without password.\r\n"},
         {"USER user\r\n"},
         "<no exception>",
         {"220-Welcome to the station\r\n", " second line\r\n", "220-third line\r\n",
          "220 last line\r\n", "USER user", "230 Logged in without password.\r\n", "FEAT",
          "500 Unknown command.\r\n"},
         ""},
        // A missing password is asked for, else sent empty.
        {false,
         FirewallStyle::FTUser,
         false,
         {"220 Ready\r\n", "331 Password?\r\n", "230 In.\r\n"},
         {"USER user\r\n", "PASS \r\n"},
         "<no exception>",
         {},
         ""},
        {true,
         FirewallStyle::FTUser,
         false,
         {"220 Proxy ready\r\n", "331 Password?\r\n", "230 In.\r\n"},
         {"USER user@station.example\r\n", "PASS secret\r\n"}},
        {true,
         FirewallStyle::FTUser,
         true,
         {"220 Proxy ready\r\n", "230 Firewall passed.\r\n", "331 Password?\r\n", "230 In.\r\n"},
         {"USER fwuser\r\n", "USER user@station.example\r\n", "PASS secret\r\n"}},
        {true,
         FirewallStyle::FtOpen,
         false,
         {"220 Proxy ready\r\n", "220 Opened.\r\n", "331 Password?\r\n", "230 In.\r\n"},
         {"OPEN station.example\r\n", "USER user\r\n", "PASS secret\r\n"}},
        {true,
         FirewallStyle::FtOpen,
         true,
         {"220 Proxy ready\r\n", "331 Firewall password?\r\n", "230 Firewall passed.\r\n",
          "220 Opened.\r\n", "230 In.\r\n"},
         {"USER fwuser\r\n", "PASS fwpw\r\n", "OPEN station.example\r\n", "USER user\r\n"}},
        {true,
         FirewallStyle::FtSite,
         false,
         {"220 Proxy ready\r\n", "200 Site ok.\r\n", "331 Password?\r\n", "230 In.\r\n"},
         {"SITE station.example\r\n", "USER user\r\n", "PASS secret\r\n"}},
        {true,
         FirewallStyle::FtSite,
         true,
         {"220 Proxy ready\r\n", "331 Firewall password?\r\n", "230 Firewall passed.\r\n",
          "200 Site ok.\r\n", "331 Password?\r\n", "230 In.\r\n"},
         {"USER fwuser\r\n", "PASS fwpw\r\n", "SITE station.example\r\n", "USER user\r\n",
          "PASS secret\r\n"}},
        {false,
         FirewallStyle::FTUser,
         false,
         {"220 Ready\r\n", "331 Password required for user.\r\n", "530 Login incorrect.\r\n",
          "221 Bye.\r\n"},
         {"USER user\r\n", "PASS secret\r\n", "QUIT\r\n"},
         "530 Login incorrect.",
         // QUIT goes out, but its reply is not waited for.
         {"220 Ready\r\n", "USER user", "331 Password required for user.\r\n", "PASS ",
          "530 Login incorrect.\r\n", "QUIT", "Disconnected"}},
        {false,
         FirewallStyle::FTUser,
         false,
         {"421-Too many users.\r\n421 Try again later.\r\n", "221 Bye.\r\n"},
         {"QUIT\r\n"},
         "421 Too many users. Try again later."},
        {false,
         FirewallStyle::FTUser,
         false,
         {"220 Ready\r\n", "530 No such user.\r\n", "221 Bye.\r\n"},
         {"USER user\r\n", "QUIT\r\n"},
         "530 No such user."},
        {false,
         FirewallStyle::FTUser,
         true,
         {"220 Ready\r\n", "331 Firewall password?\r\n", "530 Denied.\r\n", "221 Bye.\r\n"},
         {"USER fwuser\r\n", "PASS fwpw\r\n", "QUIT\r\n"},
         "530 Denied."},
        // Something that is no FTP server answers: nothing more goes out to it.
        {false,
         FirewallStyle::FTUser,
         false,
         {"HTTP/1.1 400 Bad Request\r\n", "221 Bye.\r\n"},
         {},
         "Not an FTP server: HTTP/1.1 400 Bad Request",
         {"HTTP/1.1 400 Bad Request\r\n", "Disconnected"}},
        {false,
         FirewallStyle::FTUser,
         false,
         {"HTTP/1.1 \x1b[2J400\rBad\x07 Request\r\n"},
         {},
         "Not an FTP server: HTTP/1.1 400 Bad  Request",
         {"HTTP/1.1 \x1b[2J400\rBad\x07 Request\r\n", "Disconnected"}},
        // 400 to USER counts as acceptance at login.
        {false, FirewallStyle::FTUser, false, {"220 Ready\r\n", "400 Odd.\r\n"}, {"USER user\r\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases.data());
        const bool refused = c.failure != "<no exception>";
        // A login that succeeds asks for the server's features next.
        const Lines script = refused ? c.script : c.script + Lines{testsupport::featUnknown};
        const Lines commands = refused ? c.commands : c.commands + Lines{"FEAT\r\n"};
        Session s;
        s.script(script);
        s.peer.start();
        if (c.viaProxy) {
            // The proxy is contacted; Host is only named in the commands.
            s.client.Proxy = s.client.Host;
            s.client.ProxyPort = s.client.Port;
            s.client.Host = "station.example";
            s.client.Port = 2121;
        }
        s.client.FirewallType = c.style;
        s.client.FWAuthenticate = c.firewallLogin;
        s.client.FWUserID = "fwuser";
        s.client.FWPassword = "fwpw";
        s.client.Password = c.password;
        QList<int> codesWhenAsked;
        s.client.OnAuthenticationNeeded = [&](bool&) { codesWhenAsked << s.client.replyCode(); };

        EXPECT_EQ(failureOf<platform::Exception>([&] { s.client.Connect(); }), c.failure);
        EXPECT_EQ(codesWhenAsked, c.password.isEmpty() ? QList<int>{220} : QList<int>{});
        EXPECT_EQ(s.client.connected(), !refused);
        const QStringList failed{"OnConnectionFailed", "OnDisconnect"};
        EXPECT_EQ(s.probe.events, refused ? failed : QStringList{"OnConnect"});
        EXPECT_TRUE(s.peer.waitUntilPlayed());
        EXPECT_EQ(s.peer.commands(), commands);
        if (!c.status.isEmpty()) {
            EXPECT_EQ(s.probe.status, c.status);
        }
        // Neither password shows; the firewall USER and the proxy commands are not reported.
        for (const QByteArray hidden : {"secret", "fwpw", "fwuser", "station.example"})
            EXPECT_FALSE(s.probe.statusContains(hidden)) << hidden.toStdString();
    }
}

TEST(FtpLoginDialogue, SecondConnectSendsNothingAndQuitClosesWhateverTheAnswer)
{
    // QUIT refused with 500, or answered by closing, which is what was asked.
    for (const bool refused : {true, false}) {
        Session s;
        if (refused)
            s.greeted().reply("500 Unknown command.\r\n");
        else
            s.greeted().command().drop();
        s.peer.start();
        s.client.Connect();
        s.probe.clear();

        s.client.Host = "127.0.0.2";
        s.client.UserID = "other";
        s.client.Connect();
        EXPECT_TRUE(s.client.connected());
        EXPECT_TRUE(s.probe.events.isEmpty());
        EXPECT_TRUE(s.probe.status.isEmpty());

        EXPECT_EQ(failureOf<FtpError>([&] { s.client.Disconnect(); }),
                  refused ? QStringLiteral("500 Unknown command.")
                          : QStringLiteral("<no exception>"));
        EXPECT_FALSE(s.client.connected());
        // A close instead of a reply leaves no code of an earlier reply behind.
        EXPECT_EQ(s.client.replyCode(), refused ? 500 : 0);
        EXPECT_EQ(s.probe.events, QStringList{"OnDisconnect"});
        // Nothing more to close: no QUIT goes out again.
        s.client.Disconnect();
        ASSERT_TRUE(s.peer.waitUntilFinished());
        EXPECT_EQ(s.peer.commands(), (Lines{"USER user\r\n", "FEAT\r\n", "QUIT\r\n"}));
        EXPECT_EQ(s.peer.connectionCount(), 1);
    }
}

TEST(FtpLoginDialogue, RefusedTcpConnectionGoesStraightToTheCaller)
{
    Session s;
    s.client.Port = Session().peer.port(); // nobody listens there once that peer is gone
    try {
        s.client.Connect();
        ADD_FAILURE() << "connected";
    } catch (const SocketError& error) {
        EXPECT_EQ(error.message(),
                  QStringLiteral("Connection to 127.0.0.1:%1 failed: connection refused")
                      .arg(s.client.Port));
        EXPECT_EQ(error.failure(), SocketFailure::Refused);
        EXPECT_EQ(error.systemReason(), QStringLiteral("connection refused"));
        ASSERT_TRUE(error.endpoint().has_value());
        EXPECT_EQ(error.endpoint()->role, SocketEndpoint::Role::Control);
        EXPECT_EQ(error.endpoint()->address, QByteArray("127.0.0.1"));
        EXPECT_EQ(error.endpoint()->port, s.client.Port);
    }
    EXPECT_FALSE(s.client.connected());
    EXPECT_EQ(s.probe.events, QStringList{"OnConnectionFailed"});
    EXPECT_FALSE(s.probe.status.contains("Disconnected"));
}

TEST(FtpCommands, KindsReachOnSuccessAndTextsGoOutUnchanged)
{
    const QList<std::pair<QByteArray, int>> commands{
        {"CWD /notices", 0}, {"CWD", 0},          {"PWD", 15},     {"pwd", 14},   {"PWD x", 14},
        {"MKD new", 1},      {"DELE old.txt", 2}, {"RMD gone", 3}, {"cwd x", 14}, {"CWDX y", 14}};
    Session s;
    s.greeted();
    for (qsizetype i = 0; i < commands.size() + 5; ++i)
        s.peer.reply("250 Ok.\r\n");
    s.peer.reply("600 Odd but fine.\r\n").reply("Not a code\r\n");
    s.logIn();

    QStringList events;
    Lines wire{"USER user\r\n", "FEAT\r\n"};
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
    EXPECT_EQ(s.client.replyCode(), 0);

    events << "OnSuccess(0)"
           << "OnSuccess(0)"
           << "OnSuccess(14)"
           << "OnSuccess(14)"
           << "OnSuccess(14)"
           << "OnSuccess(14)"
           << "OnSuccess(14)";
    wire << "CWD /notices\r\n"
         << "CWD \r\n"
         << "TYPE A\r\n"
         << "TYPE I\r\n"
         << "TYPE L 8\r\n"
         << "NOOP\r\n"
         << "NOOP\r\n";
    EXPECT_EQ(s.probe.events, events);
    EXPECT_EQ(s.peer.commands(), wire);
    EXPECT_EQ(s.probe.status.mid(0, 2), (Lines{"CWD /notices", "250 Ok.\r\n"}));
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
    EXPECT_EQ(s.probe.events,
              (QStringList{"OnUnSupportedFunction(0)", "OnFailure(0)", "OnFailure(1)"}));

    // Not handled: the reply line goes to the caller.
    s.probe.recordOutcomes(false);
    s.probe.clear();
    EXPECT_EQ(failureOf<FtpError>([&] { s.client.RunCommand("DELE z"); }),
              QStringLiteral("400 Refused."));
    EXPECT_EQ(failureOf<FtpError>([&] { s.client.RunCommand("RMD z"); }),
              QStringLiteral("599 Refused too."));
    EXPECT_EQ(s.probe.events, (QStringList{"OnFailure(2)", "OnFailure(3)"}));

    // No OnFailure at all.
    s.client.OnFailure = nullptr;
    s.client.OnSuccess = nullptr;
    s.probe.clear();
    EXPECT_EQ(failureOf<FtpError>([&] { s.client.ChangeDir("gone"); }),
              QStringLiteral("550 Missing."));
    EXPECT_EQ(failureOf<FtpError>([&] { s.client.RunCommand("pwd"); }), QStringLiteral("501 Bad."));
    EXPECT_EQ(s.probe.events, QStringList{"OnUnSupportedFunction(14)"});
    EXPECT_TRUE(s.client.connected());
}

TEST(FtpCommands, NothingGoesOutWhenNotConnected)
{
    FtpClient idle;
    EXPECT_EQ(failureOf<platform::Exception>([&] { idle.RunCommand("PWD"); }),
              QStringLiteral("Not Connected"));
    EXPECT_EQ(failureOf<platform::Exception>([&] { idle.Upload("missing.txt", ""); }),
              QStringLiteral("Not Connected"));
}

TEST(FtpCommands, LeftOverReplyLinesAreDiscardedBeforeTheNextCommandUnlessTheyTellWhyItFails)
{
    Session s;
    s.greeted().send("226 Late line.\r\n").reply("257 \"/\"\r\n");
    // The server gives up on an idle session, then the next command finds it gone.
    s.peer.delay(200ms).send("226 Late.\r\n421-Timeout.\r\n421 Closing.\r\n").drop();
    s.logIn();
    QTest::qWait(100);
    s.client.RunCommand("PWD");
    EXPECT_EQ(s.client.replyCode(), 257);
    ASSERT_TRUE(s.peer.waitUntilPlayed());
    QTest::qWait(100);
    EXPECT_EQ(failureOf<FtpError>([&] { s.client.ChangeDir("x"); }),
              QStringLiteral("421 Timeout. Closing."));
    EXPECT_EQ(s.client.replyCode(), 421);
}

TEST(FtpCommands, FolderNamesGoOutAsBytesButNeverWithALineBreak)
{
    Session s;
    s.greeted().reply("250 Ok.\r\n").reply("200 Ok.\r\n");
    s.logIn();
    s.client.ChangeDir(QStringLiteral("/通知"));
    EXPECT_EQ(s.peer.commands().last(), QByteArray("CWD /\xcd\xa8\xd6\xaa\r\n"));

    // A name with a line break would carry a command of its own to the server.
    EXPECT_EQ(failureOf<InvalidCommandError>([&] { s.client.ChangeDir("in\r\nDELE notice.txt"); }),
              QStringLiteral("Line break in the CWD command; nothing was sent"));
    QTemporaryDir folder;
    const QString path = writeFile(folder, "n\nDELE notice.txt", "notice");
    EXPECT_EQ(failureOf<InvalidCommandError>([&] { s.client.Upload(path, ""); }),
              QStringLiteral("Line break in the STOR command; nothing was sent"));
    EXPECT_TRUE(s.client.connected());
    EXPECT_EQ(s.client.dataConnection(), nullptr);
    QTest::qWait(100);
    EXPECT_EQ(s.peer.commands().size(), 4); // USER, FEAT, CWD, PORT
    EXPECT_FALSE(s.peer.commands().join().contains("DELE"));
}
