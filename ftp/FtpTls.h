// The FTP side of a TLS session: AUTH TLS, the certificate's check, PBSZ and PROT, and the
// TLS of every data connection.
#pragma once

#include "ftp/ControlConnection.h"
#include "ftp/SessionTypes.h"

#include <QByteArray>

#include <memory>

// A certificate that the system trusts for the host is accepted; any other when no
// fingerprint is remembered or it is the remembered one, else CertificateChangedError. One
// outside its validity dates raises TlsError. A data connection resumes the control
// connection's session and must present its certificate.
class FtpTls {
public:
    // `control` and `encoding` are the session's and live as long as this.
    FtpTls(ControlConnection& control, const NameEncoding& encoding);
    Q_DISABLE_COPY_MOVE(FtpTls)

    // Starts a session's TLS afresh: its mode and the fingerprint remembered for the station.
    void reset(TlsMode mode, const QByteArray& rememberedFingerprint);
    // AUTH TLS, then secureControl(); a refusal is a failure in Require mode only.
    void negotiateTls();
    // The control connection's handshake and the certificate's check.
    void secureControl();
    // PBSZ 0 and PROT P: protected data connections.
    void protectData();
    // The TLS handshake of a data connection, resuming the control connection's session;
    // a certificate other than the control connection's raises TlsError.
    void secureData(BlockingSocket& data);
    // The data connection's TLS ends: close_notify out, the server's awaited until its final
    // reply is there.
    void finishDataTls(BlockingSocket& data);

    // The TLS of the session since the last reset().
    const TlsSessionInfo& session() const { return m_tlsSession; }

private:
    void checkCertificate(const TlsPeer& peer) const;
    // The name the certificate is checked against: the proxy's, or the host's.
    QByteArray peerName() const;
    SocketEndpoint endpoint() const { return m_control.endpoint(); }

    ControlConnection& m_control;
    const NameEncoding& m_encoding;
    TlsMode m_tlsMode = TlsMode::Off;
    QByteArray m_rememberedFingerprint;
    TlsSessionInfo m_tlsSession;
    // Made at the first TLS session, kept for the later ones.
    std::shared_ptr<TlsContext> m_tlsContext;
};
