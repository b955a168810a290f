// TLS against the scripted peer, explicit (AUTH TLS) and implicit (from the first byte):
// PBSZ 0, PROT P, session reuse on data connections, and servers whose TLS goes wrong.
#include "ftp/FtpClient.h"
#include "tests/ftp/FtpClientProbe.h"
#include "tests/support/ScopedVariable.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <ctime>
#include <functional>

using namespace std::chrono_literals;
using testsupport::ScriptedFtpPeer;

namespace {

constexpr char passiveReply[] = "227 Entering Passive Mode (%PASV%)\r\n";

// Greeting and AUTH TLS accepted with the handshake (implicit: the handshake, then the
// greeting), login, PBSZ and PROT accepted, FEAT unknown.
ScriptedFtpPeer& secureLogin(ScriptedFtpPeer& peer, TlsMode mode = TlsMode::Require)
{
    if (mode == TlsMode::Implicit)
        peer.implicitTls().send("220 Ready\r\n");
    else
        peer.send("220 Ready\r\n").authTls();
    return peer.reply("331 Password?\r\n")
        .reply("230 In.\r\n")
        .reply("200 PBSZ=0 successful.\r\n")
        .reply("200 Protection set to Private.\r\n")
        .reply(testsupport::featUnknown);
}

// Processor time of the calling thread in milliseconds.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

bool sentAny(const Lines& commands, const QByteArray& verb)
{
    return std::any_of(commands.begin(), commands.end(),
                       [&](const QByteArray& line) { return line.startsWith(verb); });
}

} // namespace

TEST(FtpTlsDialogue, UploadsGoOverDataConnectionsThatResumeTheControlSession)
{
    struct Row {
        const char* name;
        TlsMode mode;
        bool passive;
        int maxVersion;
        QString protocol;
    };
    const QList<Row> rows{
        {.name = "passive, TLS 1.3",
         .mode = TlsMode::Require,
         .passive = true,
         .maxVersion = 0x0304,
         .protocol = "TLS 1.3"},
        {.name = "active, TLS 1.3",
         .mode = TlsMode::Auto,
         .passive = false,
         .maxVersion = 0x0304,
         .protocol = "TLS 1.3"},
        {.name = "passive, TLS 1.2",
         .mode = TlsMode::Auto,
         .passive = true,
         .maxVersion = 0x0303,
         .protocol = "TLS 1.2"},
        {.name = "active, TLS 1.2",
         .mode = TlsMode::Require,
         .passive = false,
         .maxVersion = 0x0303,
         .protocol = "TLS 1.2"},
        {.name = "implicit, passive, TLS 1.3",
         .mode = TlsMode::Implicit,
         .passive = true,
         .maxVersion = 0x0304,
         .protocol = "TLS 1.3"},
        {.name = "implicit, active, TLS 1.2",
         .mode = TlsMode::Implicit,
         .passive = false,
         .maxVersion = 0x0303,
         .protocol = "TLS 1.2"},
    };
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QList<QByteArray> contents{randomBytes(300000, 7), "short"};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Session s;
        // Strict as vsftpd: a data connection that does not resume the session is refused.
        s.peer.enableTls({.requireSessionReuse = true, .maxVersion = row.maxVersion});
        secureLogin(s.peer, row.mode);
        for (int i = 0; i < contents.size(); ++i) {
            if (row.passive)
                s.peer.passive(passiveReply);
            else
                s.peer.reply("200 PORT ok.\r\n");
            s.peer.reply("150 Ok to send data.\r\n").transfer().send("226 Transfer complete.\r\n");
        }
        s.peer.reply("221 Bye.\r\n");
        s.client.setTlsMode(row.mode);
        s.logIn(row.passive);
        for (int i = 0; i < contents.size(); ++i)
            s.client.Upload(writeFile(folder, QStringLiteral("n%1.txt").arg(i), contents[i]),
                            QStringLiteral("n%1.txt").arg(i));
        s.client.Disconnect();

        ASSERT_TRUE(s.peer.waitUntilFinished());
        EXPECT_TRUE(s.peer.problems().isEmpty()) << s.peer.problems().join('\n').toStdString();
        const bool implicit = row.mode == TlsMode::Implicit;
        const QByteArray data = row.passive ? "PASV\r\n" : "PORT\r\n";
        // Implicit TLS asks for nothing: the connection is TLS before the greeting.
        const Lines login = implicit ? Lines{} : Lines{"AUTH TLS\r\n"};
        EXPECT_EQ(
            dialogue(s.peer),
            (login
             + Lines{"USER user\r\n", "PASS secret\r\n", "PBSZ 0\r\n", "PROT P\r\n", "FEAT\r\n",
                     data, "STOR n0.txt\r\n", data, "STOR n1.txt\r\n", "QUIT\r\n"}));
        EXPECT_EQ(s.peer.uploads(), contents);
        const QList<testsupport::PeerDataTls> dataTls = s.peer.dataTls();
        ASSERT_EQ(dataTls.size(), 2);
        for (const testsupport::PeerDataTls& connection : dataTls) {
            EXPECT_TRUE(connection.encrypted && connection.resumed);
            EXPECT_TRUE(connection.closedWithTls);
        }
        const TlsSessionInfo& tls = s.client.tlsSession();
        EXPECT_TRUE(tls.encrypted && tls.offered);
        EXPECT_EQ(tls.asked, !implicit);
        EXPECT_EQ(tls.protocol, row.protocol);
        EXPECT_EQ(tls.fingerprint, s.peer.certificateFingerprint());
        EXPECT_FALSE(tls.trustedBySystem); // made just now, signed by itself
    }
}

