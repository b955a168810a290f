// Reading and decoding a notice for its preview.
#include "app/NoticeText.h"

#include "app/NoticeSelection.h"
#include "platform/codepage.h"
#include "platform/exception.h"
#include "platform/files.h"

#include <QByteArray>
#include <QStringDecoder>

namespace {

// Bytes of text, far above any real notice; a bigger text would make the pane unusable.
constexpr qsizetype paneCapacity = 4 * 1024 * 1024;

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
        throw platform::Exception(QStringLiteral("Cannot open file %1").arg(path));
    }
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    if (bytes.size() > paneCapacity)
        throw platform::Exception(QStringLiteral("Text exceeds memo capacity"));

    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = platform::fromCodePage(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}
