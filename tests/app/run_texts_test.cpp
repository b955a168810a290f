// The cause lines a clerk reads under a red line: server replies and connection failures.
#include "app/RunTexts.h"

#include "net/BlockingSocket.h"
#include "tests/support/QtPrinters.h"

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

} // namespace
