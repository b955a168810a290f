// Why the socket or TLS failed, as codes with their parts; the English words are made here.
#pragma once

#include "platform/exception.h"

enum class NetCode {
    // Connecting.
    WinsockUnavailable,   // no parts
    HostLookupFailed,     // the name
    NameLookupTimedOut,   // no parts
    LookupTimedOut,       // no parts
    LookupCanceled,       // no parts
    NoHostAddress,        // no parts
    AlreadyConnected,     // no parts
    NotConnected,         // no parts
    ConnectionFailed,     // address:port, the cause
    DataConnectionFailed, // address:port, the cause
    TimedOut,             // no parts
    ConnectionCanceled,   // no parts
    // Waiting and sending.
    Stopped,             // what was going on, in these English words
    NoReply,             // seconds
    ReplyUnfinished,     // seconds
    NoDataReceived,      // seconds
    PeerTookNoData,      // seconds
    NoDataConnection,    // seconds
    SendAborted,         // no parts
    ReadAborted,         // no parts
    AcceptCanceled,      // no parts
    DataConnectionError, // no parts
    AcceptFailed,        // the socket error's text
    LineTooLong,         // bytes
    TextTooLong,         // bytes
    SocketErrorText,     // "10061:Connection refused", the socket table's words
    NoTimer,             // no parts
    // The system's words for an error number (the part), which a window may word itself.
    PermissionDenied,
    TooManyOpenFiles,
    NoBufferSpace,
    AddressInUse,
    AddressNotAvailable,
    FamilyNotSupported,
    NetworkDown,
    NetworkUnreachable,
    HostUnreachable,
    ConnectionRefused,
    ConnectionReset,
    OtherSystemError,
    // TLS.
    TlsSetupFailed,         // the cause
    TlsHandshakeFailed,     // address:port, the cause
    DataTlsHandshakeFailed, // address:port, the cause
    TlsFailed,              // address:port, the cause
    DataTlsFailed,          // address:port, the cause
    TlsHandshakeCanceled,   // no parts
    NoTlsHandshake,         // seconds
    NoTlsEnd,               // address:port, seconds
    ClosedInHandshake,      // no parts
    ClosedInTlsClose,       // no parts
    TlsEndedInHandshake,    // no parts
    TlsEndedInTlsClose,     // no parts
    HandshakeFailed,        // no parts
    TlsCloseFailed,         // no parts
    ReceivingFailed,        // no parts
    SendingFailed,          // no parts
    OpenSslWords,           // OpenSSL's own words
    OpenSslNumber,          // OpenSSL's error number, hexadecimal
    AnsweredInClear,        // the server's clear answer
};

// The English words of a code, "%n" standing for its parts in order.
const char* englishForm(NetCode code);

using NetReason = platform::CodedReason<NetCode>;

// The system's words for a socket layer error number ("connection refused"); none for 0.
platform::ReasonPtr systemCause(int socketError);
