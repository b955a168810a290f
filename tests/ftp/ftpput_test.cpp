// The command-line uploader against the scripted peer: what it refuses, reports and goes on with.
#include "tests/ftp/FtpClientProbe.h"
#include "tests/support/SshServerProcess.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

TEST(FtpPut, RefusesStrangersAndClearLoginsReportsUncheckedFilesAndNamesTheBrokenConnection)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString small = writeFile(folder, "a.txt", "notice");
    const QString other = writeFile(folder, "b.txt", "second");
    const QString big = writeFile(folder, "big.bin", randomBytes(16 << 20, 8));
    const QString trust = writeFile(folder, "trust.txt", "127.0.0.1 AB:CD\n");
    const auto login = [](testsupport::ScriptedFtpPeer& peer,
                          const QByteArray& feat) -> testsupport::ScriptedFtpPeer& {
        return peer.send("220 Ready\r\n")
            .reply("230 In.\r\n")
            .reply(feat)
            .reply("250 Ok.\r\n")
            .reply("200 Type set.\r\n");
    };
    struct Row {
        const char* name;
        QStringList arguments;
        std::function<void(testsupport::ScriptedFtpPeer&)> script;
        int exitCode;
        QString stderrPattern;
        bool loggedIn = true;
    };
    const QList<Row> rows{
        {"stranger on the active port",
         {"--tls", "off", "--mode", "active", small},
         [&](auto& p) {
             login(p, testsupport::featUnknown)
                 .reply("200 PORT ok.\r\n")
                 .reply("150 Ok.\r\n")
                 .strangerCall("127.0.0.2")
                 .transfer()
                 .send("226 Done.\r\n")
                 .reply("221 Bye.\r\n");
         },
         0,
         "\nftpput: data connection from 127\\.0\\.0\\.2 refused: not the server\n"},
        {"HASH not implemented: both files stored",
         {"--tls", "off", "--mode", "passive", small, other},
         [&](auto& p) {
             login(p, "211-Features:\r\n HASH SHA-256*\r\n211 End\r\n");
             for (int file = 0; file < 2; ++file)
                 p.passive("227 Entering Passive Mode (%PASV%)\r\n")
                     .reply("150 Ok.\r\n")
                     .transfer()
                     .send("226 Done.\r\n")
                     .reply("502 HASH\x1b[2J not implemented.\r\n");
             p.reply("221 Bye.\r\n");
         },
         0,
         "a\\.txt stored, not checked: 502 HASH not implemented\\.\n.*b\\.txt stored, not "
         "checked: 502 HASH not implemented\\.\n"},
        {"remembered host refusing TLS",
         {"--tls", "auto", "--trust", trust, small},
         [](auto& p) { p.send("220 Ready\r\n").reply("500 AUTH not understood.\r\n"); },
         1,
         "ftpput: The server refuses AUTH TLS: 500 AUTH not understood\\.\n$",
         false},
        {"reset data connection",
         {"--tls", "off", "--mode", "passive", big},
         [&](auto& p) {
             login(p, testsupport::featUnknown)
                 .passive("227 Entering Passive Mode (%PASV%)\r\n")
                 .reply("150 Ok.\r\n")
                 .cutTransfer(100000)
                 .send("226 Done.\r\n");
         },
         1,
         "ftpput: data connection 127\\.0\\.0\\.1:\\d+ failed: [^\n]+\n$"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        testsupport::ScriptedFtpPeer peer;
        row.script(peer);
        peer.start();
        QProcess ftpput;
        ftpput.start(ZARVEL_FTPPUT,
                     QStringList{"--host", "127.0.0.1", "--port", QString::number(peer.port()),
                                 "--user", "user", "--password", "secret", "--dir", "/in"}
                         + row.arguments);
        ASSERT_TRUE(ftpput.waitForFinished(30000));
        const QString errors = QString::fromLocal8Bit(ftpput.readAllStandardError());
        EXPECT_EQ(ftpput.exitCode(), row.exitCode) << errors.toStdString();
        EXPECT_TRUE(
            QRegularExpression(row.stderrPattern, QRegularExpression::DotMatchesEverythingOption)
                .match(errors)
                .hasMatch())
            << errors.toStdString();
        EXPECT_EQ(peer.commands().contains("USER user\r\n"), row.loggedIn);
        EXPECT_FALSE(peer.commands().contains("PASS secret\r\n"));
    }
}

TEST(FtpPut, SftpRemembersTheHostKeyOnFirstContactAndRefusesAnotherOne)
{
    testsupport::SshServerProcess server;
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QByteArray content = randomBytes(200000, 5);
    const QString notice = writeFile(folder, "Notice.TXT", content);
    const QString keys = folder.filePath("host-keys.txt");
    const QByteArray station = "127.0.0.1:" + QByteArray::number(server.port());
    const struct {
        const char* name;
        int exitCode;
        const char* errorsPattern;
        QByteArray keysAfter;
    } rows[] = {
        {"first contact", 0, "host key SHA256:\\S+ \\(remembered now\\)\n",
         station + ' ' + server.hostKeyFingerprint() + '\n'},
        {"remembered", 0, "host key SHA256:\\S+ \\(remembered\\)\n",
         station + ' ' + server.hostKeyFingerprint() + '\n'},
        {"changed", 1,
         "^ftpput: The host key of 127\\.0\\.0\\.1 has changed: remembered "
         "SHA256:\\S+, presented SHA256:\\S+\n$",
         station + " SHA256:remembered-before\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.exitCode != 0) {
            QFile file(keys);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(row.keysAfter) > 0);
        }
        QFile::remove(server.rootPath() + "/notice.txt");
        QProcess ftpput;
        ftpput.start(ZARVEL_FTPPUT,
                     {"--protocol", "sftp", "--host", "127.0.0.1", "--port",
                      QString::number(server.port()), "--user", server.user(), "--dir",
                      server.rootPath(), "--temp-name", "--host-key", keys, "--ssh-folder",
                      server.clientSshFolder(), notice});
        ASSERT_TRUE(ftpput.waitForFinished(30000));
        const QString errors = QString::fromLocal8Bit(ftpput.readAllStandardError());
        const QString output = QString::fromLocal8Bit(ftpput.readAllStandardOutput());
        EXPECT_EQ(ftpput.exitCode(), row.exitCode) << errors.toStdString();
        EXPECT_TRUE(QRegularExpression(row.errorsPattern).match(errors).hasMatch())
            << errors.toStdString();
        EXPECT_EQ(contentOf(keys), row.keysAfter);
        EXPECT_EQ(contentOf(server.rootPath() + "/notice.txt") == content, row.exitCode == 0);
        EXPECT_EQ(output.contains(" files=1 bytes=200000 verified=1 unchecked=0"),
                  row.exitCode == 0)
            << output.toStdString();
    }
}
