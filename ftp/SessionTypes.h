// What every station session shares, whatever its protocol: the choices it is made with,
// what an upload got across, and the failures a send run tells apart.
#pragma once

#include "ftp/FtpReasons.h"
#include "net/TlsChannel.h"
#include "platform/exception.h"

#include <QByteArray>
#include <QString>

// The protocol a station is reached by.
enum class Protocol { Ftp, Sftp };

// The encoding of the folder and file names of a session.
enum class NameEncoding { Gbk, Utf8 };
// How a session's name encoding is chosen: from the server's FEAT reply, or fixed.
enum class EncodingChoice { Auto, Gbk, Utf8 };

// How an upload's data connection is opened. Auto: passive, and active for the rest of the
// session once the server refused PASV (and EPSV) with a 5xx reply; a passive data
// connection that cannot be opened is a failure of the upload, never a reason to listen.
enum class TransferMode { Auto, Active, Passive };

// Whether a session uses TLS. Explicit ("AUTH TLS"): Auto when the server accepts AUTH TLS
// and in clear otherwise; Require: no TLS, no login (the password never goes in clear); Off:
// never asked. Implicit: TLS from the first byte, as on port 990.
enum class TlsMode { Auto, Require, Off, Implicit };

// What a session's TLS is, as Connect() found it.
struct TlsSessionInfo {
    bool encrypted = false; // the control connection is TLS (and so is every data connection)
    bool asked = false;     // AUTH TLS was sent
    bool offered = false;   // the server accepted AUTH TLS (false with Auto on a plain server)
    QString protocol;       // "TLS 1.3" / "TLS 1.2"
    QByteArray fingerprint; // SHA-256 of the server's certificate, "AB:CD:..." upper-case hex
    bool trustedBySystem = false; // the system's trust store accepts it for the host
};

// The server's certificate is neither trusted by the system nor the one remembered for the
// station: the login is not attempted. The message names both fingerprints.
class CertificateChangedError : public TlsError {
public:
    CertificateChangedError(const QString& host, QByteArray remembered, QByteArray presented);
    const QByteArray& remembered() const noexcept { return m_remembered; }
    const QByteArray& presented() const noexcept { return m_presented; }

private:
    QByteArray m_remembered;
    QByteArray m_presented;
};

// How a stored file was checked on the server: not at all, by its size there (SIZE), or by
// the server's hash of it (HASH) against the hash of the bytes sent.
enum class Verification { NotChecked, Size, Hash };

// What an upload got across: the local file's size and the bytes handed to the data
// connection, also when the upload failed; and how the stored file was checked.
struct UploadProgress {
    qint64 size = 0;
    qint64 sent = 0;
    Verification verification = Verification::NotChecked;
    // The hash algorithm of a Hash check ("SHA-256", "SHA-1").
    QByteArray hashName = {};
    // The file is stored but the server cannot check it (SIZE or HASH answered 500, 501, 502
    // or 504): its refusal as one printable line; else empty.
    QString uncheckedReply = {};
};

// The server holds another file than was sent (another size, another hash), or could not
// find it (SIZE or HASH answered 550, 450 or another refusal than "not implemented"), or
// gave a reply that is no number or in an unexpected form: the file is not delivered. The message
// names both sizes or gives the server's reply.
class VerifyError : public platform::Exception {
public:
    VerifyError(platform::ReasonPtr reason, qint64 sent, qint64 serverSize, QString reply = {},
                Verification check = Verification::Size, QByteArray hashName = {});
    qint64 sent() const noexcept { return m_sent; }
    // -1 when the server told no size.
    qint64 serverSize() const noexcept { return m_serverSize; }
    // The server's reply as one line when it told no size or hash; empty otherwise.
    const QString& reply() const noexcept { return m_reply; }
    // Size or Hash: the check that failed.
    Verification check() const noexcept { return m_check; }
    // The algorithm of a failed Hash check.
    const QByteArray& hashName() const noexcept { return m_hashName; }
    // The server told a size or hash, and it is not the file's.
    bool differs() const noexcept { return m_reply.isEmpty(); }

private:
    qint64 m_sent;
    qint64 m_serverSize;
    QString m_reply;
    Verification m_check;
    QByteArray m_hashName;
};

// A local file that cannot be opened for an upload: "Cannot open file <path>".
class FileOpenError : public platform::Exception {
public:
    using Exception::Exception;
};

// A name the session's encoding cannot hold; it is not sent.
class NameEncodingError : public platform::Exception {
public:
    using Exception::Exception;
};

// A refusal in the server's own words (a reply, an SFTP status): the server is still there.
class ServerRefusal : public platform::Exception {
public:
    using Exception::Exception;
};

// The server's host key is neither in the user's known_hosts for the host nor the one
// remembered for the station: no password is sent. Both fingerprints are "SHA256:...".
class HostKeyChangedError : public platform::Exception {
public:
    HostKeyChangedError(const QString& host, QByteArray remembered, QByteArray presented);
    const QByteArray& remembered() const noexcept { return m_remembered; }
    const QByteArray& presented() const noexcept { return m_presented; }

private:
    QByteArray m_remembered;
    QByteArray m_presented;
};
