// The folder tree on temporary volumes: lazy reading, Directory, hidden folders, Network.
#include "controls/explorer/FolderTree.h"
#include "platform/application.h"
#include "platform/exception.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/ScopedVariable.h"
#include "tests/support/TempTree.h"

#include <QApplication>
#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using platform::shell::DriveType;
using platform::shell::Volume;
using testsupport::CurrentDirectoryKeeper;
using testsupport::TempTree;

namespace {

class ExplorerTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(disk.isValid());
        for (const char* folder : {"vol/a/x", "vol/B2", "vol/c/deep/deeper", "vol/.hidden/inner",
                                   "vol/RECYCLED/inner", "net/share/sub", "usb/photos", "empty"})
            disk.addFolder(folder);
        disk.addFile("vol/file-is-no-folder");
        QDir::setCurrent(disk.path("vol/a"));
    }

    QList<Volume> volumes() const
    {
        return {{"/", "/", DriveType::Fixed},
                {disk.path("vol/"), "vol", DriveType::Fixed},
                {disk.path("net/"), "net", DriveType::Remote},
                {disk.path("usb/"), "usb", DriveType::Removable},
                {disk.path("empty/"), "empty", DriveType::Fixed}};
    }

    void build()
    {
        tree = std::make_unique<FolderTree>(nullptr, [this] { return volumes(); });
        tree->OnChange = [this](QObject* sender, FolderNode*) {
            EXPECT_EQ(sender, tree.get());
            changes << tree->Directory();
        };
    }

    FolderNode* top(const QString& text) const { return child(tree->invisibleRootItem(), text); }

    static QStringList texts(const QTreeWidgetItem* node)
    {
        QStringList result;
        for (int i = 0; i < node->childCount(); ++i)
            result << node->child(i)->text(0);
        return result;
    }

    static FolderNode* child(const QTreeWidgetItem* node, const QString& text)
    {
        const int index = texts(node).indexOf(text);
        return index < 0 ? nullptr : static_cast<FolderNode*>(node->child(index));
    }

    static bool isPlaceholder(const QTreeWidgetItem* node)
    {
        return node->childCount() == 1
            && static_cast<const FolderNode*>(node->child(0))->Entry() == nullptr;
    }

    CurrentDirectoryKeeper keeper; // declared first: restored last
    TempTree disk;
    std::unique_ptr<FolderTree> tree;
    QStringList changes;
};

} // namespace

TEST_F(ExplorerTree, LoadsVolumesWithPlaceholdersWithoutReadingRemovableMedia)
{
    QStringList asked;
    tree = std::make_unique<FolderTree>(nullptr, [this] { return volumes(); });
    EXPECT_EQ(tree->Directory(), "nil");
    ASSERT_EQ(tree->topLevelItemCount(), 5);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "/");
    EXPECT_EQ(FolderTree::NodePath(top("vol")), disk.path("vol/"));
    EXPECT_EQ(top("vol")->Entry()->ChildrenRead, false);
    EXPECT_TRUE(isPlaceholder(top("vol")));
    EXPECT_EQ(top("vol")->child(0)->text(0), "**");
    EXPECT_TRUE(isPlaceholder(top("usb")));
    EXPECT_EQ(top("usb")->child(0)->text(0), "");
    EXPECT_EQ(top("empty")->childCount(), 0); // a fixed volume without folders: no button

    // Which folders were looked at: the removable volume's never, and with FastLoad none.
    tree->OnAddDirectory = [&](QObject*, const QString& path, bool&) { asked << path; };
    tree->LoadDrives();
    EXPECT_TRUE(asked.contains(disk.path("vol/")));
    // Probing a fixed volume stops at its first accepted folder.
    const auto below = [&](const QString& volume) {
        return std::count_if(asked.begin(), asked.end(), [&](const QString& path) {
            return path.startsWith(volume) && path != volume;
        });
    };
    EXPECT_EQ(below(disk.path("vol/")), 1);
    EXPECT_EQ(below(disk.path("usb/")), 0);
    asked.clear();
    tree->setFastLoad(true);
    tree->LoadDrives();
    EXPECT_EQ(asked,
              QStringList({"/", disk.path("vol/"), disk.path("net/"), disk.path("usb/"),
                           disk.path("empty/")}));
    EXPECT_TRUE(isPlaceholder(top("empty")));

    // Expanding the unread volume reads it: the placeholder gives way to its folders.
    tree->expandItem(top("usb"));
    EXPECT_EQ(texts(top("usb")), QStringList({"photos"}));
    EXPECT_TRUE(top("usb")->Entry()->ChildrenRead);
    tree->expandItem(top("empty"));
    EXPECT_EQ(top("empty")->childCount(), 0);
}

