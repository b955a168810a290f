// Replies of an FTP server as the client reads them, the names it writes, and the
// refusals it raises.
#pragma once

#include "ftp/SessionTypes.h"
#include "platform/exception.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <optional>

// Which kind of operation succeeded or failed; other ordinals are never produced.
enum class CommandKind : quint8 {
    ctCwd = 0,
    ctMkd = 1,
    ctDele = 2,
    ctRmd = 3,
    ctStor = 9,
    ctOther = 14,
    ctPwd = 15,
};

// A refused reply. The message is the complete reply in the server's words (decoded in the
// session's encoding, see ftp::replyText), or a message made of it (both replies when a
// way and its fallback were refused); reply() keeps the last reply's bytes, every line with
// its line end.
class FtpError : public ServerRefusal {
public:
    explicit FtpError(const QByteArray& reply, NameEncoding encoding = NameEncoding::Gbk);
    FtpError(const QByteArray& reply, platform::ReasonPtr reason);
    const QByteArray& reply() const noexcept { return m_reply; }

private:
    QByteArray m_reply;
};

// The server refused to give a file stored under its temporary name its real name (RNFR
// answered with anything but 350, RNTO with anything but 2xx); the temporary file stays.
// The message is the server's reply.
class RenameError : public FtpError {
public:
    using FtpError::FtpError;
};

// A command text with a line break, which would carry a second command to the server;
// it is not sent.
class InvalidCommandError : public platform::Exception {
public:
    using Exception::Exception;
};

namespace ftp {

// How long the client waits for a server that sends nothing (reply, data connection).
constexpr int defaultIdleLimitMs = 60000;

// The reply code of a line: its leading decimal digits (at most ten), 0 when it does not
// begin with a digit. A code beyond 16 bits raises SocketError: the server sent no usable reply.
qint16 replyCode(const QByteArray& line);

// A line that does not end a reply: it begins with a blank or has "-" as its fourth byte.
bool isContinuationLine(const QByteArray& line);

// The kind of operation a command text stands for.
CommandKind commandKind(const QByteArray& command);

// The data port of a PASV reply: fields 5 and 6 of the comma-separated text, the sixth
// up to its ")". Raises ConversionError "Cannot read the passive address in the reply:
// <reply>" when they are missing or no bytes.
quint16 passivePort(const QByteArray& reply);

// A reply as a reader wants it: all its lines joined by one blank, without CR and LF and
// without the code that repeats on continuation lines ("451-Disk full\r\n451 Try later\r\n"
// gives "451 Disk full Try later"); decoded with the session's encoding and made printable
// (platform::printableText): the server's words are shown, never obeyed.
QString replyText(const QByteArray& reply, NameEncoding encoding = NameEncoding::Gbk);

// The features a FEAT reply lists: its lines that begin with a blank, trimmed ("UTF8",
// "REST STREAM"); none unless the reply is a 2xx.
QByteArrayList featureList(const QByteArray& reply);
// Whether the features name `name` (their first word, letter case aside).
bool hasFeature(const QByteArrayList& features, const QByteArray& name);

// "GBK" or "UTF-8".
QString encodingName(NameEncoding encoding);
// The text in the encoding, or nothing when the encoding cannot hold one of its characters.
std::optional<QByteArray> encodeName(const QString& text, NameEncoding encoding);
QString decodeName(const QByteArray& bytes, NameEncoding encoding);

// The data port of an EPSV reply: "229 Entering Extended Passive Mode (|||40123|)", any
// printable delimiter in place of "|". Raises ConversionError when there is none.
quint16 extendedPassivePort(const QByteArray& reply);

// The EPRT command that announces address:port ("EPRT |2|::1|40123|"); an IPv6 address
// goes without its zone ("%eth0"), which means nothing to the server.
QByteArray extendedPortCommand(const QByteArray& address, quint16 port);

// Whether a line begins as an FTP reply does: three digits, then a blank, "-" or its end.
bool startsWithReplyCode(const QByteArray& line);

// The hash algorithms a FEAT reply's "HASH SHA-256*;SHA-1;MD5" offers, upper-cased and
// without the star, and the starred one, the server's current algorithm.
struct HashOffer {
    QByteArrayList algorithms;
    QByteArray current;
};
HashOffer hashOffer(const QByteArrayList& features);

// The digest in a reply to HASH ("213 SHA-256 0-14 <hex digest> a.txt"), lower-case hex,
// when the reply's last line has that form for `algorithm` (letter case aside); nothing
// otherwise. Some servers say "213-Computing SHA-256 digest" first.
std::optional<QByteArray> hashDigest(const QByteArray& reply, const QByteArray& algorithm);

// Whether a line begins with three digits.
bool startsWithCode(const QByteArray& line);
// A numeric address of the IPv6 family ("::1"), as the socket reports it.
bool isIPv6(const QByteArray& address);
// Whether a reply code lies in low..high.
bool isBetween(qint16 code, int low, int high);
// The first line of a reply, line end included.
QByteArray firstLine(const QByteArray& reply);

} // namespace ftp
