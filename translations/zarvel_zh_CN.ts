<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
  <context>
    <name>NetTexts</name>
    <message>
      <source>Not an FTP server: %1</source>
      <translation>不是 FTP 服务器：%1</translation>
    </message>
    <message>
      <source>Reply code %1 is out of range</source>
      <translation>回应代码 %1 超出范围</translation>
    </message>
    <message>
      <source>The reply is longer than %1 bytes</source>
      <translation>回应超过 %1 字节</translation>
    </message>
    <message>
      <source>Cannot read the passive address in the reply: %1</source>
      <translation>无法从回应中读出被动模式的地址：%1</translation>
    </message>
    <message>
      <source>No data port in the reply to EPSV: %1</source>
      <translation>EPSV 的回应中没有数据端口：%1</translation>
    </message>
    <message>
      <source>Line break in the %1 command; nothing was sent</source>
      <translation>%1 命令含换行符，未发送</translation>
    </message>
    <message>
      <source>Not an SSH server: %1</source>
      <translation>不是 SSH 服务器：%1</translation>
    </message>
    <message>
      <source>Cannot start an SSH session</source>
      <translation>无法开始 SSH 会话</translation>
    </message>
    <message>
      <source>Cannot set up the SSH session: %1</source>
      <translation>无法设置 SSH 会话：%1</translation>
    </message>
    <message>
      <source>the socket cannot be handed over</source>
      <translation>无法移交套接字</translation>
    </message>
    <message>
      <source>The server does not offer password login (it offers: %1)</source>
      <translation>服务器不接受密码登录（它接受：%1）</translation>
    </message>
    <message>
      <source>Login refused for user %1: wrong user name or password (the server offers: %2)</source>
      <translation>用户 %1 登录被拒绝：用户名或密码错误（服务器接受：%2）</translation>
    </message>
    <message>
      <source>No password given, and the server offers no key login (it offers: %1)</source>
      <translation>未设密码，而服务器不接受密钥登录（它接受：%1）</translation>
    </message>
    <message>
      <source>Login refused for user %1: none of your SSH keys was accepted (the server offers: %2)</source>
      <translation>用户 %1 登录被拒绝：您的 SSH 密钥都未被接受（服务器接受：%2）</translation>
    </message>
    <message>
      <source>The server offers no SFTP: %1</source>
      <translation>服务器不提供 SFTP：%1</translation>
    </message>
    <message>
      <source>The server's SFTP did not start</source>
      <translation>服务器的 SFTP 未能启动</translation>
    </message>
    <message>
      <source>The server sent an unexpected SFTP reply to %1</source>
      <translation>服务器对“%1”给出了意外的 SFTP 回应</translation>
    </message>
    <message>
      <source>The server sent an unexpected SFTP reply</source>
      <translation>服务器给出了意外的 SFTP 回应</translation>
    </message>
    <message>
      <source>The server named no folder for %1</source>
      <translation>服务器没有给出 %1 的目录</translation>
    </message>
    <message>
      <source>Cannot change to folder %1: %2</source>
      <translation>无法进入目录 %1：%2</translation>
    </message>
    <message>
      <source>not a folder</source>
      <translation>不是目录</translation>
    </message>
    <message>
      <source>Cannot store %1: %2</source>
      <translation>无法存放 %1：%2</translation>
    </message>
    <message>
      <source>Cannot rename %1.part to %2: %3</source>
      <translation>无法把 %1.part 改名为 %2：%3</translation>
    </message>
    <message>
      <source>Connection to %1 failed: %2</source>
      <translation>连接 %1 失败：%2</translation>
    </message>
    <message>
      <source>Data connection to %1 failed: %2</source>
      <translation>数据连接 %1 失败：%2</translation>
    </message>
    <message>
      <source>Line too long: no line end within %1 bytes</source>
      <translation>行过长：%1 字节内没有行尾</translation>
    </message>
    <message>
      <source>Text to send is too long: %1 bytes, at most 65535 allowed</source>
      <translation>要发送的文本过长：%1 字节，最多 65535 字节</translation>
    </message>
    <message>
      <source>Error creating Data Connection</source>
      <translation>无法建立数据连接</translation>
    </message>
    <message>
      <source>Not Connected</source>
      <translation>未连接</translation>
    </message>
    <message>
      <source>Already connected</source>
      <translation>已经连接</translation>
    </message>
    <message>
      <source>Socket send aborted</source>
      <translation>发送已中止</translation>
    </message>
    <message>
      <source>timed out</source>
      <translation>超时</translation>
    </message>
    <message>
      <source>permission denied</source>
      <translation>权限不足</translation>
    </message>
    <message>
      <source>too many open files</source>
      <translation>打开的文件过多</translation>
    </message>
    <message>
      <source>no buffer space available</source>
      <translation>缓冲区空间不足</translation>
    </message>
    <message>
      <source>address already in use</source>
      <translation>地址已被占用</translation>
    </message>
    <message>
      <source>cannot assign requested address</source>
      <translation>无法使用所请求的地址</translation>
    </message>
    <message>
      <source>address family not supported by protocol</source>
      <translation>协议不支持该地址族</translation>
    </message>
    <message>
      <source>network is down</source>
      <translation>网络已断开</translation>
    </message>
    <message>
      <source>network is unreachable</source>
      <translation>网络不可达</translation>
    </message>
    <message>
      <source>no route to host</source>
      <translation>没有到主机的路由</translation>
    </message>
    <message>
      <source>connection refused</source>
      <translation>连接被拒绝</translation>
    </message>
    <message>
      <source>connection reset by peer</source>
      <translation>连接被对方重置</translation>
    </message>
    <message>
      <source>%1; the server says: %2</source>
      <translation>%1；服务器说：%2</translation>
    </message>
    <message>
      <source>The server refuses %1: %2</source>
      <translation>服务器拒绝 %1：%2</translation>
    </message>
    <message>
      <source>The certificate of %1 has changed: remembered %2, presented %3</source>
      <translation>%1 的证书已改变：记住的 %2，现在的 %3</translation>
    </message>
    <message>
      <source>The certificate of %1 expired on %2</source>
      <translation>%1 的证书已于 %2 过期</translation>
    </message>
    <message>
      <source>The certificate of %1 is not valid before %2</source>
      <translation>%1 的证书在 %2 之前无效</translation>
    </message>
    <message>
      <source>The data connection to %1:%2 ended without a TLS close: %3</source>
      <translation>到 %1:%2 的数据连接未经 TLS 关闭就断开了：%3</translation>
    </message>
    <message>
      <source>The data connection to %1 presented another certificate than the server: %2 instead of %3; nothing was sent</source>
      <translation>到 %1 的数据连接出示的证书不是服务器的：%2，而不是 %3；未发送任何内容</translation>
    </message>
    <message>
      <source>PASV: %1; EPSV: %2</source>
      <translation>PASV：%1；EPSV：%2</translation>
    </message>
    <message>
      <source>TLS handshake with %1 failed: %2</source>
      <translation>与 %1 的 TLS 握手失败：%2</translation>
    </message>
    <message>
      <source>TLS handshake on the data connection to %1 failed: %2</source>
      <translation>到 %1 的数据连接 TLS 握手失败：%2</translation>
    </message>
    <message>
      <source>TLS failed on the connection to %1: %2</source>
      <translation>到 %1 的连接 TLS 出错：%2</translation>
    </message>
    <message>
      <source>TLS failed on the data connection to %1: %2</source>
      <translation>到 %1 的数据连接 TLS 出错：%2</translation>
    </message>
    <message>
      <source>Cannot set up TLS: %1</source>
      <translation>无法准备 TLS：%1</translation>
    </message>
    <message>
      <source>the server closed the connection during the handshake</source>
      <translation>服务器在握手时关闭了连接</translation>
    </message>
    <message>
      <source>the server answered in clear: %1</source>
      <translation>服务器未加密应答：%1</translation>
    </message>
    <message>
      <source>the server closed the connection during the TLS close</source>
      <translation>服务器在结束 TLS 时关闭了连接</translation>
    </message>
    <message>
      <source>the server ended TLS during the handshake</source>
      <translation>服务器在握手时结束了 TLS</translation>
    </message>
    <message>
      <source>the server ended TLS during the TLS close</source>
      <translation>服务器在结束 TLS 时结束了 TLS</translation>
    </message>
    <message>
      <source>the handshake failed</source>
      <translation>握手失败</translation>
    </message>
    <message>
      <source>the TLS close failed</source>
      <translation>结束 TLS 失败</translation>
    </message>
    <message>
      <source>receiving failed</source>
      <translation>接收失败</translation>
    </message>
    <message>
      <source>sending failed</source>
      <translation>发送失败</translation>
    </message>
  </context>
</TS>
