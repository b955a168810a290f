// GBK round trips and cutting at character boundaries.
#include "platform/application.h"
#include "platform/codepage.h"
#include "platform/exception.h"
#include "platform/files.h"
#include "platform/printable.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <stdexcept>

TEST(CodePage, RoundTripsChineseTextAsGbkBytes)
{
    const QString text = QStringLiteral("传送完毕 ok");
    const QByteArray bytes = platform::toCodePage(text);
    EXPECT_EQ(bytes, QByteArray("\xB4\xAB\xCB\xCD\xCD\xEA\xB1\xCF ok"));
    EXPECT_EQ(platform::fromCodePage(bytes), text);
}

TEST(CodePage, PrefixNeverEndsInALoneLeadByte)
{
    const QByteArray bytes = platform::toCodePage(QStringLiteral("a传送")); // 1 + 2 + 2 bytes
    EXPECT_EQ(platform::codePagePrefixLength(bytes, 16), 5);
    EXPECT_EQ(platform::codePagePrefixLength(bytes, 4), 3);
    EXPECT_EQ(platform::codePagePrefixLength(bytes, 2), 1);
    EXPECT_EQ(platform::codePagePrefixLength(QByteArray("abcdef"), 4), 4);
}

// Without a translator the texts are the Chinese window's own.
TEST(ErrorBox, AppendsAFullStopOnlyAfterCharactersAboveIt)
{
    EXPECT_EQ(platform::errorBoxText("File not found"), QStringLiteral("File not found。"));
    EXPECT_EQ(platform::errorBoxText(QStringLiteral("口令错误")), QStringLiteral("口令错误。"));
    EXPECT_EQ(platform::errorBoxText("Done."), "Done.");
    EXPECT_EQ(platform::errorBoxText("Really!"), "Really!");
    EXPECT_EQ(platform::errorBoxText("a-"), "a-");
    EXPECT_EQ(platform::errorBoxText(""), "");

    // An input/output error shows its reader's text; its message stays the English one.
    QStringList shown;
    QString message;
    auto previous = platform::setErrorBoxHook([&](const QString& text) { shown << text; });
    platform::guarded([] { throw std::runtime_error("Disk full"); });
    platform::guarded([&] {
        try {
            platform::raiseInOutError(ENOSPC);
        } catch (const platform::InOutError& error) {
            message = error.message();
            throw;
        }
    });
    platform::guarded([] { platform::raiseInOutError(EIO); });
    platform::guarded([] { throw 1; });
    platform::setErrorBoxHook(previous);
    EXPECT_EQ(shown,
              (QStringList{QStringLiteral("Disk full。"), QStringLiteral("磁盘已满。"),
                           QStringLiteral("输入输出错误 5。"), QStringLiteral("未知异常。")}));
    EXPECT_EQ(message, "Disk full");
}

TEST(PrintableText, ShowsServerWordsWithoutObeyingThem)
{
    const struct {
        const char16_t* raw;
        const char16_t* shown;
    } cases[] = {
        {u"550 No such file", u"550 No such file"},
        {u"550 a\tb", u"550 a\tb"},
        {u"550 a\r\n226 Fake success", u"550 a  226 Fake success"},
        {u"550 \x1B[31mred\x1B[0m text", u"550 red text"},
        {u"550 \x1B]0;title\x07rest", u"550 rest"},
        {u"550 \x1B]8;;http://x\x1B\\link", u"550 link"},
        {u"550 \x1B"
         u"cclear",
         u"550 clear"},
        {u"550 \x9B"
         u"2Jgone \x7F\x85\x01!",
         u"550 gone    !"},
        {u"550 cut \x1B[", u"550 cut "},
        {u"传送 \x1B[1m完毕", u"传送 完毕"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::printableText(QString::fromUtf16(c.raw)), QString::fromUtf16(c.shown))
            << QString::fromUtf16(c.raw).toStdString();
}
