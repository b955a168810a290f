// The main window as a user meets it: structure at first start, closing, the error box.
#include "WindowFixture.h"

#include "app/LogPane.h"
#include "app/StationGrid.h"
#include "tests/support/WaitFor.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QScreen>
#include <QSpinBox>
#include <QTextBlock>
#include <QTextLayout>

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTextEdit>
#include <tuple>

namespace {

const QStringList introduction = {
    QStringLiteral("Zarvel简介："),
    QStringLiteral("      在我们日常工作中会频繁接触各种通知"),
    QStringLiteral("、公文。而电话通常又不能详细的表达通知"),
    QStringLiteral("的全部内容，因此我们编写了这个通知传递"),
    QStringLiteral("软件。该软件主要有以下特点："),
    QStringLiteral("      i)  操作简便，只需简单了解即可操作。"),
    QStringLiteral("      ii)  可以清楚的选择多个文件进行传递。"),
    QStringLiteral("有清楚的传送记录。"),
    QStringLiteral("      iii)  支持多种文件格式。"),
    QStringLiteral("      由于我们时间及水平有限，错误之处在"),
    QStringLiteral("所难免，请谅解。如果发现软件中出现异常"),
    QStringLiteral("，请及时与我们联系。再次感谢对本软件的"),
    QStringLiteral("使用！"),
    QString(),
    QString(),
    QString(50, u' ') + QStringLiteral("Tellumar"),
};

} // namespace

