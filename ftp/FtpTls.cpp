// AUTH TLS, the certificate's check, protected data connections.
#include "ftp/FtpTls.h"

#include "platform/codepage.h"
#include "platform/printable.h"

#include <cctype>

using ftp::isBetween;

namespace {

// A fingerprint as hex digits alone, upper-case: "ab:cd" and "ABCD" are the same.
QByteArray fingerprintDigits(const QByteArray& fingerprint)
{
    QByteArray digits;
    for (const char c : fingerprint) {
        if (c != ':' && c != ' ')
            digits += char(std::toupper(static_cast<unsigned char>(c)));
    }
    return digits;
}

} // namespace

FtpTls::FtpTls(ControlConnection& control, const NameEncoding& encoding)
    : m_control(control)
    , m_encoding(encoding)
{
}

void FtpTls::reset(TlsMode mode, const QByteArray& rememberedFingerprint)
{
    m_tlsMode = mode;
    m_rememberedFingerprint = rememberedFingerprint;
    m_tlsSession = {};
}

QByteArray FtpTls::peerName() const
{
    return m_control.Proxy.isEmpty() ? m_control.Host : m_control.Proxy;
}

void FtpTls::negotiateTls()
{
    m_control.ReportStatus(StatusLevel::Dialogue, "AUTH TLS");
    m_tlsSession.asked = true;
    const QByteArray reply = m_control.command("AUTH TLS");
    if (m_control.ReplyCode != 234) {
        if (m_tlsMode == TlsMode::Require)
            throw TlsError(platform::reason(
                FtpCode::Refuses, {QStringLiteral("AUTH TLS"), ftp::replyText(reply, m_encoding)}));
        return;
    }
    secureControl();
}

void FtpTls::secureControl()
{
    m_tlsSession.offered = true;
    if (!m_tlsContext)
        m_tlsContext = std::make_shared<TlsContext>();
    try {
        m_control.startTls(m_tlsContext, peerName());
    } catch (const platform::Exception&) {
        // A plain FTP server on an implicit port greets in clear: say so, in its words.
        const QByteArray clearAnswer = m_control.tlsPeer().clearAnswer;
        // Nothing more goes over a connection whose TLS failed, least of all in clear.
        m_control.Disconnect();
        if (m_tlsMode == TlsMode::Implicit && !clearAnswer.isEmpty())
            throw TlsError(platform::reason(
                NetCode::TlsHandshakeFailed,
                {QString::fromLatin1(endpoint().address) + u':' + QString::number(endpoint().port),
                 platform::reason(
                     NetCode::AnsweredInClear,
                     {platform::printableText(platform::fromCodePage(clearAnswer)).trimmed()})}));
        throw;
    }
    const TlsPeer peer = m_control.tlsPeer();
    m_tlsSession.encrypted = true;
    m_tlsSession.protocol = peer.protocol;
    m_tlsSession.fingerprint = peer.fingerprint;
    m_tlsSession.trustedBySystem = peer.trustedBySystem;
    checkCertificate(peer);
}

void FtpTls::checkCertificate(const TlsPeer& peer) const
{
    if (peer.trustedBySystem)
        return;
    const QString host = platform::fromCodePage(peerName());
    if (!peer.expiredOn.isEmpty())
        throw TlsError(platform::reason(FtpCode::CertificateExpired, {host, peer.expiredOn}));
    if (!peer.notYetValidBefore.isEmpty())
        throw TlsError(
            platform::reason(FtpCode::CertificateNotYetValid, {host, peer.notYetValidBefore}));
    // First contact, or the certificate seen before: as SSH does with host keys.
    if (m_rememberedFingerprint.isEmpty()
        || fingerprintDigits(m_rememberedFingerprint) == fingerprintDigits(peer.fingerprint))
        return;
    throw CertificateChangedError(host, m_rememberedFingerprint, peer.fingerprint);
}

void FtpTls::protectData()
{
    for (const QByteArray& request : {QByteArray("PBSZ 0"), QByteArray("PROT P")}) {
        m_control.ReportStatus(StatusLevel::Dialogue, request);
        const QByteArray reply = m_control.command(request);
        if (!isBetween(m_control.ReplyCode, 200, 299))
            throw TlsError(platform::reason(
                FtpCode::Refuses,
                {QString::fromLatin1(request), ftp::replyText(reply, m_encoding)}));
    }
}

void FtpTls::secureData(BlockingSocket& data)
{
    // With TLS 1.3 the session to resume comes in a ticket after the handshake; a reply read
    // since has brought it, and anything still waiting is taken in now.
    if (!m_control.tlsSessionResumable())
        m_control.DataAvailable();
    try {
        data.startTls(m_tlsContext, peerName(), &m_control);
    } catch (const TlsError& error) {
        // The server may say why on the control connection ("522 session reuse required").
        const QByteArray reply = m_control.readLateFinalReply();
        if (reply.isEmpty() || !isBetween(m_control.ReplyCode, 400, 599))
            throw;
        m_control.setFinalReplyDue(false);
        throw TlsError(platform::reason(
            FtpCode::ServerSays, {platform::causeOf(error), ftp::replyText(reply, m_encoding)}));
    }
    // Whoever answers the data connection must be the party the login went to.
    const QByteArray presented = data.tlsPeer().fingerprint;
    if (fingerprintDigits(presented) != fingerprintDigits(m_tlsSession.fingerprint))
        throw TlsError(platform::reason(FtpCode::DataCertificateDiffers,
                                        {QString::fromLatin1(data.endpoint().address) + u':'
                                             + QString::number(data.endpoint().port),
                                         QString::fromLatin1(presented),
                                         QString::fromLatin1(m_tlsSession.fingerprint)}));
}

void FtpTls::finishDataTls(BlockingSocket& data)
{
    data.finishTls([this] {
        // A server that keeps the data connection open after its final reply need not
        // send its close_notify: the reply says all.
        if (m_control.DataAvailable())
            return true;
        m_control.wakeOnActivity();
        return false;
    });
}
