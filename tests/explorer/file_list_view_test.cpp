// The explorer view on temporary folders: what is listed, folder and mask changes, selection.
#include "controls/explorer/FileListView.h"
#include "platform/exception.h"
#include "platform/folders.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TempTree.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using testsupport::CurrentDirectoryKeeper;
using testsupport::TempTree;

namespace {

class ExplorerView : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tree.isValid());
        view = std::make_unique<FileListView>();
        view->OnChange = [this](QObject* sender) {
            EXPECT_EQ(sender, view.get());
            ++changes;
        };
    }

    // Shows the view so that mouse input reaches its rows.
    void show()
    {
        view->resize(249, 217);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }

    QPoint rowCentre(int row) const { return view->visualItemRect(view->item(row)).center(); }

    CurrentDirectoryKeeper keeper; // declared first: restored last
    TempTree tree;
    std::unique_ptr<FileListView> view;
    int changes = 0;
};

} // namespace

TEST_F(ExplorerView, ListsMatchingVisibleFilesSortedWithoutRegardToCase)
{
    for (const char* file : {"b.txt", "A.txt", "NOTICE.TXT", "c.doc", "readme", "notice.txt.bak",
                             ".hidden.txt", "folder.txt/inner.txt"})
        tree.addFile(file);

    view->setDirectory(tree.path());
    EXPECT_EQ(view->Mask(), "*.*");
    EXPECT_EQ(view->Items(),
              QStringList({"A.txt", "b.txt", "c.doc", "NOTICE.TXT", "notice.txt.bak", "readme"}));

    view->setMask("*.txt");
    EXPECT_EQ(view->Items(), QStringList({"A.txt", "b.txt", "NOTICE.TXT"}));

    // Two patterns: a file matching either is listed, one matching both only once.
    view->setMask("*.doc;*.txt;b*");
    EXPECT_EQ(view->Items(), QStringList({"A.txt", "b.txt", "c.doc", "NOTICE.TXT"}));

    view->setMask("?.txt");
    EXPECT_EQ(view->Items(), QStringList({"A.txt", "b.txt"}));

    // A large folder: everything listed in order, the busy cursor gone before OnChange.
    for (int i = 0; i < 150; ++i)
        tree.addFile(QStringLiteral("many/n%1.txt").arg(i, 3, 10, QChar(u'0')));
    view->setMask("*.*");
    bool busyDuringChange = true;
    view->OnChange = [&](QObject*) {
        busyDuringChange = QApplication::overrideCursor() != nullptr;
    };
    view->setDirectory(tree.path("many"));
    EXPECT_FALSE(busyDuringChange);
    ASSERT_EQ(view->count(), 150);
    EXPECT_EQ(view->Items().last(), "n149.txt");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ExplorerView, DirectoryChangeMakesTheFolderCurrentAndRereadsOnlyOnRealChanges)
{
    for (const char* file : {"one/a.txt", "two/b.txt", "two/c.txt"})
        tree.addFile(file);

    view->setDirectory(tree.path("one"));
    EXPECT_EQ(view->Directory(), tree.path("one"));
    EXPECT_EQ(platform::folders::currentFolder(), tree.path("one"));
    EXPECT_EQ(view->Items(), QStringList({"a.txt"}));
    EXPECT_EQ(changes, 1);

    // The same folder, also written with a trailing "/" or relative to itself: no re-read.
    view->setDirectory(tree.path("one"));
    view->setDirectory(tree.path("one") + "/");
    view->setDirectory(".");
    view->setMask("*.*");
    EXPECT_EQ(changes, 1);

    // Refresh repaints only: a new file shows up only after a real re-read.
    tree.addFile("one/new.txt");
    view->Refresh();
    EXPECT_EQ(view->Items(), QStringList({"a.txt"}));
    view->setMask("*.txt");
    EXPECT_EQ(view->Items(), QStringList({"a.txt", "new.txt"}));
    EXPECT_EQ(changes, 2);

    // CharCase is kept and re-reads the list, but names stay as the file system spells them.
    view->setCharCase(LetterCase::ecUpperCase);
    EXPECT_EQ(view->charCase(), LetterCase::ecUpperCase);
    EXPECT_EQ(view->Items(), QStringList({"a.txt", "new.txt"}));
    EXPECT_EQ(changes, 3);
    view->setCharCase(LetterCase::ecUpperCase);
    EXPECT_EQ(changes, 3);

    // A relative path resolves against the listed folder.
    view->setDirectory("../two");
    EXPECT_EQ(view->Directory(), tree.path("two"));
    EXPECT_EQ(platform::folders::currentFolder(), tree.path("two"));
    EXPECT_EQ(view->Items(), QStringList({"b.txt", "c.txt"}));
    EXPECT_EQ(changes, 4);

    // Someone else moved the current directory: a re-read brings it back.
    QDir::setCurrent(tree.path("one"));
    view->setMask("*.*");
    EXPECT_EQ(platform::folders::currentFolder(), tree.path("two"));
}

