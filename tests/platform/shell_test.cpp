// Shell names, the choice of browsable volumes, and the folder helpers of the explorer controls.
#include "platform/exception.h"
#include "platform/folders.h"
#include "platform/shell.h"
#include "tests/support/TempTree.h"

#include <QFile>

#include <gtest/gtest.h>

namespace shell = platform::shell;
namespace folders = platform::folders;
using shell::DriveType;

TEST(Shell, OffersOnlyTheVolumesAUserWouldBrowse)
{
    const QString home = "/home/clerk";
    struct Row {
        const char* root;
        const char* type;
        bool browsable;
    };
    const Row rows[] = {
        {.root = "/",
         .type = "overlay",
         .browsable = true}, // the root always, whatever it is made of
        {.root = "/media/clerk/USB STICK", .type = "vfat", .browsable = true},
        {.root = "/run/media/clerk/DISK", .type = "ext4", .browsable = true},
        {.root = "/mnt/data", .type = "ext4", .browsable = true},
        {.root = "/mnt",
         .type = "ext4",
         .browsable = false}, // the mount folder itself is no volume
        {.root = "/srv/share",
         .type = "nfs4",
         .browsable = true}, // network shares wherever they are mounted
        {.root = "/home/clerk/remote", .type = "fuse.sshfs", .browsable = true},
        {.root = "/home/clerk/disk", .type = "ext4", .browsable = true},
        {.root = "/home/clerk",
         .type = "ext4",
         .browsable = false}, // a home partition is browsed from "/"
        {.root = "/boot/efi", .type = "vfat", .browsable = false},
        {.root = "/var", .type = "ext4", .browsable = false},
        {.root = "/proc", .type = "proc", .browsable = false},
        {.root = "/sys/fs/cgroup", .type = "cgroup2", .browsable = false},
        {.root = "/run/user/1000", .type = "tmpfs", .browsable = false},
        {.root = "/mnt/ram", .type = "tmpfs", .browsable = false},
        {.root = "/home/clerk/.cache/doc", .type = "fuse.portal", .browsable = false},
        {.root = "/home/clerk/.local/mnt",
         .type = "ext4",
         .browsable = false}, // inside a hidden folder
        {.root = "/snap/core/1", .type = "squashfs", .browsable = false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(shell::isBrowsableMount(row.root, row.type, home), row.browsable) << row.root;

    EXPECT_EQ(shell::driveTypeOfMount("/srv/share", "nfs", false), DriveType::Remote);
    EXPECT_EQ(shell::driveTypeOfMount("/mnt/win", "cifs", false), DriveType::Remote);
    EXPECT_EQ(shell::driveTypeOfMount("/media/clerk/CD", "iso9660", true), DriveType::CdRom);
    EXPECT_EQ(shell::driveTypeOfMount("/media/clerk/STICK", "vfat", false), DriveType::Removable);
    EXPECT_EQ(shell::driveTypeOfMount("/mnt/stick", "vfat", true), DriveType::Removable);
    EXPECT_EQ(shell::driveTypeOfMount("/mnt/data", "ext4", false), DriveType::Fixed);
    EXPECT_EQ(shell::driveTypeOfMount("/", "ext4", false), DriveType::Fixed);

    const QList<shell::Volume> volumes = shell::browsableVolumes();
    ASSERT_FALSE(volumes.isEmpty());
    EXPECT_EQ(volumes.first().path, "/");
    EXPECT_EQ(volumes.first().displayName, "/");
    for (const shell::Volume& volume : volumes)
        EXPECT_TRUE(volume.path.endsWith('/')) << volume.path.toStdString();
}

TEST(Shell, NamesAndIconsOfFilesAndFolders)
{
    testsupport::TempTree tree;
    const QString file = tree.addFile("Notices/Plan A.txt", "x");
    EXPECT_EQ(shell::displayName(file), "Plan A.txt");
    EXPECT_EQ(shell::displayName(tree.path("Notices") + "/"), "Notices");
    EXPECT_EQ(shell::displayName("/"), "/");
    EXPECT_FALSE(shell::smallFileIcon(file).isNull());
    EXPECT_FALSE(shell::smallFolderIcon().pixmap(shell::kSmallIconSize).isNull());
    EXPECT_FALSE(shell::smallOpenFolderIcon().pixmap(shell::kSmallIconSize).isNull());
    EXPECT_FALSE(shell::smallVolumeIcon({"/", "/", DriveType::Fixed}).isNull());
}

TEST(Folders, ChangesOfTheCurrentDirectoryAndPathTexts)
{
    testsupport::CurrentDirectoryKeeper keeper;
    testsupport::TempTree tree;
    tree.addFile("a/file.txt");

    folders::setCurrentFolder(tree.path("a"));
    EXPECT_EQ(folders::currentFolder(), tree.path("a"));
    try {
        folders::setCurrentFolder(tree.path("missing"));
        FAIL() << "no error";
    } catch (const platform::InOutError& error) {
        EXPECT_EQ(error.message(), "I/O error 3");
        EXPECT_EQ(error.errorCode(), 3);
    }
    EXPECT_THROW(folders::setCurrentFolder(tree.path("a/file.txt")), platform::InOutError);
    EXPECT_THROW(folders::setCurrentFolder(""), platform::InOutError);
    EXPECT_EQ(folders::currentFolder(), tree.path("a"));

    EXPECT_TRUE(folders::isFile("file.txt"));
    EXPECT_FALSE(folders::isFile(tree.path("a")));
    EXPECT_TRUE(folders::folderExists(tree.path("a")));
    EXPECT_FALSE(folders::folderExists(tree.path("a/file.txt")));

    EXPECT_EQ(folders::addSlash("/a"), "/a/");
    EXPECT_EQ(folders::addSlash("/a/"), "/a/");
    EXPECT_EQ(folders::addSlash(""), "");
    EXPECT_EQ(folders::removeSlash("/a/"), "/a");
    EXPECT_EQ(folders::removeSlash("/"), "/");
    EXPECT_EQ(folders::joinPath("/", "x"), "/x");
    EXPECT_EQ(folders::joinPath("/a", "x"), "/a/x");
    EXPECT_EQ(folders::joinPath("/a/", "x"), "/a/x");
}
