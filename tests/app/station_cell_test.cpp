// The station grid's cell editor stops at the 16 GBK bytes a field of the station file holds.
#include "WindowFixture.h"

#include <QApplication>
#include <QLineEdit>

TEST_F(WindowTest, CellEditorStopsAtSixteenGbkBytes)
{
    open();
    openGrid();
    const auto editor = [] { return qobject_cast<QLineEdit*>(QApplication::focusWidget()); };
    const std::pair<QString, QString> rows[] = {
        {QStringLiteral("北京市朝阳区第一中学"), QStringLiteral("北京市朝阳区第一")},
        {"abcdefghijklmnopqrstuvwxyz", "abcdefghijklmnop"},
        // A two-byte character that would end at byte 17 is left out whole.
        {QStringLiteral("a北京市朝阳区第一"), QStringLiteral("a北京市朝阳区第")},
    };
    for (const auto& [typed, kept] : rows) {
        typeIntoGrid(2, 1, typed);
        ASSERT_NE(editor(), nullptr);
        EXPECT_EQ(editor()->text(), kept);
    }

    // Into the middle of a nearly full cell: nothing of a Chinese character, the first
    // letter of a paste.
    typeIntoGrid(2, 1, "abcdefghijklmno");
    typeText(editor(), QStringLiteral("中"));
    editor()->setCursorPosition(3);
    editor()->insert("XYZ");
    EXPECT_EQ(editor()->text(), "abcXdefghijklmno");
    clickTab(0);
    EXPECT_EQ(readSettings("Addf.cfg").mid(17, 17),
              "\x10"
              "abcXdefghijklmno");
}
