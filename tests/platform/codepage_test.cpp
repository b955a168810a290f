// GBK round trips and cutting at character boundaries.
#include "platform/application.h"
#include "platform/codepage.h"

#include <gtest/gtest.h>

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

TEST(ErrorBox, AppendsAFullStopOnlyAfterCharactersAboveIt)
{
    EXPECT_EQ(platform::errorBoxText("File not found"), "File not found.");
    EXPECT_EQ(platform::errorBoxText("I/O error 5"), "I/O error 5.");
    EXPECT_EQ(platform::errorBoxText(QStringLiteral("口令错误")), QStringLiteral("口令错误."));
    EXPECT_EQ(platform::errorBoxText("Done."), "Done.");
    EXPECT_EQ(platform::errorBoxText("Really!"), "Really!");
    EXPECT_EQ(platform::errorBoxText("a-"), "a-");
    EXPECT_EQ(platform::errorBoxText(""), "");

    QStringList shown;
    auto previous = platform::setErrorBoxHook([&](const QString& text) { shown << text; });
    platform::guarded([] { throw std::runtime_error("Disk full"); });
    platform::setErrorBoxHook(previous);
    EXPECT_EQ(shown, QStringList{"Disk full."});
}
