// Files over POSIX calls, every failure turned into the input/output error.
#include "platform/files.h"

#include "platform/application.h"
#include "platform/exception.h"
#include "platform/folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cerrno>
#include <exception>
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

QStringList& systemFoldersOverride()
{
    static QStringList folders;
    return folders;
}

QStringList systemFolders()
{
    if (!systemFoldersOverride().isEmpty())
        return systemFoldersOverride();
    return {QStringLiteral("/usr"),   QStringLiteral("/opt"),    QStringLiteral("/snap"),
            QStringLiteral("/bin"),   QStringLiteral("/sbin"),   QStringLiteral("/lib"),
            QStringLiteral("/lib32"), QStringLiteral("/lib64"),  QStringLiteral("/libx32"),
            QStringLiteral("/etc"),   QStringLiteral("/boot"),   QStringLiteral("/nix"),
            QStringLiteral("/app"),   QStringLiteral("/var/lib")};
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

int openForReading(const QString& path, int extraFlags = 0)
{
    const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC | extraFlags);
    if (fd < 0)
        raiseInOutError(errno);
    return fd;
}

// At most `maxBytes` bytes from the file's current position on.
QByteArray readUpTo(int fd, qsizetype maxBytes)
{
    QByteArray content;
    char buffer[65536];
    while (content.size() < maxBytes) {
        const auto wanted = std::min<qsizetype>(sizeof buffer, maxBytes - content.size());
        const ssize_t got = ::read(fd, buffer, static_cast<size_t>(wanted));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            raiseInOutError(errno);
        }
        if (got == 0)
            break;
        content.append(buffer, got);
    }
    return content;
}

[[noreturn]] void refuseSettingsFile(const QString& path, const char* reason)
{
    throw InOutError(QCoreApplication::translate("platform", "设置文件 %1 %2，保持原样未动")
                         .arg(path, QCoreApplication::translate("platform", reason)),
                     accessDeniedCode);
}

// The command-line tool prints the English message; the window shows the reader's text.
[[noreturn]] void raise(const char* english, const char* chinese, int code)
{
    throw InOutError(QString::fromLatin1(english), QCoreApplication::translate("platform", chinese),
                     code);
}

// A folder is refused as any unreadable file is; anything else that is not a regular file
// could block the reader (a FIFO) or never end (a device).
void checkSettingsFile(const QString& path, const struct stat& info)
{
    if (S_ISDIR(info.st_mode))
        raiseInOutError(EISDIR);
    if (!S_ISREG(info.st_mode))
        refuseSettingsFile(path, QT_TRANSLATE_NOOP("platform", "不是普通文件"));
    if (info.st_size > settingsFileLimit)
        refuseSettingsFile(path, QT_TRANSLATE_NOOP("platform", "大于 64 KiB"));
}

bool isUnder(const QString& path, const QString& folder)
{
    return folders::addSlash(path).startsWith(folders::addSlash(folder));
}

