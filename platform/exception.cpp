// The program's exception classes.
#include "platform/exception.h"

#include <utility>

namespace platform {

QString fillForm(const QString& form, const QStringList& parts)
{
    QString text;
    text.reserve(form.size());
    for (qsizetype at = 0; at < form.size(); ++at) {
        const QChar digit = at + 1 < form.size() ? form[at + 1] : QChar();
        const int number = digit.digitValue();
        if (form[at] == u'%' && number >= 1 && number <= parts.size()) {
            text += parts[number - 1];
            ++at;
        } else {
            text += form[at];
        }
    }
    return text;
}

Exception::Exception(QString message)
    : m_message(std::move(message))
    , m_utf8(m_message.toUtf8())
{
}

Exception::Exception(ReasonPtr reason)
    : Exception(reason->englishText())
{
    m_reason = std::move(reason);
}

InOutError::InOutError(QString message, int errorCode)
    : InOutError(message, message, errorCode)
{
}

InOutError::InOutError(QString message, QString readerText, int errorCode)
    : Exception(std::move(message))
    , m_readerText(std::move(readerText))
    , m_errorCode(errorCode)
{
}

} // namespace platform
