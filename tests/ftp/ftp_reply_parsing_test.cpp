// Reply codes, continuation lines, PASV and EPSV ports, EPRT and the refusal's message, on
// plain strings.
#include "ftp/FtpClient.h"
#include "tests/ftp/FtpClientProbe.h"

#include <gtest/gtest.h>

#include <utility>

TEST(FtpReplyParsing, ReplyCodesAndContinuationLines)
{
    const QList<std::pair<QByteArray, int>> codes{
        {"220 Ready\r\n", 220}, {"220-Welcome\r\n", 220}, {"5\r\n", 5}, {"0000000451 odd\r\n", 451},
        {"Hello 220\r\n", 0},   {" 220\r\n", 0},          {"", 0},      {"32767 max\r\n", 32767}};
    for (const auto& [line, code] : codes)
        EXPECT_EQ(ftp::replyCode(line), code) << line.toStdString();
    EXPECT_EQ(failureOf<SocketError>([] { ftp::replyCode("32768 too big\r\n"); }),
              QStringLiteral("Reply code 32768 is out of range"));
    EXPECT_EQ(failureOf<SocketError>([] { ftp::replyCode("0099999 far too big\r\n"); }),
              QStringLiteral("Reply code 0099999 is out of range"));

    for (const QByteArray line : {"220-Welcome\r\n", " second line\r\n", " \n", "abc-"})
        EXPECT_TRUE(ftp::isContinuationLine(line)) << line.toStdString();
    for (const QByteArray line : {"220 Ready\r\n", "220\r\n", "22-", ""})
        EXPECT_FALSE(ftp::isContinuationLine(line)) << line.toStdString();
}

TEST(FtpReplyParsing, PassivePortComesFromFieldsFiveAndSix)
{
    EXPECT_EQ(ftp::passivePort("227 =127,0,0,1,0,21)\r\n"), 21);
    EXPECT_EQ(ftp::passivePort("227 (127,0,0,1,255,255)\r\n"), 65535);
    // No ")" after the sixth field, or fields that are no bytes.
    for (const QByteArray reply : {"227 (127,0,0,1,19,137\r\n", "227 (127,0,0,1,x,137)\r\n",
                                   "227 (127,0,0,1,19,)\r\n", "227 (127,0,0,1,256,1)\r\n"})
        EXPECT_THROW(ftp::passivePort(reply), platform::ConversionError) << reply.toStdString();
    EXPECT_EQ(
        failureOf<platform::ConversionError>([] { ftp::passivePort("227 (1,2,3,4,x,5)\r\n"); }),
        QStringLiteral("Cannot read the passive address in the reply: 227 (1,2,3,4,x,5)"));
}

TEST(FtpReplyParsing, ExtendedPassivePortsEprtCommandsAndWhatAGreetingMustStartWith)
{
    EXPECT_EQ(ftp::extendedPassivePort("229 Entering Extended Passive Mode (|||40123|)\r\n"),
              40123);
    EXPECT_EQ(ftp::extendedPassivePort("229 Ok (!!!65535!)"), 65535);
    // No port, no number, too big, mixed delimiters, a digit as delimiter, no ")".
    for (const QByteArray reply :
         {"229 Entering Extended Passive Mode\r\n", "229 (|||x|)", "229 (||||)", "229 (|||65536|)",
          "229 (|!|40123|)", "229 (111401231)", "229 (|||40123|\r\n", "229 (|||+4|)"})
        EXPECT_EQ(failureOf<platform::ConversionError>([&] { ftp::extendedPassivePort(reply); }),
                  "No data port in the reply to EPSV: " + QString::fromLatin1(reply).trimmed());

    EXPECT_EQ(ftp::extendedPortCommand("::1", 40123), QByteArray("EPRT |2|::1|40123|"));
    EXPECT_EQ(ftp::extendedPortCommand("fe80::1%eth0", 21), QByteArray("EPRT |2|fe80::1|21|"));
    EXPECT_EQ(ftp::extendedPortCommand("127.0.0.1", 1025), QByteArray("EPRT |1|127.0.0.1|1025|"));

    for (const QByteArray line : {"220 Ready\r\n", "220-Welcome\r\n", "220\r\n", "421\n", "220"})
        EXPECT_TRUE(ftp::startsWithReplyCode(line)) << line.toStdString();
    for (const QByteArray line : {"HTTP/1.1 400 Bad Request\r\n", "22 Ready\r\n", "2200 Ready\r\n",
                                  " 220 Ready\r\n", "220Ready\r\n", "\r\n", ""})
        EXPECT_FALSE(ftp::startsWithReplyCode(line)) << line.toStdString();
}

TEST(FtpReplyParsing, FtpExceptionTellsTheWholeReplyInTheServersWordsAndKeepsItsBytes)
{
    const QList<std::pair<QByteArray, QString>> replies{
        {"550 \xce\xde\xb4\xcb\xce\xc4\xbc\xfe\r\n", QStringLiteral("550 无此文件")},
        // Continuation markers go, the text of every line stays, one blank between lines.
        {"451-Local error:\r\n451-  disk full\r\n   quota 0 \r\n451 Try later.\r\n",
         "451 Local error: disk full quota 0 Try later."},
        {"451-\r\n451 Only here\n", "451 Only here"},
        {"550-First\r\n550 \r\n", "550 First"},
        // Lines without a code stay as they are.
        {"Stored, I promise.\r\n", "Stored, I promise."},
        {"999 I did not store it.\r\n", "999 I did not store it."},
        {"", ""},
        // Shown, never obeyed: no escape sequence, no control byte, no CR that starts a line.
        {"550 \x1b[31mred\x1b]0;title\x07 gone\r\n", "550 red gone"},
        {"451-Disk\rfull\r\n451 Try\x7flater\x01!\r\n", "451 Disk full Try later !"},
    };
    for (const auto& [reply, text] : replies) {
        const FtpError error(reply);
        EXPECT_EQ(error.message(), text) << reply.toStdString();
        EXPECT_EQ(error.reply(), reply);
    }
}
