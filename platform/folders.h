// Folder helpers of the file browsing controls: the current directory and path texts.
#pragma once

#include <QString>

namespace platform::folders {

// The process's current directory as the system reports it ("/" separators).
QString currentFolder();

// Makes a folder the process's current directory; a failure raises InOutError
// ("I/O error 3" for a missing folder, "File access denied" without permission).
void setCurrentFolder(const QString& path);

bool folderExists(const QString& path);
// An existing file or a link to one; false for folders (unlike platform::fileExists).
bool isFile(const QString& path);

// Appends "/" to a non-empty path that does not end in one.
QString addSlash(const QString& path);
// Drops one trailing "/" unless the path is the root.
QString removeSlash(const QString& path);
// Folder joined with a name, with exactly one "/" between them.
QString joinPath(const QString& folder, const QString& name);
// Alphabetical order without regard to case; names that differ only in case keep a fixed order.
bool lessFileName(const QString& a, const QString& b);
// Names beginning with "." are hidden on Linux desktops.
bool isHiddenName(const QString& name);

} // namespace platform::folders
