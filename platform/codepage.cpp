// GBK conversion through Qt's ICU-backed codecs.
#include "platform/codepage.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace platform {

QByteArray toCodePage(const QString& text)
{
    QStringEncoder encoder("GBK");
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
