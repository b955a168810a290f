// Shell services: icons and names from Qt's icon provider, volumes from the mount table.
#include "platform/shell.h"

#include "platform/folders.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStorageInfo>
#include <QStyle>

#include <algorithm>
#include <array>
#include <string_view>

using platform::folders::addSlash;
using platform::folders::removeSlash;

namespace platform::shell {

namespace {

constexpr auto kPseudoFileSystems =
    std::to_array<std::string_view>({"proc",        "sysfs",      "devtmpfs",    "devpts",
                                     "tmpfs",       "ramfs",      "securityfs",  "cgroup",
                                     "cgroup2",     "pstore",     "bpf",         "debugfs",
                                     "tracefs",     "configfs",   "fusectl",     "mqueue",
                                     "hugetlbfs",   "autofs",     "binfmt_misc", "efivarfs",
                                     "rpc_pipefs",  "nsfs",       "overlay",     "squashfs",
                                     "selinuxfs",   "devfs",      "none",        "fuse.gvfsd-fuse",
                                     "fuse.portal", "fuse.lxcfs", "nfsd",        "rootfs",
                                     "shm"});

constexpr auto kNetworkFileSystems = std::to_array<std::string_view>(
    {"nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "coda", "sshfs", "fuse.sshfs", "davfs",
     "fuse.davfs2", "fuse.rclone", "glusterfs", "fuse.glusterfs", "ceph"});

bool isOneOf(const QByteArray& type, const auto& names)
{
    const std::string_view text(type.constData(), size_t(type.size()));
    return std::find(names.begin(), names.end(), text) != names.end();
}

QFileIconProvider& iconProvider()
{
    static QFileIconProvider provider;
    return provider;
}

QIcon styleIcon(QStyle::StandardPixmap which)
{
    return QApplication::style()->standardIcon(which);
}

// Removable media tell the kernel so: /sys/class/block/<partition or disk>/removable.
bool isRemovableDevice(const QByteArray& device)
{
    if (!device.startsWith("/dev/"))
        return false;
    const QString name = QFileInfo(QString::fromLocal8Bit(device)).fileName();
    const QString block = QStringLiteral("/sys/class/block/") + name;
    const QString disk = QFileInfo(block).canonicalFilePath();
    for (const QString& folder : {block, disk, QFileInfo(disk).path()}) {
        QFile flag(folder + QStringLiteral("/removable"));
        if (flag.open(QIODevice::ReadOnly))
            return flag.readAll().trimmed() == "1";
    }
    return false;
}

bool startsWithFolder(const QString& path, const QString& folder)
{
    return !folder.isEmpty() && addSlash(path).startsWith(addSlash(folder));
}

} // namespace

QIcon smallFileIcon(const QString& path)
{
    // By name only: the list paints its icons often and must not read every file for them.
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    return icon.isNull() ? iconProvider().icon(QFileInfo(path)) : icon;
}

QIcon smallFolderIcon(const QString& path)
{
    const QFileInfo info(path);
    return info.isDir() ? iconProvider().icon(info) : smallFolderIcon();
}

QIcon smallFolderIcon()
{
    return iconProvider().icon(QAbstractFileIconProvider::Folder);
}

QIcon smallOpenFolderIcon()
{
    return styleIcon(QStyle::SP_DirOpenIcon);
}

QIcon smallVolumeIcon(const Volume& volume)
{
    if (volume.type == DriveType::Remote)
        return iconProvider().icon(QAbstractFileIconProvider::Network);
    return iconProvider().icon(QAbstractFileIconProvider::Drive);
}

QString displayName(const QString& path)
{
    const QString cleaned = QDir::cleanPath(path);
    if (cleaned == QStringLiteral("/"))
        return cleaned;
    return QFileInfo(cleaned).fileName();
}

bool isPseudoFileSystem(const QByteArray& fileSystemType)
{
    return isOneOf(fileSystemType, kPseudoFileSystems);
}

bool isNetworkFileSystem(const QByteArray& fileSystemType)
{
    return isOneOf(fileSystemType, kNetworkFileSystems);
}

bool isBrowsableMount(const QString& rootPath, const QByteArray& fileSystemType,
                      const QString& homePath)
{
    if (rootPath == QStringLiteral("/"))
        return true;
    if (isPseudoFileSystem(fileSystemType))
        return false;
    // Mounts inside hidden folders belong to programs, not to the user.
    if (rootPath.contains(QStringLiteral("/.")))
        return false;
    if (isNetworkFileSystem(fileSystemType))
        return true;
    for (const QString& place :
         {QStringLiteral("/media"), QStringLiteral("/run/media"), QStringLiteral("/mnt")}) {
        if (startsWithFolder(rootPath, place) && rootPath != place)
            return true;
    }
    return startsWithFolder(rootPath, homePath) && rootPath != removeSlash(homePath);
}

DriveType driveTypeOfMount(const QString& rootPath, const QByteArray& fileSystemType,
                           bool removableDevice)
{
    if (isNetworkFileSystem(fileSystemType))
        return DriveType::Remote;
    if (fileSystemType == "iso9660" || fileSystemType == "udf")
        return DriveType::CdRom;
    if (fileSystemType == "tmpfs" || fileSystemType == "ramfs")
        return DriveType::RamDisk;
    if (removableDevice || startsWithFolder(rootPath, QStringLiteral("/media"))
        || startsWithFolder(rootPath, QStringLiteral("/run/media")))
        return DriveType::Removable;
    return DriveType::Fixed;
}

QList<Volume> browsableVolumes()
{
    QList<Volume> volumes;
    volumes.append({QStringLiteral("/"), QStringLiteral("/"), DriveType::Fixed});
    const QString home = QDir::homePath();
    QList<Volume> others;
    for (const QStorageInfo& storage : QStorageInfo::mountedVolumes()) {
        const QString root = storage.rootPath();
        if (!storage.isValid() || root == QStringLiteral("/")
            || !isBrowsableMount(root, storage.fileSystemType(), home))
            continue;
        Volume volume;
        volume.path = addSlash(root);
        volume.displayName = storage.name().isEmpty() ? displayName(root) : storage.name();
        volume.type =
            driveTypeOfMount(root, storage.fileSystemType(), isRemovableDevice(storage.device()));
        const bool known = std::any_of(others.begin(), others.end(),
                                       [&](const Volume& v) { return v.path == volume.path; });
        if (!known)
            others.append(volume);
    }
    std::sort(others.begin(), others.end(),
              [](const Volume& a, const Volume& b) { return a.path < b.path; });
    volumes.append(others);
    return volumes;
}

} // namespace platform::shell
