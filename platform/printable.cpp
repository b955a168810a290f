// Server words are shown, never obeyed.
#include "platform/printable.h"

namespace platform {

namespace {

constexpr char16_t escape = 0x1B;
constexpr char16_t bell = 0x07;
constexpr char16_t csi8Bit = 0x9B;
constexpr char16_t osc8Bit = 0x9D;

bool isControl(char16_t c)
{
    return (c < 0x20 && c != u'\t') || c == 0x7F || (c >= 0x80 && c <= 0x9F);
}

// The end (one past it) of the escape sequence that starts at `start`.
qsizetype escapeEnd(const QString& text, qsizetype start)
{
    const qsizetype size = text.size();
    qsizetype i = start;
    char16_t kind = text[i].unicode();
    if (kind == escape) {
        if (++i >= size)
            return i;
        kind = text[i].unicode();
        if (kind == u'[')
            kind = csi8Bit;
        else if (kind == u']')
            kind = osc8Bit;
        else
            return i + 1; // ESC and one byte: a two-byte sequence
    }
    ++i;
    if (kind == csi8Bit) {
        // Parameters and intermediates, then one final byte from @ to ~.
        while (i < size && (text[i].unicode() < 0x40 || text[i].unicode() > 0x7E)
               && text[i].unicode() >= 0x20)
            ++i;
        return i < size && text[i].unicode() >= 0x40 ? i + 1 : i;
    }
    // An operating-system command runs to BEL or to the string terminator ESC \.
    while (i < size) {
        const char16_t c = text[i].unicode();
        if (c == bell || c == 0x9C)
            return i + 1;
        if (c == escape)
            return i + 1 < size && text[i + 1] == u'\\' ? i + 2 : i + 1;
        ++i;
    }
    return i;
}

} // namespace

QString printableText(const QString& text)
{
    QString clean;
    clean.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const char16_t c = text[i].unicode();
        if (c == escape || c == csi8Bit || c == osc8Bit) {
            i = escapeEnd(text, i);
            continue;
        }
        clean += isControl(c) ? QChar(u' ') : text[i];
        ++i;
    }
    return clean;
}

} // namespace platform
