// The program's exception classes.
#include "platform/exception.h"

#include <utility>

namespace platform {

Exception::Exception(QString message)
    : m_message(std::move(message))
    , m_utf8(m_message.toUtf8())
{
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
