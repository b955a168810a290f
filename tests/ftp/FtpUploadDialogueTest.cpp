// Uploads against the scripted peer: data connections, refusals, failures, clean-up.
#include "ftp/NMFtp.h"
#include "platform/codepage.h"
#include "tests/ftp/FtpClientProbe.h"
#include "tests/support/ScriptedFtpPeer.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using testsupport::ScriptedFtpPeer;
using Lines = QList<QByteArray>;
using std::chrono::milliseconds;

namespace {

// A peer that greets and accepts the login.
void greet(ScriptedFtpPeer& peer)
{
    peer.send("220 Ready\r\n").reply("230 In.\r\n");
}

// Logs the client in at the peer and starts recording its outcomes (OnFailure not
// handling) from a clean slate.
void logIn(TNMFTP& client, FtpClientProbe& probe, const ScriptedFtpPeer& peer, bool passive)
{
    pointAt(client, peer);
    client.Passive = passive;
    client.Connect();
    probe.recordOutcomes(false);
    probe.events.clear();
    probe.status.clear();
}

// Everything an upload must leave behind, whatever its outcome.
void expectCleanedUp(TNMFTP& client)
{
    EXPECT_EQ(client.DataConnection, nullptr);
    EXPECT_TRUE(transferLockIsFree(client));
    EXPECT_TRUE(client.Connected);
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
    ScriptedFtpPeer peer("127.0.0.77");
    greet(peer);
    peer.passive("227 Entering Passive Mode (10,0,0,5,19,137).\r\n", 5001)
        .reply("150 Opening data connection.\r\n")
        .transfer()
        .send("226 Transfer complete.\r\n");
    peer.start();

    const QByteArray content = randomBytes(200000, 1);
    const QString path = writeFile(m_folder, "notice.txt", content);
    TNMFTP client;
    FtpClientProbe probe(client);
    logIn(client, probe, peer, true);

    client.Upload(path, "notice.txt");

    ASSERT_TRUE(peer.waitUntilPlayed());
    EXPECT_TRUE(peer.problems().isEmpty()) << peer.problems().join('\n').toStdString();
    EXPECT_EQ(peer.commands().mid(1), (Lines {"PASV\r\n", "STOR notice.txt\r\n"}));
    ASSERT_EQ(peer.uploads().size(), 1);
    EXPECT_TRUE(peer.uploads()[0] == content);
    EXPECT_EQ(probe.events, (QStringList {"OnTransactionStart", "OnPacketSent", "OnTransactionStop", "OnSuccess(9)"}));
    EXPECT_EQ(probe.status, (Lines {"227 Entering Passive Mode (10,0,0,5,19,137).\r\n", "STOR notice.txt",
                                    "150 Opening data connection.\r\n", "226 Transfer complete.\r\n"}));
    EXPECT_EQ(client.ReplyCode, 226);
    expectCleanedUp(client);
}

TEST_F(FtpUploadDialogue, ActivePortCarriesTheControlAddressAndTheListeningPort)
{
    ScriptedFtpPeer peer;
    greet(peer);
    peer.reply("200 PORT ok.\r\n")
        .reply("150 Opening data connection.\r\n")
        .transfer()
        .send("226-Transfer complete.\r\n 2 lines\r\n226 Done.\r\n")
        .reply("257 \"/\"\r\n");
    peer.start();

    // No remote name: the file is stored under its own name; the status shows the path.
    const QString path = writeFile(m_folder, "a.bin", "hello");
    TNMFTP client;
    FtpClientProbe probe(client);
    pointAt(client, peer);
    client.Connect();
    probe.status.clear();
    client.Upload(path, "");

    const Lines commands = peer.commands();
    ASSERT_EQ(commands.size(), 3);
    const auto port = QRegularExpression("^PORT 127,0,0,1,(\\d+),(\\d+)\r\n$").match(QString::fromLatin1(commands[1]));
    EXPECT_TRUE(port.hasMatch()) << commands[1].toStdString();
    EXPECT_EQ(commands[2], QByteArray("STOR a.bin\r\n"));
    EXPECT_TRUE(probe.status.contains("STOR " + platform::toCodePage(path)));
    ASSERT_EQ(peer.uploads().size(), 1);
    EXPECT_EQ(peer.uploads()[0], QByteArray("hello"));
    // The continuation lines of the final reply are read: the next command gets its own reply.
    client.RunCommand("PWD");
    EXPECT_EQ(client.ReplyCode, 257);
    expectCleanedUp(client);
}

TEST_F(FtpUploadDialogue, GbkRemoteNameGoesOutAsBytes)
{
    ScriptedFtpPeer peer;
    greet(peer);
    peer.passive("227 Entering Passive Mode (%PASV%)\r\n")
        .reply("150 Ok.\r\n")
        .transfer()
        .send("226 Done.\r\n");
    peer.start();
    const QString path = writeFile(m_folder, QStringLiteral("通知.txt"), "text");
    TNMFTP client;
    pointAt(client, peer);
    client.Passive = true;
    client.Connect();
    client.Upload(path, "");
    EXPECT_EQ(peer.commands().last(), QByteArray("STOR \xcd\xa8\xd6\xaa.txt\r\n"));
    EXPECT_EQ(peer.uploads().value(0), QByteArray("text"));
}

TEST_F(FtpUploadDialogue, FinalRefusalAfterTheDataIsNoSuccess)
{
    // Also when a second preliminary reply comes before it.
    const QString path = writeFile(m_folder, "n.txt", "notice");
    for (const int handling : {0, 1, 2}) { // no OnFailure, not handled, handled
        ScriptedFtpPeer peer;
        greet(peer);
        peer.passive("227 Entering Passive Mode (%PASV%)\r\n")
            .reply("150 Ok.\r\n")
            .transfer()
            .send(QByteArray(handling == 1 ? "150 Still writing.\r\n" : "") + "451 Local error: disk trouble.\r\n");
        peer.start();
        TNMFTP client;
        FtpClientProbe probe(client);
        pointAt(client, peer);
        client.Passive = true;
        client.Connect();
        probe.events.clear();
        if (handling > 0)
            probe.recordOutcomes(handling == 2);
        else
            client.OnSuccess = [&](TCmdType) { probe.events << "OnSuccess"; };

        if (handling == 2) {
            EXPECT_NO_THROW(client.Upload(path, "n.txt"));
            EXPECT_EQ(probe.count("OnFailure(9)"), 1);
        } else {
            EXPECT_EQ(failureOf<FTPException>([&] { client.Upload(path, "n.txt"); }),
                      QStringLiteral("451 Local error: disk trouble.\r\n"));
            EXPECT_EQ(probe.count("OnFailure(9)"), handling == 1 ? 2 : 0);
        }
        EXPECT_FALSE(probe.events.contains("OnSuccess(9)"));
        EXPECT_FALSE(probe.events.contains("OnSuccess"));
        EXPECT_EQ(client.ReplyCode, 451);
        expectCleanedUp(client);
    }
}

TEST_F(FtpUploadDialogue, RefusedStepsEndTheUpload)
{
    const QString path = writeFile(m_folder, "n.txt", "notice");
    struct Case {
        bool passive;
        QList<QByteArray> replies;
        QString message;
        QStringList events;
    };
    const QList<Case> cases {
        // PASV 502 is refused but is no unsupported function; PORT from 301 on.
        {true, {"502 No passive.\r\n"}, "502 No passive.\r\n", {"OnFailure(9)", "OnFailure(9)"}},
        {false, {"301 Odd.\r\n"}, "301 Odd.\r\n", {"OnFailure(9)", "OnFailure(9)"}},
        {false, {"200 Ok.\r\n", "502 No STOR.\r\n"}, "502 No STOR.\r\n",
         {"OnUnSupportedFunction(9)", "OnFailure(9)", "OnFailure(9)"}},
        {false, {"200 Ok.\r\n", "553 Bad name.\r\n"}, "553 Bad name.\r\n", {"OnFailure(9)", "OnFailure(9)"}},
    };
    for (const Case& c : cases) {
        ScriptedFtpPeer peer;
        greet(peer);
        for (const QByteArray& reply : c.replies)
            peer.reply(reply);
        peer.start();
        TNMFTP client;
        FtpClientProbe probe(client);
        logIn(client, probe, peer, c.passive);
        EXPECT_EQ(failureOf<FTPException>([&] { client.Upload(path, "n.txt"); }), c.message);
        EXPECT_EQ(probe.events, c.events);
        EXPECT_EQ(peer.commands().size(), c.replies.size() + 1);
        expectCleanedUp(client);
    }
}

TEST_F(FtpUploadDialogue, PassiveReplyWithoutPortIsAConversionError)
{
    ScriptedFtpPeer peer;
    greet(peer);
    peer.reply("425 Can't open data connection.\r\n");
    peer.start();
    const QString path = writeFile(m_folder, "n.txt", "notice");
    TNMFTP client;
    FtpClientProbe probe(client);
    logIn(client, probe, peer, true);
    EXPECT_THROW(client.Upload(path, "n.txt"), platform::EConvertError);
    EXPECT_EQ(probe.events, QStringList {"OnFailure(9)"});
    QTest::qWait(50);
    EXPECT_EQ(peer.commands().mid(1), Lines {"PASV\r\n"});
    expectCleanedUp(client);
}

TEST_F(FtpUploadDialogue, MissingLocalFileSendsNothing)
{
    ScriptedFtpPeer peer;
    greet(peer);
    peer.start();
    TNMFTP client;
    FtpClientProbe probe(client);
    pointAt(client, peer);
    client.Connect();
    const QString missing = m_folder.filePath("missing.txt");
    EXPECT_EQ(failureOf<EFOpenError>([&] { client.Upload(missing, ""); }), "Cannot open file " + missing);

    // A handled failure ends it quietly.
    probe.recordOutcomes(true);
    probe.events.clear();
    EXPECT_NO_THROW(client.Upload(missing, ""));
    EXPECT_EQ(probe.events, QStringList {"OnFailure(9)"});
    QTest::qWait(100);
    EXPECT_EQ(peer.commands(), Lines {"USER user\r\n"});
    expectCleanedUp(client);

    TNMFTP idle;
    EXPECT_EQ(failureOf<platform::Exception>([&] { idle.Upload(missing, ""); }), QStringLiteral("Not Connected"));
}

TEST_F(FtpUploadDialogue, ServerClosingInsteadOfReplyingFailsEveryUploadStep)
{
    const QString path = writeFile(m_folder, "n.txt", "notice");
    struct Case {
        bool passive;
        int repliesBeforeClose; // 0: PASV/PORT, 1: STOR, 2: final reply
        QString expected;
    };
    const QList<Case> cases {
        {true, 0, "PASV"}, {false, 0, "PORT"}, {true, 1, "STOR"}, {false, 1, "STOR"},
        {true, 2, "final reply to STOR"}, {false, 2, "final reply to STOR"},
    };
    for (const Case& c : cases) {
        ScriptedFtpPeer peer;
        greet(peer);
        if (c.repliesBeforeClose >= 1) {
            if (c.passive)
                peer.passive("227 Entering Passive Mode (%PASV%)\r\n");
            else
                peer.reply("200 Ok.\r\n");
        }
        if (c.repliesBeforeClose >= 2)
            peer.reply("150 Ok.\r\n").transfer();
        else
            peer.command();
        peer.drop();
        peer.start();

        TNMFTP client;
        FtpClientProbe probe(client);
        logIn(client, probe, peer, c.passive);
        const QString message = failureOf<ESockError>([&] { client.Upload(path, "n.txt"); });
        EXPECT_TRUE(message.startsWith("Connection closed by the server")) << message.toStdString();
        EXPECT_TRUE(message.contains(c.expected)) << message.toStdString();
        EXPECT_FALSE(probe.events.contains("OnSuccess(9)"));
        EXPECT_TRUE(probe.events.contains("OnFailure(9)"));
        EXPECT_EQ(client.DataConnection, nullptr);
        EXPECT_TRUE(transferLockIsFree(client));
    }
}

TEST_F(FtpUploadDialogue, AbortDuringTheTransferEndsIt)
{
    const QString path = writeFile(m_folder, "big.bin", randomBytes(8 << 20, 2));
    ScriptedFtpPeer peer;
    greet(peer);
    peer.passive("227 Entering Passive Mode (%PASV%)\r\n")
        .reply("150 Ok.\r\n")
        .transfer()
        .send("426 Transfer aborted.\r\n");
    peer.start();
    TNMFTP client;
    FtpClientProbe probe(client);
    logIn(client, probe, peer, true);
    client.OnPacketSent = [&](QObject*) { client.Abort(); };

    EXPECT_EQ(failureOf<EAbortError>([&] { client.Upload(path, "big.bin"); }), QStringLiteral("Socket send aborted"));
    EXPECT_EQ(probe.events, (QStringList {"OnTransactionStart", "OnFailure(9)"}));
    EXPECT_FALSE(client.Canceled);
    expectCleanedUp(client);
    ASSERT_TRUE(peer.waitUntilPlayed());
    EXPECT_LT(peer.uploads().value(0).size(), 8 << 20);
}

TEST_F(FtpUploadDialogue, CancelBeforeSendingIsNoSuccess)
{
    // A cancel of the control connection before the data goes out leaves the file unsent.
    // The server's late answer to it must not pass for a reply of the next upload, which
    // would then take its STOR reply for the final one and miss the refusal.
    const QString path = writeFile(m_folder, "n.txt", "notice");
    ScriptedFtpPeer peer;
    greet(peer);
    peer.passive("227 Entering Passive Mode (%PASV%)\r\n")
        .reply("150 Ok.\r\n")
        .transfer()
        .delay(milliseconds(300))
        .send("226 Nothing came, but fine.\r\n")
        .reply("200 PORT ok.\r\n")
        .reply("150 Ok.\r\n")
        .transfer()
        .send("552 Quota exceeded.\r\n");
    peer.start();
    TNMFTP client;
    FtpClientProbe probe(client);
    logIn(client, probe, peer, true);
    client.OnTransactionStart = [&](QObject*) { client.Cancel(); };

    EXPECT_EQ(failureOf<EAbortError>([&] { client.Upload(path, "n.txt"); }), QStringLiteral("Socket send aborted"));
    EXPECT_EQ(probe.events, (QStringList {"OnTransactionStop", "OnFailure(9)"}));
    EXPECT_FALSE(client.Canceled);
    expectCleanedUp(client);

    client.OnTransactionStart = nullptr;
    client.Passive = false;
    EXPECT_EQ(failureOf<FTPException>([&] { client.Upload(path, "n.txt"); }), QStringLiteral("552 Quota exceeded.\r\n"));
    EXPECT_FALSE(probe.events.contains("OnSuccess(9)"));
    EXPECT_TRUE(probe.status.contains("226 Nothing came, but fine.\r\n"));
    ASSERT_TRUE(peer.waitUntilPlayed());
    EXPECT_EQ(peer.uploads(), (Lines {QByteArray(), "notice"}));
    expectCleanedUp(client);
}

TEST_F(FtpUploadDialogue, SilentServerTimesOutAtEveryWait)
{
    const QString small = writeFile(m_folder, "n.txt", "notice");
    const QString big = writeFile(m_folder, "big.bin", randomBytes(32 << 20, 3));
    // The data connection never opened (active), a stalled data connection, no final reply.
    struct Case {
        bool passive;
        int stage;
    };
    for (const Case c : {Case {false, 0}, Case {true, 1}, Case {false, 1}, Case {true, 2}}) {
        ScriptedFtpPeer peer;
        greet(peer);
        if (c.passive)
            peer.passive("227 Entering Passive Mode (%PASV%)\r\n");
        else
            peer.reply("200 Ok.\r\n");
        peer.reply("150 Ok.\r\n");
        if (c.stage == 1)
            peer.stalledTransfer(milliseconds(4000));
        else if (c.stage == 2)
            peer.transfer();
        peer.delay(milliseconds(4000));
        peer.start();

        TNMFTP client;
        FtpClientProbe probe(client);
        logIn(client, probe, peer, c.passive);
        client.setIdleLimit(400);
        QElapsedTimer clock;
        clock.start();
        const QString message = failureOf<ESockError>([&] { client.Upload(c.stage == 1 ? big : small, "x"); });
        EXPECT_LT(clock.elapsed(), 3500) << "stage " << c.stage;
        EXPECT_TRUE(message.contains(" within 0.")) << message.toStdString();
        EXPECT_FALSE(probe.events.contains("OnSuccess(9)"));
        EXPECT_EQ(client.DataConnection, nullptr);
        EXPECT_TRUE(transferLockIsFree(client));
    }
}
