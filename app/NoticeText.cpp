// Reading and decoding a notice for its preview.
#include "app/NoticeText.h"

#include "app/NoticeSelection.h"
#include "platform/codepage.h"
#include "platform/exception.h"
#include "platform/files.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QMimeDatabase>
#include <QStringDecoder>

#include <algorithm>

namespace {

// Bytes of text, far above any real notice; a bigger text would make the pane unusable.
constexpr qsizetype paneCapacity = 4 * 1024 * 1024;

// How much of a file tells whether it is a text.
constexpr qsizetype sniffedBytes = 1024;

bool startsWithUtf16Mark(const QByteArray& bytes)
{
    return bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
}

// A file the pane would show as garbage: its first bytes name a type that is no text (a PDF,
// an image, an archive, a program), or its first KiB holds NUL bytes that are more than the
// padding at the end of a text.
bool isBinary(const QByteArray& bytes)
{
    const QByteArray start = bytes.left(sniffedBytes);
    const QMimeType type = QMimeDatabase().mimeTypeForData(start);
    const bool recognised =
        !type.isDefault() && type.name() != QStringLiteral("application/x-zerosize");
    if (recognised && !type.inherits(QStringLiteral("text/plain")))
        return true;
    if (startsWithUtf16Mark(start))
        return false;
    const qsizetype nul = start.indexOf('\0');
    return nul >= 0
        && std::any_of(start.begin() + nul, start.end(), [](char byte) { return byte != '\0'; });
}

[[noreturn]] void raiseTooLong()
{
    throw platform::Exception(QCoreApplication::translate("NoticeText", "文本超出备注框容量"));
}

// A UTF-16 text after its byte order mark, up to its first NUL character.
QString decodeUtf16(const QByteArray& bytes)
{
    QString text = QStringDecoder(QStringDecoder::Utf16).decode(bytes);
    if (const qsizetype nul = text.indexOf(QChar(u'\0')); nul >= 0)
        text.truncate(nul);
    if (text.size() * 2 > paneCapacity)
        raiseTooLong();
    return text;
}

// An 8-bit text up to its first NUL byte: UTF-8 when it is valid UTF-8, else GBK.
QString decodeEightBit(QByteArray bytes)
{
    if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0)
        bytes.truncate(nul);
    if (bytes.size() > paneCapacity)
        raiseTooLong();
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    return utf8.hasError() ? platform::fromCodePage(bytes) : text;
}

QString extensionOf(const QString& path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot < 0 || dot < path.lastIndexOf(u'/'))
        return {};
    return path.mid(dot);
}

} // namespace

bool isTextNotice(const QString& path)
{
    return lowerAscii(extensionOf(path)) == QStringLiteral(".txt");
}

QString readNoticeText(const QString& path)
{
    // The text ends at the first NUL byte, so one byte beyond the capacity tells all.
    QByteArray bytes;
    try {
        bytes = platform::readFileStart(path, paneCapacity + 1);
    } catch (const platform::InOutError&) {
        throw platform::Exception(
            QCoreApplication::translate("NoticeText", "无法打开文件 %1").arg(path));
    }
    if (isBinary(bytes))
        throw platform::Exception(
            QCoreApplication::translate("NoticeText", "不是文本文件，无法预览"));
    QString text = startsWithUtf16Mark(bytes) ? decodeUtf16(bytes) : decodeEightBit(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}
