// The client's parts on their own: the reply reader, the data channel and the upload check,
// each given only a control connection to a scripted peer.
#include "ftp/FtpClient.h"
#include "tests/ftp/FtpClientProbe.h"

#include <QTest>

#include <gtest/gtest.h>

#include <type_traits>

namespace {

// A control connection to `peer` after its greeting.
struct Control {
    explicit Control(testsupport::ScriptedFtpPeer& peer)
    {
        connection.Host = peer.address();
        connection.Port = peer.port();
        connection.setIdleLimit(3000);
        peer.start();
        connection.Connect();
        greeting = connection.readReply();
    }

    NameEncoding encoding = NameEncoding::Gbk;
    ControlConnection connection{encoding};
    QByteArray greeting;
};

} // namespace

TEST(FtpParts, TheClientHasAControlConnectionAndIsNoSocket)
{
    EXPECT_FALSE((std::is_base_of_v<BlockingSocket, FtpClient>));
    EXPECT_TRUE((std::is_base_of_v<BlockingSocket, ControlConnection>));
}

TEST(FtpParts, TheReplyReaderTakesWholeRepliesAndTellsAnEarlierRefusal)
{
    testsupport::ScriptedFtpPeer peer;
    peer.send("220-Hello\r\n220 Ready\r\n")
        .reply("211-Features:\r\n SIZE\r\n211 End\r\n")
        .send("421 Going down.\r\n")
        .drop();
    Control c(peer);
    EXPECT_EQ(c.greeting, "220-Hello\r\n220 Ready\r\n");
    EXPECT_EQ(c.connection.command("FEAT"), "211-Features:\r\n SIZE\r\n211 End\r\n");
    EXPECT_EQ(c.connection.ReplyCode, 211);
    ASSERT_TRUE(peer.waitUntilPlayed());
    // The refusal that came unasked is why the next command finds the connection closed.
    c.connection.discardStaleReplies();
    EXPECT_EQ(failureOf<FtpError>([&] { c.connection.command("PWD"); }), "421 Going down.");
    EXPECT_EQ(c.connection.ReplyCode, 421);
    EXPECT_EQ(failureOf<InvalidCommandError>([&] { c.connection.command("CWD a\r\nDELE b"); }),
              "Line break in the CWD command; nothing was sent");
}

TEST(FtpParts, TheDataChannelFallsBackOrReturnsThePassiveRefusal)
{
    struct Row {
        QByteArray pasv;
        QByteArray epsv; // empty: not asked
        bool autoMode;
        QString reason; // of PassiveUnavailable, else of the refusal returned
        bool fallsBack;
    };
    const QList<Row> rows{
        {"502 No.\r\n", "500 Nor.\r\n", true, "PASV: 502 No.; EPSV: 500 Nor.", true},
        {"502 No.\r\n", "500 Nor.\r\n", false, "PASV: 502 No.; EPSV: 500 Nor.", false},
        {"550 Denied.\r\n", {}, true, "550 Denied.", true},
        {"421 Busy.\r\n", {}, true, "421 Busy.", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reason.toStdString() + (row.autoMode ? " auto" : ""));
        testsupport::ScriptedFtpPeer peer;
        peer.send("220 Ready\r\n").reply(row.pasv);
        if (!row.epsv.isEmpty())
            peer.reply(row.epsv);
        Control c(peer);
        DataChannel channel(c.connection, c.encoding);
        BlockingSocket data;
        QString reason;
        try {
            const std::optional<UploadRefusal> refusal =
                channel.openPassiveData(data, row.autoMode);
            ASSERT_TRUE(refusal);
            EXPECT_EQ(refusal->reply, row.epsv.isEmpty() ? row.pasv : row.epsv);
            reason = refusal->message->englishText();
            EXPECT_FALSE(row.fallsBack);
        } catch (const PassiveUnavailable& unavailable) {
            reason = unavailable.reason;
            EXPECT_TRUE(row.fallsBack);
        }
        EXPECT_EQ(reason, row.reason);
        EXPECT_FALSE(data.Connected);
    }
}

TEST(FtpParts, TheUploadCheckComparesTheServersSizeWithTheBytesSent)
{
    struct Row {
        QByteArrayList features;
        QByteArray reply; // to SIZE; empty: not asked
        QString failure;
        Verification verification;
    };
    const QString none = "<no exception>";
    const QList<Row> rows{
        {{"SIZE"}, "213 6\r\n", none, Verification::Size},
        {{"SIZE"}, "213 7\r\n", "The server holds 7 bytes of the 6 sent", Verification::NotChecked},
        {{"SIZE"},
         "213 six\r\n",
         "The server's size of the stored file is no number: 213 six",
         Verification::NotChecked},
        {{"SIZE"}, "502 Unknown.\r\n", none, Verification::NotChecked},
        {{"MDTM"}, {}, none, Verification::NotChecked},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reply.toStdString());
        testsupport::ScriptedFtpPeer peer;
        peer.send("220 Ready\r\n");
        if (!row.reply.isEmpty())
            peer.reply(row.reply);
        Control c(peer);
        UploadProgress progress;
        progress.verification = Verification::Hash; // what the check must overwrite
        UploadCheck check(c.connection, c.encoding, progress);
        check.startSession(row.features);
        check.chooseCheck(true);
        EXPECT_EQ(failureOf<VerifyError>([&] { check.verify("n.txt", 6); }), row.failure);
        if (row.failure == none && !row.reply.isEmpty()) {
            EXPECT_EQ(progress.verification, row.verification);
        }
        QTest::qWait(50); // time for a command that must not come
        EXPECT_EQ(peer.commands(), row.reply.isEmpty() ? Lines{} : Lines{"SIZE n.txt\r\n"});
        if (row.reply.startsWith("502")) {
            EXPECT_EQ(progress.uncheckedReply, "502 Unknown.");
        }
    }
}
