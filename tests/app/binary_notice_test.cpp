// Which files the preview shows as text and which it refuses as binary.
#include "app/NoticeText.h"

#include "platform/exception.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

namespace {

QString previewOf(const QString& path)
{
    try {
        return readNoticeText(path);
    } catch (const platform::Exception& error) {
        return "<error> " + error.message();
    }
}

} // namespace

TEST(NoticeText, BinaryFilesAreRefusedAndTextsPaddedWithNulsOrInUtf16AreShown)
{
    const QString refused = QStringLiteral("<error> 不是文本文件，无法预览");
    struct Row {
        const char* name;
        QByteArray bytes;
        QString shown;
    };
    const Row rows[] = {
        // Known by their first bytes, whether or not a NUL follows.
        {.name = "paper.pdf", .bytes = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj", .shown = refused},
        {.name = "photo.png", .bytes = QByteArray("\x89PNG\r\n\x1A\n", 8), .shown = refused},
        {.name = "data.bin", .bytes = QByteArray("abc\0def", 7), .shown = refused},
        {.name = "late.bin",
         .bytes = QByteArray(1000, 'x') + QByteArray("\0y", 2),
         .shown = refused},
        // Only the first KiB is looked at; the text still ends at its first NUL.
        {.name = "long.txt",
         .bytes = QByteArray(1024, 'x') + QByteArray("\0y", 2),
         .shown = QString(1024, u'x')},
        {.name = "padded.txt", .bytes = "notice" + QByteArray(2000, '\0'), .shown = "notice"},
        {.name = "empty.txt", .bytes = "", .shown = ""},
        {.name = "odd.txt", .bytes = "bell\x07\r\nend", .shown = "bell\x07\nend"},
        {.name = "utf16.txt",
         .bytes = QByteArray("\xFF\xFE\x1A\x90\xE5\x77\r\0\n\0x\0\0\0z\0", 16),
         .shown = QStringLiteral("通知\nx")},
        {.name = "gbk.txt", .bytes = "\xB5\xDA\xD2\xBB", .shown = QStringLiteral("第一")},
    };
    testsupport::TempTree tree;
    for (const Row& row : rows)
        EXPECT_EQ(previewOf(tree.addFile(QLatin1String(row.name), row.bytes)), row.shown)
            << row.name;
}
