// Reading and writing the folder file's three lines.
#include "app/FolderFile.h"

#include "platform/codepage.h"
#include "platform/files.h"

#include <QList>

#include <utility>

namespace {

QByteArray folderLine(const QString& folder)
{
    return platform::toCodePage(folder.isEmpty() ? QStringLiteral(".") : folder) + "\r\n";
}

} // namespace

FolderFile::FolderFile(QString path)
    : m_path(std::move(path))
{
}

std::optional<FolderSettings> FolderFile::load() const
{
    if (!platform::fileExists(m_path))
        return std::nullopt;
    const QList<QByteArray> lines = platform::splitTextLines(platform::readSettingsFile(m_path), 3);
    return FolderSettings{.localFolder = platform::fromCodePage(lines[0]),
                          .remoteFolder = platform::fromCodePage(lines[1]),
                          .password = lines[2]};
}

void FolderFile::save(const FolderSettings& settings) const
{
    const QByteArray content = folderLine(settings.localFolder) + folderLine(settings.remoteFolder)
        + settings.password + "\r\n";
    platform::saveSettingsFile(m_path, content);
}

FolderSettings keepOthersChanges(const FolderSettings& ours, const FolderSettings& shown,
                                 const FolderSettings& read, const FolderSettings& now)
{
    FolderSettings saved = ours;
    if (ours.localFolder == shown.localFolder && now.localFolder != read.localFolder)
        saved.localFolder = now.localFolder;
    if (ours.remoteFolder == shown.remoteFolder && now.remoteFolder != read.remoteFolder)
        saved.remoteFolder = now.remoteFolder;
    if (ours.password == shown.password && now.password != read.password)
        saved.password = now.password;
    return saved;
}
