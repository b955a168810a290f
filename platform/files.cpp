// Files over POSIX calls, every failure turned into the input/output error.
#include "platform/files.h"

#include "platform/exception.h"
#include "platform/folders.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

constexpr int fileNotFoundCode = 2;
constexpr int accessDeniedCode = 5;
constexpr int readBeyondEndCode = 100;
constexpr int diskFullCode = 101;
constexpr char ctrlZ = 26;

QString& programFolderOverride()
{
    static QString folder;
    return folder;
}

QByteArray nativePath(const QString& path)
{
    return QFile::encodeName(path);
}

// Owns one file descriptor.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {
    }
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return m_fd; }

    // Closes now and reports the failure of the close (delayed write errors show here).
    void closeChecked()
    {
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0)
            raiseInOutError(errno);
    }

private:
    int m_fd;
};

int openForReading(const QString& path)
{
    const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        raiseInOutError(errno);
    return fd;
}

void writeAll(int fd, const QByteArray& content)
{
    qsizetype done = 0;
    while (done < content.size()) {
        const ssize_t written =
            ::write(fd, content.constData() + done, static_cast<size_t>(content.size() - done));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            raiseInOutError(errno);
        }
        done += written;
    }
}

// Removes the temporary file unless it was renamed into place.
class TemporaryFileGuard {
public:
    explicit TemporaryFileGuard(QByteArray path)
        : m_path(std::move(path))
    {
    }
    ~TemporaryFileGuard()
    {
        if (!m_path.isEmpty())
            ::unlink(m_path.constData());
    }
    TemporaryFileGuard(const TemporaryFileGuard&) = delete;
    TemporaryFileGuard& operator=(const TemporaryFileGuard&) = delete;

    void release() { m_path.clear(); }

private:
    QByteArray m_path;
};

} // namespace

QString programFolder()
{
    const QString& folder = programFolderOverride();
    return folders::addSlash(folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder);
}

QString settingsFolder()
{
    return programFolder();
}

void setProgramFolder(const QString& folder)
{
    programFolderOverride() = folder;
}

bool fileExists(const QString& path)
{
    struct stat info {};
    return ::lstat(nativePath(path).constData(), &info) == 0;
}

void raiseInOutError(int errnoValue)
{
    switch (errnoValue) {
    case ENOENT:
    case ENOTDIR: throw InOutError(QStringLiteral("File not found"), fileNotFoundCode);
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY: throw InOutError(QStringLiteral("File access denied"), accessDeniedCode);
    case ENOSPC:
    case EDQUOT: throw InOutError(QStringLiteral("Disk full"), diskFullCode);
    default: throw InOutError(QStringLiteral("I/O error %1").arg(errnoValue), errnoValue);
    }
}

void raiseReadBeyondEnd()
{
    throw InOutError(QStringLiteral("Read beyond end of file"), readBeyondEndCode);
}

QByteArray readWholeFile(const QString& path)
{
    return readFileStart(path, std::numeric_limits<qsizetype>::max());
}

QByteArray readFileStart(const QString& path, qsizetype maxBytes)
{
    FileDescriptor file(openForReading(path));
    struct stat info {};
    if (::fstat(file.get(), &info) != 0)
        raiseInOutError(errno);
    if (S_ISDIR(info.st_mode))
        raiseInOutError(EISDIR);

    QByteArray content;
    char buffer[65536];
    while (content.size() < maxBytes) {
        const auto wanted = std::min<qsizetype>(sizeof buffer, maxBytes - content.size());
        const ssize_t got = ::read(file.get(), buffer, static_cast<size_t>(wanted));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            raiseInOutError(errno);
        }
        if (got == 0)
            break;
        content.append(buffer, got);
    }
    file.closeChecked();
    return content;
}

QList<QByteArray> splitTextLines(const QByteArray& text, int count)
{
    QList<QByteArray> lines;
    qsizetype position = 0;
    bool atEnd = false;
    while (lines.size() < count) {
        QByteArray line;
        while (!atEnd && position < text.size()) {
            const char byte = text[position];
            if (byte == ctrlZ) {
                atEnd = true;
                break;
            }
            ++position;
            if (byte == '\r') {
                if (position < text.size() && text[position] == '\n')
                    ++position;
                break;
            }
            line.append(byte);
        }
        if (position >= text.size())
            atEnd = true;
        lines.append(line);
    }
    return lines;
}

QList<QByteArray> readTextLines(const QString& path, int count)
{
    return splitTextLines(readWholeFile(path), count);
}

QList<QByteArray> readRecords(const QString& path, qsizetype recordSize)
{
    const QByteArray content = readWholeFile(path);
    QList<QByteArray> records;
    for (qsizetype offset = 0; offset + recordSize <= content.size(); offset += recordSize)
        records.append(content.mid(offset, recordSize));
    return records;
}

void saveFileAtomically(const QString& path, const QByteArray& content)
{
    const QByteArray target = nativePath(path);
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash >= 0 ? target.left(slash + 1) : QByteArray();
    const QByteArray name = target.mid(slash + 1);
    QByteArray temporary = folder + '.' + name + ".XXXXXX";

    // mkstemp creates the file for its owner only (0600).
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        raiseInOutError(errno);
    FileDescriptor file(fd);
    TemporaryFileGuard guard(temporary);

    struct stat existing {};
    if (::stat(target.constData(), &existing) == 0 && S_ISREG(existing.st_mode))
        ::fchmod(file.get(), existing.st_mode & 07777);

    writeAll(file.get(), content);
    if (::fsync(file.get()) != 0)
        raiseInOutError(errno);
    file.closeChecked();
    if (::rename(temporary.constData(), target.constData()) != 0)
        raiseInOutError(errno);
    guard.release();
}

} // namespace platform