TEST(FtpTlsDialogue, ACertificateTheSystemTrustsOrTheRememberedOneIsAccepted)
{
    // The trust store is a folder the test makes: the peer's certificate in it, or nothing.
    // Remembered is another fingerprint, or the peer's own in lower case.
    struct Row {
        QByteArray host;
        bool inTrustStore;
        bool rememberOwn;
        bool accepted;
    };
    const QList<Row> rows{
        {.host = "127.0.0.1", .inTrustStore = true, .rememberOwn = false, .accepted = true},
        {.host = "localhost", .inTrustStore = true, .rememberOwn = false, .accepted = true},
        {.host = "localhost", .inTrustStore = false, .rememberOwn = false, .accepted = false},
        {.host = "127.0.0.1", .inTrustStore = false, .rememberOwn = true, .accepted = true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.host.toStdString() + (row.inTrustStore ? ", trusted" : ", untrusted")
                     + (row.rememberOwn ? ", remembered" : ""));
        QTemporaryDir store;
        ASSERT_TRUE(store.isValid());
        const testsupport::ScopedVariable trustStore("SSL_CERT_DIR",
                                                     QFile::encodeName(store.path()));
        Session s;
        s.peer.enableTls();
        ASSERT_TRUE(!row.inTrustStore || s.peer.addCertificateToTrustFolder(store.path()));
        secureLogin(s.peer);
        s.peer.start();
        s.client.Host = row.host;
        s.client.setTlsMode(TlsMode::Require);
        s.client.setRememberedFingerprint(
            row.rememberOwn ? s.peer.certificateFingerprint().toLower() : "AB:CD");
        const bool accepted =
            failureOf<CertificateChangedError>([&] { s.client.Connect(); }) == "<no exception>";
        EXPECT_EQ(accepted, row.accepted);
        EXPECT_EQ(s.client.tlsSession().trustedBySystem, row.inTrustStore);
        EXPECT_EQ(s.client.tlsSession().fingerprint, s.peer.certificateFingerprint());
    }
}

