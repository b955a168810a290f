// File icons come from the icon theme by the file's type.
#include "platform/shell.h"
#include "tests/support/TempTree.h"

#include <QIcon>
#include <QImage>
#include <QScopeGuard>

#include <gtest/gtest.h>

namespace {

// The colour in the middle of the icon's small picture; black when there is none.
QRgb colourOf(const QIcon& icon)
{
    const QImage image = icon.pixmap(platform::shell::kSmallIconSize).toImage();
    return image.isNull() ? qRgb(0, 0, 0) : image.pixel(8, 8) & 0xFFFFFF;
}

} // namespace

TEST(FileIcons, TheThemesIconOfTheTypeThenItsGenericIconThenTheShellsIcon)
{
    testsupport::TempTree tree;
    tree.addFile("icons/test-types/index.theme",
                 "[Icon Theme]\n"
                 "Name=test-types\n"
                 "Directories=16x16/mimetypes\n\n"
                 "[16x16/mimetypes]\n"
                 "Size=16\nContext=MimeTypes\nType=Fixed\n");
    const auto addIcon = [&](const char* name, QRgb colour) {
        QImage image(16, 16, QImage::Format_RGB32);
        image.fill(colour);
        image.save(tree.path("icons/test-types/16x16/mimetypes/") + name + ".png");
    };
    tree.addFolder("icons/test-types/16x16/mimetypes");
    addIcon("text-plain", 0xFF0000);
    addIcon("application-pdf", 0x00FF00);
    addIcon("x-office-document", 0x0000FF);

    const QStringList paths = QIcon::themeSearchPaths();
    const QString theme = QIcon::themeName();
    const auto restore = qScopeGuard([&] {
        QIcon::setThemeSearchPaths(paths);
        QIcon::setThemeName(theme);
    });
    QIcon::setThemeSearchPaths({tree.path("icons")});
    QIcon::setThemeName("test-types");

    struct Row {
        const char* name;
        QRgb colour;
    };
    const Row rows[] = {
        {.name = "notice.txt", .colour = 0xFF0000},
        {.name = "NOTICE.TXT", .colour = 0xFF0000},
        {.name = "paper.pdf", .colour = 0x00FF00},
        // No icon of its own in the theme: the generic one of its kind.
        {.name = "letter.docx", .colour = 0x0000FF},
    };
    for (const Row& row : rows)
        EXPECT_EQ(colourOf(platform::shell::smallFileIcon(tree.path(row.name))), row.colour)
            << row.name;
    // Neither in the theme: not one of the theme's pictures.
    const QRgb unknown = colourOf(platform::shell::smallFileIcon(tree.path("data.zzz")));
    for (const QRgb colour : {0xFF0000u, 0x00FF00u, 0x0000FFu})
        EXPECT_NE(unknown, colour);
}
