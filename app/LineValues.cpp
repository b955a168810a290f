// The one-line rule for values typed into the window.
#include "app/LineValues.h"

#include <QCoreApplication>

#include <utility>

bool isOneLine(const QString& text)
{
    return !text.contains(u'\r') && !text.contains(u'\n') && !text.contains(QChar(0));
}

QString lineBreakRefusedMessage()
{
    return QCoreApplication::translate("LineValues", "不能输入换行符或空字符，输入未被接受");
}

OneLineValidator::OneLineValidator(QObject* parent, std::function<void()> refused, QValidator* next)
    : QValidator(parent)
    , m_refused(std::move(refused))
    , m_next(next)
{
}

QValidator::State OneLineValidator::validate(QString& input, int& position) const
{
    if (!isOneLine(input)) {
        if (m_refused)
            m_refused();
        return Invalid;
    }
    return m_next ? m_next->validate(input, position) : Acceptable;
}