TEST(FtpTlsDialogue, TheHandshakeWaitsAsAReadDoesForStopAndTheLimits)
{
    // Implicit TLS shakes hands before the greeting: the connect limit holds there.
    struct Row {
        const char* name;
        int idleLimitMs;
        int stopAfterMs; // 0: no stop
        SocketFailure failure;
        QString message; // a pattern
        TlsMode mode = TlsMode::Require;
        int connectLimitMs = 0;
    };
    const QList<Row> rows{
        {.name = "stop",
         .idleLimitMs = 60000,
         .stopAfterMs = 300,
         .failure = SocketFailure::Stopped,
         .message = "^Stopped while in the TLS handshake with 127\\.0\\.0\\.1:\\d+$"},
        {.name = "idle limit",
         .idleLimitMs = 500,
         .stopAfterMs = 0,
         .failure = SocketFailure::TimedOut,
         .message = "^No TLS handshake within 0\\.5 s$"},
        {.name = "implicit, stop",
         .idleLimitMs = 60000,
         .stopAfterMs = 300,
         .failure = SocketFailure::Stopped,
         .message = "^Stopped while in the TLS handshake with 127\\.0\\.0\\.1:\\d+$",
         .mode = TlsMode::Implicit,
         .connectLimitMs = 20000},
        {.name = "implicit, connect limit",
         .idleLimitMs = 60000,
         .stopAfterMs = 0,
         .failure = SocketFailure::TimedOut,
         .message = "^No TLS handshake within 0\\.6 s$",
         .mode = TlsMode::Implicit,
         .connectLimitMs = 600},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Session s;
        s.peer.enableTls();
        if (row.mode == TlsMode::Implicit)
            s.peer.implicitTls(ScriptedFtpPeer::TlsFault::Silent);
        else
            s.peer.send("220 Ready\r\n").authTls("234 Go.\r\n", ScriptedFtpPeer::TlsFault::Silent);
        s.peer.start();
        s.client.setTlsMode(row.mode);
        s.client.setIdleLimit(row.idleLimitMs);
        s.client.setConnectLimit(row.connectLimitMs);
        if (row.stopAfterMs > 0)
            QTimer::singleShot(row.stopAfterMs, [&] { s.client.stopWaiting(); });
        QElapsedTimer clock;
        clock.start();
        const double cpuBefore = threadCpuMs();
        SocketFailure failure = SocketFailure::Other;
        QString message = "<no SocketError>";
        try {
            s.client.Connect();
        } catch (const SocketError& error) {
            failure = error.failure();
            message = error.message();
        }
        const double cpu = threadCpuMs() - cpuBefore;
        EXPECT_EQ(failure, row.failure);
        EXPECT_TRUE(QRegularExpression(row.message).match(message).hasMatch())
            << message.toStdString();
        EXPECT_LT(clock.elapsed(), 5000);
        // Waiting blocks in the event loop: no busy loop on would-block.
        EXPECT_LT(cpu, clock.elapsed() / 4.0) << cpu << " ms of " << clock.elapsed() << " ms";
        EXPECT_FALSE(sentAny(s.peer.commands(), "USER "));
    }
}

