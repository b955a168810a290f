// Reading replies, writing names: the pure functions of the FTP dialogue.
#include "ftp/FtpReplies.h"

#include "net/BlockingSocket.h"
#include "platform/codepage.h"
#include "platform/printable.h"

#include <algorithm>
#include <limits>

namespace {

// A byte of a PASV reply's address, or -1.
int addressByte(const QByteArray& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 0 && value <= 255 ? value : -1;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

FtpError::FtpError(const QByteArray& reply, NameEncoding encoding)
    : FtpError(reply, platform::reason(FtpCode::ServerReply, {ftp::replyText(reply, encoding)}))
{
}

FtpError::FtpError(const QByteArray& reply, platform::ReasonPtr reason)
    : ServerRefusal(std::move(reason))
    , m_reply(reply)
{
}

namespace ftp {

qint16 replyCode(const QByteArray& line)
{
    qsizetype digits = 0;
    while (digits < line.size() && digits < 10 && isDigit(line[digits]))
        ++digits;
    if (digits == 0)
        return 0;
    const qint64 value = line.left(digits).toLongLong();
    if (value > std::numeric_limits<qint16>::max())
        throw SocketError(platform::reason(FtpCode::ReplyCodeOutOfRange,
                                           {QString::fromLatin1(line.left(digits))}));
    return static_cast<qint16>(value);
}

bool isContinuationLine(const QByteArray& line)
{
    if (line.isEmpty())
        return false;
    return line[0] == ' ' || (line.size() >= 4 && line[3] == '-');
}

CommandKind commandKind(const QByteArray& command)
{
    const QByteArray word = ExtractField(command, ' ', 1) + ' ';
    if (word == "CWD ")
        return CommandKind::ctCwd;
    if (word == "DELE ")
        return CommandKind::ctDele;
    if (word == "MKD ")
        return CommandKind::ctMkd;
    if (word == "RMD ")
        return CommandKind::ctRmd;
    return command == "PWD" ? CommandKind::ctPwd : CommandKind::ctOther;
}

quint16 passivePort(const QByteArray& reply)
{
    QByteArray low = ExtractField(reply, ',', 6);
    const qsizetype close = low.indexOf(')');
    low = close < 0 ? QByteArray() : low.left(close);
    // Each field is one byte of the port; anything else is no port at all.
    const int lowByte = addressByte(low);
    const int highByte = addressByte(ExtractField(reply, ',', 5));
    if (lowByte < 0 || highByte < 0)
        throw platform::ConversionError(
            platform::reason(FtpCode::PassiveAddressUnreadable, {replyText(reply)}));
    return static_cast<quint16>(highByte * 256 + lowByte);
}

QString replyText(const QByteArray& reply, NameEncoding encoding)
{
    QByteArrayList parts;
    for (const QByteArray& rawLine : reply.split('\n')) {
        QByteArray line = rawLine;
        if (line.endsWith('\r'))
            line.chop(1);
        if (parts.isEmpty()) {
            // The first line keeps its code; "451-" opens a reply of several lines.
            if (startsWithCode(line) && line.size() > 3 && line[3] == '-')
                line[3] = ' ';
        } else if (startsWithCode(line) && (line.size() == 3 || line[3] == ' ' || line[3] == '-')) {
            line = line.mid(4);
        }
        line = line.trimmed();
        if (!line.isEmpty())
            parts << line;
    }
    return platform::printableText(decodeName(parts.join(' '), encoding));
}

QByteArrayList featureList(const QByteArray& reply)
{
    QByteArrayList features;
    if (!startsWithCode(reply) || reply[0] != '2')
        return features;
    for (const QByteArray& line : reply.split('\n')) {
        if (line.startsWith(' ') && !line.trimmed().isEmpty())
            features << line.trimmed();
    }
    return features;
}

bool hasFeature(const QByteArrayList& features, const QByteArray& name)
{
    return std::any_of(features.begin(), features.end(), [&](const QByteArray& feature) {
        return ExtractField(feature, ' ', 1).compare(name, Qt::CaseInsensitive) == 0;
    });
}

QString encodingName(NameEncoding encoding)
{
    return encoding == NameEncoding::Utf8 ? QStringLiteral("UTF-8") : QStringLiteral("GBK");
}

std::optional<QByteArray> encodeName(const QString& text, NameEncoding encoding)
{
    if (encoding == NameEncoding::Gbk)
        return platform::toCodePageExactly(text);
    // Only a broken text (a lone surrogate) has no UTF-8 form; the way back tells.
    QByteArray bytes = text.toUtf8();
    if (QString::fromUtf8(bytes) != text)
        return std::nullopt;
    return bytes;
}

QString decodeName(const QByteArray& bytes, NameEncoding encoding)
{
    return encoding == NameEncoding::Utf8 ? QString::fromUtf8(bytes)
                                          : platform::fromCodePage(bytes);
}

quint16 extendedPassivePort(const QByteArray& reply)
{
    // "(" d d d port d ")": the delimiter is whatever follows the parenthesis.
    const qsizetype open = reply.indexOf('(');
    const auto unreadable = [&reply]() -> quint16 {
        throw platform::ConversionError(platform::reason(FtpCode::NoEpsvPort, {replyText(reply)}));
    };
    if (open < 0 || open + 5 >= reply.size())
        return unreadable();
    const char delimiter = reply[open + 1];
    if (delimiter < 33 || delimiter > 126 || isDigit(delimiter)
        || reply.mid(open + 1, 3) != QByteArray(3, delimiter))
        return unreadable();
    const qsizetype end = reply.indexOf(delimiter, open + 4);
    const QByteArray digits = end < 0 ? QByteArray() : reply.mid(open + 4, end - open - 4);
    bool ok = !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), isDigit);
    const uint port = ok ? digits.toUInt(&ok) : 0;
    if (!ok || port == 0 || port > 65535 || end + 1 >= reply.size() || reply[end + 1] != ')')
        return unreadable();
    return static_cast<quint16>(port);
}

QByteArray extendedPortCommand(const QByteArray& address, quint16 port)
{
    const qsizetype zone = address.indexOf('%');
    return "EPRT |" + QByteArray(isIPv6(address) ? "2" : "1") + '|'
        + (zone < 0 ? address : address.left(zone)) + '|' + QByteArray::number(port) + '|';
}

bool startsWithReplyCode(const QByteArray& line)
{
    if (line.size() < 3 || !isDigit(line[0]) || !isDigit(line[1]) || !isDigit(line[2]))
        return false;
    const char next = line.size() > 3 ? line[3] : '\n';
    return next == ' ' || next == '-' || next == '\r' || next == '\n';
}

HashOffer hashOffer(const QByteArrayList& features)
{
    HashOffer offer;
    for (const QByteArray& feature : features) {
        if (ExtractField(feature, ' ', 1).compare("HASH", Qt::CaseInsensitive) != 0)
            continue;
        for (QByteArray name : feature.mid(4).trimmed().split(';')) {
            name = name.trimmed().toUpper();
            const bool current = name.endsWith('*');
            if (current)
                name.chop(1);
            if (name.isEmpty())
                continue;
            offer.algorithms << name;
            if (current)
                offer.current = name;
        }
    }
    return offer;
}

std::optional<QByteArray> hashDigest(const QByteArray& reply, const QByteArray& algorithm)
{
    // "213 SHA-256 0-14 <digest> <name>": the name may hold blanks and is not judged. The
    // result is on the last line; a server may announce it on earlier ones.
    QByteArray line = reply;
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    line = line.mid(line.lastIndexOf('\n') + 1);
    if (!line.startsWith("213 "))
        return std::nullopt;
    const QList<QByteArray> fields = line.mid(4).simplified().split(' ');
    if (fields.size() < 3 || fields[0].compare(algorithm, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    const QByteArray& range = fields[1];
    const qsizetype dash = range.indexOf('-');
    const auto digits = [](const QByteArray& text) {
        return !text.isEmpty() && std::all_of(text.begin(), text.end(), isDigit);
    };
    if (dash < 0 || !digits(range.left(dash)) || !digits(range.mid(dash + 1)))
        return std::nullopt;
    const QByteArray digest = fields[2].toLower();
    const qsizetype hexLength = algorithm.compare("SHA-1", Qt::CaseInsensitive) == 0 ? 40 : 64;
    const bool hex = std::all_of(digest.begin(), digest.end(),
                                 [](char c) { return isDigit(c) || (c >= 'a' && c <= 'f'); });
    if (digest.size() != hexLength || !hex)
        return std::nullopt;
    return digest;
}

bool startsWithCode(const QByteArray& line)
{
    return line.size() >= 3
        && std::all_of(line.begin(), line.begin() + 3, [](char c) { return c >= '0' && c <= '9'; });
}

// A numeric address of the IPv6 family ("::1"), as the socket reports it.
bool isIPv6(const QByteArray& address)
{
    return address.contains(':');
}

bool isBetween(qint16 code, int low, int high)
{
    return code >= low && code <= high;
}

// The first line of a reply, line end included.
QByteArray firstLine(const QByteArray& reply)
{
    const qsizetype end = reply.indexOf('\n');
    return end < 0 ? reply : reply.left(end + 1);
}

} // namespace ftp
