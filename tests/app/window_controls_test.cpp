// The window's generic controls as the window sets them up: footer labels, notices, folders.
#include "WindowFixture.h"

#include "app/WindowControls.h"
#include "controls/explorer/FileListView.h"
#include "controls/explorer/FolderTree.h"
#include "controls/labels/CommandLabel.h"
#include "controls/labels/DecoratedLabel.h"
#include "platform/shellopen.h"
#include "tests/support/UserFolders.h"

#include <QDir>
#include <QFontMetrics>
#include <QTest>

#include <memory>
#include <tuple>

TEST_F(WindowTest, FooterLabelsAsStored)
{
    QStringList targets;
    const auto previous = platform::setShellOpenHook([&](const QString& t) { targets << t; });
    MainWindow& form = open();
    auto* first = child<DecoratedLabel>("homePageCaption");
    auto* second = child<DecoratedLabel>("mailCaption");
    auto* home = child<CommandLabel>("homePageLink");
    auto* mail = child<CommandLabel>("mailLink");
    ASSERT_TRUE(first && second && home && mail);
    // Places in the window; the footer under the information pane holds them.
    const std::tuple<CustomLabel*, QRect, QString> rows[] = {
        {first, QRect(313, 291, 65, 17), QStringLiteral("欢迎光临：")},
        {second, QRect(313, 311, 65, 17), QStringLiteral("给我来信：")},
        {home, QRect(399, 291, 64, 16), QStringLiteral("Tellumar")},
        {mail, QRect(379, 310, 115, 16), QLatin1String(windowcontrols::makerMailAddress)},
    };
    for (const auto& [label, geometry, caption] : rows) {
        const QRect placed(label->mapTo(&form, QPoint(0, 0)), label->size());
        // A mail address of the build longer than the stored width widens its label.
        EXPECT_EQ(placed,
                  label == mail ? geometry.adjusted(0, 0, label->width() - geometry.width(), 0)
                                : geometry)
            << label->objectName().toStdString();
        EXPECT_GE(label->width(), geometry.width());
        EXPECT_EQ(label->Caption(), caption);
        EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(caption), label->width())
            << label->objectName().toStdString();
    }
    for (DecoratedLabel* label : {first, second}) {
        EXPECT_EQ(label->Frame().frameStyle(), FrameStyle::frameNone);
        EXPECT_EQ(label->font3D().style3D(), Style3D::fontOnlyHighlight);
    }
    EXPECT_EQ(home->Command(), CommandTarget::runURL);
    EXPECT_EQ(mail->Command(), CommandTarget::runMAIL);
    EXPECT_EQ(home->font().pixelSize(), 16);
    EXPECT_EQ(mail->font().pixelSize(), 13);
    for (CommandLabel* label : {home, mail}) {
        EXPECT_FALSE(label->font().underline());
        EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(label->FontColor(), colors::clBlue);
        const QPoint p = label->mapTo(&form, QPoint(3, 3));
        QTest::mousePress(form.windowHandle(), Qt::LeftButton, {}, p);
        // Pressed, the caption takes its stored colour again.
        EXPECT_EQ(label->FontColor(), colors::clBlue);
        QTest::mouseRelease(form.windowHandle(), Qt::LeftButton, {}, p);
        EXPECT_EQ(label->FontColor(), colors::clPurple);
    }
    platform::setShellOpenHook(previous);
    EXPECT_EQ(targets,
              (QStringList{QStringLiteral("http://") + windowcontrols::makerHomePage,
                           QStringLiteral("mailto:") + windowcontrols::makerMailAddress}));
}

TEST_F(WindowTest, NoticeListAndFolderTreeWithTheWindowsSettings)
{
    open();
    auto* list = child<FileListView>("noticeList");
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->MultiSelect());
    EXPECT_EQ(list->ItemHeight(), 18);
    EXPECT_EQ(list->charCase(), LetterCase::ecLowerCase);
    EXPECT_EQ(list->parentWidget()->objectName(), "noticePage");
    auto* tree = child<FolderTree>("folderTree");
    ASSERT_NE(tree, nullptr);
    EXPECT_TRUE(tree->Network());
    EXPECT_FALSE(tree->FastLoad());
    EXPECT_EQ(tree->parentWidget()->objectName(), "settingsPage");
}

TEST(WindowControls, FolderTreeStartsAtTheHomeFolder)
{
    const testsupport::UserFolders user;
    QDir().mkpath(user.home() + "/Documents");
    FolderTree tree;
    windowcontrols::setUpFolderTree(tree);
    EXPECT_EQ(tree.geometry(), QRect(12, 16, 249, 217));
    EXPECT_EQ(tree.Directory(), "nil");
    EXPECT_TRUE(tree.Network());
    EXPECT_FALSE(tree.FastLoad());
    ASSERT_GT(tree.topLevelItemCount(), 0);
    EXPECT_EQ(FolderTree::NodePath(tree.topLevelItem(0)), "/");

    // Opened at the home folder, which is shown but not chosen.
    const QTreeWidgetItem* home = tree.currentItem();
    ASSERT_NE(home, nullptr);
    EXPECT_EQ(FolderTree::NodePath(home), user.home() + "/");
    EXPECT_TRUE(tree.selectedItems().isEmpty());
    EXPECT_TRUE(home->parent()->isExpanded());
    ASSERT_EQ(home->childCount(), 1) << "its folders are read";
    EXPECT_EQ(FolderTree::NodePath(home->child(0)), user.home() + "/Documents/");
}
