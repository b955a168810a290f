// Uploads of four stations side by side, each client on a worker thread of its own.
#include "ftp/FtpClient.h"
#include "tests/ftp/FtpClientProbe.h"
#include "tests/support/WorkerThreads.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

TEST(FtpThreads, FourStationsUploadSideBySideEachItsOwnFile)
{
    constexpr int stations = 4;
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    std::vector<QByteArray> contents;
    std::vector<QString> files;
    for (int i = 0; i < stations; ++i) {
        contents.push_back(randomBytes(300000 + i, quint32(i + 1)));
        files.push_back(writeFile(folder, QStringLiteral("notice%1.txt").arg(i), contents[i]));
    }
    std::vector<Lines> uploads(stations);
    std::vector<Lines> commands(stations);
    testsupport::runOnWorkerThreads(stations, [&](int i) {
        Session s;
        s.greeted()
            .passive("227 Entering Passive Mode (%PASV%)\r\n")
            .reply("150 Opening data connection.\r\n")
            .transfer()
            .send("226 Transfer complete.\r\n");
        s.client.setIdleLimit(10000); // a notice that never arrives ends the wait on this thread
        s.logIn(true);
        s.client.Upload(files[i], "notice.txt");
        EXPECT_TRUE(s.peer.waitUntilPlayed());
        uploads[i] = s.peer.uploads();
        commands[i] = s.peer.commands();
    });
    for (int i = 0; i < stations; ++i) {
        EXPECT_TRUE(uploads[i] == Lines{contents[i]}) << "station " << i;
        EXPECT_EQ(commands[i],
                  (Lines{"USER user\r\n", "FEAT\r\n", "PASV\r\n", "STOR notice.txt\r\n"}));
    }
}
