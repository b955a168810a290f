// The main window's explorer controls with their stored settings.
#include "controls/explorer/MainWindowExplorer.h"

#include "controls/explorer/FileListView.h"
#include "controls/explorer/FolderTree.h"

FileListView* createNoticeList(QWidget* parent)
{
    auto* view = new FileListView(parent);
    view->setObjectName(QStringLiteral("noticeList"));
    view->setGeometry(12, 16, 249, 217);
    view->setItemHeight(18);
    view->setMultiSelect(true);
    view->setCharCase(LetterCase::ecLowerCase);
    return view;
}

FolderTree* createFolderTree(QWidget* parent)
{
    auto* tree = new FolderTree(parent);
    tree->setObjectName(QStringLiteral("folderTree"));
    tree->setGeometry(12, 16, 249, 217);
    tree->setFastLoad(false);
    tree->setNetwork(true);
    // Until a folder is chosen, the tree shows where a user's files usually are.
    tree->showFolder(tree->homeFolder());
    return tree;
}