TEST_F(ExplorerTree, DirectoryWalksThroughThePathReadingChildrenOnTheWay)
{
    build();
    tree->setDirectory(disk.path("vol/c/deep"));
    EXPECT_EQ(tree->Directory(), disk.path("vol/c/deep/"));
    EXPECT_EQ(changes, QStringList({disk.path("vol/c/deep/")}));

    FolderNode* vol = top("vol");
    EXPECT_TRUE(vol->Entry()->ChildrenRead);
    // Hidden folders are left out; the rest sorted without regard to case.
    EXPECT_EQ(texts(vol), QStringList({"a", "B2", "c", "RECYCLED"}));
    FolderNode* c = child(vol, "c");
    EXPECT_TRUE(c->Entry()->ChildrenRead);
    EXPECT_TRUE(child(c, "deep")->Entry()->ChildrenRead);
    EXPECT_EQ(texts(child(c, "deep")), QStringList({"deeper"}));
    // Folders beside the path stay unread, with a placeholder when they have subfolders.
    EXPECT_FALSE(child(vol, "a")->Entry()->ChildrenRead);
    EXPECT_TRUE(isPlaceholder(child(vol, "a")));
    EXPECT_EQ(child(vol, "B2")->childCount(), 0);
    EXPECT_EQ(tree->LastDirs(disk.path("vol/")), disk.path("vol/c/deep/"));
    EXPECT_EQ(tree->LastDirs(disk.path("usb/")), disk.path("usb/"));

    // "nil" changes nothing; an empty text is refused.
    tree->setDirectory("nil");
    EXPECT_EQ(tree->Directory(), disk.path("vol/c/deep/"));
    try {
        tree->setDirectory("");
        FAIL() << "no error";
    } catch (const platform::Exception& error) {
        EXPECT_EQ(error.message(), QStringLiteral("无效的目录名"));
    }

    // A folder outside the tree (hidden) leaves the selection where it was.
    tree->setDirectory(disk.path("vol/.hidden/inner/"));
    EXPECT_EQ(tree->Directory(), disk.path("vol/c/deep/"));

    // A folder that does not exist goes to the root.
    tree->setDirectory(disk.path("vol/missing"));
    EXPECT_EQ(tree->Directory(), "/");
    EXPECT_EQ(changes.last(), "/");

    // Relative to the current directory, and through "..".
    tree->setDirectory("../B2");
    EXPECT_EQ(tree->Directory(), disk.path("vol/B2/"));

    // A volume's own root selects the volume node.
    tree->setDirectory(disk.path("usb"));
    EXPECT_EQ(tree->currentItem(), top("usb"));
    EXPECT_EQ(tree->LastDirs(disk.path("vol/")), disk.path("vol/B2/"));
}

