// Opening a target (web, mail, FTP or file address, or a plain path) with the desktop's
// default handler.
#pragma once

#include <QString>
#include <QUrl>

#include <functional>

namespace platform {

// The address a target stands for: texts with a scheme ("mailto:", "http://", "ftp://",
// "file:") as they are; an absolute path or an existing file as a file address; anything
// else as a web address when it looks like one.
QUrl shellTargetUrl(const QString& target);

// Hands the target to the desktop. A target that cannot be opened fails silently.
void shellOpen(const QString& target);

// Seam for tests: when set, receives the target instead of the desktop. Returns the
// previous hook.
using ShellOpenHook = std::function<void(const QString& target)>;
ShellOpenHook setShellOpenHook(ShellOpenHook hook);

} // namespace platform
