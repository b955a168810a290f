// The station grid's cells: the 16 GBK bytes of a field, refused ports and addresses,
// password dots and the name column that stays in view.
#include "WindowFixture.h"

#include "app/StationGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTextEdit>

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
        child<QTextEdit>("logPane")->clear();
        typeIntoGrid(2, 1, typed);
        ASSERT_NE(editor(), nullptr);
        EXPECT_EQ(editor()->text(), kept);
        EXPECT_TRUE(child<QTextEdit>("logPane")->toPlainText().contains(
            QStringLiteral("每格最多 16 字节（8 个汉字）：多出的部分已截去")))
            << "not cut silently";
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

TEST_F(WindowTest, BadPortsAndAddressesAreRefusedWithTheirReason)
{
    open();
    openGrid();
    auto* pane = child<QTextEdit>("logPane");
    const QString badPort = QStringLiteral("端口须是 1 到 65535 之间的数");
    const auto badAddress = [](const QString& text) {
        return QStringLiteral("“%1”既不是 IP 地址，也不是主机名，未被接受").arg(text);
    };
    // Each row: the column, what is typed, what the cell keeps, the line the pane gets.
    const struct {
        int column;
        QString typed;
        QString kept;
        QString line;
    } rows[] = {
        {5, "65535", "65535", {}},
        // Typed at once, as an input method or a paste gives it: refused whole.
        {5, "65536", "65535", badPort},
        {5, "0", "65535", badPort},
        {5, "8x", "65535", badPort},
        {2, "192.168.1.20", "192.168.1.20", {}},
        {2, "fe80::1", "fe80::1", {}},
        {2, "ftp.site-a.cn", "ftp.site-a.cn", {}},
        {2, QStringLiteral("网点.中国"), QStringLiteral("网点.中国"), {}},
        {2, "+", "+", {}},
        {2, "ftp server", "+", badAddress("ftp server")},
        {2, "192.168.1.300", "+", badAddress("192.168.1.300")},
        {2, "-bad-.cn", "+", badAddress("-bad-.cn")},
        {2, "a_b.cn", "+", badAddress("a_b.cn")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.typed.toStdString());
        pane->clear();
        typeIntoGrid(row.column, 1, row.typed);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(gridText(row.column, 1), row.kept);
        if (row.line.isEmpty())
            EXPECT_EQ(pane->toPlainText(), QString());
        else
            EXPECT_TRUE(pane->toPlainText().contains(row.line)) << pane->toPlainText().toStdString();
    }
}

TEST_F(WindowTest, PasswordsShowAsDotsUntilEditedAndNamesStayInView)
{
    open();
    openGrid();
    auto* grid = child<StationGrid>("stationGrid");
    typeRow(1, {QStringLiteral("西区"), "10.0.0.1", "clerk", "s3cret"});
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(grid->shownText(4, 1), QString(6, QChar(0x25CF)));
    EXPECT_EQ(grid->shownText(3, 1), "clerk");
    typeIntoGrid(4, 1, QString());
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(editor->text(), "s3cret") << "the editor shows what is typed";
    EXPECT_EQ(editor->echoMode(), QLineEdit::Normal);
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_EQ(gridText(4, 1), "s3cret");

    // Scrolled sideways, the names cover the grid's left edge, row for row.
    auto* names = grid->findChild<QTableView*>("frozenNameColumn");
    ASSERT_NE(names, nullptr);
    grid->horizontalScrollBar()->setValue(0);
    EXPECT_FALSE(names->isVisible()) << "the names show in the grid itself";
    grid->horizontalScrollBar()->setValue(grid->horizontalScrollBar()->maximum());
    ASSERT_GT(grid->horizontalScrollBar()->value(), 0);
    ASSERT_TRUE(names->isVisible());
    EXPECT_EQ(names->x(), grid->frameWidth() + grid->verticalHeader()->width());
    EXPECT_EQ(names->width(), grid->columnWidth(0));
    EXPECT_EQ(names->indexAt(QPoint(5, names->rowViewportPosition(0) + 5)).data().toString(),
              QStringLiteral("西区"));
    EXPECT_TRUE(names->isColumnHidden(1));
    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
    EXPECT_EQ(names->verticalScrollBar()->value(), grid->verticalScrollBar()->value());

    // A cell next to the names is scrolled clear of them; the name cell scrolls back.
    typeIntoGrid(2, 1, "10.0.0.2");
    EXPECT_GE(grid->columnViewportPosition(1), names->isVisible() ? grid->columnWidth(0) : 0);
    typeIntoGrid(1, 1, QStringLiteral("东区"));
    EXPECT_EQ(grid->horizontalScrollBar()->value(), 0);
    EXPECT_FALSE(names->isVisible());
}
