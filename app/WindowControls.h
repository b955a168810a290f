// The main window's own settings of its generic controls: the notice list, the folder tree and
// the footer's labels. Their names and places are in MainWindow.ui.
#pragma once

class CommandLabel;
class DecoratedLabel;
class FileListView;
class FolderTree;

namespace windowcontrols {

// The maker's home page and mail address: the build's settings ZARVEL_HOME_PAGE and
// ZARVEL_MAIL_ADDRESS (CMake cache variables).
inline constexpr const char* makerHomePage = ZARVEL_HOME_PAGE;
inline constexpr const char* makerMailAddress = ZARVEL_MAIL_ADDRESS;

// At 12, 16, 249 x 217 until the page's layout takes it; rows of 18 pixels, extended multiple
// selection, one column, names in lower case. The window assigns the handlers.
void setUpNoticeList(FileListView& list);

// At 12, 16, 249 x 217 until the page's layout takes it; Directory "nil", Network true, FastLoad
// false, opened at the user's home folder. The window assigns OnChange.
void setUpFolderTree(FolderTree& tree);

// The footer under the information pane: "欢迎光临：" and "给我来信：" without a frame,
// "Tellumar" opening the maker's home page and the maker's mail address starting a message to it.
void setUpFooterLabels(DecoratedLabel& homePageCaption, CommandLabel& homePageLink,
                       DecoratedLabel& mailCaption, CommandLabel& mailLink);

} // namespace windowcontrols
