// The run log in the pane and on disk.
#include "app/RunLog.h"

#include "app/RunTexts.h"
#include "platform/printable.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RunLog::RunLog(PaneSink pane, QString filePath)
    : m_pane(std::move(pane))
    , m_file(std::move(filePath))
    , m_fileFailed(m_file.fileName().isEmpty())
{
}

void RunLog::add(const QString& line, bool isError, const QString& note)
{
    show(line, isError);
    write(line, note, {});
}

void RunLog::show(const QString& line, bool isError)
{
    // Lines carry server words: shown and kept, never obeyed by a terminal or a reader.
    m_pane(platform::printableText(line), isError);
}

void RunLog::write(const QString& line, const QString& note, const QString& station)
{
    if (!m_fileFailed)
        writeToFile(platform::printableText(line), platform::printableText(note),
                    platform::printableText(station));
}

QString RunLog::dailyPath(const QString& folder, const QDate& day)
{
    return folder + day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log");
}

void RunLog::writeToFile(const QString& line, const QString& note, const QString& station)
{
    if (!m_file.isOpen() && !openFile())
        return;
    QString text = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
        + QStringLiteral("  ");
    if (!station.isEmpty())
        text += u'[' + station + QStringLiteral("] ");
    text += line;
    if (!note.isEmpty())
        text += QStringLiteral("  ") + note;
    const QByteArray bytes = (text + u'\n').toUtf8();
    // Flushed per line, so that what was done is on disk even if the program dies.
    if (m_file.write(bytes) != bytes.size() || !m_file.flush())
        giveUpFile();
}

bool RunLog::openFile()
{
    QDir().mkpath(QFileInfo(m_file.fileName()).path());
    // A symbolic link in the file's place is refused, not followed; a named pipe is not
    // waited on; a new file is its owner's only.
    const int fd = ::open(QFile::encodeName(m_file.fileName()).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                          S_IRUSR | S_IWUSR);
    if (fd < 0) {
        giveUpFile(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        giveUpFile(QCoreApplication::translate("RunTexts", "不是普通文件"));
        return false;
    }
    if (!m_file.open(fd, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        giveUpFile();
        return false;
    }
    return true;
}

void RunLog::giveUpFile(const QString& reason)
{
    m_fileFailed = true;
    const QString shownReason = reason.isEmpty() ? m_file.errorString() : reason;
    m_file.close();
    m_pane(runtexts::logFileFailedLine(m_file.fileName(), shownReason), true);
}
