// Folder helpers of the file browsing controls.
#include "platform/folders.h"

#include "platform/exception.h"
#include "platform/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <unistd.h>

namespace platform::folders {

namespace {

// The run-time error numbers of a failed change of directory.
constexpr int kPathNotFound = 3;

[[noreturn]] void raiseChangeDirectoryError(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: raiseNumberedError(kPathNotFound);
    case EACCES:
    case EPERM: raiseInOutError(EACCES);
    default: raiseNumberedError(error);
    }
}

} // namespace

QString currentFolder()
{
    return QDir::currentPath();
}

void setCurrentFolder(const QString& path)
{
    if (path.isEmpty())
        raiseChangeDirectoryError(ENOENT);
    if (::chdir(QFile::encodeName(path).constData()) != 0)
        raiseChangeDirectoryError(errno);
}

bool folderExists(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

bool isFile(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

QString addSlash(const QString& path)
{
    if (path.isEmpty() || path.endsWith(u'/'))
        return path;
    return path + u'/';
}

QString removeSlash(const QString& path)
{
    if (path.size() > 1 && path.endsWith(u'/'))
        return path.chopped(1);
    return path;
}

QString joinPath(const QString& folder, const QString& name)
{
    if (folder.isEmpty())
        return name;
    return addSlash(folder) + name;
}

bool lessFileName(const QString& a, const QString& b)
{
    const int order = QString::compare(a, b, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a < b;
}

bool isHiddenName(const QString& name)
{
    return name.startsWith(u'.');
}

} // namespace platform::folders
