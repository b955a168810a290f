// The program's exceptions: a message is the only payload.
#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace platform {

class Exception : public std::exception {
public:
    explicit Exception(QString message);

    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// The run-time input/output error: "File not found", "File access denied", "Disk full",
// "Read beyond end of file" or "I/O error %d". The message stays English for the command-line
// tool; the window shows readerText(), the same words in its own language.
class InOutError : public Exception {
public:
    InOutError(QString message, int errorCode);
    InOutError(QString message, QString readerText, int errorCode);
    int errorCode() const noexcept { return m_errorCode; }
    const QString& readerText() const noexcept { return m_readerText; }

private:
    QString m_readerText;
    int m_errorCode;
};

// A text that is not a valid number: "'%s' is not a valid integer value".
class ConversionError : public Exception {
public:
    using Exception::Exception;
};

} // namespace platform
