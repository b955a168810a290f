// The run log in the pane and on disk.
#include "app/RunLog.h"

#include "app/RunTexts.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <utility>

RunLog::RunLog(PaneSink pane, QString filePath)
    : m_pane(std::move(pane))
    , m_file(std::move(filePath))
    , m_fileFailed(m_file.fileName().isEmpty())
{
}

void RunLog::add(const QString& line, bool isError, const QString& note)
{
    m_pane(line, isError);
    if (!m_fileFailed)
        writeToFile(line, note);
}

QString RunLog::dailyPath(const QString& folder, const QDate& day)
{
    return folder + day.toString(QStringLiteral("yyyy-MM-dd"))
        + QStringLiteral(".log");
}

void RunLog::writeToFile(const QString& line, const QString& note)
{
    if (!m_file.isOpen()) {
        QDir().mkpath(QFileInfo(m_file.fileName()).path());
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append)) {
            giveUpFile();
            return;
        }
    }
    QString text = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
        + QStringLiteral("  ") + line;
    if (!note.isEmpty())
        text += QStringLiteral("  ") + note;
    const QByteArray bytes = (text + u'\n').toUtf8();
    // Flushed per line, so that what was done is on disk even if the program dies.
    if (m_file.write(bytes) != bytes.size() || !m_file.flush())
        giveUpFile();
}

void RunLog::giveUpFile()
{
    m_fileFailed = true;
    const QString reason = m_file.errorString();
    m_file.close();
    m_pane(runtexts::logFileFailedLine(m_file.fileName(), reason), true);
}
