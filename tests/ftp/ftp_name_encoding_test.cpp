// Names on the wire: the session's encoding from FEAT, and names it cannot hold.
#include "ftp/FtpClient.h"
#include "tests/ftp/FtpClientProbe.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString folder = QStringLiteral("/通知");
const QString notice = QStringLiteral("放假通知.txt");
const QByteArray folderGbk = "/\xcd\xa8\xd6\xaa";
const QByteArray folderUtf8 = "/\xe9\x80\x9a\xe7\x9f\xa5";
const QByteArray noticeGbk = "\xb7\xc5\xbc\xd9\xcd\xa8\xd6\xaa.txt";
const QByteArray noticeUtf8 = "\xe6\x94\xbe\xe5\x81\x87\xe9\x80\x9a\xe7\x9f\xa5.txt";

} // namespace

TEST(FtpNameEncoding, FeaturesAndNamesOnPlainStrings)
{
    const QByteArray vsftpd =
        "211-Features:\r\n EPRT\r\n EPSV\r\n MDTM\r\n PASV\r\n REST STREAM\r\n"
        " SIZE\r\n TVFS\r\n UTF8\r\n211 End\r\n";
    const QByteArrayList features = ftp::featureList(vsftpd);
    EXPECT_EQ(
        features,
        (QByteArrayList{"EPRT", "EPSV", "MDTM", "PASV", "REST STREAM", "SIZE", "TVFS", "UTF8"}));
    EXPECT_TRUE(ftp::hasFeature(features, "REST"));
    EXPECT_TRUE(ftp::hasFeature(ftp::featureList("211-Ext:\n utf8\n211 End\n"), "UTF8"));
    EXPECT_FALSE(ftp::hasFeature(ftp::featureList("211-Ext:\r\n UTF8X\r\n211 End\r\n"), "UTF8"));
    // A refusal, a reply in one line or the header and end lines list nothing.
    for (const QByteArray reply : {"500 Unknown command.\r\n", "211 No features\r\n",
                                   "502-Not here:\r\n UTF8\r\n502 End\r\n", ""})
        EXPECT_TRUE(ftp::featureList(reply).isEmpty()) << reply.toStdString();

    struct Case {
        QString name;
        std::optional<QByteArray> gbk;
        std::optional<QByteArray> utf8;
    };
    const QList<Case> cases{
        {notice, noticeGbk, noticeUtf8},
        {"plain.txt", "plain.txt", "plain.txt"},
        // Korean and the rarer ideographs have no GBK bytes; a lone surrogate none at all.
        {QStringLiteral("공지.txt"), std::nullopt, QByteArray("\xea\xb3\xb5\xec\xa7\x80.txt")},
        {QStringLiteral("䶮.txt"), std::nullopt, QByteArray("\xe4\xb6\xae.txt")},
        {QString(QChar(0xd800)) + ".txt", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ftp::encodeName(c.name, NameEncoding::Gbk), c.gbk) << c.name.toStdString();
        EXPECT_EQ(ftp::encodeName(c.name, NameEncoding::Utf8), c.utf8) << c.name.toStdString();
    }
    // A refusal naming a file in the session's encoding reads as the server wrote it.
    EXPECT_EQ(FtpError("550 " + noticeUtf8 + ": denied\r\n", NameEncoding::Utf8).message(),
              "550 " + notice + ": denied");
}