// Root may write anywhere: a folder whose bits deny writing to everyone counts as read-only.
bool writableByUser(const QString& folder)
{
    const QByteArray path = nativePath(folder);
    struct stat info {};
    if (::stat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    if (::faccessat(AT_FDCWD, path.constData(), W_OK, AT_EACCESS) != 0)
        return false;
    return ::geteuid() != 0 || (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

// An XDG base folder: the variable's value when it is an absolute path, else the default
// below the home folder.
QString xdgFolder(const char* variable, const QString& belowHome)
{
    const QString value = qEnvironmentVariable(variable);
    const QString base = QDir::isAbsolutePath(value) ? value : QDir::homePath() + belowHome;
    return folders::addSlash(QDir::cleanPath(base)) + applicationName() + u'/';
}

// Creates the folder and its missing parents for their owner only.
void makePrivateFolder(const QString& folder)
{
    const QByteArray path = nativePath(folders::removeSlash(folder));
    for (qsizetype slash = path.indexOf('/', 1);; slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? path : path.left(slash);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST)
            raiseInOutError(errno);
        if (slash < 0)
            break;
    }
    if (!folders::folderExists(folder))
        raiseInOutError(ENOTDIR);
}

// Copies the settings files found beside the program; each copy is tried, the first
// failure is reported afterwards.
void copySettingsFrom(const QString& programFolder, const QString& folder,
                      const QStringList& settingsFiles)
{
    std::exception_ptr failure;
    for (const QString& name : settingsFiles) {
        const QString source = programFolder + name;
        try {
            if (fileExists(source))
                saveSettingsFile(folder + name, readSettingsFile(source));
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
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

void setProgramFolder(const QString& folder)
{
    programFolderOverride() = folder;
}

SettingsPlace settingsPlace(const QStringList& settingsFiles)
{
    const QString program = programFolder();
    const bool holdsSettings =
        std::any_of(settingsFiles.begin(), settingsFiles.end(),
                    [&](const QString& name) { return fileExists(program + name); });
    if (writableByUser(program) && (holdsSettings || !isSystemFolder(program)))
        return {.portable = true, .settings = program, .logs = program + QStringLiteral("logs/")};
    return {.portable = false,
            .settings = xdgFolder("XDG_CONFIG_HOME", QStringLiteral("/.config")),
            .logs = xdgFolder("XDG_STATE_HOME", QStringLiteral("/.local/state"))
                + QStringLiteral("logs/")};
}

QString settingsFolder(const QStringList& settingsFiles)
{
    const SettingsPlace place = settingsPlace(settingsFiles);
    if (place.portable || folders::folderExists(place.settings))
        return place.settings;
    // The first start in the user's folder.
    makePrivateFolder(place.settings);
    copySettingsFrom(programFolder(), place.settings, settingsFiles);
    return place.settings;
}

QString logFolder(const QStringList& settingsFiles)
{
    const QString folder = settingsPlace(settingsFiles).logs;
    // A folder that cannot be made is reported by whoever writes the log, not here.
    if (!folders::folderExists(folder)) {
        try {
            makePrivateFolder(folder);
        } catch (const Exception&) {
        }
    }
    return folder;
}

bool isSystemFolder(const QString& folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    const QStringList system = systemFolders();
    return std::any_of(system.begin(), system.end(), [&](const QString& prefix) {
        return isUnder(folder, prefix) || (!canonical.isEmpty() && isUnder(canonical, prefix));
    });
}

void setSystemFolders(const QStringList& folders)
{
    systemFoldersOverride() = folders;
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
    case ENOTDIR:
        raise("File not found", QT_TRANSLATE_NOOP("platform", "找不到文件"), fileNotFoundCode);
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        raise("File access denied", QT_TRANSLATE_NOOP("platform", "文件拒绝访问"),
              accessDeniedCode);
    case ENOSPC:
    case EDQUOT: raise("Disk full", QT_TRANSLATE_NOOP("platform", "磁盘已满"), diskFullCode);
    default: raiseNumberedError(errnoValue);
    }
}

void raiseReadBeyondEnd()
{
    raise("Read beyond end of file", QT_TRANSLATE_NOOP("platform", "读取超出文件末尾"),
          readBeyondEndCode);
}

void raiseNumberedError(int code)
{
    throw InOutError(QStringLiteral("I/O error %1").arg(code),
                     QCoreApplication::translate("platform", "输入输出错误 %1").arg(code), code);
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
    QByteArray content = readUpTo(file.get(), maxBytes);
    file.closeChecked();
    return content;
}

QByteArray readSettingsFile(const QString& path)
{
    // Looked at before it is opened: opening a FIFO for reading would wait for a writer.
    struct stat info {};
    if (::stat(nativePath(path).constData(), &info) != 0)
        raiseInOutError(errno);
    checkSettingsFile(path, info);
    FileDescriptor file(openForReading(path, O_NONBLOCK | O_NOCTTY));
    // Looked at again: the name may have been given to something else in between.
    if (::fstat(file.get(), &info) != 0)
        raiseInOutError(errno);
    checkSettingsFile(path, info);
    QByteArray content = readUpTo(file.get(), settingsFileLimit + 1);
    if (content.size() > settingsFileLimit)
        refuseSettingsFile(path, QT_TRANSLATE_NOOP("platform", "大于 64 KiB"));
    file.closeChecked();
    return content;
}

void saveSettingsFile(const QString& path, const QByteArray& content)
{
    struct stat info {};
    if (::stat(nativePath(path).constData(), &info) == 0 && !S_ISDIR(info.st_mode))
        checkSettingsFile(path, info);
    // Settings files hold passwords: owner only, whatever mode an old one had.
    saveFileAtomically(path, content, true);
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
    return splitRecords(readWholeFile(path), recordSize);
}

QList<QByteArray> splitRecords(const QByteArray& content, qsizetype recordSize)
{
    QList<QByteArray> records;
    for (qsizetype offset = 0; offset + recordSize <= content.size(); offset += recordSize)
        records.append(content.mid(offset, recordSize));
    return records;
}

void saveFileAtomically(const QString& path, const QByteArray& content, bool ownerOnly)
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
    if (!ownerOnly && ::stat(target.constData(), &existing) == 0 && S_ISREG(existing.st_mode))
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
