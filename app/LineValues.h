// Values that the settings files store as lines or send as commands: no line break, no NUL.
#pragma once

#include <QString>
#include <QValidator>

#include <functional>

// True when `text` holds no CR, LF or NUL: it cannot change the shape of a stored file or
// cut a command on the wire.
bool isOneLine(const QString& text);

// The message for a value refused by that rule.
QString lineBreakRefusedMessage();

// Refuses a text (typed, pasted or committed by an input method) that is not one line, and
// says so through `refused`; `next` (if any) then checks what is left.
class OneLineValidator : public QValidator {
public:
    OneLineValidator(QObject* parent, std::function<void()> refused, QValidator* next = nullptr);

    State validate(QString& input, int& position) const override;

private:
    std::function<void()> m_refused;
    QValidator* m_next;
};
