// The folder file Dirt.cfg: local notice folder, remote folder and settings password.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

struct FolderSettings {
    QString localFolder;
    QString remoteFolder;
    // GBK bytes as stored: the password gate compares them byte for byte.
    QByteArray password;

    bool operator==(const FolderSettings&) const = default;
};

// What a save writes so that two windows do not undo each other: a value this window left
// as it showed it after reading `read` (`shown`) takes the file's value `now` when another
// window changed it since; every other value is this window's (`ours`).
FolderSettings keepOthersChanges(const FolderSettings& ours, const FolderSettings& shown,
                                 const FolderSettings& read, const FolderSettings& now);

// Three GBK lines ended by CR LF. Read by the carriage-return rules (an LF after a CR is
// skipped, Ctrl-Z ends the file, a missing line is empty, nothing is trimmed).
class FolderFile {
public:
    explicit FolderFile(QString path);

    // The settings of the file; none when there is no file. A FIFO, a device or a file
    // above 64 KiB is refused and left as it is (platform::readSettingsFile).
    std::optional<FolderSettings> load() const;
    // Replaces the file atomically; an empty folder is written as ".".
    void save(const FolderSettings& settings) const;

private:
    QString m_path;
};
