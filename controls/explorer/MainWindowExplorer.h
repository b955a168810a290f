// The explorer view and folder tree of the main window, built with the window's stored settings.
#pragma once

class QWidget;
class FolderTree;
class FileListView;

// noticeList on the notice page: 12, 16, 249 x 217 (until the page's layout takes it), rows of 18 pixels, extended
// multiple selection, one column, CharCase ecLowerCase. The window assigns the handlers.
FileListView* createNoticeList(QWidget* parent);

// folderTree on the settings page: 12, 16, 249 x 217 (until the page's layout takes it), Directory "nil", Network true,
// FastLoad false, selection shown without focus, opened at the user's home folder. The
// window assigns OnChange.
FolderTree* createFolderTree(QWidget* parent);
