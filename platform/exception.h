// The program's exceptions: a message, and for the network layers the reason it is made of.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <exception>
#include <memory>
#include <utility>

namespace platform {

// Why something failed, as the layer that found it names it: a code of that layer's own and
// its parts. The layer words it in English (the message); a window words it in its own
// language from the code.
class Reason {
public:
    virtual ~Reason() = default;
    virtual QString englishText() const = 0;
};
using ReasonPtr = std::shared_ptr<const Reason>;

// One part of a reason: words as given (an address, a count, the other side's own words),
// or a reason it wraps, whose words stand in its place.
class ReasonPart {
public:
    ReasonPart(QString text) // NOLINT: a part is as often plain words as a reason
        : m_text(std::move(text))
    {
    }
    ReasonPart(const char* text) // NOLINT
        : m_text(QString::fromUtf8(text))
    {
    }
    ReasonPart(ReasonPtr nested) // NOLINT
        : m_nested(std::move(nested))
    {
    }
    const QString& text() const noexcept { return m_text; }
    const ReasonPtr& nested() const noexcept { return m_nested; }

private:
    QString m_text;
    ReasonPtr m_nested;
};

// `form` with each "%1".."%9" replaced by that part, in one pass: a part that holds "%2"
// stays as it is.
QString fillForm(const QString& form, const QStringList& parts);

// A reason of a layer whose codes are `Code`; the layer defines `const char*
// englishForm(Code)`, its English words with "%n" for the parts.
template <typename Code>
class CodedReason final : public Reason {
public:
    CodedReason(Code code, QList<ReasonPart> parts)
        : m_code(code)
        , m_parts(std::move(parts))
    {
    }
    Code code() const noexcept { return m_code; }
    const QList<ReasonPart>& parts() const noexcept { return m_parts; }

    QString englishText() const override
    {
        QStringList words;
        for (const ReasonPart& part : m_parts)
            words << (part.nested() ? part.nested()->englishText() : part.text());
        return fillForm(QString::fromUtf8(englishForm(m_code)), words);
    }

private:
    Code m_code;
    QList<ReasonPart> m_parts;
};

template <typename Code>
ReasonPtr reason(Code code, QList<ReasonPart> parts = {})
{
    return std::make_shared<const CodedReason<Code>>(code, std::move(parts));
}

// Whether `reason` is of `code`.
template <typename Code>
bool isCode(const ReasonPtr& reason, Code code)
{
    const auto* coded = dynamic_cast<const CodedReason<Code>*>(reason.get());
    return coded && coded->code() == code;
}

class Exception : public std::exception {
public:
    explicit Exception(QString message);
    // The message is the reason's English words.
    explicit Exception(ReasonPtr reason);

    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }
    // Empty when the message is all there is.
    const ReasonPtr& reason() const noexcept { return m_reason; }

private:
    QString m_message;
    QByteArray m_utf8;
    ReasonPtr m_reason;
};

// What an exception stands for as a part of another's reason: its reason, else its words.
inline ReasonPart causeOf(const Exception& error)
{
    return error.reason() ? ReasonPart(error.reason()) : ReasonPart(error.message());
}

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