TEST_F(WindowTest, FirstStartShowsTheDescribedWindow)
{
    MainWindow& form = open();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Zarvel   0.0.1版"));
    EXPECT_EQ(form.size(), QSize(568, 348));
    EXPECT_EQ(form.minimumSize(), QSize(568, 348)) << "grows from its start size";
    EXPECT_TRUE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);

    auto* pages = child<QTabWidget>("pages");
    EXPECT_EQ(pages->geometry(), QRect(11, 24, 281, 297));
    const QStringList tabs{QStringLiteral("通知文件"), QStringLiteral("对方主机"),
                           QStringLiteral("系统设置")};
    ASSERT_EQ(pages->count(), 3);
    for (int page = 0; page < 3; ++page) {
        EXPECT_EQ(pages->tabText(page), tabs[page]);
        EXPECT_FALSE(pages->tabIcon(page).isNull()) << page;
    }
    EXPECT_EQ(pages->currentWidget()->objectName(), "noticePage");
    auto* memo = child<QTextEdit>("logPane");
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->geometry(), QRect(314, 24, 235, 216));
    EXPECT_EQ(memo->toPlainText().split(u'\n'), introduction);
    EXPECT_EQ(child<QPushButton>("exitButton")->geometry(), QRect(480, 256, 68, 22));
    EXPECT_EQ(child<QLabel>("emblemImage")->pixmap().size(), QSize(40, 43));
    EXPECT_TRUE(child<QRadioButton>("textFilesButton")->isChecked());
    EXPECT_EQ(child<QListWidget>("stationList")->count(), 0);
    EXPECT_EQ(child<QLineEdit>("remoteFolderEdit")->text(), ".");
    EXPECT_TRUE(child<QLineEdit>("remoteFolderEdit")->font().bold());

    const QList<QPair<const char*, QString>> captions = {
        {"sendButton", QStringLiteral("传送(&S)")},
        {"stopButton", QStringLiteral("停止(&C)")},
        {"exitButton", QStringLiteral("退出(&X)")},
        {"textFilesButton", QStringLiteral("文本文件")},
        {"allFilesButton", QStringLiteral("所有文件")},
        {"noticeFolderCaption", QStringLiteral("本地目录为：")},
        {"noticeFolderLabel", QString()},
        {"remoteFolderCaption", QStringLiteral("对方目录为：")},
        {"settingsFolderLabel", QString()},
        {"enterSettingsButton", QStringLiteral("进入设置 ")},
        {"passwordPrompt", QStringLiteral("请输入系统设置口令：    ")}};
    for (const auto& [name, caption] : captions)
        EXPECT_EQ(child<QWidget>(name)->property("text").toString(), caption) << name;

    // Settings page: locked (its other states are the gate tests' business).
    clickTab(2);
    EXPECT_TRUE(child<QRadioButton>("enterSettingsButton")->isChecked());
    EXPECT_EQ(child<QLineEdit>("passwordEdit")->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(child<QLabel>("settingsFolderCaption")->isVisible());
    EXPECT_FALSE(child<QWidget>("stationGrid")->isVisible());
    // Set with the grid once unlocked; the run view's place stays empty until a run.
    auto* parallel = child<QSpinBox>("parallelStationsBox");
    EXPECT_FALSE(parallel->isEnabled());
    EXPECT_EQ(std::tuple(parallel->minimum(), parallel->maximum(), parallel->value()),
              std::tuple(1, 9, 4));
    EXPECT_EQ(child<QLabel>("parallelStationsCaption")->text(), QStringLiteral("同时传送的站点数"));
    EXPECT_FALSE(child<QWidget>("runViewArea")->isVisible());

    // The station grid: headings, row numbers 1 to 9, all cells empty.
    auto* grid = child<QTableWidget>("stationGrid");
    ASSERT_EQ(grid->columnCount(), 10);
    ASSERT_EQ(grid->rowCount(), 9);
    const QStringList headings{QStringLiteral("服务器名"), QStringLiteral("IP地址"),
                               QStringLiteral("用户名"),   QStringLiteral("口令"),
                               QStringLiteral("端口"),     QStringLiteral("模式"),
                               QStringLiteral("临时名"),   QStringLiteral("加密"),
                               QStringLiteral("协议"),     QStringLiteral("编码")};
    for (int column = 0; column < 10; ++column) {
        EXPECT_EQ(grid->horizontalHeaderItem(column)->text(), headings[column]);
        EXPECT_EQ(grid->columnWidth(column), 70);
    }
    for (int row = 0; row < 9; ++row) {
        EXPECT_EQ(grid->verticalHeaderItem(row)->text(), QString::number(row + 1));
        EXPECT_EQ(grid->rowHeight(row), 18);
        for (int column = 0; column < 4; ++column)
            EXPECT_EQ(gridText(column + 1, row + 1), QString());
    }
    EXPECT_EQ(grid->verticalHeader()->width(), 18);
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(WindowTest, TabKeyFollowsTheTabOrder)
{
    open();
    const struct {
        int page;
        const char* from;
        const char* to;
    } steps[] = {{0, "logPane", "sendButton"},
                 {0, "sendButton", "stopButton"},
                 {0, "stopButton", "exitButton"},
                 {0, "textFilesButton", "noticeList"}, // one tab stop per radio group
                 {1, "stationList", "tickAllButton"},
                 {1, "tickAllButton", "remoteFolderEdit"},
                 {1, "remoteFolderEdit", "logPane"},
                 {2, "passwordEdit", "unlockButton"}};
    for (const auto& step : steps) {
        clickTab(step.page);
        child<QWidget>(step.from)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_NE(QApplication::focusWidget(), nullptr) << step.from;
        EXPECT_EQ(QApplication::focusWidget()->objectName(), step.to) << step.from;
    }
}

TEST_F(WindowTest, AltXAndTheCloseBoxBothWriteTheFolderFile)
{
    MainWindow& form = open();
    QTest::keyClick(&form, Qt::Key_X, Qt::AltModifier);
    ASSERT_TRUE(testsupport::waitFor([&form] { return !form.isVisible(); }))
        << "Alt+X closes the window";
    EXPECT_EQ(readSettings("Dirt.cfg"), QByteArray(".\r\n.\r\n\r\n"));
    destroy();
    EXPECT_EQ(readSettings("Dirt.cfg"), QByteArray(".\r\n.\r\n\r\n")) << "written once, unchanged";

    QFile::remove(settingsFile("Dirt.cfg"));
    MainWindow& second = open();
    child<QLineEdit>("remoteFolderEdit")->setText(QStringLiteral("收件"));
    second.close();
    EXPECT_EQ(readSettings("Dirt.cfg"), QByteArray(".\r\n\xCA\xD5\xBC\xFE\r\n\r\n"));
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(WindowTest, FailuresAtStartAndEndReachTheErrorBoxAndTheProgramGoesOn)
{
    // A folder in place of the station file: it cannot be read, whoever runs the test.
    QDir(m_folder.path()).mkdir("Addf.cfg");
    writeSettings("Dirt.cfg", ".\r\nin\r\npw\r\n");
    MainWindow& form = open();
    EXPECT_EQ(m_errors, QStringList{QStringLiteral("文件拒绝访问。")});
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(child<QLineEdit>("remoteFolderEdit")->text(), "in") << "read before the failure";

    // The stations page shows it again, every time.
    clickTab(1);
    EXPECT_EQ(m_errors.size(), 2);

    // A folder in place of the folder file: the save fails, the box says so, the program ends.
    QFile::remove(settingsFile("Dirt.cfg"));
    QDir(m_folder.path()).mkdir("Dirt.cfg");
    form.close();
    EXPECT_EQ(m_errors.last(), QStringLiteral("文件拒绝访问。"));
    EXPECT_FALSE(form.isVisible());
}

TEST_F(WindowTest, TheWindowGrowsWithItsListsGridAndLogAndKeepsItsSize)
{
    MainWindow& form = open();
    openGrid();
    auto* pane = child<QWidget>("logPane");
    auto* grid = child<QWidget>("stationGrid");
    const QSize paneBefore = pane->size();
    const QSize gridBefore = grid->size();
    form.resize(700, 500);
    ASSERT_TRUE(QTest::qWaitFor([&form] { return form.size() == QSize(700, 500); })) << "resizable";
    // The growth is shared between the pages and the log, as their start widths are.
    EXPECT_GT(pane->width(), paneBefore.width() + 50);
    EXPECT_EQ(pane->height(), paneBefore.height() + 152);
    EXPECT_GT(grid->width(), gridBefore.width() + 50);
    EXPECT_EQ(grid->height(), gridBefore.height() + 152);
    EXPECT_EQ(child<QPushButton>("exitButton")->geometry().bottom(),
              child<QWidget>("logFrame")->geometry().bottom() + 37)
        << "the buttons stay under the log";
    EXPECT_EQ(child<QPushButton>("runLogButton")->geometry().right() + 4,
              child<QWidget>("logFrame")->geometry().right());
    destroy();

    MainWindow& second = open();
    EXPECT_EQ(second.size(), QSize(700, 500)) << "remembered in Window.ini";
    second.showMaximized();
    ASSERT_TRUE(QTest::qWaitFor([&second] { return second.isMaximized(); }));
    destroy();
    EXPECT_TRUE(open().isMaximized());
    destroy();

    // A size saved on a larger screen is cut to this one; never below the start size.
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    for (const QSize& saved : {QSize(9000, 9000), QSize(100, 100)}) {
        QFile::remove(settingsFile("Window.ini"));
        writeSettings("Window.ini",
                      QStringLiteral("[Window]\nsize=@Size(%1 %2)\n")
                          .arg(saved.width())
                          .arg(saved.height())
                          .toLatin1());
        const QSize size = open().size();
        EXPECT_EQ(size, saved.boundedTo(screen).expandedTo(QSize(568, 348)));
        destroy();
    }
}

TEST_F(WindowTest, TabLeavesTheGridAtItsEdgesAndCtrlTabTurnsThePage)
{
    MainWindow& form = open();
    openGrid();
    auto* grid = child<StationGrid>("stationGrid");
    grid->setFocus();
    grid->setCurrentCell(grid->rowCount() - 1, grid->columnCount() - 1);
    QTest::keyClick(grid, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), child<QSpinBox>("parallelStationsBox"));
    EXPECT_TRUE(child<QSpinBox>("parallelStationsBox")->isEnabled()) << "unlocked like the grid";

    // With the cell editor open, Shift+Tab on the first cell keeps the text and leaves too.
    typeIntoGrid(1, 1, "one");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_FALSE(grid->holds(QApplication::focusWidget()));
    EXPECT_EQ(gridText(1, 1), "one");
    typeIntoGrid(2, 1, "x");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(grid->holds(QApplication::focusWidget())) << "inside, Tab goes from cell to cell";

    // Ctrl+Tab turns to the next page from any control, the last page back to the first.
    auto* pages = child<QTabWidget>("pages");
    for (const char* from : {"stationGrid", "logPane", "sendButton"}) {
        const int before = pages->currentIndex();
        child<QWidget>(from)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
        EXPECT_EQ(pages->currentIndex(), (before + 1) % 3) << from;
    }
    QTest::keyClick(&form, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(pages->currentIndex(), 1);
}

TEST_F(WindowTest, TheLogWrapsBetweenWordsAndCanBeSearchedAndCopied)
{
    MainWindow& form = open();
    auto* pane = child<LogPane>("logPane");
    QStringList pairs;
    for (int pair = 0xA0; pair < 0xC0; ++pair)
        pairs << QString::number(pair, 16).toUpper();
    const QString fingerprint = pairs.join(u':');
    ASSERT_EQ(fingerprint.size(), 95);
    const QString sentence = QStringLiteral("the needle certificate of station needle was "
                                            "presented by the server and remembered");
    pane->addLine(QStringLiteral("证书指纹 ") + fingerprint);
    pane->addLine(sentence);
    const QTextBlock first = pane->document()->firstBlock();
    const QTextBlock second = first.next();
    for (const QTextBlock& block : {first, second})
        pane->document()->documentLayout()->blockBoundingRect(block);
    const int fingerprintStart = int(first.text().indexOf(fingerprint));
    const QTextLine line = first.layout()->lineForTextPosition(fingerprintStart);
    ASSERT_TRUE(line.isValid());
    EXPECT_GE(line.textStart() + line.textLength(), fingerprintStart + 95) << "on one line";
    QTextLayout* sentenceLayout = second.layout();
    ASSERT_GT(sentenceLayout->lineCount(), 1);
    for (int line = 1; line < sentenceLayout->lineCount(); ++line)
        EXPECT_EQ(second.text().at(sentenceLayout->lineAt(line).textStart() - 1), u' ') << line;

    // Ctrl+F, Enter and F3 find each match in turn, then from the top again; Esc closes.
    auto* findBar = child<QLineEdit>("logFindBar");
    EXPECT_FALSE(findBar->isVisible());
    QTest::keyClick(&form, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(findBar->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), findBar);
    typeText(findBar, "needle");
    const int start = first.length() + int(sentence.indexOf("needle"));
    const int next = first.length() + int(sentence.lastIndexOf("needle"));
    QTest::keyClick(findBar, Qt::Key_Return);
    EXPECT_EQ(pane->textCursor().selectionStart(), start);
    QTest::keyClick(findBar, Qt::Key_F3);
    EXPECT_EQ(pane->textCursor().selectionStart(), next);
    QTest::keyClick(findBar, Qt::Key_F3);
    EXPECT_EQ(pane->textCursor().selectionStart(), start);
    QTest::keyClick(findBar, Qt::Key_Escape);
    EXPECT_FALSE(findBar->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), pane);

    // What is selected is copied by Ctrl+C and by the context menu.
    QApplication::clipboard()->clear();
    QTest::keyClick(pane, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "needle");
    const std::unique_ptr<QMenu> menu(pane->createStandardContextMenu());
    auto* copy = menu->findChild<QAction*>("edit-copy");
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->isEnabled());
}
