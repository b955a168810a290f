// The send run's texts.
#include "app/RunTexts.h"

#include "app/FailureTexts.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>

namespace runtexts {

namespace {

const QString indent = QStringLiteral("    ");

// 1234567 as "1,234,567", whatever the system's locale.
QString bytes(qint64 count)
{
    QLocale english(QLocale::English);
    english.setNumberOptions({});
    return english.toString(count);
}

QString failureReason(const SocketError& error, int idleLimitMs)
{
    switch (error.failure()) {
    case SocketFailure::Refused: return QCoreApplication::translate("RunTexts", "连接被拒绝");
    case SocketFailure::TimedOut:
        return QCoreApplication::translate("RunTexts", "%1 秒内没有回应")
            .arg(std::max(1, idleLimitMs / 1000));
    case SocketFailure::Unreachable:
        return QCoreApplication::translate("RunTexts", "无法到达该地址");
    case SocketFailure::Reset: return QCoreApplication::translate("RunTexts", "连接被对方重置");
    case SocketFailure::Closed: return QCoreApplication::translate("RunTexts", "服务器关闭了连接");
    case SocketFailure::LookupFailed:
        return QCoreApplication::translate("RunTexts", "找不到该主机名");
    case SocketFailure::Stopped: return QCoreApplication::translate("RunTexts", "已停止");
    case SocketFailure::Other: break;
    }
    // The system's words when it gave some, else the error's own.
    if (error.systemCause())
        return failuretexts::text(*error.systemCause());
    return error.systemReason().isEmpty() ? failuretexts::text(error) : error.systemReason();
}

} // namespace

QString headerLine(qsizetype selected)
{
    return QCoreApplication::translate("RunTexts", "★☆         您共选择了 %1 个文件         ☆★")
        .arg(selected);
}

QString stationStartLine(const QString& stationName)
{
    return QCoreApplication::translate("RunTexts", "开始向  %1  传送...").arg(stationName);
}

QString successLine()
{
    return QCoreApplication::translate("RunTexts", "++++++++++++++++++++++++++      传送成功！");
}

QString networkErrorLine()
{
    return QCoreApplication::translate("RunTexts",
                                       "------------------------------ 网络错误，请查明原因！");
}

QString loginRefusedCause(const QString& reply)
{
    return QCoreApplication::translate("RunTexts", "登录失败：%1").arg(reply);
}

QString folderRefusedCause(const QString& reply)
{
    return QCoreApplication::translate("RunTexts", "进入对方目录失败：%1").arg(reply);
}

QString typeRefusedCause(const QString& reply)
{
    return QCoreApplication::translate("RunTexts", "设置传送类型失败：%1").arg(reply);
}

QString stoppedReason()
{
    return QCoreApplication::translate("RunTexts", "已停止");
}

QString unexpectedFailureCause(const QString& message)
{
    return QCoreApplication::translate("RunTexts", "意外错误：%1").arg(message);
}

QString stoppedLine()
{
    return QCoreApplication::translate(
        "RunTexts", "---------------------------------------------------       用户终止！");
}

QString endLine()
{
    return QCoreApplication::translate("RunTexts",
                                       "        --------======  传送完毕  ======--------");
}

QString overCapacityLine(qsizetype leftOut, qsizetype capacity)
{
    return QCoreApplication::translate("RunTexts", "另有 %1 个选中的文件超出 %2 个的上限，不传送")
        .arg(leftOut)
        .arg(capacity);
}

QString missingFileLine(const QString& name)
{
    return QCoreApplication::translate("RunTexts", "找不到文件 %1，不传送").arg(visibleName(name));
}

QString unreadableFileLine(const QString& name)
{
    return QCoreApplication::translate("RunTexts", "无法读取文件 %1，不传送")
        .arg(visibleName(name));
}

QString lineBreakNameLine(const QString& name)
{
    return QCoreApplication::translate("RunTexts", "文件名 %1 含换行符，不传送")
        .arg(visibleName(name));
}

QString fileStoredLine(const QString& name, qint64 count, Verification verification,
                       const QByteArray& hashName)
{
    QString check;
    switch (verification) {
    case Verification::NotChecked:
        check = QCoreApplication::translate("RunTexts", "，未核对（服务器不支持 SIZE）");
        break;
    case Verification::Size: check = QCoreApplication::translate("RunTexts", "，已核对"); break;
    case Verification::Hash:
        check = QCoreApplication::translate("RunTexts", "，已核对（%1）")
                    .arg(QString::fromLatin1(hashName));
        break;
    }
    return indent
        + QCoreApplication::translate("RunTexts", "%1  已传送 %2 字节")
              .arg(visibleName(name), bytes(count))
        + check;
}

QString fileNotDeliveredLine(const QString& name, qint64 count)
{
    return indent
        + QCoreApplication::translate("RunTexts", "%1  已传送 %2 字节，核对不符，未送达")
              .arg(visibleName(name), bytes(count));
}

QString fileNotRenamedLine(const QString& name, qint64 count)
{
    return indent
        + QCoreApplication::translate(
              "RunTexts", "%1  已传送 %2 字节，改名被拒绝，临时文件 %1.part 留在服务器上")
              .arg(visibleName(name), bytes(count));
}

namespace {

// "SIZE" or the hash algorithm's name.
QString checkName(Verification check, const QByteArray& hashName)
{
    return check == Verification::Hash ? QString::fromLatin1(hashName) : QStringLiteral("SIZE");
}

QString noteText(const QString& stationName, const QString& name, qint64 count,
                 const QString& check, const QString& tempName)
{
    const QString withTemp = tempName.isEmpty()
        ? check
        : check + QCoreApplication::translate("RunTexts", "，临时名 %1").arg(visibleName(tempName));
    return QCoreApplication::translate("RunTexts", "[站点 %1，文件 %2，%3 字节，%4]")
        .arg(stationName, visibleName(name), QString::number(count), withTemp);
}

} // namespace

QString fileNote(const QString& stationName, const QString& name, qint64 count,
                 Verification verification, const QByteArray& hashName, const QString& tempName)
{
    const QString check = verification == Verification::NotChecked
        ? QCoreApplication::translate("RunTexts", "未核对")
        : QCoreApplication::translate("RunTexts", "已用 %1 核对")
              .arg(checkName(verification, hashName));
    return noteText(stationName, name, count, check, tempName);
}

QString failedCheckNote(const QString& stationName, const QString& name, qint64 count,
                        Verification check, const QByteArray& hashName, const QString& tempName)
{
    return noteText(
        stationName, name, count,
        QCoreApplication::translate("RunTexts", "%1 核对未通过").arg(checkName(check, hashName)),
        tempName);
}

QString sizeMismatchCause(qint64 sent, qint64 serverSize)
{
    return QCoreApplication::translate("RunTexts",
                                       "服务器上的文件为 %1 字节，已发送 %2 字节，文件不完整")
        .arg(bytes(serverSize), bytes(sent));
}

QString sizeUnknownCause(const QString& reply)
{
    return QCoreApplication::translate("RunTexts", "服务器无法核对文件大小：%1").arg(reply);
}

QString hashMismatchCause(const QByteArray& algorithm)
{
    return QCoreApplication::translate("RunTexts", "服务器上文件的 %1 与发送的内容不符，文件不完整")
        .arg(QString::fromLatin1(algorithm));
}

QString hashUnknownCause(const QByteArray& algorithm, const QString& reply)
{
    return QCoreApplication::translate("RunTexts", "服务器无法核对文件的 %1：%2")
        .arg(QString::fromLatin1(algorithm), reply);
}

QString fileNotSentLine(const QString& name)
{
    return indent + QCoreApplication::translate("RunTexts", "%1  未传送").arg(visibleName(name));
}

QString fileNotSentLine(const QString& name, const QString& reason)
{
    return fileNotSentLine(name) + QCoreApplication::translate("RunTexts", "：") + reason;
}

QString fileIncompleteLine(const QString& name, qint64 sent, qint64 size, const QString& tempName)
{
    const QString left = tempName.isEmpty()
        ? QCoreApplication::translate("RunTexts", "站点上的 %1 不完整").arg(visibleName(name))
        : QCoreApplication::translate("RunTexts", "临时文件 %1 留在站点上")
              .arg(visibleName(tempName));
    return indent
        + QCoreApplication::translate("RunTexts", "%1  已发送 %2 / %3 字节；%4")
              .arg(visibleName(name), bytes(sent), bytes(size), left);
}

QString nameNotEncodableReason(const QString& name, const QString& encoding)
{
    return QCoreApplication::translate("RunTexts", "文件名 %1 无法用服务器的编码（%2）表示")
        .arg(visibleName(name), encoding);
}

QString cannotOpenReason()
{
    return QCoreApplication::translate("RunTexts", "无法打开本地文件");
}

QString causeLine(const QString& cause)
{
    return indent + cause;
}

QString socketCause(const SocketError& error, int idleLimitMs)
{
    const QString reason = failureReason(error, idleLimitMs);
    if (!error.endpoint())
        return reason;
    const SocketEndpoint& endpoint = *error.endpoint();
    const QString connection = endpoint.role == SocketEndpoint::Role::Control
        ? QCoreApplication::translate("RunTexts", "连接")
        : QCoreApplication::translate("RunTexts", "数据连接");
    return QCoreApplication::translate("RunTexts", "%1 %2:%3 失败：%4")
        .arg(connection, QString::fromLatin1(endpoint.address), QString::number(endpoint.port),
             reason);
}

QString replyCause(const QString& reply)
{
    QString line = reply;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    line.replace(u'\r', u' ');
    line.replace(u'\n', u' ');
    return line.trimmed();
}

QString emptyAddressCause()
{
    return QCoreApplication::translate("RunTexts", "该站点没有 IP 地址");
}

QString folderNotEncodableCause(const QString& encoding)
{
    return QCoreApplication::translate("RunTexts", "对方目录名含 %1 无法表示的字符").arg(encoding);
}

QString lookupFailedCause(const QString& name)
{
    return QCoreApplication::translate("RunTexts", "无法解析主机名 %1").arg(name);
}

QString nameEncodingLine(const QString& encoding)
{
    return indent + QCoreApplication::translate("RunTexts", "文件名编码：%1").arg(encoding);
}

QString modeFallbackLine(const FallbackReason& reason)
{
    return indent
        + QCoreApplication::translate("RunTexts", "改用主动模式：%1")
              .arg(replyCause(failuretexts::text(*reason.reason())));
}

QString encryptedLine(const QString& protocol)
{
    return indent + QCoreApplication::translate("RunTexts", "已加密 %1").arg(protocol);
}

QString notEncryptedLine(TlsMode mode)
{
    return indent
        + (mode == TlsMode::Off
               ? QCoreApplication::translate("RunTexts", "未加密（该站点设为不加密）")
               : QCoreApplication::translate("RunTexts", "未加密（服务器不支持 TLS）"));
}

QString certificateRememberedLine(const QByteArray& fingerprint)
{
    return indent
        + QCoreApplication::translate("RunTexts", "已记住站点证书 SHA-256 %1")
              .arg(QString::fromLatin1(fingerprint));
}

QString certificateChangedCause(const QByteArray& remembered, const QByteArray& presented)
{
    return QCoreApplication::translate("RunTexts",
                                       "站点证书已改变：记住的 %1，现在的 %2；未登录。"
                                       "如证书确实更换，请在系统设置中忘记旧证书")
        .arg(QString::fromLatin1(remembered), QString::fromLatin1(presented));
}

QString hostKeyRememberedLine(const QByteArray& fingerprint)
{
    return indent
        + QCoreApplication::translate("RunTexts", "已记住主机密钥 %1")
              .arg(QString::fromLatin1(fingerprint));
}

QString hostKeyChangedCause(const QByteArray& remembered, const QByteArray& presented)
{
    return QCoreApplication::translate("RunTexts",
                                       "主机密钥已改变：记住的 %1，现在的 %2；未发送密码。"
                                       "如主机密钥确实更换，请在系统设置中忘记旧主机密钥")
        .arg(QString::fromLatin1(remembered), QString::fromLatin1(presented));
}

QString protocolUnavailableCause()
{
    return QCoreApplication::translate("RunTexts", "此处不能使用该站点的协议");
}

QString securityNote(const QString& stationName, const SessionSecurity& security)
{
    if (!security.encrypted)
        return QCoreApplication::translate("RunTexts", "[站点 %1，未加密]").arg(stationName);
    const bool hostKey = security.fingerprint.startsWith("SHA256:");
    QString text;
    if (hostKey)
        text = security.trustedBySystem
            ? QCoreApplication::translate("RunTexts",
                                          "[站点 %1，已加密 %2，known_hosts 中的主机密钥 %3]")
            : QCoreApplication::translate("RunTexts", "[站点 %1，已加密 %2，主机密钥 %3]");
    else
        text = security.trustedBySystem
            ? QCoreApplication::translate("RunTexts",
                                          "[站点 %1，已加密 %2，系统信任的证书 SHA-256 %3]")
            : QCoreApplication::translate("RunTexts", "[站点 %1，已加密 %2，证书 SHA-256 %3]");
    return text.arg(stationName, security.protocol, QString::fromLatin1(security.fingerprint));
}

QString stoppingLine()
{
    return QCoreApplication::translate("RunTexts", "正在结束当前文件，再按一次停止立即中断");
}

QString retryLine()
{
    return QCoreApplication::translate("RunTexts", "已勾选未完成的站点，再按传送(S)即可重发");
}

QString logFileFailedLine(const QString& path, const QString& reason)
{
    return QCoreApplication::translate("RunTexts", "传送记录无法写入 %1：%2").arg(path, reason);
}

QString stationNote(const QString& address, int port, const QString& user)
{
    return QCoreApplication::translate("RunTexts", "[%1:%2 用户 %3]")
        .arg(address, QString::number(port), user);
}

QString sameRemoteNameLine(const QStringList& names, const QString& remoteName)
{
    QStringList shown;
    for (const QString& name : names)
        shown << visibleName(name);
    return QCoreApplication::translate("RunTexts", "文件 %1 在站点上同名（%2），都不传送")
        .arg(shown.join(QCoreApplication::translate("RunTexts", "、")), visibleName(remoteName));
}

QString folderEscapeNameLine(const QString& name)
{
    return QCoreApplication::translate("RunTexts", "文件名 %1 含路径分隔符或只有点，不传送")
        .arg(visibleName(name));
}

QString fileUncheckedLine(const QString& name, qint64 count, const QString& reply)
{
    return indent
        + QCoreApplication::translate("RunTexts",
                                      "%1  已传送 %2 字节，未核对（服务器无法核对：%3）")
              .arg(visibleName(name), bytes(count), replyCause(reply));
}

QString unfinishedLine(qsizetype missing, qsizetype selected)
{
    return QCoreApplication::translate(
               "RunTexts", "------------------------------ %1 / %2 个文件未送达，请查明原因！")
        .arg(missing)
        .arg(selected);
}

QString dataCallerRefusedLine(const QString& address)
{
    return indent
        + QCoreApplication::translate("RunTexts", "来自 %1 的数据连接已拒绝：不是服务器")
              .arg(address);
}

QString closedLine()
{
    return QCoreApplication::translate(
        "RunTexts",
        "---------------------------------------------------       窗口关闭，传送中断！");
}

QString visibleName(const QString& name)
{
    QString shown = name;
    shown.replace(u'\r', QStringLiteral("\\r"));
    shown.replace(u'\n', QStringLiteral("\\n"));
    return shown;
}

// Station identity and encryption history.
QString uncertainOptionsLine()
{
    return indent
        + QCoreApplication::translate(
               "RunTexts",
               "站点文件已在别处修改，无法确定该站点的设置；按默认设置连接（auto，端口 21）");
}

QString encryptionRefusedLine()
{
    return indent
        + QCoreApplication::translate("RunTexts", "站点曾使用加密连接，现在服务器拒绝加密；未登录");
}

QString loginNotOneLineCause()
{
    return QCoreApplication::translate("RunTexts", "用户名或口令含有换行符或空字符，未登录");
}

} // namespace runtexts
