// The FTP and SFTP sessions' English words.
#include "ftp/FtpReasons.h"

namespace {

// FTP, its TLS and the check of a stored file.
const char* ftpForm(FtpCode code)
{
    switch (code) {
    case FtpCode::ServerReply: return "%1";
    case FtpCode::ReplyCodeOutOfRange: return "Reply code %1 is out of range";
    case FtpCode::ReplyTooLong: return "The reply is longer than %1 bytes";
    case FtpCode::PassiveAddressUnreadable:
        return "Cannot read the passive address in the reply: %1";
    case FtpCode::NoEpsvPort: return "No data port in the reply to EPSV: %1";
    case FtpCode::PassiveRefused: return "PASV: %1; EPSV: %2";
    case FtpCode::LineBreakInCommand: return "Line break in the %1 command; nothing was sent";
    case FtpCode::StoppedBefore: return "Stopped before %1";
    case FtpCode::ClosedInsteadOfReply:
        return "Connection closed by the server instead of a reply to %1";
    case FtpCode::ClosedBeforeGreeting:
        return "Connection closed by the server before its greeting";
    case FtpCode::NotFtpServer: return "Not an FTP server: %1";
    case FtpCode::ClosedInsteadOfDataConnection:
        return "Connection closed by the server instead of opening the data connection";
    case FtpCode::ClosedInsteadOfFinalReply:
        return "Connection closed by the server instead of the final reply to STOR";
    case FtpCode::StoppedBeforeSending: return "Stopped before sending the file";
    case FtpCode::NameNotEncodable:
        return "The name %1 cannot be written in the server's encoding (%2)";
    case FtpCode::CannotOpenFile: return "Cannot open file %1";
    case FtpCode::CannotReadFile: return "Cannot read file %1";
    case FtpCode::Refuses: return "The server refuses %1: %2";
    case FtpCode::CertificateExpired: return "The certificate of %1 expired on %2";
    case FtpCode::CertificateNotYetValid: return "The certificate of %1 is not valid before %2";
    case FtpCode::CertificateChanged:
        return "The certificate of %1 has changed: remembered %2, presented %3";
    case FtpCode::ServerSays: return "%1; the server says: %2";
    case FtpCode::DataCertificateDiffers:
        return "The data connection to %1 presented another certificate than the server: %2 "
               "instead of %3; nothing was sent";
    case FtpCode::DataEndedWithoutTlsClose:
        return "The data connection to %1:%2 ended without a TLS close: %3";
    case FtpCode::SizeUnknown: return "The server cannot tell the size of the stored file: %1";
    case FtpCode::SizeNoNumber: return "The server's size of the stored file is no number: %1";
    case FtpCode::SizeDiffers: return "The server holds %1 bytes of the %2 sent";
    case FtpCode::HashUnknown: return "The server cannot tell the %1 hash of the stored file: %2";
    case FtpCode::HashReplyUnexpected:
        return "The server's %1 hash reply is in an unexpected form: %2";
    case FtpCode::HashDiffers:
        return "The server's %1 hash of the stored file differs from the %2 bytes sent";
    default: break;
    }
    return "%1";
}

// SSH and SFTP.
const char* sftpForm(FtpCode code)
{
    switch (code) {
    case FtpCode::SocketNotHandedOver: return "the socket cannot be handed over";
    case FtpCode::SshUnavailable: return "Cannot start an SSH session";
    case FtpCode::SshSetupFailed: return "Cannot set up the SSH session: %1";
    case FtpCode::ClosedBeforeBanner: return "Connection to %1 closed before the SSH banner";
    case FtpCode::NotSshServer: return "Not an SSH server: %1";
    case FtpCode::NoSshHandshake: return "Connection to %1 failed: no SSH handshake within %2 s";
    case FtpCode::ConnectionLost: return "Connection to %1 lost during %2: %3";
    case FtpCode::ClosedByServer: return "Connection to %1 closed by the server";
    case FtpCode::NoPasswordLogin:
        return "The server does not offer password login (it offers: %1)";
    case FtpCode::WrongPassword:
        return "Login refused for user %1: wrong user name or password (the server offers: %2)";
    case FtpCode::NoKeyLogin:
        return "No password given, and the server offers no key login (it offers: %1)";
    case FtpCode::KeysRefused:
        return "Login refused for user %1: none of your SSH keys was accepted (the server "
               "offers: %2)";
    case FtpCode::NoSftp: return "The server offers no SFTP: %1";
    case FtpCode::SftpDidNotStart: return "The server's SFTP did not start";
    case FtpCode::UnexpectedSftpReplyTo: return "The server sent an unexpected SFTP reply to %1";
    case FtpCode::UnexpectedSftpReply: return "The server sent an unexpected SFTP reply";
    case FtpCode::MalformedSftpPacket: return "The server sent a malformed SFTP packet: %1";
    case FtpCode::NoFolderNamed: return "The server named no folder for %1";
    case FtpCode::NotConnectedTo: return "Not connected to %1";
    case FtpCode::ChangeFolderStep: return "Cannot change to folder %1";
    case FtpCode::StoreStep: return "Cannot store %1";
    case FtpCode::CheckStep: return "Cannot check %1";
    case FtpCode::ChangeFolderRefused: return "Cannot change to folder %1: %2";
    case FtpCode::StoreRefused: return "Cannot store %1: %2";
    case FtpCode::CheckRefused: return "Cannot check %1: %2";
    case FtpCode::NotAFolder: return "not a folder";
    case FtpCode::RenameRefused: return "Cannot rename %1.part to %2: %3";
    case FtpCode::SftpSizeDiffers: return "%1 is %2 bytes on the server, %3 were sent";
    case FtpCode::HostKeyChanged:
        return "The host key of %1 has changed: remembered %2, presented %3";
    default: break;
    }
    return "%1";
}

} // namespace

const char* englishForm(FtpCode code)
{
    return code >= FtpCode::SocketNotHandedOver ? sftpForm(code) : ftpForm(code);
}
