// The notice page: filter buttons, previews in the pane, the selection Send takes.
#include "WindowFixture.h"

#include "controls/explorer/FileListView.h"
#include "platform/codepage.h"
#include "tests/support/TempTree.h"
#include "tests/support/WaitFor.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>

namespace {

class NoticePageTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ASSERT_TRUE(m_notices.isValid());
        m_notices.addFile("NOTICE.TXT",
                          platform::toCodePage(QStringLiteral("第一行\r\n第二行\r第三行\n第四行")));
        m_notices.addFile("b-utf8.txt", QStringLiteral("通知：明天开会\r\n地点 三楼").toUtf8());
        m_notices.addFile("notice.txt.bak", "old");
        m_notices.addFile("readme", "plain");
        m_notices.addFile("Data.BIN", QByteArray("MZ\x01\r\nAB\0hidden", 13));
        writeSettings("Dirt.cfg", QFile::encodeName(m_notices.path()) + "/\r\n.\r\n\r\n");
        open();
        m_view = child<FileListView>("noticeList");
        m_memo = child<QTextEdit>("logPane");
    }

    QListWidgetItem* item(const QString& name)
    {
        const auto found = m_view->findItems(name, Qt::MatchExactly);
        EXPECT_EQ(found.size(), 1) << name.toStdString();
        return found.value(0);
    }

    void click(const QString& name, Qt::KeyboardModifiers modifiers = {},
               Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(m_view->viewport(), button, modifiers,
                          m_view->visualItemRect(item(name)).center());
    }

    // The highlighted names, checked against the count the page shows.
    QStringList table() const
    {
        const QStringList names = m_form->noticeSelection().names();
        EXPECT_EQ(m_form->findChild<QLabel*>("selectionCountLabel")->text(),
                  QStringLiteral("已选 %1 个文件").arg(names.size()));
        return names;
    }

    testsupport::TempTree m_notices;
    FileListView* m_view = nullptr;
    QTextEdit* m_memo = nullptr;
};

} // namespace

