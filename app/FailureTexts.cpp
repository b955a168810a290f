// The socket, TLS, FTP and SFTP failures in the reader's words.
#include "app/FailureTexts.h"

#include <QCoreApplication>

namespace {

// The form of a code: its own translation, or the English form where the reader has only
// ever seen that.
class FailureTexts {
    Q_DECLARE_TR_FUNCTIONS(FailureTexts)

public:
    static QString form(NetCode code);
    static QString form(FtpCode code);
};

QString FailureTexts::form(NetCode code)
{
    switch (code) {
    case NetCode::ConnectionFailed: return tr("连接 %1 失败：%2");
    case NetCode::DataConnectionFailed: return tr("数据连接 %1 失败：%2");
    case NetCode::LineTooLong: return tr("行过长：%1 字节内没有行尾");
    case NetCode::TextTooLong: return tr("要发送的文本过长：%1 字节，最多 65535 字节");
    case NetCode::DataConnectionError: return tr("无法建立数据连接");
    case NetCode::NotConnected: return tr("未连接");
    case NetCode::AlreadyConnected: return tr("已经连接");
    case NetCode::SendAborted: return tr("发送已中止");
    case NetCode::TimedOut: return tr("超时");
    // The system's words for an error number.
    case NetCode::PermissionDenied: return tr("权限不足");
    case NetCode::TooManyOpenFiles: return tr("打开的文件过多");
    case NetCode::NoBufferSpace: return tr("缓冲区空间不足");
    case NetCode::AddressInUse: return tr("地址已被占用");
    case NetCode::AddressNotAvailable: return tr("无法使用所请求的地址");
    case NetCode::FamilyNotSupported: return tr("协议不支持该地址族");
    case NetCode::NetworkDown: return tr("网络已断开");
    case NetCode::NetworkUnreachable: return tr("网络不可达");
    case NetCode::HostUnreachable: return tr("没有到主机的路由");
    case NetCode::ConnectionRefused: return tr("连接被拒绝");
    case NetCode::ConnectionReset: return tr("连接被对方重置");
    case NetCode::TlsSetupFailed: return tr("无法准备 TLS：%1");
    case NetCode::TlsHandshakeFailed: return tr("与 %1 的 TLS 握手失败：%2");
    case NetCode::DataTlsHandshakeFailed: return tr("到 %1 的数据连接 TLS 握手失败：%2");
    case NetCode::TlsFailed: return tr("到 %1 的连接 TLS 出错：%2");
    case NetCode::DataTlsFailed: return tr("到 %1 的数据连接 TLS 出错：%2");
    case NetCode::ClosedInHandshake: return tr("服务器在握手时关闭了连接");
    case NetCode::ClosedInTlsClose: return tr("服务器在结束 TLS 时关闭了连接");
    case NetCode::TlsEndedInHandshake: return tr("服务器在握手时结束了 TLS");
    case NetCode::TlsEndedInTlsClose: return tr("服务器在结束 TLS 时结束了 TLS");
    case NetCode::HandshakeFailed: return tr("握手失败");
    case NetCode::TlsCloseFailed: return tr("结束 TLS 失败");
    case NetCode::ReceivingFailed: return tr("接收失败");
    case NetCode::SendingFailed: return tr("发送失败");
    case NetCode::AnsweredInClear: return tr("服务器未加密应答：%1");
    case NetCode::WinsockUnavailable:
    case NetCode::HostLookupFailed:
    case NetCode::NameLookupTimedOut:
    case NetCode::LookupTimedOut:
    case NetCode::LookupCanceled:
    case NetCode::NoHostAddress:
    case NetCode::ConnectionCanceled:
    case NetCode::Stopped:
    case NetCode::NoReply:
    case NetCode::ReplyUnfinished:
    case NetCode::NoDataReceived:
    case NetCode::PeerTookNoData:
    case NetCode::NoDataConnection:
    case NetCode::ReadAborted:
    case NetCode::AcceptCanceled:
    case NetCode::AcceptFailed:
    case NetCode::SocketErrorText:
    case NetCode::NoTimer:
    case NetCode::OtherSystemError:
    case NetCode::TlsHandshakeCanceled:
    case NetCode::NoTlsHandshake:
    case NetCode::NoTlsEnd:
    case NetCode::OpenSslWords:
    case NetCode::OpenSslNumber: break;
    }
    return QString::fromUtf8(englishForm(code));
}

QString FailureTexts::form(FtpCode code)
{
    switch (code) {
    case FtpCode::NotFtpServer: return tr("不是 FTP 服务器：%1");
    case FtpCode::ReplyCodeOutOfRange: return tr("回应代码 %1 超出范围");
    case FtpCode::ReplyTooLong: return tr("回应超过 %1 字节");
    case FtpCode::PassiveAddressUnreadable: return tr("无法从回应中读出被动模式的地址：%1");
    case FtpCode::NoEpsvPort: return tr("EPSV 的回应中没有数据端口：%1");
    case FtpCode::PassiveRefused: return tr("PASV：%1；EPSV：%2");
    case FtpCode::LineBreakInCommand: return tr("%1 命令含换行符，未发送");
    case FtpCode::Refuses: return tr("服务器拒绝 %1：%2");
    case FtpCode::CertificateExpired: return tr("%1 的证书已于 %2 过期");
    case FtpCode::CertificateNotYetValid: return tr("%1 的证书在 %2 之前无效");
    case FtpCode::CertificateChanged: return tr("%1 的证书已改变：记住的 %2，现在的 %3");
    case FtpCode::ServerSays: return tr("%1；服务器说：%2");
    case FtpCode::DataCertificateDiffers:
        return tr("到 %1 的数据连接出示的证书不是服务器的：%2，而不是 %3；未发送任何内容");
    case FtpCode::DataEndedWithoutTlsClose:
        return tr("到 %1:%2 的数据连接未经 TLS 关闭就断开了：%3");
    case FtpCode::SocketNotHandedOver: return tr("无法移交套接字");
    case FtpCode::SshUnavailable: return tr("无法开始 SSH 会话");
    case FtpCode::SshSetupFailed: return tr("无法设置 SSH 会话：%1");
    case FtpCode::NotSshServer: return tr("不是 SSH 服务器：%1");
    case FtpCode::NoPasswordLogin: return tr("服务器不接受密码登录（它接受：%1）");
    case FtpCode::WrongPassword:
        return tr("用户 %1 登录被拒绝：用户名或密码错误（服务器接受：%2）");
    case FtpCode::NoKeyLogin: return tr("未设密码，而服务器不接受密钥登录（它接受：%1）");
    case FtpCode::KeysRefused:
        return tr("用户 %1 登录被拒绝：您的 SSH 密钥都未被接受（服务器接受：%2）");
    case FtpCode::NoSftp: return tr("服务器不提供 SFTP：%1");
    case FtpCode::SftpDidNotStart: return tr("服务器的 SFTP 未能启动");
    case FtpCode::UnexpectedSftpReplyTo: return tr("服务器对“%1”给出了意外的 SFTP 回应");
    case FtpCode::UnexpectedSftpReply: return tr("服务器给出了意外的 SFTP 回应");
    case FtpCode::NoFolderNamed: return tr("服务器没有给出 %1 的目录");
    case FtpCode::ChangeFolderRefused: return tr("无法进入目录 %1：%2");
    case FtpCode::NotAFolder: return tr("不是目录");
    case FtpCode::StoreRefused: return tr("无法存放 %1：%2");
    case FtpCode::RenameRefused: return tr("无法把 %1.part 改名为 %2：%3");
    case FtpCode::ServerReply:
    case FtpCode::StoppedBefore:
    case FtpCode::ClosedInsteadOfReply:
    case FtpCode::ClosedBeforeGreeting:
    case FtpCode::ClosedInsteadOfDataConnection:
    case FtpCode::ClosedInsteadOfFinalReply:
    case FtpCode::StoppedBeforeSending:
    case FtpCode::NameNotEncodable:
    case FtpCode::CannotOpenFile:
    case FtpCode::CannotReadFile:
    case FtpCode::SizeUnknown:
    case FtpCode::SizeNoNumber:
    case FtpCode::SizeDiffers:
    case FtpCode::HashUnknown:
    case FtpCode::HashReplyUnexpected:
    case FtpCode::HashDiffers:
    case FtpCode::ClosedBeforeBanner:
    case FtpCode::NoSshHandshake:
    case FtpCode::ConnectionLost:
    case FtpCode::ClosedByServer:
    case FtpCode::MalformedSftpPacket:
    case FtpCode::NotConnectedTo:
    case FtpCode::ChangeFolderStep:
    case FtpCode::StoreStep:
    case FtpCode::CheckStep:
    case FtpCode::CheckRefused:
    case FtpCode::SftpSizeDiffers:
    case FtpCode::HostKeyChanged: break;
    }
    return QString::fromUtf8(englishForm(code));
}

} // namespace

namespace failuretexts {

namespace {

// The form filled with the parts, a wrapped reason worded as this one is.
QString filled(const QString& form, const QList<platform::ReasonPart>& parts)
{
    QStringList words;
    for (const platform::ReasonPart& part : parts)
        words << (part.nested() ? text(*part.nested()) : part.text());
    return platform::fillForm(form, words);
}

} // namespace

QString text(const platform::Reason& reason)
{
    if (const auto* net = dynamic_cast<const NetReason*>(&reason))
        return filled(FailureTexts::form(net->code()), net->parts());
    if (const auto* ftp = dynamic_cast<const FtpReason*>(&reason))
        return filled(FailureTexts::form(ftp->code()), ftp->parts());
    return reason.englishText();
}

QString text(const platform::Exception& error)
{
    if (error.reason())
        return text(*error.reason());
    // A local file's read error carries the reader's words beside the English message.
    if (const auto* inOut = dynamic_cast<const platform::InOutError*>(&error))
        return inOut->readerText();
    return error.message();
}

} // namespace failuretexts
