// The folder file's three lines, without a window.
#include "app/FolderFile.h"

#include "platform/codepage.h"
#include "tests/support/QtPrinters.h"

#include <QFile>
#include <QTemporaryDir>

#include "SettingsFileTest.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class FolderFileTest : public SettingsFileTest {
protected:
    FolderFileTest()
        : SettingsFileTest(QStringLiteral("Dirt.cfg"))
    {
    }
};

} // namespace

TEST_F(FolderFileTest, LinesAreReadByTheCarriageReturnRules)
{
    EXPECT_FALSE(FolderFile(path()).load().has_value()) << "no file";

    const struct {
        QByteArray file;
        QString local;
        QString remote;
        QByteArray password;
    } rows[] = {
        {.file = "nil\r\nout/box\r\nsecret\r\n",
         .local = "nil",
         .remote = "out/box",
         .password = "secret"},
        {.file = ".\r\n\r\n\r\n", .local = ".", .remote = "", .password = ""},
        // Missing lines are empty.
        {.file = "/notices/", .local = "/notices/", .remote = "", .password = ""},
        // Ctrl-Z ends the file.
        {.file = ".\r\nx\x1Ay\r\nz\r\n", .local = ".", .remote = "x", .password = ""},
        // Blanks are kept, nothing is trimmed.
        {.file = ".\r\n  far \r\n pw \r\n", .local = ".", .remote = "  far ", .password = " pw "},
        // LF alone ends no line.
        {.file = "a\nb\nc\n", .local = "a\nb\nc\n", .remote = "", .password = ""},
        // GBK texts; the password stays bytes.
        {.file = ".\r\n\xCA\xD5\xBC\xFE\r\n\xBF\xDA\xC1\xEE\r\n",
         .local = ".",
         .remote = QStringLiteral("收件"),
         .password = "\xBF\xDA\xC1\xEE"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file.toStdString());
        write(row.file);
        const std::optional<FolderSettings> settings = FolderFile(path()).load();
        ASSERT_TRUE(settings.has_value());
        EXPECT_EQ(settings->localFolder, row.local);
        EXPECT_EQ(settings->remoteFolder, row.remote);
        EXPECT_EQ(settings->password, row.password);
    }
}

TEST_F(FolderFileTest, SaveWritesThreeGbkLinesWithADotForAnEmptyFolder)
{
    FolderFile(path()).save(
        {.localFolder = "", .remoteFolder = QStringLiteral("收件"), .password = "\xFF pw"});
    EXPECT_EQ(read(), QByteArray(".\r\n\xCA\xD5\xBC\xFE\r\n\xFF pw\r\n"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the file holds the settings password";

    FolderFile(path()).save(
        {.localFolder = "/home/a/notices/", .remoteFolder = "", .password = ""});
    EXPECT_EQ(read(), QByteArray("/home/a/notices/\r\n.\r\n\r\n"));
}