TEST(FtpTlsDialogue, BadTlsEndsTheSessionAndThePasswordNeverGoesInClear)
{
    const QByteArray otherPrint = "00:" + QByteArray("11:").repeated(30) + "22";
    struct Row {
        const char* name;
        testsupport::PeerTls tls = {};
        std::function<void(ScriptedFtpPeer&)> script; // after the greeting
        TlsMode mode = TlsMode::Require;
        QByteArray remembered = {};
        QString message;           // a pattern
        bool passwordSent = false; // encrypted, when it is
        bool certificateChanged = false;
    };
    const QList<Row> rows{
        {.name = "handshake cut after 234",
         .script =
             [](ScriptedFtpPeer& p) { p.authTls("234 Go.\r\n", ScriptedFtpPeer::TlsFault::Close); },
         .mode = TlsMode::Auto,
         .message =
             "^TLS handshake with 127\\.0\\.0\\.1:\\d+ failed: (unexpected eof while reading|the "
             "server closed the connection during the handshake|connection reset by peer)$"},
        {.name = "garbage instead of a handshake",
         .script =
             [](ScriptedFtpPeer& p) {
                 p.authTls("234 Go.\r\n", ScriptedFtpPeer::TlsFault::Garbage);
             },
         .message = "^TLS handshake with 127\\.0\\.0\\.1:\\d+ failed: (wrong version number|packet "
                    "length too long)$"},
        {.name = "connection dropped before the handshake",
         .script = [](ScriptedFtpPeer& p) { p.command().drop(); },
         .message = "^Connection closed by the server instead of a reply to AUTH$"},
        {.name = "AUTH TLS refused under require",
         .script = [](ScriptedFtpPeer& p) { p.reply("500 Unknown command.\r\n"); },
         .message = "^The server refuses AUTH TLS: 500 Unknown command\\.$"},
        {.name = "PROT P refused",
         .script =
             [](ScriptedFtpPeer& p) {
                 p.authTls()
                     .reply("331 Password?\r\n")
                     .reply("230 In.\r\n")
                     .reply("200 PBSZ=0\r\n")
                     .reply("536 Requested PROT level not supported.\r\n");
             },
         .mode = TlsMode::Auto,
         .message = "^The server refuses PROT P: 536 Requested PROT level not supported\\.$",
         .passwordSent = true},
        {.name = "certificate changed",
         .script = [](ScriptedFtpPeer& p) { p.authTls(); },
         .remembered = otherPrint,
         .message = "^The certificate of 127\\.0\\.0\\.1 has changed: remembered "
             + QString::fromLatin1(otherPrint) + ", presented ([0-9A-F]{2}:){31}[0-9A-F]{2}$",
         .certificateChanged = true},
        {.name = "certificate expired",
         .tls = {.expiredCertificate = true},
         .script = [](ScriptedFtpPeer& p) { p.authTls(); },
         .mode = TlsMode::Auto,
         .message = "^The certificate of 127\\.0\\.0\\.1 expired on \\d{4}-\\d\\d-\\d\\d "
                    "\\d\\d:\\d\\d UTC$"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Session s;
        s.peer.setStepTimeout(5s);
        s.peer.enableTls(row.tls);
        s.peer.send("220 Ready\r\n");
        row.script(s.peer);
        s.peer.start();
        s.client.setTlsMode(row.mode);
        s.client.setRememberedFingerprint(row.remembered);
        QString message = "<no error>";
        bool changed = false;
        try {
            s.client.Connect();
        } catch (const platform::Exception& error) {
            message = error.message();
            if (const auto* change = dynamic_cast<const CertificateChangedError*>(&error)) {
                changed = change->remembered() == otherPrint
                    && change->presented() == s.peer.certificateFingerprint();
            }
        }
        EXPECT_TRUE(QRegularExpression(row.message).match(message).hasMatch())
            << message.toStdString();
        EXPECT_EQ(changed, row.certificateChanged);
        EXPECT_FALSE(s.client.connected());
        ASSERT_TRUE(s.peer.waitUntilFinished());
        const Lines commands = s.peer.commands();
        ASSERT_FALSE(commands.isEmpty());
        EXPECT_EQ(commands.first(), "AUTH TLS\r\n");
        EXPECT_EQ(sentAny(commands, "PASS "), row.passwordSent);
        EXPECT_EQ(sentAny(commands, "USER "), row.passwordSent);
    }
}

TEST(FtpTlsDialogue, ImplicitTlsEndsBeforeUserWhereTheServerIsUnknownOrSpeaksInClear)
{
    const QByteArray otherPrint = "00:" + QByteArray("11:").repeated(30) + "22";
    struct Row {
        const char* name;
        std::function<void(ScriptedFtpPeer&)> script;
        QString message; // a pattern
        bool certificateChanged = false;
    };
    const QList<Row> rows{
        {.name = "certificate changed",
         .script = [](ScriptedFtpPeer& p) { p.implicitTls().send("220 Ready\r\n"); },
         .message = "^The certificate of 127\\.0\\.0\\.1 has changed: remembered "
             + QString::fromLatin1(otherPrint) + ", presented ([0-9A-F]{2}:){31}[0-9A-F]{2}$",
         .certificateChanged = true},
        // A plain FTP server on the port: its greeting is shown, escape sequences and all
        // made harmless.
        {.name = "plain FTP server",
         .script = [](ScriptedFtpPeer& p) { p.send("220 \x1b[1mPlain\x1b[0m FTP ready.\r\n"); },
         .message = "^TLS handshake with 127\\.0\\.0\\.1:\\d+ failed: the server answered in "
                    "clear: 220 Plain FTP ready\\.$"},
        {.name = "another clear protocol",
         .script = [](ScriptedFtpPeer& p) { p.implicitTls(ScriptedFtpPeer::TlsFault::Garbage); },
         .message = "^TLS handshake with 127\\.0\\.0\\.1:\\d+ failed: the server answered in "
                    "clear: HTTP/1\\.1 400 Bad Request$"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Session s;
        s.peer.setStepTimeout(5s);
        s.peer.enableTls();
        row.script(s.peer);
        s.peer.start();
        s.client.setTlsMode(TlsMode::Implicit);
        s.client.setRememberedFingerprint(otherPrint);
        s.client.setConnectLimit(3000);
        QElapsedTimer clock;
        clock.start();
        QString message = "<no error>";
        bool changed = false;
        try {
            s.client.Connect();
        } catch (const TlsError& error) {
            message = error.message();
            if (const auto* change = dynamic_cast<const CertificateChangedError*>(&error)) {
                changed = change->remembered() == otherPrint
                    && change->presented() == s.peer.certificateFingerprint();
            }
        }
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_TRUE(QRegularExpression(row.message).match(message).hasMatch())
            << message.toStdString();
        EXPECT_EQ(changed, row.certificateChanged);
        EXPECT_FALSE(s.client.connected());
        EXPECT_FALSE(s.client.greetingRead());
        EXPECT_FALSE(s.client.tlsSession().asked);
        ASSERT_TRUE(s.peer.waitUntilFinished());
        const Lines commands = s.peer.commands();
        EXPECT_FALSE(sentAny(commands, "AUTH "));
        EXPECT_FALSE(sentAny(commands, "USER "));
        EXPECT_FALSE(sentAny(commands, "PASS "));
    }
}

TEST(FtpTlsDialogue, AutoLogsInInClearWhereTheServerRefusesTls)
{
    Session s;
    s.script({"220 Ready\r\n", "500 'AUTH TLS': command not understood.\r\n", "331 Password?\r\n",
              "230 In.\r\n", testsupport::featUnknown});
    s.client.setTlsMode(TlsMode::Auto);
    s.logIn();
    EXPECT_EQ(s.peer.commands(),
              (Lines{"AUTH TLS\r\n", "USER user\r\n", "PASS secret\r\n", "FEAT\r\n"}));
    EXPECT_FALSE(s.client.tlsSession().encrypted);
    EXPECT_FALSE(s.client.tlsSession().offered);
    EXPECT_TRUE(s.client.tlsSession().fingerprint.isEmpty());
}

TEST(FtpTlsDialogue, ADataConnectionCutWithoutTlsCloseFailsTheUpload)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    Session s;
    s.peer.enableTls();
    secureLogin(s.peer)
        .passive(passiveReply)
        .reply("150 Ok to send data.\r\n")
        .cutTransfer(100000)
        .reply("200 Still here.\r\n");
    s.client.setTlsMode(TlsMode::Require);
    // No late reply explains the cut: a short wait for it.
    s.client.setIdleLimit(1000);
    s.logIn(true);
    const QString message = failureOf<TlsError>([&] {
        s.client.Upload(writeFile(folder, "big.bin", randomBytes(16 << 20, 3)), "big.bin");
    });
    EXPECT_TRUE(QRegularExpression("^The data connection to 127\\.0\\.0\\.1:\\d+ ended without a "
                                   "TLS close: .+$")
                    .match(message)
                    .hasMatch())
        << message.toStdString();
    ASSERT_EQ(s.peer.dataTls().size(), 1);
    EXPECT_FALSE(s.peer.dataTls().first().closedWithTls);
    // The control connection is still good: the next command gets its own reply.
    s.client.RunCommand("NOOP");
    EXPECT_EQ(s.client.replyCode(), 200);
}

TEST(FtpTlsDialogue, ADataConnectionWithAnotherCertificateGetsNoByteOfTheFile)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = writeFile(folder, "n.txt", "notice");
    for (const bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        Session s;
        s.peer.enableTls({.requireSessionReuse = false, .dataCertificateOfItsOwn = true});
        secureLogin(s.peer);
        if (passive)
            s.peer.passive(passiveReply);
        else
            s.peer.reply("200 PORT ok.\r\n");
        s.peer.reply("150 Ok to send data.\r\n").transfer();
        s.client.setTlsMode(TlsMode::Require);
        s.logIn(passive);
        const QString message = failureOf<TlsError>([&] { s.client.Upload(path, "n.txt"); });
        EXPECT_TRUE(QRegularExpression("^The data connection to 127\\.0\\.0\\.1:\\d+ presented "
                                       "another certificate than the server: .+ instead of "
                                       + QRegularExpression::escape(
                                           QString::fromLatin1(s.peer.certificateFingerprint()))
                                       + "; nothing was sent$")
                        .match(message)
                        .hasMatch())
            << message.toStdString();
        ASSERT_TRUE(s.peer.waitUntilPlayed());
        EXPECT_EQ(s.peer.uploads(), Lines{QByteArray()});
        EXPECT_EQ(s.client.lastUpload().sent, 0);
    }
}