TEST_F(ExplorerView, FailedFolderChangesRaiseInOutErrorsAndChangeNothing)
{
    tree.addFile("here/a.txt");
    tree.addFile("gone/b.txt");
    view->setDirectory(tree.path("here"));
    const int before = changes;

    EXPECT_THROW(view->setDirectory(tree.path("missing")), platform::InOutError);
    EXPECT_THROW(view->setDirectory(""), platform::InOutError);
    EXPECT_EQ(view->Directory(), tree.path("here"));
    EXPECT_EQ(view->Items(), QStringList({"a.txt"}));
    EXPECT_EQ(platform::folders::currentFolder(), tree.path("here"));

    EXPECT_THROW(view->setFileName(tree.path("missing/x.txt")), platform::InOutError);
    EXPECT_THROW(view->setFileName(tree.path("gone/missing")), platform::InOutError);
    EXPECT_EQ(view->Directory(), tree.path("here"));
    EXPECT_EQ(platform::folders::currentFolder(), tree.path("here"));
    EXPECT_EQ(changes, before);

    try {
        view->setDirectory(tree.path("missing"));
        FAIL() << "no error";
    } catch (const platform::InOutError& error) {
        EXPECT_EQ(error.message(), "I/O error 3");
    }

    // The listed folder disappears: the next re-read reports it.
    view->setDirectory(tree.path("gone"));
    QDir::setCurrent(tree.path());
    ASSERT_TRUE(QDir(tree.path("gone")).removeRecursively());
    EXPECT_THROW(view->setFileName(tree.path("gone") + "/"), platform::InOutError);
    EXPECT_THROW(view->setMask("*.txt"), platform::InOutError);
}

TEST_F(ExplorerView, FileNameChangesTheDirectoryOrTheMaskByWhatItNames)
{
    for (const char* file : {"notices/a.txt", "notices/b.doc", "notices/c[1].doc", "other/c.txt"})
        tree.addFile(file);
    view->setMask("*.txt");

    // A folder path, with or without its trailing "/", changes only the directory.
    view->setFileName(tree.path("notices") + "/");
    EXPECT_EQ(view->Directory(), tree.path("notices"));
    EXPECT_EQ(view->Mask(), "*.txt");
    EXPECT_EQ(view->Items(), QStringList({"a.txt"}));
    EXPECT_EQ(view->FileName(), "");

    view->setFileName(tree.path("other"));
    EXPECT_EQ(view->Directory(), tree.path("other"));
    EXPECT_EQ(platform::folders::currentFolder(), tree.path("other"));
    EXPECT_EQ(view->Mask(), "*.txt");
    EXPECT_EQ(view->Items(), QStringList({"c.txt"}));

    view->setFileName("/");
    EXPECT_EQ(view->Directory(), "/");

    // Wildcards become the mask.
    view->setFileName(tree.path("notices/*.doc"));
    EXPECT_EQ(view->Directory(), tree.path("notices"));
    EXPECT_EQ(view->Mask(), "*.doc");
    EXPECT_EQ(view->Items(), QStringList({"b.doc", "c[1].doc"}));

    // A listed file is focused; its full name reads back.
    view->setFileName(tree.path("notices/b.doc"));
    EXPECT_EQ(view->Mask(), "*.doc");
    EXPECT_EQ(view->FileName(), tree.path("notices/b.doc"));

    // A file the mask filters out becomes the mask (brackets taken literally) and is focused.
    view->setMask("*.txt");
    view->setFileName(tree.path("notices/c[1].doc"));
    EXPECT_EQ(view->Mask(), "c[1].doc");
    EXPECT_EQ(view->Items(), QStringList({"c[1].doc"}));
    EXPECT_EQ(view->FileName(), tree.path("notices/c[1].doc"));

    // A bare name resolves in the listed folder.
    view->setMask("*.*");
    view->setFileName("a.txt");
    EXPECT_EQ(view->FileName(), tree.path("notices/a.txt"));
}

