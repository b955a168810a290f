// Reply codes, continuation lines, command kinds and PASV ports, on plain strings.
#include "ftp/NMFtp.h"

#include <gtest/gtest.h>

TEST(FtpReplyParsing, ReplyCodeIsTheLeadingNumber)
{
    EXPECT_EQ(ftp::replyCode("220 Ready\r\n"), 220);
    EXPECT_EQ(ftp::replyCode("220-Welcome\r\n"), 220);
    EXPECT_EQ(ftp::replyCode("5\r\n"), 5);
    EXPECT_EQ(ftp::replyCode("0000000451 odd\r\n"), 451);
    EXPECT_EQ(ftp::replyCode("Hello 220\r\n"), 0);
    EXPECT_EQ(ftp::replyCode(" 220\r\n"), 0);
    EXPECT_EQ(ftp::replyCode(""), 0);
    EXPECT_EQ(ftp::replyCode("32767 max\r\n"), 32767);
    EXPECT_THROW(ftp::replyCode("32768 too big\r\n"), ESockError);
}

TEST(FtpReplyParsing, ContinuationLines)
{
    EXPECT_TRUE(ftp::isContinuationLine("220-Welcome\r\n"));
    EXPECT_TRUE(ftp::isContinuationLine(" second line\r\n"));
    EXPECT_TRUE(ftp::isContinuationLine(" \n"));
    EXPECT_TRUE(ftp::isContinuationLine("abc-"));
    EXPECT_FALSE(ftp::isContinuationLine("220 Ready\r\n"));
    EXPECT_FALSE(ftp::isContinuationLine("220\r\n"));
    EXPECT_FALSE(ftp::isContinuationLine("22-"));
    EXPECT_FALSE(ftp::isContinuationLine(""));
}

TEST(FtpReplyParsing, CommandKindsAreExactAndCaseSensitive)
{
    EXPECT_EQ(ftp::commandKind("CWD /notices"), TCmdType::ctCwd);
    EXPECT_EQ(ftp::commandKind("CWD"), TCmdType::ctCwd);
    EXPECT_EQ(ftp::commandKind("CWD "), TCmdType::ctCwd);
    EXPECT_EQ(ftp::commandKind("MKD new"), TCmdType::ctMkd);
    EXPECT_EQ(ftp::commandKind("DELE old.txt"), TCmdType::ctDele);
    EXPECT_EQ(ftp::commandKind("RMD gone"), TCmdType::ctRmd);
    EXPECT_EQ(ftp::commandKind("PWD"), TCmdType::ctPwd);
    EXPECT_EQ(ftp::commandKind("PWD x"), TCmdType::ctOther);
    EXPECT_EQ(ftp::commandKind("pwd"), TCmdType::ctOther);
    EXPECT_EQ(ftp::commandKind("cwd x"), TCmdType::ctOther);
    EXPECT_EQ(ftp::commandKind("CWDX y"), TCmdType::ctOther);
    EXPECT_EQ(ftp::commandKind("TYPE I"), TCmdType::ctOther);
    EXPECT_EQ(ftp::commandKind(""), TCmdType::ctOther);
    EXPECT_EQ(int(TCmdType::ctStor), 9);
    EXPECT_EQ(int(TCmdType::ctOther), 14);
    EXPECT_EQ(int(TCmdType::ctPwd), 15);
}

TEST(FtpReplyParsing, PassivePortComesFromFieldsFiveAndSix)
{
    EXPECT_EQ(ftp::passivePort("227 Entering Passive Mode (10,0,0,5,19,137).\r\n"), 5001);
    EXPECT_EQ(ftp::passivePort("227 =127,0,0,1,0,21)\r\n"), 21);
    EXPECT_EQ(ftp::passivePort("227 (127,0,0,1,255,255)\r\n"), 65535);

    // No port fields, no ")" after the sixth field, or fields that are no bytes.
    EXPECT_THROW(ftp::passivePort("425 Can't open data connection.\r\n"), platform::EConvertError);
    EXPECT_THROW(ftp::passivePort("227 (127,0,0,1,19,137\r\n"), platform::EConvertError);
    EXPECT_THROW(ftp::passivePort("227 (127,0,0,1,x,137)\r\n"), platform::EConvertError);
    EXPECT_THROW(ftp::passivePort("227 (127,0,0,1,19,)\r\n"), platform::EConvertError);
    EXPECT_THROW(ftp::passivePort("227 (127,0,0,1,256,1)\r\n"), platform::EConvertError);
    try {
        ftp::passivePort("425 Can't open data connection.\r\n");
    } catch (const platform::EConvertError& error) {
        EXPECT_EQ(error.message(), QStringLiteral("'' is not a valid integer value"));
    }
}

TEST(FtpReplyParsing, FtpExceptionCarriesTheReplyLineWithItsLineEnd)
{
    const FTPException error("530 Login incorrect.\r\n");
    EXPECT_EQ(error.message(), QStringLiteral("530 Login incorrect.\r\n"));
    EXPECT_EQ(error.reply(), QByteArray("530 Login incorrect.\r\n"));
    // GBK text in a reply is decoded for the message and kept as bytes.
    const FTPException gbk("550 \xce\xde\xb4\xcb\xce\xc4\xbc\xfe\r\n");
    EXPECT_EQ(gbk.message(), QStringLiteral("550 无此文件\r\n"));
}
