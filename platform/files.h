// The file system as the program sees it: its own folder, where its settings and run
// logs live, text files read line by line and record files, all failing with InOutError.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace platform {

// The folder of the running executable, ending in "/".
QString programFolder();

// Test seam: makes programFolder() answer `folder` instead (a "/" is appended
// when missing). An empty text restores the executable's folder.
void setProgramFolder(const QString& folder);

// Where the settings files and the run logs live. Portable use keeps both beside the
// program; an installed program keeps them in the user's folders.
struct SettingsPlace {
    bool portable = true;
    QString settings; // ends in "/"
    QString logs;     // ends in "/"
};

// The place in use, decided afresh on each call; creates nothing. Portable when the
// program's folder is writable by the user (its permission bits allow it, even to root)
// and either already holds one of the program's `settingsFiles` (names) or is no system folder.
// Otherwise the settings go to $XDG_CONFIG_HOME/Zarvel/ (~/.config/Zarvel/) and the logs to
// $XDG_STATE_HOME/Zarvel/logs/ (~/.local/state/Zarvel/logs/).
SettingsPlace settingsPlace(const QStringList& settingsFiles);

// The folder that holds the settings files, ending in "/". The user's folder is created
// (0700) when missing, and then takes a copy of each of the settings files found beside
// the program, whose originals stay.
QString settingsFolder(const QStringList& settingsFiles);

// The folder of the run logs, ending in "/", created (0700) when missing; a folder that
// cannot be made is left for the log writer to report.
QString logFolder(const QStringList& settingsFiles);

// True for a folder under one of the system folders (/usr, /opt, /snap, /bin, /lib ...),
// also after its symbolic links are resolved.
bool isSystemFolder(const QString& folder);

// Test seam: the folders that count as system folders; an empty list restores the default.
void setSystemFolders(const QStringList& folders);

// True when an entry of that name exists (file, folder or anything else).
bool fileExists(const QString& path);

// Raises the input/output error that stands for the system error `errnoValue`:
// "File not found", "File access denied", "Disk full" or "I/O error %d".
[[noreturn]] void raiseInOutError(int errnoValue);

// Raises "Read beyond end of file".
[[noreturn]] void raiseReadBeyondEnd();

// Raises "I/O error %d" with `code`, a code of the system's or of the program's own.
[[noreturn]] void raiseNumberedError(int code);

// The whole content of a file opened for reading only.
QByteArray readWholeFile(const QString& path);

// At most the first `maxBytes` bytes of a file opened for reading only, so that a
// huge file costs no more than that.
QByteArray readFileStart(const QString& path, qsizetype maxBytes);

// The first `count` lines of a text: a line ends at CR, an LF directly after
// the CR is skipped, a byte 26 (Ctrl-Z) ends the text; a missing line is empty.
// Nothing is trimmed.
QList<QByteArray> splitTextLines(const QByteArray& text, int count);

// The first `count` lines of a text file by the rules of splitTextLines.
QList<QByteArray> readTextLines(const QString& path, int count);

// The complete records of `recordSize` bytes of a record file opened for
// reading only; bytes of an incomplete last record are never read.
QList<QByteArray> readRecords(const QString& path, qsizetype recordSize);

// The complete records of `recordSize` bytes of a content; an incomplete last one is dropped.
QList<QByteArray> splitRecords(const QByteArray& content, qsizetype recordSize);

// A settings file is a regular file of at most this many bytes.
constexpr qsizetype settingsFileLimit = 64 * 1024;

// The content of a settings file. One that is not a regular file (a FIFO, a device, a link
// to one) or is larger than settingsFileLimit is refused with an InOutError that says so,
// without waiting on it; a folder in its place is "File access denied".
QByteArray readSettingsFile(const QString& path);

// Saves a settings file atomically (see saveFileAtomically) and readable by its owner only,
// but never in place of a file that readSettingsFile refuses: that one stays as it is.
void saveSettingsFile(const QString& path, const QByteArray& content);

// Replaces the file at `path` with `content` atomically: the bytes are written
// beside it and renamed over it, so a failure leaves the old file whole. A new
// file is readable and writable by its owner only; an existing one keeps its
// permissions unless `ownerOnly`.
void saveFileAtomically(const QString& path, const QByteArray& content, bool ownerOnly = false);

} // namespace platform
