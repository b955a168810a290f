// Uploads to a real FTP server (pyftpdlib) on a loopback address, active and passive.
#include "ftp/NMFtp.h"
#include "tests/ftp/FtpClientProbe.h"
#include "tests/support/FtpServerProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using testsupport::FtpServerProcess;

namespace {

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class FtpRealServer : public testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.isRunning()) << m_server.errorString().toStdString();
        ASSERT_TRUE(m_folder.isValid());
        ASSERT_TRUE(QDir(m_server.rootPath()).mkdir("notices"));
        m_client.Host = m_server.address();
        m_client.Port = m_server.port();
        m_client.UserID = m_server.user();
        m_client.Password = m_server.password();
        m_client.Passive = GetParam();
    }

    FtpServerProcess m_server;
    QTemporaryDir m_folder;
    TNMFTP m_client;
};

TEST_P(FtpRealServer, FilesArriveByteForByte)
{
    const QList<qsizetype> sizes {0, 1, 65536, 65537, 3 * 1024 * 1024 + 17};
    FtpClientProbe probe(m_client);
    probe.recordOutcomes(false);
    m_client.Connect();
    m_client.ChangeDir("/notices");
    m_client.SetTransferType(3);
    for (const qsizetype size : sizes) {
        const QByteArray content = randomBytes(size, quint32(size));
        const QString name = QStringLiteral("f%1.bin").arg(size);
        m_client.Upload(writeFile(m_folder, name, content), name.toLatin1());
        EXPECT_EQ(m_client.DataConnection, nullptr);
    }
    m_client.Disconnect();
    EXPECT_FALSE(m_client.Connected);

    for (const qsizetype size : sizes) {
        const QString stored = m_server.rootPath() + QStringLiteral("/notices/f%1.bin").arg(size);
        const QByteArray content = contentOf(stored);
        EXPECT_EQ(content.size(), size) << stored.toStdString();
        EXPECT_TRUE(content == randomBytes(size, quint32(size))) << stored.toStdString();
    }
    EXPECT_EQ(probe.count("OnSuccess(9)"), sizes.size());
    EXPECT_EQ(probe.count("OnFailure(9)"), 0);
}

TEST_P(FtpRealServer, MissingFolderIsRefusedAndTheClientStaysConnected)
{
    m_client.Connect();
    try {
        m_client.ChangeDir("/no-such-folder");
        ADD_FAILURE() << "CWD into a missing folder succeeded";
    } catch (const FTPException& error) {
        EXPECT_TRUE(error.reply().startsWith("550 ")) << error.reply().toStdString();
        EXPECT_TRUE(error.reply().endsWith("\r\n"));
    }
    EXPECT_TRUE(m_client.Connected);

    // A second Connect changes nothing: the session goes on where it was.
    m_client.Connect();
    m_client.ChangeDir("notices");
    m_client.Upload(writeFile(m_folder, "after.txt", "still here"), "");
    m_client.Disconnect();
    EXPECT_EQ(contentOf(m_server.rootPath() + "/notices/after.txt"), QByteArray("still here"));
}

TEST_P(FtpRealServer, WrongPasswordIsRefused)
{
    m_client.Password = "wrong";
    try {
        m_client.Connect();
        ADD_FAILURE() << "login with a wrong password succeeded";
    } catch (const FTPException& error) {
        EXPECT_TRUE(error.reply().startsWith("530 ")) << error.reply().toStdString();
    }
    EXPECT_FALSE(m_client.Connected);
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpRealServer, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Passive" : "Active");
                         });
