// The main window's settings of its notice list, folder tree and footer labels.
#include "app/WindowControls.h"

#include "controls/explorer/FileListView.h"
#include "controls/explorer/FolderTree.h"
#include "controls/labels/CommandLabel.h"
#include "controls/labels/DecoratedLabel.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QStringList>

#include <algorithm>

namespace windowcontrols {

namespace {

// Where the notice list and the folder tree stand on their pages until the page's layout takes
// them: the tree is opened at the home folder, and scrolled to it, at this size.
const QRect pagePlace(12, 16, 249, 217);

void setUpCaption(DecoratedLabel& label, const QString& caption)
{
    label.setCaption(caption);
    label.Frame().setFrameStyle(FrameStyle::frameNone);
}

void setUpLink(CommandLabel& label, const QString& caption, const QString& target,
               CommandTarget command, const QStringList& families, int pixelSize)
{
    label.setCaption(caption);
    label.setCaptionValue(target);
    label.setCommand(command);
    QFont font = label.font();
    font.setFamilies(families);
    font.setPixelSize(pixelSize);
    font.setUnderline(false);
    label.setFont(font);
    label.setFontColor(colors::clBlue);
    label.setCursor(Qt::PointingHandCursor);
    label.Loaded();
}

} // namespace

void setUpNoticeList(FileListView& list)
{
    list.setGeometry(pagePlace);
    list.setItemHeight(18);
    list.setMultiSelect(true);
    list.setCharCase(LetterCase::ecLowerCase);
}

void setUpFolderTree(FolderTree& tree)
{
    tree.setGeometry(pagePlace);
    tree.setFastLoad(false);
    tree.setNetwork(true);
    // Until a folder is chosen, the tree shows where a user's files usually are.
    tree.showFolder(tree.homeFolder());
}

void setUpFooterLabels(DecoratedLabel& homePageCaption, CommandLabel& homePageLink,
                       DecoratedLabel& mailCaption, CommandLabel& mailLink)
{
    setUpCaption(homePageCaption, QCoreApplication::translate("MainWindowLabels", "欢迎光临："));
    setUpCaption(mailCaption, QCoreApplication::translate("MainWindowLabels", "给我来信："));
    // FangSong where installed, else the nearest faces of a Linux desktop.
    setUpLink(homePageLink, QStringLiteral("Tellumar"), QLatin1String(makerHomePage),
              CommandTarget::runURL,
              {QStringLiteral("仿宋_GB2312"), QStringLiteral("FangSong"),
               QStringLiteral("AR PL UKai CN"), QStringLiteral("WenQuanYi Micro Hei")},
              16);
    // Narrow faces first: the whole address must fit the label's 115 pixels.
    setUpLink(mailLink, QLatin1String(makerMailAddress), QLatin1String(makerMailAddress),
              CommandTarget::runMAIL,
              {QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
               QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("WenQuanYi Micro Hei")},
              13);
    // A longer address chosen for the build widens the label so that it shows whole.
    const int needed = QFontMetrics(mailLink.font()).horizontalAdvance(mailLink.Caption());
    mailLink.resize(std::max(mailLink.width(), needed), mailLink.height());
}

} // namespace windowcontrols