TEST_F(ExplorerTree, ClickingAndExpandingLikeAUser)
{
    build();
    tree->resize(249, 400);
    tree->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(tree.get()));
    // Taking the focus selects nothing: the stored folder must not become "/".
    tree->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(tree->Directory(), "nil");
    EXPECT_TRUE(changes.isEmpty());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualItemRect(top("vol")).center());
    EXPECT_EQ(changes, QStringList({disk.path("vol/")}));
    // Once chosen, a folder stays chosen: Ctrl+click or Ctrl+Space cannot leave "nil".
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      tree->visualItemRect(top("vol")).center());
    QTest::keyClick(tree->viewport(), Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(tree->Directory(), disk.path("vol/"));
    EXPECT_EQ(changes, QStringList({disk.path("vol/")}));
    QTest::keyClick(tree->viewport(), Qt::Key_Right);
    EXPECT_TRUE(top("vol")->isExpanded());
    EXPECT_EQ(texts(top("vol")), QStringList({"a", "B2", "c", "RECYCLED"}));
    // The children were probed: "a" and "c" have folders, "B2" and the recycled folder none.
    EXPECT_TRUE(isPlaceholder(child(top("vol"), "a")));
    EXPECT_EQ(child(top("vol"), "B2")->childCount(), 0);
    EXPECT_EQ(child(top("vol"), "RECYCLED")->childCount(), 0);
    // Expanding again probes nothing new: still one placeholder each.
    QTest::keyClick(tree->viewport(), Qt::Key_Left);
    QTest::keyClick(tree->viewport(), Qt::Key_Right);
    EXPECT_EQ(child(top("vol"), "a")->childCount(), 1);
    EXPECT_EQ(child(top("vol"), "c")->childCount(), 1);
    QTest::keyClick(tree->viewport(), Qt::Key_Down);
    EXPECT_EQ(changes.last(), disk.path("vol/a/"));

    // "*" opens one level, not the whole branch.
    QTest::keyClick(tree->viewport(), Qt::Key_Down);
    QTest::keyClick(tree->viewport(), Qt::Key_Down);
    ASSERT_EQ(changes.last(), disk.path("vol/c/"));
    QTest::keyClick(tree->viewport(), Qt::Key_Asterisk);
    EXPECT_TRUE(child(top("vol"), "c")->isExpanded());
    EXPECT_FALSE(child(child(top("vol"), "c"), "deep")->isExpanded());
    EXPECT_FALSE(child(child(top("vol"), "c"), "deep")->Entry()->ChildrenRead);
    tree->collapseItem(child(top("vol"), "c"));

    // A handler may refuse an expansion; the folders are read all the same.
    tree->OnExpanding = [](QObject*, FolderNode*, bool& allow) { allow = false; };
    tree->expandItem(child(top("vol"), "c"));
    EXPECT_FALSE(child(top("vol"), "c")->isExpanded());
    EXPECT_EQ(texts(child(top("vol"), "c")), QStringList({"deep"}));

    // Handlers that throw on a click or an expansion reach the error box, not Qt.
    QStringList boxes;
    const platform::ErrorBoxHook saved =
        platform::setErrorBoxHook([&](const QString& text) { boxes << text; });
    tree->OnChange = [](QObject*, FolderNode*) { throw platform::Exception("change failed"); };
    tree->OnExpanding = [](QObject*, FolderNode*, bool&) {
        throw platform::Exception("expanding failed");
    };
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualItemRect(top("usb")).center());
    QTest::keyClick(tree->viewport(), Qt::Key_Right);
    platform::setErrorBoxHook(saved);
    // Without a translator a box ends in the Chinese full stop.
    EXPECT_EQ(
        boxes,
        QStringList({QStringLiteral("change failed。"), QStringLiteral("expanding failed。")}));
    EXPECT_EQ(tree->Directory(), disk.path("usb/"));
    EXPECT_EQ(texts(top("usb")), QStringList({"photos"}));
}

