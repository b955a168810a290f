// TLS as the client of a connection of the socket layer, on OpenSSL. The OpenSSL types stay
// in TlsChannel.cpp: users of the socket class see none of them.
#pragma once

#include "net/NetReasons.h"
#include "platform/exception.h"

#include <QByteArray>
#include <QString>

#include <memory>

// TLS failed: a handshake that did not complete, a record that does not decrypt, a server
// that refused TLS. The message is in the server's or OpenSSL's words.
class TlsError : public platform::Exception {
public:
    using Exception::Exception;
};

// What a completed handshake established about the server.
struct TlsPeer {
    QString protocol;       // "TLS 1.3", "TLS 1.2"
    QByteArray fingerprint; // SHA-256 of the certificate: "AB:CD:..." upper-case hex
    bool trustedBySystem = false;
    QString untrustedReason; // OpenSSL's words when not trusted ("self-signed certificate")
    bool resumed = false;    // the session of another connection was resumed
    // The certificate is outside its validity: when it expired or becomes valid ("2020-01-31
    // 12:00 UTC"); empty when it is valid now.
    QString expiredOn;
    QString notYetValidBefore;
    // A failed handshake with a server that answered in clear (an FTP greeting where TLS
    // was due): the first line it sent, unchanged; empty otherwise.
    QByteArray clearAnswer;
};

// The settings of one client: TLS 1.2 and 1.3 only, the system's trust store for checking
// certificates. Shared by a control connection and its data connections.
class TlsContext {
public:
    // TlsError when OpenSSL cannot make one.
    TlsContext();
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    struct Impl;
    Impl& impl() const { return *m_impl; }

private:
    std::unique_ptr<Impl> m_impl;
};

// One TLS connection over a socket of the socket layer (its handle), which carries its
// bytes; never blocks. Receiving and sending answer as the socket layer's recv and send
// do: a count, 0 for the end of the stream, or -1 with the layer's last error set
// (would-block while TLS waits for the socket); Failed when TLS itself failed (failure()).
class TlsChannel {
public:
    enum Step { Done, WantRead, WantWrite, Failed };
    static constexpr int failedResult = -2;

    // `peerName` is the host name or address the certificate is checked against; a name is
    // also sent as the server name (SNI).
    TlsChannel(std::shared_ptr<TlsContext> context, quint16 socket, const QByteArray& peerName);
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // Offers the current session of `other` for resumption (before the handshake).
    void resumeSessionOf(const TlsChannel& other);
    // Whether this connection holds a session that a later one can resume (with TLS 1.3
    // it arrives in a ticket after the handshake, read with the first reply).
    bool hasResumableSession() const;

    Step handshake();
    const TlsPeer& peer() const { return m_peer; }

    // peek: the bytes stay for the next receive. Bytes that arrived are taken in as far
    // as `length` asks, across records.
    int receive(char* buffer, int length, bool peek);
    int send(const char* buffer, int length);
    // What the last would-block waits for.
    bool wantsRead() const { return m_wantsRead; }
    // Bytes decrypted and not yet received.
    int buffered() const { return int(m_plain.size()); }

    // Sends close_notify (once); Done when sent, WantWrite while the socket is full.
    Step sendClose();
    // The peer's close_notify arrived.
    bool closeReceived() const { return m_closeReceived; }
    // The stream ended without the peer's close_notify.
    bool endedUncleanly() const { return m_eof && !m_closeReceived; }

    // Why TLS failed (NetCode); empty while it has not.
    const platform::ReasonPtr& failure() const { return m_failure; }

private:
    struct Impl;
    // Reads what the socket holds into m_plain, up to `wanted` bytes in all.
    void fill(int wanted);
    Step stepOf(int result, bool handshake);

    std::unique_ptr<Impl> m_impl;
    TlsPeer m_peer;
    QByteArray m_plain;
    platform::ReasonPtr m_failure;
    // The socket layer's error that ended the connection (0: none).
    int m_socketError = 0;
    bool m_eof = false;
    bool m_closeReceived = false;
    bool m_closeSent = false;
    bool m_wantsRead = false;
};
