// GBK conversion through Qt's ICU-backed codecs.
#include "platform/codepage.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace platform {

namespace {

// A lone GBK lead byte at the end of a text (a password cut by another program, say) is
// kept as a private-use character that GBK does not map, so that the way back restores it.
constexpr char16_t loneLeadBase = 0xF700;

bool isLoneLead(QChar c)
{
    return c.unicode() >= loneLeadBase + 0x81 && c.unicode() <= loneLeadBase + 0xFE;
}

} // namespace

QByteArray toCodePage(const QString& text)
{
    QStringEncoder encoder("GBK");
    if (!text.isEmpty() && isLoneLead(text.back()))
        return encoder.encode(QStringView(text).chopped(1))
            + char(text.back().unicode() - loneLeadBase);
    return encoder.encode(text);
}

std::optional<QByteArray> toCodePageExactly(const QString& text)
{
    // The encoder puts a substitute in place of what GBK lacks; the way back tells.
    QByteArray bytes = toCodePage(text);
    if (fromCodePage(bytes) != text)
        return std::nullopt;
    return bytes;
}

QString fromCodePage(const QByteArray& bytes)
{
    QStringDecoder decoder("GBK");
    // Whole characters up to the last byte, and that byte a lead byte: it stands alone.
    const qsizetype whole = bytes.size() - 1;
    if (whole >= 0 && codePagePrefixLength(bytes, whole) == whole
        && static_cast<unsigned char>(bytes.back()) >= 0x81
        && static_cast<unsigned char>(bytes.back()) <= 0xFE)
        return decoder.decode(bytes.left(whole))
            + QChar(char16_t(loneLeadBase + static_cast<unsigned char>(bytes.back())));
    return decoder.decode(bytes);
}

qsizetype codePagePrefixLength(const QByteArray& bytes, qsizetype limit)
{
    qsizetype end = 0;
    qsizetype i = 0;
    while (i < bytes.size() && i < limit) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        // A GBK lead byte (0x81..0xFE) starts a two-byte character.
        const qsizetype width = (byte >= 0x81 && byte <= 0xFE && i + 1 < bytes.size()) ? 2 : 1;
        if (i + width > limit)
            break;
        i += width;
        end = i;
    }
    return end;
}

} // namespace platform
