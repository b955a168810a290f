// Why an FTP or SFTP session failed, as codes with their parts; the English words are made
// here. The socket layer's own reasons are NetCode.
#pragma once

#include "net/NetReasons.h"
#include "platform/exception.h"

enum class FtpCode {
    // Replies and the dialogue.
    ServerReply,                   // the reply as one line
    ReplyCodeOutOfRange,           // the code's digits
    ReplyTooLong,                  // bytes
    PassiveAddressUnreadable,      // the reply
    NoEpsvPort,                    // the reply
    PassiveRefused,                // the reply to PASV, the reply to EPSV
    LineBreakInCommand,            // the command's verb
    StoppedBefore,                 // the command's verb
    ClosedInsteadOfReply,          // the command's verb
    ClosedBeforeGreeting,          // no parts
    NotFtpServer,                  // its first line
    ClosedInsteadOfDataConnection, // no parts
    ClosedInsteadOfFinalReply,     // no parts
    StoppedBeforeSending,          // no parts
    NameNotEncodable,              // the name, the encoding
    CannotOpenFile,                // the local path
    CannotReadFile,                // the local path
    // TLS on FTP.
    Refuses,                  // the command, the reply
    CertificateExpired,       // the host, the date
    CertificateNotYetValid,   // the host, the date
    CertificateChanged,       // the host, remembered, presented
    ServerSays,               // the failure, the reply
    DataCertificateDiffers,   // address:port, presented, the server's
    DataEndedWithoutTlsClose, // address, port, the failure
    // The check of a stored file.
    SizeUnknown,         // the reply
    SizeNoNumber,        // the reply
    SizeDiffers,         // the server's size, the size sent
    HashUnknown,         // the algorithm, the reply
    HashReplyUnexpected, // the algorithm, the reply
    HashDiffers,         // the algorithm, the size sent
    // SFTP (from here on: englishForm reads them in their own switch).
    SocketNotHandedOver,   // no parts
    SshUnavailable,        // no parts
    SshSetupFailed,        // libssh's words
    ClosedBeforeBanner,    // address:port
    NotSshServer,          // its first line
    NoSshHandshake,        // address:port, seconds
    ConnectionLost,        // address:port, what was going on, libssh's or the system's words
    ClosedByServer,        // address:port
    NoPasswordLogin,       // the ways offered
    WrongPassword,         // the user, the ways offered
    NoKeyLogin,            // the ways offered
    KeysRefused,           // the user, the ways offered
    NoSftp,                // libssh's words
    SftpDidNotStart,       // no parts
    UnexpectedSftpReplyTo, // the step (ChangeFolderStep, StoreStep, CheckStep)
    UnexpectedSftpReply,   // no parts
    MalformedSftpPacket,   // what is wrong
    NoFolderNamed,         // the path
    NotConnectedTo,        // the host
    ChangeFolderStep,      // the folder
    StoreStep,             // the name
    CheckStep,             // the name
    ChangeFolderRefused,   // the folder, the server's words or NotAFolder
    StoreRefused,          // the name, the server's words
    CheckRefused,          // the name, the server's words
    NotAFolder,            // no parts
    RenameRefused,         // the name, the name, the server's words
    SftpSizeDiffers,       // the name, the server's size, the size sent
    HostKeyChanged,        // the host, remembered, presented
};

// The English words of a code, "%n" standing for its parts in order.
const char* englishForm(FtpCode code);

using FtpReason = platform::CodedReason<FtpCode>;

// Why passive data connections gave way to active ones: the server's refusal (ServerReply,
// or PassiveRefused with both replies). Reads as its English words where only words are
// wanted.
class FallbackReason {
public:
    explicit FallbackReason(platform::ReasonPtr reason)
        : m_reason(std::move(reason))
    {
    }
    const platform::ReasonPtr& reason() const noexcept { return m_reason; }
    operator QString() const { return m_reason->englishText(); } // NOLINT: words where wanted

private:
    platform::ReasonPtr m_reason;
};