TEST(FtpNameEncoding, TheServersFeaturesChooseTheEncodingOfTheSession)
{
    const QByteArray vsftpd = "211-Features:\r\n EPRT\r\n UTF8\r\n211 End\r\n";
    struct Case {
        EncodingChoice choice;
        Lines replies; // after the greeting: USER, FEAT and what follows up to CWD's
        Lines login;   // the commands from FEAT on
        NameEncoding encoding;
    };
    const Lines utf8Names{"CWD " + folderUtf8 + "\r\n", "PORT\r\n", "STOR " + noticeUtf8 + "\r\n"};
    const Lines gbkNames{"CWD " + folderGbk + "\r\n", "PORT\r\n", "STOR " + noticeGbk + "\r\n"};
    const QList<Case> cases{
        {EncodingChoice::Auto,
         {vsftpd, "200 Always in UTF8 mode.\r\n"},
         {"FEAT\r\n", "OPTS UTF8 ON\r\n"},
         NameEncoding::Utf8},
        // A server that always speaks UTF-8 may refuse to be asked (pyftpdlib).
        {EncodingChoice::Auto,
         {testsupport::featUtf8, "501 Invalid argument.\r\n"},
         {"FEAT\r\n", "OPTS UTF8 ON\r\n"},
         NameEncoding::Utf8},
        {EncodingChoice::Auto,
         {"211-Features:\r\n SIZE\r\n MDTM\r\n211 End\r\n"},
         {"FEAT\r\n"},
         NameEncoding::Gbk},
        {EncodingChoice::Auto,
         {"502 Command not implemented.\r\n"},
         {"FEAT\r\n"},
         NameEncoding::Gbk},
        // A fixed choice: GBK asks for nothing, UTF-8 needs no feature.
        {EncodingChoice::Gbk, {vsftpd}, {"FEAT\r\n"}, NameEncoding::Gbk},
        {EncodingChoice::Utf8, {testsupport::featUnknown}, {"FEAT\r\n"}, NameEncoding::Utf8},
    };
    QTemporaryDir files;
    const QString path = writeFile(files, "n.txt", "notice");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases.data());
        Session s;
        s.script(Lines{"220 Ready\r\n", "230 In.\r\n"} + c.replies)
            .reply("250 Ok.\r\n")
            .reply("200 Ok.\r\n")
            .reply("150 Ok.\r\n")
            .transfer()
            .send("226 Done.\r\n");
        s.client.Encoding = c.choice;
        s.logIn();
        EXPECT_EQ(s.client.sessionEncoding(), c.encoding);
        s.client.ChangeDir(folder);
        s.client.Upload(path, notice);

        ASSERT_TRUE(s.peer.waitUntilPlayed());
        const Lines names = c.encoding == NameEncoding::Utf8 ? utf8Names : gbkNames;
        EXPECT_EQ(dialogue(s.peer), Lines{"USER user\r\n"} + c.login + names);
        EXPECT_EQ(s.peer.uploads(), Lines{"notice"});
    }
}

TEST(FtpNameEncoding, ANameTheSessionCannotHoldIsRefusedBeforeAnythingIsSent)
{
    QTemporaryDir files;
    const QString korean = writeFile(files, QStringLiteral("공지.txt"), "notice");
    const QString plain = writeFile(files, "n.txt", "notice");
    Session s;
    s.greeted().reply("200 Ok.\r\n").reply("150 Ok.\r\n").transfer().send("226 Done.\r\n");
    s.logIn();
    const QString refusal = "The name %1 cannot be written in the server's encoding (GBK)";

    // Under its own name, under a name given, with OnFailure settling it, as a folder.
    EXPECT_EQ(failureOf<NameEncodingError>([&] { s.client.Upload(korean, ""); }),
              refusal.arg(QStringLiteral("공지.txt")));
    EXPECT_EQ(
        failureOf<NameEncodingError>([&] { s.client.Upload(plain, QStringLiteral("䶮.txt")); }),
        refusal.arg(QStringLiteral("䶮.txt")));
    s.probe.recordOutcomes(true);
    EXPECT_NO_THROW(s.client.Upload(plain, QStringLiteral("공지.txt")));
    EXPECT_EQ(failureOf<NameEncodingError>([&] { s.client.ChangeDir(QStringLiteral("/공지")); }),
              refusal.arg(QStringLiteral("/공지")));
    EXPECT_EQ(s.probe.events, (QStringList{"OnFailure(9)", "OnFailure(9)", "OnFailure(9)"}));
    EXPECT_EQ(s.client.dataConnection(), nullptr);
    // The session goes on: a name it can hold is stored.
    s.client.Upload(plain, QString());
    EXPECT_TRUE(s.probe.events.contains("OnSuccess(9)"));

    ASSERT_TRUE(s.peer.waitUntilPlayed());
    EXPECT_EQ(dialogue(s.peer), (Lines{"USER user\r\n", "FEAT\r\n", "PORT\r\n", "STOR n.txt\r\n"}));
    EXPECT_EQ(s.peer.uploads(), Lines{"notice"});
}
