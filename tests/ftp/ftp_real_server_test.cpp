// Uploads to a real FTP server (pyftpdlib) on a loopback address, active and passive.
#include "ftp/FtpClient.h"
#include "tests/ftp/FtpClientProbe.h"
#include "tests/support/FtpServerProcess.h"
#include "tests/support/ScriptedFtpPeer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <tuple>

// Passive or active, and the server's loopback address (IPv6: EPSV and EPRT).
class FtpRealServer : public testing::TestWithParam<std::tuple<bool, const char*>> {};

TEST_P(FtpRealServer, FilesArriveByteForByteAndAMissingFolderIsRefused)
{
    const auto [passive, address] = GetParam();
    if (QByteArray(address) == "::1" && !testsupport::hasIPv6Loopback())
        GTEST_SKIP() << "this machine has no IPv6 loopback address ::1";
    testsupport::FtpServerProcess server({.address = address});
    QTemporaryDir folder;
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    ASSERT_TRUE(folder.isValid() && QDir(server.rootPath()).mkdir("notices"));
    FtpClient client;
    aim(client, server, passive);
    FtpClientProbe probe(client);
    probe.recordOutcomes(false);
    client.Connect();

    const QString refusal = failureOf<FtpError>([&] { client.ChangeDir("/no-such-folder"); });
    EXPECT_TRUE(refusal.startsWith("550 ") && !refusal.contains('\n') && !refusal.contains('\r'))
        << refusal.toStdString();
    EXPECT_TRUE(client.connected());
    // A second Connect changes nothing: the session goes on where it was.
    client.Connect();
    client.ChangeDir("/notices");
    client.SetTransferType(3);
    const QList<qsizetype> sizes{0, 1, 65536, 65537, 3 * 1024 * 1024 + 17};
    for (const qsizetype size : sizes) {
        const QString name = QStringLiteral("f%1.bin").arg(size);
        client.Upload(writeFile(folder, name, randomBytes(size, quint32(size))), name.toLatin1());
        EXPECT_EQ(client.dataConnection(), nullptr);
        EXPECT_EQ(client.lastUpload().size, size);
        EXPECT_EQ(client.lastUpload().sent, size);
        // The server lists SIZE and the session is binary: every file is checked.
        EXPECT_EQ(client.lastUpload().verification, Verification::Size);
    }
    client.Disconnect();
    EXPECT_FALSE(client.connected());

    for (const qsizetype size : sizes) {
        const QByteArray content =
            contentOf(server.rootPath() + QStringLiteral("/notices/f%1.bin").arg(size));
        EXPECT_EQ(content.size(), size);
        EXPECT_TRUE(content == randomBytes(size, quint32(size))) << size;
    }
    if (passive) {
        // Over IPv6 the server was asked by EPSV, which PASV cannot stand in for.
        EXPECT_TRUE(probe.statusContains(QByteArray(address) == "::1" ? "229 " : "227 "));
    }
    EXPECT_EQ(probe.count("OnSuccess(9)"), sizes.size());
    EXPECT_EQ(probe.count("OnFailure(9)"), 0);
}

TEST_P(FtpRealServer, NamesArriveInUtf8OnAServerThatListsIt)
{
    const auto [passive, address] = GetParam();
    if (QByteArray(address) == "::1" && !testsupport::hasIPv6Loopback())
        GTEST_SKIP() << "this machine has no IPv6 loopback address ::1";
    testsupport::FtpServerProcess server({.address = address});
    QTemporaryDir folder;
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    ASSERT_TRUE(folder.isValid() && QDir(server.rootPath()).mkdir(QStringLiteral("通知")));
    FtpClient client;
    aim(client, server, passive);
    client.Connect();
    EXPECT_EQ(client.sessionEncoding(), NameEncoding::Utf8);

    client.ChangeDir(QStringLiteral("/通知"));
    // The names are UTF-8 on the server's disk; no name of the local code page is needed.
    const QStringList names{QStringLiteral("放假通知.txt"), QStringLiteral("공지.txt")};
    for (const QString& name : names)
        client.Upload(writeFile(folder, "local.txt", name.toUtf8()), name);
    client.Disconnect();
    for (const QString& name : names)
        EXPECT_EQ(contentOf(server.rootPath() + QStringLiteral("/通知/") + name), name.toUtf8());
}

TEST(FtpRealServerTempName, AFileStoredUnderItsTemporaryNameReplacesTheOldOneOnlyWhenWhole)
{
    testsupport::FtpServerProcess server;
    QTemporaryDir folder;
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    ASSERT_TRUE(folder.isValid());
    const QString stored = server.rootPath() + QStringLiteral("/notice.txt");
    {
        QFile old(stored);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old notice") == 10);
    }
    FtpClient client;
    aim(client, server, true);
    client.TempNames = true;
    // While the new file flows, readers of the real name still get the old notice whole.
    QList<QByteArray> seenWhileSending;
    client.OnPacketSent = [&](QObject*) {
        if (seenWhileSending.isEmpty())
            seenWhileSending << contentOf(stored);
    };
    client.Connect();
    client.SetTransferType(2);
    const QByteArray content = randomBytes(1024 * 1024 + 3, 17);
    client.Upload(writeFile(folder, "local.txt", content), QStringLiteral("notice.txt"));
    EXPECT_EQ(client.lastUpload().verification, Verification::Size);
    client.Disconnect();

    EXPECT_EQ(seenWhileSending, QList<QByteArray>{"old notice"});
    EXPECT_TRUE(contentOf(stored) == content);
    EXPECT_EQ(QDir(server.rootPath()).entryList(QDir::Files), QStringList{"notice.txt"})
        << "no notice.txt.part is left";
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpRealServer,
                         testing::Combine(testing::Bool(), testing::Values("127.0.0.1", "::1")),
                         [](const testing::TestParamInfo<std::tuple<bool, const char*>>& info) {
                             return std::string(std::get<0>(info.param) ? "Passive" : "Active")
                                 + (QByteArray(std::get<1>(info.param)) == "::1" ? "IPv6" : "IPv4");
                         });
