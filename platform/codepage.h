// The 8-bit code page of the program's texts: GBK. Settings files and the FTP
// dialogue carry GBK bytes; widgets hold QString.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace platform {

QByteArray toCodePage(const QString& text);
QString fromCodePage(const QByteArray& bytes);

// The text in GBK, or nothing when GBK cannot hold one of its characters (never a "?").
std::optional<QByteArray> toCodePageExactly(const QString& text);

// Length of the longest prefix of `bytes` of at most `limit` bytes that does not
// end in the middle of a GBK character (never a lone lead byte).
qsizetype codePagePrefixLength(const QByteArray& bytes, qsizetype limit);

} // namespace platform
