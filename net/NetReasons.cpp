// The socket and TLS layer's English words.
#include "net/NetReasons.h"

#include "net/compat/winsock.h"

namespace ws = compat::winsock;

const char* englishForm(NetCode code)
{
    switch (code) {
    case NetCode::WinsockUnavailable: return "Initializaton of windows sockets failed";
    case NetCode::HostLookupFailed: return "Host lookup failed: %1";
    case NetCode::NameLookupTimedOut: return "name lookup timed out";
    case NetCode::LookupTimedOut: return "Host Lookup Timed Out";
    case NetCode::LookupCanceled: return "Host Lookup Canceled";
    case NetCode::NoHostAddress: return "No host address given";
    case NetCode::AlreadyConnected: return "Already connected";
    case NetCode::NotConnected: return "Not Connected";
    case NetCode::ConnectionFailed: return "Connection to %1 failed: %2";
    case NetCode::DataConnectionFailed: return "Data connection to %1 failed: %2";
    case NetCode::TimedOut: return "timed out";
    case NetCode::ConnectionCanceled: return "Connection Canceled";
    case NetCode::Stopped: return "Stopped while %1";
    case NetCode::NoReply: return "No reply within %1 s";
    case NetCode::ReplyUnfinished: return "The reply did not end within %1 s";
    case NetCode::NoDataReceived: return "No data received within %1 s";
    case NetCode::PeerTookNoData: return "The peer accepted no data within %1 s";
    case NetCode::NoDataConnection: return "No data connection arrived within %1 s";
    case NetCode::SendAborted: return "Socket send aborted";
    case NetCode::ReadAborted: return "Socket readln aborted";
    case NetCode::AcceptCanceled: return "Accepting Canceled";
    case NetCode::DataConnectionError: return "Error creating Data Connection";
    case NetCode::AcceptFailed:
        return "Error creating Data Connection: accept gave no valid socket (%1)";
    case NetCode::LineTooLong: return "Line too long: no line end within %1 bytes";
    case NetCode::TextTooLong: return "Text to send is too long: %1 bytes, at most 65535 allowed";
    case NetCode::NoTimer: return "No Timer";
    case NetCode::SocketErrorText:
    case NetCode::PermissionDenied:
    case NetCode::TooManyOpenFiles:
    case NetCode::NoBufferSpace:
    case NetCode::AddressInUse:
    case NetCode::AddressNotAvailable:
    case NetCode::FamilyNotSupported:
    case NetCode::NetworkDown:
    case NetCode::NetworkUnreachable:
    case NetCode::HostUnreachable:
    case NetCode::ConnectionRefused:
    case NetCode::ConnectionReset:
    case NetCode::OtherSystemError:
    case NetCode::OpenSslWords: return "%1";
    case NetCode::TlsSetupFailed: return "Cannot set up TLS: %1";
    case NetCode::TlsHandshakeFailed: return "TLS handshake with %1 failed: %2";
    case NetCode::DataTlsHandshakeFailed:
        return "TLS handshake on the data connection to %1 failed: %2";
    case NetCode::TlsFailed: return "TLS failed on the connection to %1: %2";
    case NetCode::DataTlsFailed: return "TLS failed on the data connection to %1: %2";
    case NetCode::TlsHandshakeCanceled: return "TLS handshake canceled";
    case NetCode::NoTlsHandshake: return "No TLS handshake within %1 s";
    case NetCode::NoTlsEnd: return "No end of TLS from %1 within %2 s";
    case NetCode::ClosedInHandshake: return "the server closed the connection during the handshake";
    case NetCode::ClosedInTlsClose: return "the server closed the connection during the TLS close";
    case NetCode::TlsEndedInHandshake: return "the server ended TLS during the handshake";
    case NetCode::TlsEndedInTlsClose: return "the server ended TLS during the TLS close";
    case NetCode::HandshakeFailed: return "the handshake failed";
    case NetCode::TlsCloseFailed: return "the TLS close failed";
    case NetCode::ReceivingFailed: return "receiving failed";
    case NetCode::SendingFailed: return "sending failed";
    case NetCode::OpenSslNumber: return "OpenSSL error %1";
    case NetCode::AnsweredInClear: return "the server answered in clear: %1";
    }
    return "%1";
}

platform::ReasonPtr systemCause(int socketError)
{
    const QString words = ws::systemReason(socketError);
    if (words.isEmpty())
        return {};
    const auto code = [socketError] {
        switch (socketError) {
        case ws::WSAEACCES: return NetCode::PermissionDenied;
        case ws::WSAEMFILE: return NetCode::TooManyOpenFiles;
        case ws::WSAENOBUFS: return NetCode::NoBufferSpace;
        case ws::WSAEADDRINUSE: return NetCode::AddressInUse;
        case ws::WSAEADDRNOTAVAIL: return NetCode::AddressNotAvailable;
        case ws::WSAEAFNOSUPPORT: return NetCode::FamilyNotSupported;
        case ws::WSAENETDOWN: return NetCode::NetworkDown;
        case ws::WSAENETUNREACH: return NetCode::NetworkUnreachable;
        case ws::WSAEHOSTUNREACH: return NetCode::HostUnreachable;
        case ws::WSAECONNREFUSED: return NetCode::ConnectionRefused;
        case ws::WSAECONNRESET: return NetCode::ConnectionReset;
        default: return NetCode::OtherSystemError;
        }
    }();
    return platform::reason(code, {words});
}
