// The check of a stored upload: the server's hash of the file, or its size, against what
// was sent.
#pragma once

#include "ftp/ControlConnection.h"
#include "ftp/SessionTypes.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QCryptographicHash>

#include <optional>

// After a stored upload in binary type, asks the server for the file's hash (when FEAT
// lists HASH with SHA-256 or SHA-1; "OPTS HASH" selects it once per session) and compares
// it with the hash of the bytes sent, or else for its size (when FEAT lists SIZE) and
// compares it with their count. A difference, or a server that cannot find the file,
// raises VerifyError; a check the server does not implement leaves the file unchecked.
class UploadCheck {
public:
    // `control`, `encoding` and `progress` (the upload's, which learns how it was checked)
    // are the session's and live as long as this.
    UploadCheck(ControlConnection& control, const NameEncoding& encoding, UploadProgress& progress);
    Q_DISABLE_COPY_MOVE(UploadCheck)

    // A new session with the features of its FEAT reply.
    void startSession(const QByteArrayList& features);
    // Chooses the check of the next upload before its data flows (`enabled`: checks are
    // wanted and the session is in binary type).
    void chooseCheck(bool enabled);
    // Hashes the bytes `data` sends from now on, when the check is a hash.
    void watch(BlockingSocket& data);
    // Checks the stored file `remoteName` against the `sent` bytes.
    void verify(const QByteArray& remoteName, qint64 sent);

private:
    // The session's hash algorithm for checks: SHA-256 or SHA-1 when FEAT offers one and
    // the server takes it as its current one (OPTS HASH, asked once), else empty.
    QByteArray sessionHash();
    void verifyHash(const QByteArray& remoteName, qint64 sent, const QByteArray& digest);
    void verifySize(const QByteArray& remoteName, qint64 sent);
    // A check the server answered "not understood / not implemented" (500, 501, 502, 504)
    // although FEAT listed it: the file stays stored, unchecked, and the progress says why.
    bool checkNotImplemented(const QByteArray& reply);

    ControlConnection& m_control;
    const NameEncoding& m_encoding;
    UploadProgress& m_lastUpload;
    QByteArrayList m_features;
    // sessionHash() once chosen for this session's features.
    std::optional<QByteArray> m_sessionHash;
    // The hash algorithm that checks the upload under way; empty: SIZE or no check.
    QByteArray m_uploadHash;
    bool m_sizeCheck = false;
    // Fed with the very bytes sent: no second read of the file.
    std::optional<QCryptographicHash> m_hash;
};
