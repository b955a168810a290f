// The station grid's cells: the 16 GBK bytes of a field, refused ports and addresses,
// password dots, the name column that stays in view, and choices that move the port.
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
            EXPECT_TRUE(pane->toPlainText().contains(row.line))
                << pane->toPlainText().toStdString();
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

TEST_F(WindowTest, ProtocolAndTlsChoicesMoveADefaultPortAndLeaveATypedOne)
{
    writeSettings("Addf.cfg",
                  hostRecord("A", "10.0.0.1", "u", "p") + hostRecord("B", "10.0.0.2", "u", "p")
                      + hostRecord("C", "10.0.0.3", "u", "p"));
    open();
    openGrid();
    auto* grid = child<StationGrid>("stationGrid");
    EXPECT_EQ(grid->horizontalHeaderItem(8)->text(), QStringLiteral("协议"));
    EXPECT_EQ(grid->horizontalHeaderItem(9)->text(), QStringLiteral("编码"));
    for (int row = 1; row <= 3; ++row)
        EXPECT_EQ((QStringList{gridText(5, row), gridText(9, row), gridText(10, row)}),
                  (QStringList{"21", "FTP", QStringLiteral("自动")}))
            << "a station without an entry, row " << row;
    const QString sftp = "SFTP", ftp = "FTP", implicit = QStringLiteral("隐式");
    // Each step: what is typed into the port cell (null: nothing), the choice made, the port
    // the row shows then.
    const struct Step {
        int row;
        QString port;
        int column;
        QString choice;
        QString shownPort;
        bool mouse;
    } steps[] = {
        {1, {}, 9, sftp, "22", false},
        {1, {}, 9, ftp, "21", true},
        {1, {}, 8, implicit, "990", false},
        {1, {}, 9, sftp, "22", false},
        {1, {}, 9, ftp, "990", false}, // the TLS choice came back with FTP
        {1, {}, 8, "auto", "21", true},
        {2, "2121", 9, sftp, "2121", false},
        {2, {}, 9, ftp, "2121", false},
        {2, {}, 8, implicit, "2121", true},
        {3, "", 8, implicit, "990", false}, // a blank port shows the default
        {3, "22", 8, QStringLiteral("必须"), "22", false},
        {3, {}, 9, sftp, "22", false},
        {3, {}, 9, ftp, "21", false}, // 22 was SFTP's default
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(QStringLiteral("row %1 %2").arg(step.row).arg(step.choice).toStdString());
        if (!step.port.isNull())
            typeIntoGrid(5, step.row, step.port);
        chooseInGrid(step.column, step.row, step.choice, step.mouse);
        EXPECT_EQ(gridText(step.column, step.row), step.choice);
        EXPECT_EQ(gridText(5, step.row), step.shownPort);
    }

    // An SFTP row shows mode, TLS and encoding as not applying, opens no list on them and keeps
    // their choices for a return to FTP.
    chooseInGrid(10, 2, "GBK");
    chooseInGrid(9, 2, sftp);
    for (int column : {6, 8, 10}) {
        EXPECT_EQ(grid->shownText(column, 2), QStringLiteral("—")) << column;
        const QModelIndex cell = grid->model()->index(1, column - 1);
        static_cast<QTableWidget*>(grid)->scrollTo(cell);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell).center());
        EXPECT_EQ(QApplication::focusWidget(), grid) << "no editor on column " << column;
        QTest::keyClick(grid, Qt::Key_F2);
        EXPECT_EQ(QApplication::focusWidget(), grid) << "no editor on column " << column;
    }
    EXPECT_EQ(grid->shownText(9, 2), sftp);
    EXPECT_EQ(grid->shownText(7, 1), QString()) << "the temporary name applies to SFTP too";
    const StationOptions second = grid->options().value(1);
    EXPECT_EQ(second,
              (StationOptions{2121, TransferMode::Auto, false, TlsMode::Implicit,
                              EncodingChoice::Gbk, Protocol::Sftp}));
    chooseInGrid(9, 2, ftp);
    EXPECT_EQ(grid->shownText(10, 2), "GBK");
    EXPECT_EQ(grid->shownText(8, 2), implicit);

    // "+" in a choice cell takes the choice above; the port follows as for any choice.
    const auto typePlus = [this, grid](int column, int row) {
        // The list opens as the cell becomes the current one.
        grid->setFocus();
        grid->setCurrentCell(row - 1, column - 1);
        ASSERT_NE(shownChoiceList(), nullptr);
        QTest::keyClick(QApplication::focusWidget(), '+');
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        waitForClosedList();
    };
    typePlus(10, 3);
    EXPECT_EQ(gridText(10, 3), "GBK");
    typePlus(8, 3);
    EXPECT_EQ(gridText(8, 3), implicit);
    EXPECT_EQ(gridText(5, 3), "990");
    chooseInGrid(9, 2, sftp);
    typePlus(9, 3);
    EXPECT_EQ(gridText(9, 3), sftp);
    EXPECT_EQ(gridText(5, 3), "22");
    // The first row has nothing above it: its choice stays.
    typePlus(8, 1);
    EXPECT_EQ(gridText(8, 1), "auto");
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}
