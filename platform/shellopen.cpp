// Opening targets through QDesktopServices.
#include "platform/shellopen.h"

#include <QDesktopServices>
#include <QDir>
#include <QRegularExpression>

#include <utility>

namespace platform {

namespace {

ShellOpenHook& shellOpenHook()
{
    static ShellOpenHook hook;
    return hook;
}

} // namespace

QUrl shellTargetUrl(const QString& target)
{
    // Two or more letters before the colon: a one-letter "scheme" would be a drive.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (scheme.match(target).hasMatch())
        return QUrl(target, QUrl::TolerantMode);
    // A file that exists here stays a file; "www.example.com" becomes a web address.
    return QUrl::fromUserInput(target, QDir::currentPath());
}

void shellOpen(const QString& target)
{
    if (shellOpenHook()) {
        shellOpenHook()(target);
        return;
    }
    const QUrl url = shellTargetUrl(target);
    if (url.isValid() && !url.isEmpty())
        QDesktopServices::openUrl(url);
}

ShellOpenHook setShellOpenHook(ShellOpenHook hook)
{
    return std::exchange(shellOpenHook(), std::move(hook));
}

} // namespace platform
