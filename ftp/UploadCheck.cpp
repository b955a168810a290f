// Checking a stored upload by its hash or size.
#include "ftp/UploadCheck.h"

using ftp::firstLine;
using ftp::isBetween;

namespace {

// The algorithms a check can compute while sending, the stronger first.
const QByteArrayList checkHashes{"SHA-256", "SHA-1"};

} // namespace

UploadCheck::UploadCheck(ControlConnection& control, const NameEncoding& encoding,
                         UploadProgress& progress)
    : m_control(control)
    , m_encoding(encoding)
    , m_lastUpload(progress)
{
}

void UploadCheck::startSession(const QByteArrayList& features)
{
    m_features = features;
    m_sessionHash.reset();
}

void UploadCheck::chooseCheck(bool enabled)
{
    m_uploadHash = enabled ? sessionHash() : QByteArray();
    m_sizeCheck = enabled && ftp::hasFeature(m_features, "SIZE");
}

void UploadCheck::watch(BlockingSocket& data)
{
    m_hash.reset();
    if (m_uploadHash.isEmpty())
        return;
    m_hash.emplace(m_uploadHash == "SHA-1" ? QCryptographicHash::Sha1 : QCryptographicHash::Sha256);
    data.OnFileData = [this](const char* bytes, qsizetype size) {
        m_hash->addData(QByteArrayView(bytes, size));
    };
}

void UploadCheck::verify(const QByteArray& remoteName, qint64 sent)
{
    // Only in binary type is the server's size the count of bytes sent. A hash, when
    // offered, checks the content too.
    if (m_hash)
        verifyHash(remoteName, sent, m_hash->result().toHex());
    else if (m_sizeCheck)
        verifySize(remoteName, sent);
}

QByteArray UploadCheck::sessionHash()
{
    if (m_sessionHash)
        return *m_sessionHash;
    const ftp::HashOffer offer = ftp::hashOffer(m_features);
    QByteArray chosen;
    for (const QByteArray& algorithm : checkHashes) {
        if (offer.algorithms.contains(algorithm)) {
            chosen = algorithm;
            break;
        }
    }
    if (!chosen.isEmpty() && chosen != offer.current) {
        m_control.command("OPTS HASH " + chosen);
        // Refused: the current algorithm still serves when it is one a check can compute.
        if (!isBetween(m_control.ReplyCode, 200, 299))
            chosen = checkHashes.contains(offer.current) ? offer.current : QByteArray();
    }
    m_sessionHash = chosen;
    return chosen;
}

void UploadCheck::verifyHash(const QByteArray& remoteName, qint64 sent, const QByteArray& digest)
{
    const QByteArray algorithm = m_uploadHash;
    const QByteArray reply = m_control.command("HASH " + remoteName);
    const QString text = ftp::replyText(reply, m_encoding);
    const QString shownAlgorithm = QString::fromLatin1(algorithm);
    if (checkNotImplemented(reply))
        return;
    if (!isBetween(m_control.ReplyCode, 200, 299))
        throw VerifyError(platform::reason(FtpCode::HashUnknown, {shownAlgorithm, text}), sent, -1,
                          text, Verification::Hash, algorithm);
    const std::optional<QByteArray> serverDigest = ftp::hashDigest(reply, algorithm);
    if (!serverDigest)
        throw VerifyError(platform::reason(FtpCode::HashReplyUnexpected, {shownAlgorithm, text}),
                          sent, -1, text, Verification::Hash, algorithm);
    if (*serverDigest != digest)
        throw VerifyError(
            platform::reason(FtpCode::HashDiffers, {shownAlgorithm, QString::number(sent)}), sent,
            -1, {}, Verification::Hash, algorithm);
    m_lastUpload.verification = Verification::Hash;
    m_lastUpload.hashName = algorithm;
}

void UploadCheck::verifySize(const QByteArray& remoteName, qint64 sent)
{
    const QByteArray reply = m_control.command("SIZE " + remoteName);
    const QString text = ftp::replyText(reply, m_encoding);
    if (checkNotImplemented(reply))
        return;
    if (!isBetween(m_control.ReplyCode, 200, 299))
        throw VerifyError(platform::reason(FtpCode::SizeUnknown, {text}), sent, -1, text);
    // "213 1234": the size is the text after the code.
    bool number = false;
    const qint64 size = firstLine(reply).mid(4).trimmed().toLongLong(&number);
    if (!number || size < 0)
        throw VerifyError(platform::reason(FtpCode::SizeNoNumber, {text}), sent, -1, text);
    if (size != sent)
        throw VerifyError(
            platform::reason(FtpCode::SizeDiffers, {QString::number(size), QString::number(sent)}),
            sent, size);
    m_lastUpload.verification = Verification::Size;
}

bool UploadCheck::checkNotImplemented(const QByteArray& reply)
{
    // "Not understood / not implemented" says nothing about the file; 550 and 450 do.
    const qint16 code = m_control.ReplyCode;
    if (code != 500 && code != 501 && code != 502 && code != 504)
        return false;
    m_lastUpload.verification = Verification::NotChecked;
    m_lastUpload.uncheckedReply = ftp::replyText(reply, m_encoding);
    return true;
}
