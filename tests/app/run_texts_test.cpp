// The cause lines a clerk reads under a red line: server replies and connection failures.
#include "app/RunTexts.h"

#include "app/FailureTexts.h"
#include "platform/files.h"
#include "tests/support/QtPrinters.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTranslator>

#include <gtest/gtest.h>

namespace {

using Role = SocketEndpoint::Role;

TEST(RunTextsTest, FailuresReadAsTheConnectionAddressPortAndReason)
{
    struct Row {
        SocketError error;
        QString cause;
    };
    const Row rows[] = {
        {.error = SocketError("Connection to 127.0.0.3:21 failed: connection refused",
                              SocketFailure::Refused,
                              SocketEndpoint{Role::Control, "127.0.0.3", 21}, "connection refused"),
         .cause = "连接 127.0.0.3:21 失败：连接被拒绝"},
        {.error =
             SocketError("Data connection to 127.0.0.1:40123 failed: timed out",
                         SocketFailure::TimedOut, SocketEndpoint{Role::Data, "127.0.0.1", 40123}),
         .cause = "数据连接 127.0.0.1:40123 失败：60 秒内没有回应"},
        {.error =
             SocketError("Connection to ::1:2121 failed: no route to host",
                         SocketFailure::Unreachable, SocketEndpoint{Role::Control, "::1", 2121}),
         .cause = "连接 ::1:2121 失败：无法到达该地址"},
        {.error = SocketError("10054:Connection reset by peer", SocketFailure::Reset),
         .cause = "连接被对方重置"},
        {.error = SocketError("Connection closed by the server instead of a reply to CWD",
                              SocketFailure::Closed),
         .cause = "服务器关闭了连接"},
        {.error = SocketError("No reply within 60 s", SocketFailure::TimedOut),
         .cause = "60 秒内没有回应"},
        // Without a kind of its own, the system's words, else the message itself.
        {.error = SocketError("Socket failed", SocketFailure::Other, std::nullopt, "broken pipe"),
         .cause = "broken pipe"},
        {.error = SocketError("The reply is longer than 65536 bytes"),
         .cause = "The reply is longer than 65536 bytes"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(runtexts::socketCause(row.error, 60000), row.cause) << row.error.what();

    EXPECT_EQ(runtexts::lookupFailedCause("station.example"), "无法解析主机名 station.example");
    EXPECT_EQ(runtexts::causeLine(runtexts::replyCause("451 Local error: disk full\r\n")),
              "    451 Local error: disk full");
}

// Every code of the lower layers as the window words it: in English its own English words,
// in Chinese its translation where it has one (a few shown in full), the English form where the
// reader has only ever seen that; a wrapped reason in the window's words too.
TEST(RunTextsTest, EveryFailureCodeReadsInTheWindowsLanguage)
{
    using platform::reason;
    const QRegularExpression cjk(
        QStringLiteral("[\\x{3000}-\\x{303f}\\x{4e00}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));
    const QStringList parts{"127.0.0.1:21", "550 No", "x"};
    QList<platform::ReasonPtr> all;
    for (int code = 0; code <= int(NetCode::AnsweredInClear); ++code) {
        // The system's words have their own rows below.
        if (code < int(NetCode::PermissionDenied) || code > int(NetCode::ConnectionReset))
            all << reason(NetCode(code), {parts[0], parts[1], parts[2]});
    }
    for (int code = 0; code <= int(FtpCode::HostKeyChanged); ++code)
        all << reason(FtpCode(code), {parts[0], parts[1], parts[2]});
    // Translated in the Chinese window; every other code shows its English form there too.
    const QList<platform::ReasonPtr> translated = {
        reason(NetCode::ConnectionFailed), reason(NetCode::ConnectionRefused),
        reason(NetCode::TlsFailed),        reason(NetCode::ClosedInTlsClose),
        reason(FtpCode::NotFtpServer),     reason(FtpCode::PassiveRefused),
        reason(FtpCode::NotAFolder),       reason(FtpCode::KeysRefused)};
    const QList<platform::ReasonPtr> english = {
        reason(NetCode::NoReply),        reason(NetCode::OtherSystemError),
        reason(NetCode::OpenSslWords),   reason(FtpCode::ServerReply),
        reason(FtpCode::SizeDiffers),    reason(FtpCode::HostKeyChanged),
        reason(FtpCode::ConnectionLost), reason(FtpCode::StoreStep)};

    struct Row {
        platform::ReasonPtr cause;
        QString chinese;
    };
    const Row rows[] = {
        {reason(NetCode::TlsFailed, {"127.0.0.1:21", reason(NetCode::ReceivingFailed)}),
         "到 127.0.0.1:21 的连接 TLS 出错：接收失败"},
        {reason(NetCode::DataConnectionFailed,
                {"127.0.0.1:5", reason(NetCode::NetworkUnreachable, {"network is unreachable"})}),
         "数据连接 127.0.0.1:5 失败：网络不可达"},
        {reason(FtpCode::PassiveRefused, {"502 No", "500 No"}), "PASV：502 No；EPSV：500 No"},
        {reason(FtpCode::UnexpectedSftpReplyTo, {reason(FtpCode::StoreStep, {"a.txt"})}),
         "服务器对“Cannot store a.txt”给出了意外的 SFTP 回应"},
        {reason(NetCode::OtherSystemError, {"broken pipe"}), "broken pipe"},
        {reason(NetCode::PermissionDenied, {"permission denied"}), "权限不足"},
        {reason(NetCode::TooManyOpenFiles, {"too many open files"}), "打开的文件过多"},
        {reason(NetCode::NoBufferSpace, {"no buffer space available"}), "缓冲区空间不足"},
        {reason(NetCode::AddressInUse, {"address already in use"}), "地址已被占用"},
        {reason(NetCode::AddressNotAvailable, {"cannot assign requested address"}),
         "无法使用所请求的地址"},
        {reason(NetCode::FamilyNotSupported, {"address family not supported by protocol"}),
         "协议不支持该地址族"},
        {reason(NetCode::NetworkDown, {"network is down"}), "网络已断开"},
        {reason(NetCode::NetworkUnreachable, {"network is unreachable"}), "网络不可达"},
        {reason(NetCode::HostUnreachable, {"no route to host"}), "没有到主机的路由"},
        {reason(NetCode::ConnectionRefused, {"connection refused"}), "连接被拒绝"},
        {reason(NetCode::ConnectionReset, {"connection reset by peer"}), "连接被对方重置"},
        {reason(FtpCode::ServerReply, {"连接 %1 失败：%2"}), "连接 %1 失败：%2"},
    };

    QTranslator translator;
    for (const char* language : {"zh_CN", "en"}) {
        ASSERT_TRUE(translator.load(QStringLiteral(":/i18n/zarvel_%1.qm").arg(language)));
        QCoreApplication::installTranslator(&translator);
        const bool chinese = QByteArray(language) == "zh_CN";
        for (const platform::ReasonPtr& cause : all) {
            const QString text = failuretexts::text(*cause);
            if (chinese)
                EXPECT_TRUE(text == cause->englishText() || text.contains(cjk))
                    << text.toStdString();
            else
                EXPECT_EQ(text, cause->englishText());
        }
        for (const platform::ReasonPtr& cause : translated)
            EXPECT_EQ(failuretexts::text(*cause).contains(cjk), chinese)
                << cause->englishText().toStdString();
        for (const platform::ReasonPtr& cause : english)
            EXPECT_EQ(failuretexts::text(*cause), cause->englishText());
        for (const Row& row : rows)
            EXPECT_EQ(failuretexts::text(*row.cause),
                      chinese ? row.chinese : row.cause->englishText());
        // An exception without a reason is its message.
        EXPECT_EQ(failuretexts::text(platform::Exception(QStringLiteral("Not Connected"))),
                  "Not Connected");
        // A local read error in a run reads as in the error box: in the window's language.
        try {
            platform::raiseInOutError(EACCES);
        } catch (const platform::Exception& error) {
            EXPECT_EQ(failuretexts::text(error),
                      chinese ? QStringLiteral("文件拒绝访问")
                              : QStringLiteral("File access denied"));
        }
        QCoreApplication::removeTranslator(&translator);
    }
}

} // namespace