TEST_F(NoticePageTest, TextFilterListsNoticesAndPreviewsThemInTheirEncoding)
{
    EXPECT_EQ(m_view->Directory(), m_notices.path()) << "the page shows the tree's folder";
    EXPECT_EQ(m_view->Items(), (QStringList{"b-utf8.txt", "NOTICE.TXT"}));

    click("NOTICE.TXT");
    EXPECT_EQ(m_memo->toPlainText(), QStringLiteral("第一行\n第二行\n第三行\n第四行"));
    click("b-utf8.txt");
    EXPECT_EQ(m_memo->toPlainText(), QStringLiteral("通知：明天开会\n地点 三楼"));

    QTest::mouseClick(child<QRadioButton>("allFilesButton"), Qt::LeftButton);
    EXPECT_EQ(m_view->Items(),
              (QStringList{"b-utf8.txt", "Data.BIN", "NOTICE.TXT", "notice.txt.bak", "readme"}));
    click("notice.txt.bak");
    EXPECT_EQ(m_memo->toPlainText(), QStringLiteral("通知：明天开会\n地点 三楼")) << "no preview";

    // A double click shows any text file; a binary one is refused and the pane left empty.
    click("Data.BIN");
    QTest::mouseDClick(m_view->viewport(), Qt::LeftButton, {},
                       m_view->visualItemRect(item("Data.BIN")).center());
    EXPECT_EQ(m_memo->toPlainText(), QString());
    EXPECT_EQ(m_errors, QStringList{QStringLiteral("不是文本文件，无法预览。")});
    m_errors.clear();

    // Back to text files only.
    QTest::mouseClick(child<QRadioButton>("textFilesButton"), Qt::LeftButton);
    EXPECT_EQ(m_view->Items(), (QStringList{"b-utf8.txt", "NOTICE.TXT"}));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(NoticePageTest, TheTableIsTheHighlightInListOrderHoweverItWasMade)
{
    QTest::mouseClick(child<QRadioButton>("allFilesButton"), Qt::LeftButton);
    click("readme");
    click("Data.BIN", Qt::ControlModifier);
    click("b-utf8.txt", Qt::ControlModifier);
    // Names as the folder holds them: the file sent is the file highlighted.
    EXPECT_EQ(table(), (QStringList{"b-utf8.txt", "Data.BIN", "readme"}));
    EXPECT_EQ(m_form->noticeSelection().folder(), m_notices.path());

    // Keys count at once: Ctrl+A, Home, Shift+Down, type-ahead.
    m_view->setFocus();
    QTest::keyClick(m_view, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(table(),
              (QStringList{"b-utf8.txt", "Data.BIN", "NOTICE.TXT", "notice.txt.bak", "readme"}));
    QTest::keyClick(m_view, Qt::Key_Home);
    QTest::keyClick(m_view, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(table(), (QStringList{"b-utf8.txt", "Data.BIN"}));
    QTest::keyClicks(m_view, "rea");
    EXPECT_EQ(table(), QStringList{"readme"});

    // A filter that hides a selected file drops it; the files still shown stay selected.
    click("Data.BIN");
    click("NOTICE.TXT", Qt::ControlModifier);
    QTest::mouseClick(child<QRadioButton>("textFilesButton"), Qt::LeftButton);
    EXPECT_EQ(table(), QStringList{"NOTICE.TXT"});
    EXPECT_TRUE(item("NOTICE.TXT")->isSelected());
    QTest::mouseClick(child<QRadioButton>("allFilesButton"), Qt::LeftButton);
    EXPECT_EQ(table(), QStringList{"NOTICE.TXT"}) << "hidden once, no longer selected";

    // A page change keeps the table.
    clickTab(1);
    clickTab(0);
    EXPECT_EQ(table(), QStringList{"NOTICE.TXT"});

    // Ctrl+click that deselects the only selected item: no preview, an empty table.
    click("readme");
    m_memo->setPlainText("kept");
    click("readme", Qt::ControlModifier);
    EXPECT_EQ(table().size(), 0);
    EXPECT_EQ(m_memo->toPlainText(), "kept");

    // Send with nothing highlighted says so and goes no further.
    EXPECT_TRUE(m_form->reportEmptySelection());
    EXPECT_EQ(m_memo->toPlainText(),
              QStringLiteral("没有选中要传送的通知文件：请先在“通知文件”页中选中它们"));
    click("readme");
    EXPECT_FALSE(m_form->reportEmptySelection());
}

TEST_F(NoticePageTest, TheListFollowsTheFolderAndKeepsTheSelectionOfFilesThatRemain)
{
    click("b-utf8.txt");
    click("NOTICE.TXT", Qt::ControlModifier);
    m_notices.addFile("new.txt", "x");
    ASSERT_TRUE(testsupport::waitFor([&] { return m_view->Items().contains("new.txt"); }))
        << "new.txt listed";
    EXPECT_EQ(table(), (QStringList{"b-utf8.txt", "NOTICE.TXT"}));

    // A renamed file is another file: listed, not selected.
    ASSERT_TRUE(QFile::rename(m_notices.path("b-utf8.txt"), m_notices.path("c.txt")));
    ASSERT_TRUE(testsupport::waitFor([&] { return m_view->Items().contains("c.txt"); }))
        << "c.txt listed";
    EXPECT_EQ(m_view->Items(), (QStringList{"c.txt", "new.txt", "NOTICE.TXT"}));
    EXPECT_EQ(table(), QStringList{"NOTICE.TXT"});
    QFile::remove(m_notices.path("NOTICE.TXT"));
    ASSERT_TRUE(testsupport::waitFor([&] {
        return m_view->Items() == QStringList{"c.txt", "new.txt"};
    })) << m_view->Items().join('|').toStdString();
    EXPECT_TRUE(table().isEmpty());

    // A folder that is gone lists nothing.
    QDir(m_notices.path()).removeRecursively();
    ASSERT_TRUE(testsupport::waitFor([&] { return m_view->count() == 0; }))
        << "a gone folder lists nothing";
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(NoticePageTest, UnreadableOrHugeNoticeIsReportedAndThePaneStaysEmpty)
{
    QFile::remove(m_notices.path("NOTICE.TXT"));
    click("NOTICE.TXT");
    EXPECT_EQ(m_errors,
              QStringList{QStringLiteral("无法打开文件 %1。").arg(m_notices.path("NOTICE.TXT"))});
    EXPECT_EQ(m_memo->toPlainText(), QString());

    // Beyond the pane's capacity: the box comes during the press, and the release it
    // swallows must not leave the highlight and the table apart.
    m_notices.addFile("zz-huge.txt", QByteArray(4 * 1024 * 1024 + 1, 'x'));
    ASSERT_TRUE(testsupport::waitFor([&] { return m_view->Items().contains("zz-huge.txt"); }))
        << "zz-huge.txt listed";
    click("b-utf8.txt");
    m_memo->setPlainText("before");
    const QPoint huge = m_view->visualItemRect(item("zz-huge.txt")).center();
    QTest::mousePress(m_view->viewport(), Qt::LeftButton, {}, huge);
    EXPECT_EQ(m_errors.last(), QStringLiteral("文本超出备注框容量。"));
    EXPECT_EQ(m_memo->toPlainText(), QString());
    EXPECT_EQ(table(), QStringList{"zz-huge.txt"});
    EXPECT_TRUE(item("zz-huge.txt")->isSelected());
    QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, {}, huge);
}

TEST_F(NoticePageTest, NoMoreThanFiveHundredNamesAreTaken)
{
    for (int i = 0; i < 503; ++i)
        m_notices.addFile(QStringLiteral("N%1.TXT").arg(i, 3, 10, QChar(u'0')), "x");
    QTest::mouseClick(child<QRadioButton>("allFilesButton"), Qt::LeftButton);
    QTest::mouseClick(child<QRadioButton>("textFilesButton"), Qt::LeftButton);
    ASSERT_EQ(m_view->count(), 505);
    m_view->setFocus();
    QTest::keyClick(m_view, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(table().size(), 500);
    EXPECT_EQ(table().first(), "b-utf8.txt");
    EXPECT_EQ(table().last(), "N498.TXT");

    // Send says what it leaves out (no station is ticked here).
    QTest::mouseClick(child<QPushButton>("sendButton"), Qt::LeftButton);
    EXPECT_EQ(m_memo->toPlainText().split(u'\n'),
              (QStringList{QStringLiteral("★☆         您共选择了 500 个文件         ☆★"),
                           QStringLiteral("另有 5 个选中的文件超出 500 个的上限，不传送"), "", "",
                           QStringLiteral("        --------======  传送完毕  ======--------")}));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(NoticePageTest, VanishedNoticeFolderIsReportedAndTheViewStaysWhereItWas)
{
    const QString folder = m_notices.path();
    ASSERT_EQ(m_view->Directory(), folder);
    clickTab(1);
    QDir(m_notices.path()).removeRecursively();
    clickTab(0);
    EXPECT_EQ(m_errors, QStringList{QStringLiteral("输入输出错误 3。")});
    EXPECT_EQ(m_view->Directory(), folder) << "the view keeps its former folder";
    clickTab(1);
    EXPECT_TRUE(child<QWidget>("stationList")->isVisible()) << "the window goes on";
}

TEST_F(WindowTest, EmptyNoticeListAndBlankFolderSayWhereTheFolderIsChosen)
{
    // No folder chosen yet; the list shows the current folder, which holds no notice.
    open();
    auto* listHint = child<QLabel>("emptyNoticeHint");
    auto* folderHint = child<QLabel>("noFolderHint");
    EXPECT_TRUE(listHint->isVisible());
    EXPECT_TRUE(folderHint->isVisible());
    // They name the page and the button where it is done.
    const QString settingsPage = child<QTabWidget>("pages")->tabText(2);
    EXPECT_TRUE(listHint->text().contains(settingsPage)) << listHint->text().toStdString();
    EXPECT_TRUE(listHint->text().contains(child<QRadioButton>("localFolderButton")->text()));
    EXPECT_TRUE(folderHint->text().contains(settingsPage)) << folderHint->text().toStdString();
    destroy();

    testsupport::TempTree notices;
    notices.addFile("report.doc", "x");
    writeSettings("Dirt.cfg", QFile::encodeName(notices.path()) + "/\r\n.\r\n\r\n");
    open();
    EXPECT_FALSE(child<QLabel>("noFolderHint")->isVisible());
    listHint = child<QLabel>("emptyNoticeHint");
    EXPECT_TRUE(listHint->isVisible()) << "only text files are listed";
    QTest::mouseClick(child<QRadioButton>("allFilesButton"), Qt::LeftButton);
    EXPECT_FALSE(listHint->isVisible());
    QTest::mouseClick(child<QRadioButton>("textFilesButton"), Qt::LeftButton);
    EXPECT_TRUE(listHint->isVisible());
    notices.addFile("notice.txt", "x");
    ASSERT_TRUE(testsupport::waitFor([listHint] { return !listHint->isVisible(); }))
        << "the hint goes with a file";
    EXPECT_TRUE(m_errors.isEmpty());
}
