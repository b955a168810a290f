// The failures that every station session shares.
#include "ftp/SessionTypes.h"

#include <utility>

VerifyError::VerifyError(const QString& message, qint64 sent, qint64 serverSize, QString reply,
                         Verification check, QByteArray hashName)
    : platform::Exception(message)
    , m_sent(sent)
    , m_serverSize(serverSize)
    , m_reply(std::move(reply))
    , m_check(check)
    , m_hashName(std::move(hashName))
{
}

CertificateChangedError::CertificateChangedError(const QString& host, QByteArray remembered,
                                                 QByteArray presented)
    : TlsError(QStringLiteral("The certificate of %1 has changed: remembered %2, presented %3")
                   .arg(host, QString::fromLatin1(remembered), QString::fromLatin1(presented)))
    , m_remembered(std::move(remembered))
    , m_presented(std::move(presented))
{
}

HostKeyChangedError::HostKeyChangedError(const QString& host, QByteArray remembered,
                                         QByteArray presented)
    : platform::Exception(QStringLiteral("The host key of %1 has changed: remembered %2, presented %3")
                              .arg(host, QString::fromLatin1(remembered),
                                   QString::fromLatin1(presented)))
    , m_remembered(std::move(remembered))
    , m_presented(std::move(presented))
{
}