TEST_F(ExplorerTree, TrashAndAddDirectoryHideFoldersAndEverythingBelow)
{
    build();
    // Nothing inside the recycled folder is in the tree, so the walk leaves the selection alone.
    tree->setDirectory(disk.path("vol/RECYCLED/inner"));
    EXPECT_EQ(tree->Directory(), "nil");
    EXPECT_TRUE(changes.isEmpty());
    tree->setDirectory(disk.path("vol/RECYCLED"));
    EXPECT_EQ(tree->Directory(), disk.path("vol/RECYCLED/"));
    EXPECT_EQ(tree->currentItem()->childCount(), 0);

    const QString home = QDir::homePath();
    EXPECT_TRUE(tree->AcceptFolder("/srv/Recycled/"));
    EXPECT_FALSE(tree->AcceptFolder("/srv/Recycled/old/"));
    EXPECT_TRUE(tree->AcceptFolder("/media/stick/.Trash-1000/"));
    EXPECT_FALSE(tree->AcceptFolder("/media/stick/.Trash-1000/files/"));
    EXPECT_FALSE(tree->AcceptFolder("/media/stick/.Trash/files/"));
    EXPECT_TRUE(tree->AcceptFolder(home + "/.local/share/Trash/"));
    EXPECT_FALSE(tree->AcceptFolder(home + "/.local/share/Trash/files/"));
    EXPECT_TRUE(tree->AcceptFolder("/srv/recycledbin/old/"));

    // A refused folder is not listed and cannot be reached; a refused volume is gone.
    tree->OnAddDirectory = [&](QObject*, const QString& path, bool& add) {
        add = path != disk.path("vol/c/") && path != disk.path("net/");
    };
    tree->LoadDrives();
    EXPECT_EQ(top("net"), nullptr);
    tree->setDirectory(disk.path("vol/c/deep"));
    EXPECT_EQ(tree->Directory(), "nil");
    EXPECT_EQ(texts(top("vol")), QStringList({"a", "B2", "RECYCLED"}));
    tree->setDirectory(disk.path("vol/a"));
    EXPECT_EQ(tree->Directory(), disk.path("vol/a/"));

    // A handler that fails during a reload leaves a tree that still reports changes.
    tree->OnAddDirectory = [](QObject*, const QString&, bool&) {
        throw platform::Exception("handler failed");
    };
    EXPECT_THROW(tree->LoadDrives(), platform::Exception);
    tree->OnAddDirectory = nullptr;
    tree->LoadDrives();
    changes.clear();
    tree->setDirectory(disk.path("vol/B2"));
    EXPECT_EQ(changes, QStringList({disk.path("vol/B2/")}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ExplorerTree, NodeDataIsReleasedBeforeEveryDeletionIsReported)
{
    build();
    int deleted = 0;
    int deletedWithData = 0;
    tree->OnDeleteItem = [&](QObject*, FolderNode* node) {
        ++deleted;
        deletedWithData += node->Entry() != nullptr ? 1 : 0;
    };
    int iconsSet = 0;
    tree->OnGetIcon = [&](QObject*, FolderNode* node) {
        ++iconsSet;
        EXPECT_NE(node->Entry(), nullptr);
        EXPECT_FALSE(node->Image().isNull());
    };
    tree->setDirectory(disk.path("vol/a"));
    // The placeholder of "vol" made way for its folders ("a" had none: it was never probed).
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(iconsSet, 5); // a, B2, c, RECYCLED, x
    deleted = 0;
    tree->ClearAll();
    // Every node once: "/" and its placeholder, vol, its four folders, x, the placeholder
    // of the probed "c", net and usb with theirs, and the empty volume.
    EXPECT_EQ(tree->topLevelItemCount(), 0);
    EXPECT_EQ(deletedWithData, 0);
    EXPECT_EQ(deleted, 2 + 1 + 4 + 1 + 1 + 2 + 2 + 1);
    EXPECT_EQ(tree->Directory(), "nil");
}

TEST_F(ExplorerTree, NetworkFalseRebuildsWithoutRemoteVolumesAndReselects)
{
    {
        const testsupport::ScopedVariable home("HOME", disk.path("vol/B2").toLocal8Bit());
        build();
    }
    EXPECT_EQ(tree->homeFolder(), disk.path("vol/B2/"));

    tree->setDirectory(disk.path("vol/c/deep"));
    changes.clear();
    tree->setNetwork(false);
    EXPECT_EQ(top("net"), nullptr);
    EXPECT_NE(top("usb"), nullptr);
    EXPECT_EQ(tree->Directory(), disk.path("vol/c/deep/"));
    // No "nil" reported while the volumes were reloaded.
    EXPECT_EQ(changes, QStringList({disk.path("vol/c/deep/")}));

    // A folder on a network volume selects the home folder instead.
    tree->setDirectory(disk.path("net/share/sub"));
    EXPECT_EQ(tree->Directory(), disk.path("vol/B2/"));

    tree->setNetwork(true);
    ASSERT_NE(top("net"), nullptr);
    EXPECT_EQ(tree->Directory(), disk.path("vol/B2/"));
    tree->setDirectory(disk.path("net/share/sub"));
    EXPECT_EQ(tree->Directory(), disk.path("net/share/sub/"));

    // The selected folder vanished: the tree falls back to its volume's root.
    tree->setDirectory(disk.path("vol/c/deep/deeper"));
    ASSERT_TRUE(QDir(disk.path("vol/c")).removeRecursively());
    tree->setNetwork(false);
    EXPECT_EQ(tree->Directory(), "/");
}

TEST_F(ExplorerTree, AFindDirectoryHandlerSuppliesTheEntries)
{
    build();
    QStringList searched;
    int step = 0;
    const QList<QPair<QString, quint32>> entries = {
        {".", faDirectory}, {"..", faDirectory},        {"zeta", faDirectory},
        {"notes.txt", 0},   {"Alpha", faDirectory | 1}, {".cache", faDirectory}};
    tree->OnFindDirectory = [&](QObject*, const QString& path, int& result, bool first) {
        if (first) {
            searched << path;
            step = 0;
        }
        if (step >= entries.size()) {
            result = 18; // no more entries
            return;
        }
        tree->SearchRec.Name = entries[step].first;
        tree->SearchRec.Attr = entries[step].second;
        ++step;
        result = 0;
    };
    tree->setFastLoad(true);
    tree->LoadDrives();
    EXPECT_TRUE(searched.isEmpty());
    tree->expandItem(top("empty"));
    EXPECT_EQ(searched.first(), disk.path("empty/"));
    // Only folders count, never "." and "..", nor hidden ones; sorted without regard to case.
    EXPECT_EQ(texts(top("empty")), QStringList({"Alpha", "zeta"}));
    EXPECT_EQ(FolderTree::NodePath(child(top("empty"), "zeta")), disk.path("empty/zeta/"));
}
