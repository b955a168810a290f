// TLS against a real FTP server (pyftpdlib's TLS handler) on 127.0.0.1, explicit and implicit,
// active and passive.
#include "ftp/FtpClient.h"
#include "tests/ftp/FtpClientProbe.h"
#include "tests/support/FtpServerProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

struct TlsRun {
    bool passive;
    bool implicit;
};

void PrintTo(const TlsRun& run, std::ostream* out)
{
    *out << (run.implicit ? "implicit, " : "explicit, ") << (run.passive ? "passive" : "active");
}

class FtpRealServerTls : public testing::TestWithParam<TlsRun> {};

TEST_P(FtpRealServerTls, FilesArriveEncryptedAndAChangedCertificateIsRefused)
{
    const auto [passive, implicit] = GetParam();
    // The server refuses USER and PASV/PORT without TLS: nothing passes in clear.
    testsupport::FtpServerProcess server({.tls = true, .implicitTls = implicit});
    QTemporaryDir folder;
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    ASSERT_TRUE(folder.isValid());
    FtpClient client;
    aim(client, server, passive);
    client.setTlsMode(implicit ? TlsMode::Implicit : TlsMode::Require);
    client.Connect();
    const TlsSessionInfo tls = client.tlsSession();
    EXPECT_TRUE(tls.encrypted && tls.offered);
    EXPECT_EQ(tls.asked, !implicit);
    EXPECT_EQ(tls.protocol, "TLS 1.3");
    EXPECT_EQ(tls.fingerprint, server.certificateFingerprint());
    EXPECT_FALSE(tls.trustedBySystem);
    if (implicit) {
        // The first contact's certificate remembered, as a station keeps it: the files go
        // in a session that checked it.
        client.Disconnect();
        client.setRememberedFingerprint(tls.fingerprint);
        client.Connect();
    }

    client.SetTransferType(3);
    const QList<QByteArray> contents{randomBytes(3 << 20, 11), "", "a notice\r\n"};
    for (int i = 0; i < contents.size(); ++i)
        client.Upload(writeFile(folder, QStringLiteral("f%1.bin").arg(i), contents[i]),
                      QStringLiteral("f%1.bin").arg(i));
    EXPECT_EQ(client.lastUpload().verification, Verification::Size);
    client.Disconnect();
    for (int i = 0; i < contents.size(); ++i)
        EXPECT_EQ(contentOf(QDir(server.rootPath()).filePath(QStringLiteral("f%1.bin").arg(i))),
                  contents[i]);

    // Remembered and presented agree: accepted. Another one remembered: refused.
    client.setRememberedFingerprint(tls.fingerprint);
    client.Connect();
    client.Disconnect();
    client.setRememberedFingerprint("AB:" + tls.fingerprint.mid(3));
    const QString refusal = failureOf<CertificateChangedError>([&] { client.Connect(); });
    EXPECT_TRUE(refusal.startsWith("The certificate of 127.0.0.1 has changed: remembered AB:"))
        << refusal.toStdString();
    EXPECT_FALSE(client.connected());
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpRealServerTls,
                         testing::Values(TlsRun{true, false}, TlsRun{false, false},
                                         TlsRun{true, true}, TlsRun{false, true}),
                         [](const testing::TestParamInfo<TlsRun>& info) {
                             return std::string(info.param.implicit ? "Implicit" : "Explicit")
                                 + (info.param.passive ? "Passive" : "Active");
                         });

TEST(FtpRealServerTlsModes,
     APlainServerGetsNoPasswordUnderRequireOrImplicitAndFilesInClearUnderAuto)
{
    testsupport::FtpServerProcess server;
    QTemporaryDir folder;
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    ASSERT_TRUE(folder.isValid());
    FtpClient client;
    aim(client, server, true);
    client.setTlsMode(TlsMode::Require);
    FtpClientProbe probe(client);
    const QString refusal = failureOf<TlsError>([&] { client.Connect(); });
    EXPECT_TRUE(
        QRegularExpression("^The server refuses AUTH TLS: 5\\d\\d .+$").match(refusal).hasMatch())
        << refusal.toStdString();
    EXPECT_FALSE(probe.statusContains("PASS"));
    EXPECT_FALSE(probe.statusContains("USER"));

    // Implicit TLS at a port that greets in clear: the greeting is named, at once.
    client.setTlsMode(TlsMode::Implicit);
    client.setConnectLimit(3000);
    QElapsedTimer clock;
    clock.start();
    const QString clear = failureOf<TlsError>([&] { client.Connect(); });
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_TRUE(QRegularExpression("^TLS handshake with 127\\.0\\.0\\.1:\\d+ failed: the server "
                                   "answered in clear: 220 pyftpdlib .* ready\\.$")
                    .match(clear)
                    .hasMatch())
        << clear.toStdString();
    EXPECT_FALSE(probe.statusContains("PASS"));
    EXPECT_FALSE(probe.statusContains("USER"));
    EXPECT_FALSE(client.connected());

    client.setTlsMode(TlsMode::Auto);
    client.Connect();
    EXPECT_FALSE(client.tlsSession().encrypted);
    EXPECT_FALSE(client.tlsSession().offered);
    client.Upload(writeFile(folder, "clear.txt", "in clear"), "clear.txt");
    client.Disconnect();
    EXPECT_EQ(contentOf(QDir(server.rootPath()).filePath("clear.txt")), "in clear");
}