TEST_F(ExplorerView, FileNameOfAMultiSelectionIsTheFocusedItemWhenSelected)
{
    for (const char* file : {"a.txt", "b.txt", "c.txt"})
        tree.addFile(file);
    // Set as the window sets its notice list.
    view->setMultiSelect(true);
    view->setItemHeight(18);
    view->setDirectory(tree.path());
    show();
    EXPECT_EQ(view->visualItemRect(view->item(1)).height(), 18);

    int clicks = 0;
    int mouseUps = 0;
    Qt::MouseButton lastButton = Qt::NoButton;
    view->OnClick = [&](QObject*) { ++clicks; };
    view->OnMouseUp = [&](QObject*, Qt::MouseButton button, Qt::KeyboardModifiers, int, int) {
        ++mouseUps;
        lastButton = button;
    };

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowCentre(0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(2));
    EXPECT_TRUE(view->Selected(0));
    EXPECT_FALSE(view->Selected(1));
    EXPECT_TRUE(view->Selected(2));
    EXPECT_EQ(view->FileName(), tree.path("c.txt"));
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(mouseUps, 2);

    // Ctrl+click deselecting the focused item: no file name although "a.txt" is selected.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(2));
    EXPECT_FALSE(view->Selected(2));
    EXPECT_TRUE(view->Selected(0));
    EXPECT_EQ(view->FileName(), "");
    EXPECT_EQ(clicks, 3);

    // The right button reports its release but leaves the selection alone.
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, rowCentre(1));
    EXPECT_EQ(mouseUps, 4);
    EXPECT_EQ(lastButton, Qt::RightButton);
    EXPECT_TRUE(view->Selected(0));
    EXPECT_FALSE(view->Selected(1));
    EXPECT_EQ(clicks, 3);

    // A click below the last row leaves the selection as it was.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(20, 200));
    EXPECT_TRUE(view->Selected(0));
    EXPECT_EQ(clicks, 3);
    EXPECT_EQ(mouseUps, 5);

    // Shift+Down extends the selection from the keyboard and reports a click.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowCentre(0));
    QTest::keyClick(view.get(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_TRUE(view->Selected(0));
    EXPECT_TRUE(view->Selected(1));
    EXPECT_EQ(view->FileName(), tree.path("b.txt"));
    EXPECT_EQ(clicks, 5);

    // A plain click on the focused row of several selected ones selects it alone, on release.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowCentre(1));
    EXPECT_FALSE(view->Selected(0));
    EXPECT_TRUE(view->Selected(1));
    EXPECT_EQ(clicks, 6);
}

TEST_F(ExplorerView, ClicksReportTheFocusChangeAndDoubleClicks)
{
    tree.addFile("a.txt");
    tree.addFile("b.txt");
    view->setDirectory(tree.path());
    show();
    QStringList seen;
    view->OnClick = [&](QObject*) { seen << "click:" + view->FileName(); };
    view->OnChange = [&](QObject*) { seen << "change"; };
    view->OnDblClick = [&](QObject*) { seen << "dblclick:" + view->FileName(); };

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowCentre(1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowCentre(1));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(20, 200));
    EXPECT_FALSE(seen.contains("dblclick:"));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, rowCentre(0));
    ASSERT_GE(seen.size(), 4);
    EXPECT_EQ(seen[0], "click:" + tree.path("b.txt"));
    EXPECT_EQ(seen[1], "change");
    EXPECT_EQ(seen.back(), "dblclick:" + tree.path("a.txt"));
    EXPECT_EQ(seen.count("dblclick:" + tree.path("a.txt")), 1);
}

TEST_F(ExplorerView, NamesWithABracketAreDrawnWithTheFolderPicture)
{
    tree.addFile("[draft].txt");
    tree.addFile("plain.txt");
    view->setDirectory(tree.path());
    show();
    const QImage shown = view->viewport()->grab().toImage();
    ASSERT_EQ(view->FolderBitmap().size(), QSize(16, 16));
    auto iconAt = [&](int row) {
        const QRect rect = view->visualItemRect(view->item(row));
        return shown.copy(rect.left(), rect.top(), 16, 16);
    };
    ASSERT_EQ(view->Items(), QStringList({"[draft].txt", "plain.txt"}));
    // Blend the folder picture over the list's background as the row does.
    QImage expected(16, 16, shown.format());
    expected.fill(view->palette().color(QPalette::Base));
    {
        QPainter painter(&expected);
        painter.drawPixmap(0, 0, view->FolderBitmap());
    }
    EXPECT_EQ(iconAt(0), expected);
    EXPECT_NE(iconAt(1), expected);
}
