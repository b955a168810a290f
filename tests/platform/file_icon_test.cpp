// File icons come from the icon theme by the file's type.
#include "platform/shell.h"
#include "tests/support/TempTree.h"

#include <QIcon>
#include <QImage>
#include <QScopeGuard>

#include <gtest/gtest.h>

TEST(FileIcons, TheThemesIconOfTheTypeThenItsGenericIconThenTheShellsIcon)
{
    testsupport::TempTree tree;
    tree.addFile("icons/types/index.theme",
                 "[Icon Theme]\nName=types\nDirectories=16\n\n"
                 "[16]\nSize=16\nContext=MimeTypes\nType=Fixed\n");
    const std::pair<const char*, QRgb> themeIcons[] = {
        {"text-plain", 0xFF0000}, {"application-pdf", 0x00FF00}, {"x-office-document", 0x0000FF}};
    tree.addFolder("icons/types/16");
    for (const auto& [name, colour] : themeIcons) {
        QImage image(16, 16, QImage::Format_RGB32);
        image.fill(colour);
        image.save(tree.path("icons/types/16/") + name + ".png");
    }
    const QStringList paths = QIcon::themeSearchPaths();
    const QString theme = QIcon::themeName();
    const auto restore = qScopeGuard([&] {
        QIcon::setThemeSearchPaths(paths);
        QIcon::setThemeName(theme);
    });
    QIcon::setThemeSearchPaths({tree.path("icons")});
    QIcon::setThemeName("types");

    const auto colourOf = [&](const char* name) {
        const QImage image = platform::shell::smallFileIcon(tree.path(name)).pixmap(16).toImage();
        return image.isNull() ? 0 : image.pixel(8, 8) & 0xFFFFFF;
    };
    EXPECT_EQ(colourOf("NOTICE.TXT"), 0xFF0000u);
    EXPECT_EQ(colourOf("paper.pdf"), 0x00FF00u);
    EXPECT_EQ(colourOf("letter.docx"), 0x0000FFu) << "no own icon: the generic one of its kind";
    EXPECT_FALSE(QList<QRgb>({0xFF0000, 0x00FF00, 0x0000FF}).contains(colourOf("data.zzz")));
}
