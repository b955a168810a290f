// Shell services of the file browsing controls: small icons and display names of
// files, folders and volumes, and the volumes a user would browse.
#pragma once

#include <QByteArray>
#include <QIcon>
#include <QList>
#include <QString>

namespace platform::shell {

// Kinds of volume, in the order of the classic drive types.
enum class DriveType { Unknown, NoRootDir, Removable, Fixed, Remote, CdRom, RamDisk };

struct Volume {
    QString path;        // mount point with a trailing "/"
    QString displayName; // label, else the mount point's last part; "/" for the root
    DriveType type = DriveType::Unknown;
};

// Edge length of the small icons, in pixels.
constexpr int kSmallIconSize = 16;

// The icon theme's icon of the file's type as its name tells it (the type's own icon, else
// its generic one), else the shell's file icon.
QIcon smallFileIcon(const QString& path);
QIcon smallFolderIcon(const QString& path); // a folder's closed icon
QIcon smallFolderIcon();                    // the plain folder icon
QIcon smallOpenFolderIcon();
QIcon smallVolumeIcon(const Volume& volume);

// The shell's name of a file or folder: its last part ("/" for the root).
QString displayName(const QString& path);

// "/" first, then the other mounted volumes a user would browse, by path.
QList<Volume> browsableVolumes();

// Classification of mounts, kept apart so that it can be checked on plain texts.
bool isPseudoFileSystem(const QByteArray& fileSystemType);
bool isNetworkFileSystem(const QByteArray& fileSystemType);
bool isBrowsableMount(const QString& rootPath, const QByteArray& fileSystemType,
                      const QString& homePath);
DriveType driveTypeOfMount(const QString& rootPath, const QByteArray& fileSystemType,
                           bool removableDevice);

} // namespace platform::shell
