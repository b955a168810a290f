// The file system as the program sees it: its own folder, text files read line by
// line and record files, all failing with InOutError.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace platform {

// The folder of the running executable, ending in "/".
QString programFolder();

// Test seam: makes programFolder() answer `folder` instead (a "/" is appended
// when missing). An empty text restores the executable's folder.
void setProgramFolder(const QString& folder);

// The folder that holds the settings files (and the run logs below it), ending in "/".
QString settingsFolder();

// True when an entry of that name exists (file, folder or anything else).
bool fileExists(const QString& path);

// Raises the input/output error that stands for the system error `errnoValue`:
// "File not found", "File access denied", "Disk full" or "I/O error %d".
[[noreturn]] void raiseInOutError(int errnoValue);

// Raises "Read beyond end of file".
[[noreturn]] void raiseReadBeyondEnd();

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

// Replaces the file at `path` with `content` atomically: the bytes are written
// beside it and renamed over it, so a failure leaves the old file whole. A new
// file is readable and writable by its owner only; an existing one keeps its
// permissions.
void saveFileAtomically(const QString& path, const QByteArray& content);

} // namespace platform
