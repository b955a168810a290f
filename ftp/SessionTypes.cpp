// The failures that every station session shares.
#include "ftp/SessionTypes.h"

#include <utility>

VerifyError::VerifyError(platform::ReasonPtr reason, qint64 sent, qint64 serverSize, QString reply,
                         Verification check, QByteArray hashName)
    : platform::Exception(std::move(reason))
    , m_sent(sent)
    , m_serverSize(serverSize)
    , m_reply(std::move(reply))
    , m_check(check)
    , m_hashName(std::move(hashName))
{
}

CertificateChangedError::CertificateChangedError(const QString& host, QByteArray remembered,
                                                 QByteArray presented)
    : TlsError(
        platform::reason(FtpCode::CertificateChanged,
                         {host, QString::fromLatin1(remembered), QString::fromLatin1(presented)}))
    , m_remembered(std::move(remembered))
    , m_presented(std::move(presented))
{
}

HostKeyChangedError::HostKeyChangedError(const QString& host, QByteArray remembered,
                                         QByteArray presented)
    : platform::Exception(
        platform::reason(FtpCode::HostKeyChanged,
                         {host, QString::fromLatin1(remembered), QString::fromLatin1(presented)}))
    , m_remembered(std::move(remembered))
    , m_presented(std::move(presented))
{
}
