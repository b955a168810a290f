// The station grid's cell editor stops at the 16 GBK bytes a field of the station file holds.
#include "WindowFixture.h"

#include "app/StationFile.h"
#include "platform/codepage.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

TEST_F(WindowTest, CellEditorStopsAtSixteenGbkBytes)
{
    open();
    openGrid();
    struct Row {
        QString typed;
        QString kept;
    };
    const Row rows[] = {
        {.typed = QStringLiteral("北京市朝阳区第一中学"),
         .kept = QStringLiteral("北京市朝阳区第一")},
        {.typed = "abcdefghijklmnopqrstuvwxyz", .kept = "abcdefghijklmnop"},
        // A two-byte character that would end at byte 17 is left out whole.
        {.typed = QStringLiteral("a北京市朝阳区第一"), .kept = QStringLiteral("a北京市朝阳区第")},
        {.typed = "192.168.100.200:21", .kept = "192.168.100.200:"},
    };
    int column = 1;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed.toStdString());
        typeIntoGrid(column++, 1, row.typed);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->text(), row.kept);
    }

    // Typed into the middle of a full cell, nothing is taken; the first part of a paste is.
    typeIntoGrid(2, 2, "abcdefghijklmno");
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    typeText(editor, QStringLiteral("中"));
    EXPECT_EQ(editor->text(), "abcdefghijklmno");
    editor->setCursorPosition(3);
    editor->insert("XYZ");
    EXPECT_EQ(editor->text(), "abcXdefghijklmno");
    EXPECT_EQ(editor->cursorPosition(), 4);

    clickTab(0);
    const QByteArray saved = readSettings("Addf.cfg");
    EXPECT_EQ(
        saved.left(StationFile::recordSize),
        hostRecord(platform::toCodePage(QStringLiteral("北京市朝阳区第一")), "abcdefghijklmnop",
                   platform::toCodePage(QStringLiteral("a北京市朝阳区第")), "192.168.100.200:"));
    EXPECT_EQ(StationFile(settingsFile("Addf.cfg")).load().value(1).address, "abcXdefghijklmno");
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}
