// Which files the preview shows as text and which it refuses as binary.
#include "app/NoticeText.h"

#include "platform/exception.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

TEST(NoticeText, BinaryFilesAreRefusedAndTextsPaddedWithNulsOrInUtf16AreShown)
{
    const QString refused = QStringLiteral("不是文本文件，无法预览");
    const std::pair<QByteArray, QString> rows[] = {
        {"%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj", refused}, // known by its first bytes
        {QByteArray("abc\0def", 7), refused},
        // Only the first KiB is looked at; a text still ends at its first NUL.
        {QByteArray(1024, 'x') + QByteArray("\0y", 2), QString(1024, u'x')},
        {"notice" + QByteArray(2000, '\0'), "notice"},
        {"", ""},
        {QByteArray("\xFF\xFE\x1A\x90\xE5\x77\r\0\n\0x\0\0\0z\0", 16), QStringLiteral("通知\nx")},
        {"\xB5\xDA\xD2\xBB", QStringLiteral("第一")},
    };
    testsupport::TempTree tree;
    for (const auto& [bytes, shown] : rows) {
        QString text;
        try {
            text = readNoticeText(tree.addFile("notice", bytes));
        } catch (const platform::Exception& error) {
            text = error.message();
        }
        EXPECT_EQ(text, shown) << bytes.left(20).toStdString();
    }
}
