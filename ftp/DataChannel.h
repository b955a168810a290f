// The data connections of uploads: opened passively (PASV, EPSV) or actively (PORT, EPRT).
#pragma once

#include "ftp/ControlConnection.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// Mode Auto was refused passive mode by the server; the upload is tried again actively.
struct PassiveUnavailable {
    FallbackReason reason;
};

// A step of an upload that the server refused: its reply, and the message of the refusal
// (empty: the reply's own text).
struct UploadRefusal {
    QByteArray reply;
    platform::ReasonPtr message;
};

// Owns the data connection of one upload and clears the pointer the client keeps to it on
// every way out.
class DataConnectionScope {
public:
    DataConnectionScope(BlockingSocket*& field, std::unique_ptr<BlockingSocket> connection);
    ~DataConnectionScope();
    Q_DISABLE_COPY_MOVE(DataConnectionScope)

    BlockingSocket& connection() { return *m_connection; }

private:
    BlockingSocket*& m_field;
    std::unique_ptr<BlockingSocket> m_connection;
};

// Opens the data connection of one upload on the session's control connection. A passive
// one goes to the control connection's peer, whatever address the reply names; an active
// one listens on the control connection's local address and is taken from the server's
// address only.
class DataChannel {
public:
    // `control` and `encoding` are the session's and live as long as this.
    DataChannel(ControlConnection& control, const NameEncoding& encoding);
    Q_DISABLE_COPY_MOVE(DataChannel)

    // A data connection owned by `owner` with the control connection's idle limit, its
    // waits stopped when the control connection's are.
    std::unique_ptr<BlockingSocket> newConnection(QObject* owner) const;
    // PASV, or EPSV over IPv6 and when PASV is unknown to the server (500-502), then the
    // connect. With `autoMode` a 5xx refusal raises PassiveUnavailable, as the server may
    // take PORT; any other refusal is returned.
    std::optional<UploadRefusal> openPassiveData(BlockingSocket& data, bool autoMode);
    // Listens and announces it: PORT, or EPRT over IPv6; the server's refusal is returned.
    std::optional<UploadRefusal> openActiveData(BlockingSocket& data);
    // Waits for the server to open the active data connection. A caller from another
    // address is closed at once and reported to `refused`; the server's refusal on the
    // control connection ends the wait and is returned.
    std::optional<UploadRefusal>
    acceptActiveData(BlockingSocket& data,
                     const std::function<void(const QByteArray& address)>& refused);

private:
    // A 4xx/5xx reply to PASV or EPSV (`earlier`: PASV's refusal when EPSV followed it).
    UploadRefusal refusePassive(const QByteArray& earlier, const QByteArray& reply, bool autoMode);
    // While the server is to open the data connection: its refusal on the control
    // connection ends the wait.
    void watchControlWhileAccepting();
    SocketEndpoint endpoint() const { return m_control.endpoint(); }

    ControlConnection& m_control;
    const NameEncoding& m_encoding;
};
