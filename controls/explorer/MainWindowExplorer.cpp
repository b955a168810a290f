// The main window's explorer controls with their stored settings.
#include "controls/explorer/MainWindowExplorer.h"

#include "controls/explorer/FolderTree.h"
#include "controls/explorer/FileListView.h"

TOvoExplorerView* createOvoExplorerView1(QWidget* parent)
{
    auto* view = new TOvoExplorerView(parent);
    view->setObjectName(QStringLiteral("OvoExplorerView1"));
    view->setGeometry(12, 16, 249, 217);
    view->setItemHeight(18);
    view->setMultiSelect(true);
    view->setCharCase(TEditCharCase::ecLowerCase);
    return view;
}

TOvoExplorerTree* createOvoExplorerTree1(QWidget* parent)
{
    auto* tree = new TOvoExplorerTree(parent);
    tree->setObjectName(QStringLiteral("OvoExplorerTree1"));
    tree->setGeometry(12, 16, 249, 217);
    tree->setFastLoad(false);
    tree->setNetwork(true);
    return tree;
}
