<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CertificateMenu</name>
    <message>
        <source>忘记主机密钥(&amp;F)...</source>
        <translation>&amp;Forget host key...</translation>
    </message>
    <message>
        <source>忘记证书(&amp;F)...</source>
        <translation>&amp;Forget certificate...</translation>
    </message>
    <message>
        <source>该站点没有记住的主机密钥</source>
        <translation>No host key remembered for this station</translation>
    </message>
    <message>
        <source>该站点没有记住的证书</source>
        <translation>No certificate remembered for this station</translation>
    </message>
    <message>
        <source>忘记站点 %1（%2）记住的主机密钥？

%3

下次连接时将记住该站点那时出示的主机密钥。</source>
        <translation>Forget the host key remembered for station %1 (%2)?

%3

The next connection remembers the key the station shows then.</translation>
    </message>
    <message>
        <source>忘记站点 %1（%2）记住的证书？

SHA-256 %3

下次连接时将记住该站点那时出示的证书。</source>
        <translation>Forget the certificate remembered for station %1 (%2)?

SHA-256 %3

The next connection remembers the certificate the station shows then.</translation>
    </message>
    <message>
        <source>忘记主机密钥</source>
        <translation>Forget host key</translation>
    </message>
    <message>
        <source>忘记证书</source>
        <translation>Forget certificate</translation>
    </message>
    <message>
        <source>忘记(&amp;F)</source>
        <translation>&amp;Forget</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>FailureTexts</name>
    <message>
        <source>连接 %1 失败：%2</source>
        <translation>Connection to %1 failed: %2</translation>
    </message>
    <message>
        <source>数据连接 %1 失败：%2</source>
        <translation>Data connection to %1 failed: %2</translation>
    </message>
    <message>
        <source>行过长：%1 字节内没有行尾</source>
        <translation>Line too long: no line end within %1 bytes</translation>
    </message>
    <message>
        <source>要发送的文本过长：%1 字节，最多 65535 字节</source>
        <translation>Text to send is too long: %1 bytes, at most 65535 allowed</translation>
    </message>
    <message>
        <source>无法建立数据连接</source>
        <translation>Error creating Data Connection</translation>
    </message>
    <message>
        <source>未连接</source>
        <translation>Not Connected</translation>
    </message>
    <message>
        <source>已经连接</source>
        <translation>Already connected</translation>
    </message>
    <message>
        <source>发送已中止</source>
        <translation>Socket send aborted</translation>
    </message>
    <message>
        <source>超时</source>
        <translation>timed out</translation>
    </message>
    <message>
        <source>权限不足</source>
        <translation>permission denied</translation>
    </message>
    <message>
        <source>打开的文件过多</source>
        <translation>too many open files</translation>
    </message>
    <message>
        <source>缓冲区空间不足</source>
        <translation>no buffer space available</translation>
    </message>
    <message>
        <source>地址已被占用</source>
        <translation>address already in use</translation>
    </message>
    <message>
        <source>无法使用所请求的地址</source>
        <translation>cannot assign requested address</translation>
    </message>
    <message>
        <source>协议不支持该地址族</source>
        <translation>address family not supported by protocol</translation>
    </message>
    <message>
        <source>网络已断开</source>
        <translation>network is down</translation>
    </message>
    <message>
        <source>网络不可达</source>
        <translation>network is unreachable</translation>
    </message>
    <message>
        <source>没有到主机的路由</source>
        <translation>no route to host</translation>
    </message>
    <message>
        <source>连接被拒绝</source>
        <translation>connection refused</translation>
    </message>
    <message>
        <source>连接被对方重置</source>
        <translation>connection reset by peer</translation>
    </message>
    <message>
        <source>无法准备 TLS：%1</source>
        <translation>Cannot set up TLS: %1</translation>
    </message>
    <message>
        <source>与 %1 的 TLS 握手失败：%2</source>
        <translation>TLS handshake with %1 failed: %2</translation>
    </message>
    <message>
        <source>到 %1 的数据连接 TLS 握手失败：%2</source>
        <translation>TLS handshake on the data connection to %1 failed: %2</translation>
    </message>
    <message>
        <source>到 %1 的连接 TLS 出错：%2</source>
        <translation>TLS failed on the connection to %1: %2</translation>
    </message>
    <message>
        <source>到 %1 的数据连接 TLS 出错：%2</source>
        <translation>TLS failed on the data connection to %1: %2</translation>
    </message>
    <message>
        <source>服务器在握手时关闭了连接</source>
        <translation>the server closed the connection during the handshake</translation>
    </message>
    <message>
        <source>服务器在结束 TLS 时关闭了连接</source>
        <translation>the server closed the connection during the TLS close</translation>
    </message>
    <message>
        <source>服务器在握手时结束了 TLS</source>
        <translation>the server ended TLS during the handshake</translation>
    </message>
    <message>
        <source>服务器在结束 TLS 时结束了 TLS</source>
        <translation>the server ended TLS during the TLS close</translation>
    </message>
    <message>
        <source>握手失败</source>
        <translation>the handshake failed</translation>
    </message>
    <message>
        <source>结束 TLS 失败</source>
        <translation>the TLS close failed</translation>
    </message>
    <message>
        <source>接收失败</source>
        <translation>receiving failed</translation>
    </message>
    <message>
        <source>发送失败</source>
        <translation>sending failed</translation>
    </message>
    <message>
        <source>服务器未加密应答：%1</source>
        <translation>the server answered in clear: %1</translation>
    </message>
    <message>
        <source>不是 FTP 服务器：%1</source>
        <translation>Not an FTP server: %1</translation>
    </message>
    <message>
        <source>回应代码 %1 超出范围</source>
        <translation>Reply code %1 is out of range</translation>
    </message>
    <message>
        <source>回应超过 %1 字节</source>
        <translation>The reply is longer than %1 bytes</translation>
    </message>
    <message>
        <source>无法从回应中读出被动模式的地址：%1</source>
        <translation>Cannot read the passive address in the reply: %1</translation>
    </message>
    <message>
        <source>EPSV 的回应中没有数据端口：%1</source>
        <translation>No data port in the reply to EPSV: %1</translation>
    </message>
    <message>
        <source>PASV：%1；EPSV：%2</source>
        <translation>PASV: %1; EPSV: %2</translation>
    </message>
    <message>
        <source>%1 命令含换行符，未发送</source>
        <translation>Line break in the %1 command; nothing was sent</translation>
    </message>
    <message>
        <source>服务器拒绝 %1：%2</source>
        <translation>The server refuses %1: %2</translation>
    </message>
    <message>
        <source>%1 的证书已于 %2 过期</source>
        <translation>The certificate of %1 expired on %2</translation>
    </message>
    <message>
        <source>%1 的证书在 %2 之前无效</source>
        <translation>The certificate of %1 is not valid before %2</translation>
    </message>
    <message>
        <source>%1 的证书已改变：记住的 %2，现在的 %3</source>
        <translation>The certificate of %1 has changed: remembered %2, presented %3</translation>
    </message>
    <message>
        <source>%1；服务器说：%2</source>
        <translation>%1; the server says: %2</translation>
    </message>
    <message>
        <source>到 %1 的数据连接出示的证书不是服务器的：%2，而不是 %3；未发送任何内容</source>
        <translation>The data connection to %1 presented another certificate than the server: %2 instead of %3; nothing was sent</translation>
    </message>
    <message>
        <source>到 %1:%2 的数据连接未经 TLS 关闭就断开了：%3</source>
        <translation>The data connection to %1:%2 ended without a TLS close: %3</translation>
    </message>
    <message>
        <source>无法移交套接字</source>
        <translation>the socket cannot be handed over</translation>
    </message>
    <message>
        <source>无法开始 SSH 会话</source>
        <translation>Cannot start an SSH session</translation>
    </message>
    <message>
        <source>无法设置 SSH 会话：%1</source>
        <translation>Cannot set up the SSH session: %1</translation>
    </message>
    <message>
        <source>不是 SSH 服务器：%1</source>
        <translation>Not an SSH server: %1</translation>
    </message>
    <message>
        <source>服务器不接受密码登录（它接受：%1）</source>
        <translation>The server does not offer password login (it offers: %1)</translation>
    </message>
    <message>
        <source>用户 %1 登录被拒绝：用户名或密码错误（服务器接受：%2）</source>
        <translation>Login refused for user %1: wrong user name or password (the server offers: %2)</translation>
    </message>
    <message>
        <source>未设密码，而服务器不接受密钥登录（它接受：%1）</source>
        <translation>No password given, and the server offers no key login (it offers: %1)</translation>
    </message>
    <message>
        <source>用户 %1 登录被拒绝：您的 SSH 密钥都未被接受（服务器接受：%2）</source>
        <translation>Login refused for user %1: none of your SSH keys was accepted (the server offers: %2)</translation>
    </message>
    <message>
        <source>服务器不提供 SFTP：%1</source>
        <translation>The server offers no SFTP: %1</translation>
    </message>
    <message>
        <source>服务器的 SFTP 未能启动</source>
        <translation>The server&apos;s SFTP did not start</translation>
    </message>
    <message>
        <source>服务器对“%1”给出了意外的 SFTP 回应</source>
        <translation>The server sent an unexpected SFTP reply to %1</translation>
    </message>
    <message>
        <source>服务器给出了意外的 SFTP 回应</source>
        <translation>The server sent an unexpected SFTP reply</translation>
    </message>
    <message>
        <source>服务器没有给出 %1 的目录</source>
        <translation>The server named no folder for %1</translation>
    </message>
    <message>
        <source>无法进入目录 %1：%2</source>
        <translation>Cannot change to folder %1: %2</translation>
    </message>
    <message>
        <source>不是目录</source>
        <translation>not a folder</translation>
    </message>
    <message>
        <source>无法存放 %1：%2</source>
        <translation>Cannot store %1: %2</translation>
    </message>
    <message>
        <source>无法把 %1.part 改名为 %2：%3</source>
        <translation>Cannot rename %1.part to %2: %3</translation>
    </message>
</context>
<context>
    <name>FolderTree</name>
    <message>
        <source>无效的目录名</source>
        <translation>Invalid Directory Name</translation>
    </message>
</context>
<context>
    <name>LineValues</name>
    <message>
        <source>不能输入换行符或空字符，输入未被接受</source>
        <translation>A line break or NUL cannot be entered; input refused</translation>
    </message>
</context>
<context>
    <name>LogPane</name>
    <message>
        <source>查找（Enter 或 F3：下一个，Esc：关闭）</source>
        <translation>Find (Enter or F3: next, Esc: close)</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Zarvel   0.0.1版</source>
        <translation>Zarvel   version 0.0.1</translation>
    </message>
    <message>
        <source>通知文件</source>
        <translation>Notices</translation>
    </message>
    <message>
        <source>文本文件</source>
        <translation>Texts</translation>
    </message>
    <message>
        <source>所有文件</source>
        <translation>All files</translation>
    </message>
    <message>
        <source>本地目录为：</source>
        <translation>Local folder:</translation>
    </message>
    <message>
        <source>未选择，请在“系统设置”页选择</source>
        <translation>none yet, choose it in Settings</translation>
    </message>
    <message>
        <source>对方主机</source>
        <translation>Stations</translation>
    </message>
    <message>
        <source>全选 / 全不选(&amp;A)</source>
        <translation>&amp;All / none</translation>
    </message>
    <message>
        <source>对方目录为：</source>
        <translation>Remote dir:</translation>
    </message>
    <message>
        <source>系统设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>进入设置 </source>
        <translation>Unlock </translation>
    </message>
    <message>
        <source>本地目录</source>
        <translation>Local</translation>
    </message>
    <message>
        <source>对方设置</source>
        <translation>Stations</translation>
    </message>
    <message>
        <source>同时传送的站点数</source>
        <translation>Stations at once</translation>
    </message>
    <message>
        <source>请输入系统设置口令：    </source>
        <translation>Settings password:</translation>
    </message>
    <message>
        <source>尚未设置口令：直接按 OK 进入</source>
        <translation>No password set yet: just press OK</translation>
    </message>
    <message>
        <source>修改口令(&amp;P)...</source>
        <translation>Change &amp;password...</translation>
    </message>
    <message>
        <source>口令错误！</source>
        <translation>Wrong!</translation>
    </message>
    <message>
        <source>Zarvel简介：
      在我们日常工作中会频繁接触各种通知
、公文。而电话通常又不能详细的表达通知
的全部内容，因此我们编写了这个通知传递
软件。该软件主要有以下特点：
      i)  操作简便，只需简单了解即可操作。
      ii)  可以清楚的选择多个文件进行传递。
有清楚的传送记录。
      iii)  支持多种文件格式。
      由于我们时间及水平有限，错误之处在
所难免，请谅解。如果发现软件中出现异常
，请及时与我们联系。再次感谢对本软件的
使用！


                                                  Tellumar</source>
        <translation>About Zarvel:
      In our daily work we constantly deal with notices and official documents, and a phone call seldom conveys a notice in full, so we wrote this notice transfer program. Its main features:
      i)  Simple to use, learned in minutes.
      ii)  Several files can be chosen clearly and sent at once, with a clear send log.
      iii)  Many file formats are supported.
      Our time and skill are limited, so mistakes may remain; please bear with us. If the program misbehaves, please contact us. Thank you again for using it!


                                        Tellumar</translation>
    </message>
    <message>
        <source>传送(&amp;S)</source>
        <translation>&amp;Send</translation>
    </message>
    <message>
        <source>停止(&amp;C)</source>
        <translation>Stop (&amp;C)</translation>
    </message>
    <message>
        <source>退出(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>传送记录(&amp;L)</source>
        <translation>Send &amp;log</translation>
    </message>
    <message>
        <source>正在传送，确定要中断并退出吗？</source>
        <translation>Sending is in progress. Break it off and exit?</translation>
    </message>
    <message>
        <source>无法读取 %1：%2；系统设置保持锁定</source>
        <translation>Cannot read %1: %2; the settings stay locked</translation>
    </message>
</context>
<context>
    <name>MainWindowLabels</name>
    <message>
        <source>欢迎光临：</source>
        <translation>Visit us:</translation>
    </message>
    <message>
        <source>给我来信：</source>
        <translation>Write to us:</translation>
    </message>
</context>
<context>
    <name>NoticeList</name>
    <message>
        <source>此处没有通知文件。

请打开“系统设置”页，输入口令，选“本地目录”，再在目录树中选择通知所在的文件夹。</source>
        <translation>No notices here.

To choose their folder, open the Settings tab, enter the password, pick Local and select the folder in the tree.</translation>
    </message>
    <message>
        <source>已选 %1 个文件</source>
        <translation>%1 selected</translation>
    </message>
    <message>
        <source>没有选中要传送的通知文件：请先在“通知文件”页中选中它们</source>
        <translation>No notice is highlighted: highlight the files to send on the Notices page first</translation>
    </message>
</context>
<context>
    <name>NoticeText</name>
    <message>
        <source>不是文本文件，无法预览</source>
        <translation>Not a text file, cannot preview it</translation>
    </message>
    <message>
        <source>文本超出备注框容量</source>
        <translation>Text exceeds memo capacity</translation>
    </message>
    <message>
        <source>无法打开文件 %1</source>
        <translation>Cannot open file %1</translation>
    </message>
</context>
<context>
    <name>PasswordDialog</name>
    <message>
        <source>修改系统设置口令</source>
        <translation>Change the settings password</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>新口令：</source>
        <translation>New password:</translation>
    </message>
    <message>
        <source>再次输入新口令：</source>
        <translation>New password again:</translation>
    </message>
    <message>
        <source>两次输入的新口令不一致，口令未修改</source>
        <translation>The two new passwords differ; the password is unchanged</translation>
    </message>
    <message>
        <source>新口令含有无法保存的字符，口令未修改</source>
        <translation>The new password has characters that cannot be stored; the password is unchanged</translation>
    </message>
</context>
<context>
    <name>ResultsTable</name>
    <message>
        <source>✔ 已送达，已核对</source>
        <translation>✔ delivered, checked</translation>
    </message>
    <message>
        <source>✓ 已送达，未核对</source>
        <translation>✓ delivered, not checked</translation>
    </message>
    <message>
        <source>✗ 未送达</source>
        <translation>✗ not delivered</translation>
    </message>
    <message>
        <source>站点</source>
        <translation>Station</translation>
    </message>
    <message>
        <source>：</source>
        <translation>: </translation>
    </message>
</context>
<context>
    <name>RunTexts</name>
    <message>
        <source>不是普通文件</source>
        <translation>not a regular file</translation>
    </message>
    <message>
        <source>连接被拒绝</source>
        <translation>connection refused</translation>
    </message>
    <message>
        <source>%1 秒内没有回应</source>
        <translation>no answer within %1 s</translation>
    </message>
    <message>
        <source>无法到达该地址</source>
        <translation>address unreachable</translation>
    </message>
    <message>
        <source>连接被对方重置</source>
        <translation>connection reset by the peer</translation>
    </message>
    <message>
        <source>服务器关闭了连接</source>
        <translation>the server closed the connection</translation>
    </message>
    <message>
        <source>找不到该主机名</source>
        <translation>host name not found</translation>
    </message>
    <message>
        <source>已停止</source>
        <translation>stopped</translation>
    </message>
    <message>
        <source>★☆         您共选择了 %1 个文件         ☆★</source>
        <translation>**         You chose %1 file(s)         **</translation>
    </message>
    <message>
        <source>开始向  %1  传送...</source>
        <translation>Sending to  %1 ...</translation>
    </message>
    <message>
        <source>++++++++++++++++++++++++++      传送成功！</source>
        <translation>++++++++++++++++++++++++++      Sent successfully!</translation>
    </message>
    <message>
        <source>------------------------------ 网络错误，请查明原因！</source>
        <translation>------------------------------ Network error, please find the cause!</translation>
    </message>
    <message>
        <source>登录失败：%1</source>
        <translation>login failed: %1</translation>
    </message>
    <message>
        <source>进入对方目录失败：%1</source>
        <translation>cannot enter the remote folder: %1</translation>
    </message>
    <message>
        <source>设置传送类型失败：%1</source>
        <translation>cannot set the transfer type: %1</translation>
    </message>
    <message>
        <source>意外错误：%1</source>
        <translation>unexpected error: %1</translation>
    </message>
    <message>
        <source>---------------------------------------------------       用户终止！</source>
        <translation>---------------------------------------------------       Stopped by the user!</translation>
    </message>
    <message>
        <source>        --------======  传送完毕  ======--------</source>
        <translation>        --------======  Sending finished  ======--------</translation>
    </message>
    <message>
        <source>另有 %1 个选中的文件超出 %2 个的上限，不传送</source>
        <translation>%1 more chosen file(s) exceed the limit of %2 and are not sent</translation>
    </message>
    <message>
        <source>找不到文件 %1，不传送</source>
        <translation>File %1 not found, not sent</translation>
    </message>
    <message>
        <source>无法读取文件 %1，不传送</source>
        <translation>File %1 cannot be read, not sent</translation>
    </message>
    <message>
        <source>文件名 %1 含换行符，不传送</source>
        <translation>File name %1 contains a line break, not sent</translation>
    </message>
    <message>
        <source>，未核对（服务器不支持 SIZE）</source>
        <translation>, not checked (the server has no SIZE)</translation>
    </message>
    <message>
        <source>，已核对</source>
        <translation>, checked</translation>
    </message>
    <message>
        <source>，已核对（%1）</source>
        <translation>, checked (%1)</translation>
    </message>
    <message>
        <source>%1  已传送 %2 字节</source>
        <translation>%1  sent %2 bytes</translation>
    </message>
    <message>
        <source>%1  已传送 %2 字节，核对不符，未送达</source>
        <translation>%1  %2 bytes sent, check failed, not delivered</translation>
    </message>
    <message>
        <source>%1  已传送 %2 字节，改名被拒绝，临时文件 %1.part 留在服务器上</source>
        <translation>%1  %2 bytes sent, rename refused, temporary file %1.part left on the server</translation>
    </message>
    <message>
        <source>，临时名 %1</source>
        <translation>, temporary name %1</translation>
    </message>
    <message>
        <source>[站点 %1，文件 %2，%3 字节，%4]</source>
        <translation>[station %1, file %2, %3 bytes, %4]</translation>
    </message>
    <message>
        <source>未核对</source>
        <translation>not checked</translation>
    </message>
    <message>
        <source>已用 %1 核对</source>
        <translation>checked by %1</translation>
    </message>
    <message>
        <source>%1 核对未通过</source>
        <translation>%1 check failed</translation>
    </message>
    <message>
        <source>服务器上的文件为 %1 字节，已发送 %2 字节，文件不完整</source>
        <translation>the file on the server has %1 bytes, %2 bytes were sent: incomplete</translation>
    </message>
    <message>
        <source>服务器无法核对文件大小：%1</source>
        <translation>the server cannot check the file size: %1</translation>
    </message>
    <message>
        <source>服务器上文件的 %1 与发送的内容不符，文件不完整</source>
        <translation>the file&apos;s %1 on the server differs from what was sent: incomplete</translation>
    </message>
    <message>
        <source>服务器无法核对文件的 %1：%2</source>
        <translation>the server cannot check the file&apos;s %1: %2</translation>
    </message>
    <message>
        <source>%1  未传送</source>
        <translation>%1  not sent</translation>
    </message>
    <message>
        <source>：</source>
        <translation>: </translation>
    </message>
    <message>
        <source>站点上的 %1 不完整</source>
        <translation>%1 on the station is incomplete</translation>
    </message>
    <message>
        <source>临时文件 %1 留在站点上</source>
        <translation>temporary file %1 left on the station</translation>
    </message>
    <message>
        <source>%1  已发送 %2 / %3 字节；%4</source>
        <translation>%1  sent %2 / %3 bytes; %4</translation>
    </message>
    <message>
        <source>文件名 %1 无法用服务器的编码（%2）表示</source>
        <translation>File name %1 cannot be written in the server&apos;s encoding (%2)</translation>
    </message>
    <message>
        <source>无法打开本地文件</source>
        <translation>cannot open the local file</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connection to</translation>
    </message>
    <message>
        <source>数据连接</source>
        <translation>Data connection to</translation>
    </message>
    <message>
        <source>%1 %2:%3 失败：%4</source>
        <translation>%1 %2:%3 failed: %4</translation>
    </message>
    <message>
        <source>该站点没有 IP 地址</source>
        <translation>The station has no IP address</translation>
    </message>
    <message>
        <source>对方目录名含 %1 无法表示的字符</source>
        <translation>The remote folder name has characters %1 cannot represent</translation>
    </message>
    <message>
        <source>无法解析主机名 %1</source>
        <translation>Cannot resolve host name %1</translation>
    </message>
    <message>
        <source>文件名编码：%1</source>
        <translation>File name encoding: %1</translation>
    </message>
    <message>
        <source>改用主动模式：%1</source>
        <translation>Switching to active mode: %1</translation>
    </message>
    <message>
        <source>已加密 %1</source>
        <translation>Encrypted: %1</translation>
    </message>
    <message>
        <source>未加密（该站点设为不加密）</source>
        <translation>Not encrypted (the station is set to go without TLS)</translation>
    </message>
    <message>
        <source>未加密（服务器不支持 TLS）</source>
        <translation>Not encrypted (the server does not support TLS)</translation>
    </message>
    <message>
        <source>已记住站点证书 SHA-256 %1</source>
        <translation>Station certificate remembered: SHA-256 %1</translation>
    </message>
    <message>
        <source>站点证书已改变：记住的 %1，现在的 %2；未登录。如证书确实更换，请在系统设置中忘记旧证书</source>
        <translation>The station&apos;s certificate has changed: remembered %1, now %2; not logged in. If the certificate really was replaced, forget the old one in Settings</translation>
    </message>
    <message>
        <source>已记住主机密钥 %1</source>
        <translation>Host key remembered: %1</translation>
    </message>
    <message>
        <source>主机密钥已改变：记住的 %1，现在的 %2；未发送密码。如主机密钥确实更换，请在系统设置中忘记旧主机密钥</source>
        <translation>The host key has changed: remembered %1, now %2; no password was sent. If the host key really was replaced, forget the old one in Settings</translation>
    </message>
    <message>
        <source>此处不能使用该站点的协议</source>
        <translation>The station&apos;s protocol cannot be used here</translation>
    </message>
    <message>
        <source>[站点 %1，未加密]</source>
        <translation>[station %1, not encrypted]</translation>
    </message>
    <message>
        <source>[站点 %1，已加密 %2，known_hosts 中的主机密钥 %3]</source>
        <translation>[station %1, encrypted %2, host key from known_hosts %3]</translation>
    </message>
    <message>
        <source>[站点 %1，已加密 %2，主机密钥 %3]</source>
        <translation>[station %1, encrypted %2, host key %3]</translation>
    </message>
    <message>
        <source>[站点 %1，已加密 %2，系统信任的证书 SHA-256 %3]</source>
        <translation>[station %1, encrypted %2, certificate trusted by the system, SHA-256 %3]</translation>
    </message>
    <message>
        <source>[站点 %1，已加密 %2，证书 SHA-256 %3]</source>
        <translation>[station %1, encrypted %2, certificate SHA-256 %3]</translation>
    </message>
    <message>
        <source>正在结束当前文件，再按一次停止立即中断</source>
        <translation>Finishing the current file; press Stop again to break off now</translation>
    </message>
    <message>
        <source>已勾选未完成的站点，再按传送(S)即可重发</source>
        <translation>Unfinished stations are ticked; press Send (S) again to resend</translation>
    </message>
    <message>
        <source>传送记录无法写入 %1：%2</source>
        <translation>The send log cannot be written to %1: %2</translation>
    </message>
    <message>
        <source>[%1:%2 用户 %3]</source>
        <translation>[%1:%2 user %3]</translation>
    </message>
    <message>
        <source>文件 %1 在站点上同名（%2），都不传送</source>
        <translation>files %1 have one name on the station (%2); none of them is sent</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>文件名 %1 含路径分隔符或只有点，不传送</source>
        <translation>File name %1 contains a path separator or only dots, not sent</translation>
    </message>
    <message>
        <source>%1  已传送 %2 字节，未核对（服务器无法核对：%3）</source>
        <translation>%1  sent %2 bytes, not checked (the server could not check it: %3)</translation>
    </message>
    <message>
        <source>------------------------------ %1 / %2 个文件未送达，请查明原因！</source>
        <translation>------------------------------ %1 / %2 files did not arrive, please find the cause!</translation>
    </message>
    <message>
        <source>来自 %1 的数据连接已拒绝：不是服务器</source>
        <translation>data connection from %1 refused: not the server</translation>
    </message>
    <message>
        <source>---------------------------------------------------       窗口关闭，传送中断！</source>
        <translation>---------------------------------------------------       Window closed, sending broken off!</translation>
    </message>
    <message>
        <source>站点文件已在别处修改，无法确定该站点的设置；按默认设置连接（auto，端口 21）</source>
        <translation>The station file was changed elsewhere and this station&apos;s settings are uncertain; connecting with the defaults (auto, port 21)</translation>
    </message>
    <message>
        <source>站点曾使用加密连接，现在服务器拒绝加密；未登录</source>
        <translation>The station was encrypted before and the server now refuses encryption; not logged in</translation>
    </message>
    <message>
        <source>用户名或口令含有换行符或空字符，未登录</source>
        <translation>The user name or password holds a line break or NUL; not logged in</translation>
    </message>
</context>
<context>
    <name>RunView</name>
    <message>
        <source>%1 秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 分 %2 秒</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>%1 小时 %2 分</source>
        <translation>%1 h %2 min</translation>
    </message>
    <message>
        <source>复制结果</source>
        <translation>Copy results</translation>
    </message>
    <message>
        <source>总进度 %p%</source>
        <translation>Overall %p%</translation>
    </message>
    <message>
        <source>站点</source>
        <translation>Station</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>State</translation>
    </message>
    <message>
        <source>进度</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>详情</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>以制表符分隔的文本复制结果表（Ctrl+C）</source>
        <translation>Copy the results table as tab-separated text (Ctrl+C)</translation>
    </message>
    <message>
        <source>%1 个站点：%2 个完成</source>
        <translation>%1 stations: %2 done</translation>
    </message>
    <message>
        <source>%1 个站点：%2 个完成，%3 个未完成（%4）</source>
        <translation>%1 stations: %2 done, %3 unfinished (%4)</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>等待</source>
        <translation>waiting</translation>
    </message>
    <message>
        <source>连接中</source>
        <translation>connecting</translation>
    </message>
    <message>
        <source>登录</source>
        <translation>logging in</translation>
    </message>
    <message>
        <source>传送 %1</source>
        <translation>sending %1</translation>
    </message>
    <message>
        <source>核对</source>
        <translation>checking</translation>
    </message>
    <message>
        <source>完成</source>
        <translation>done</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>failed</translation>
    </message>
    <message>
        <source>已停止</source>
        <translation>stopped</translation>
    </message>
    <message>
        <source>等待服务器回应 %1 / %2 秒</source>
        <translation>waiting for the server %1 / %2 s</translation>
    </message>
    <message>
        <source>%1/秒，剩余 %2</source>
        <translation>%1/s, %2 left</translation>
    </message>
</context>
<context>
    <name>StationGrid</name>
    <message>
        <source>主动</source>
        <translation>active</translation>
    </message>
    <message>
        <source>被动</source>
        <translation>passive</translation>
    </message>
    <message>
        <source>必须</source>
        <translation>require</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>off</translation>
    </message>
    <message>
        <source>隐式</source>
        <translation>implicit</translation>
    </message>
    <message>
        <source>自动</source>
        <translation>auto</translation>
    </message>
    <message>
        <source>端口须是 1 到 65535 之间的数</source>
        <translation>The port must be a number from 1 to 65535</translation>
    </message>
    <message>
        <source>每格最多 16 字节（8 个汉字）：多出的部分已截去</source>
        <translation>A cell holds at most 16 bytes (8 Chinese characters): the rest was cut off</translation>
    </message>
    <message>
        <source>“%1”既不是 IP 地址，也不是主机名，未被接受</source>
        <translation>&quot;%1&quot; is neither an IP address nor a host name; not accepted</translation>
    </message>
    <message>
        <source>服务器名</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>IP地址</source>
        <translation>IP address</translation>
    </message>
    <message>
        <source>用户名</source>
        <translation>User</translation>
    </message>
    <message>
        <source>口令</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>模式</source>
        <translation>Mode</translation>
    </message>
    <message>
        <source>临时名</source>
        <translation>Temp name</translation>
    </message>
    <message>
        <source>先传临时名再改名</source>
        <translation>Upload under a temporary name, then rename</translation>
    </message>
    <message>
        <source>加密</source>
        <translation>TLS</translation>
    </message>
    <message>
        <source>加密（TLS）：auto 服务器支持时加密；必须 不加密就不登录；关闭 不加密；隐式 从连接起就加密（端口 990）。右键单击行号可忘记记住的证书</source>
        <translation>Encryption (TLS): auto encrypts when the server supports it; require logs in only encrypted; off never encrypts; implicit encrypts from the first byte (port 990). Right-click a row number to forget a remembered certificate</translation>
    </message>
    <message>
        <source>协议</source>
        <translation>Protocol</translation>
    </message>
    <message>
        <source>FTP 或 SFTP；端口随之改为 21 或 22，除非端口是自己填的。右键单击行号可忘记 SFTP 站点记住的主机密钥</source>
        <translation>FTP or SFTP; the port follows (21 or 22) unless you typed it. Right-click a row number to forget the host key remembered for an SFTP station</translation>
    </message>
    <message>
        <source>编码</source>
        <translation>Encoding</translation>
    </message>
    <message>
        <source>文件名编码：自动 服务器声明支持 UTF8 时用 UTF-8，否则用 GBK。SFTP 的文件名总是 UTF-8</source>
        <translation>Encoding of file names: auto uses UTF-8 when the server announces UTF8, else GBK. SFTP names are always UTF-8</translation>
    </message>
    <message>
        <source>SFTP 站点不用此项</source>
        <translation>Not used by an SFTP station</translation>
    </message>
</context>
<context>
    <name>platform</name>
    <message>
        <source>未知异常</source>
        <translation>Unknown exception</translation>
    </message>
    <message>
        <source>。</source>
        <translation>.</translation>
    </message>
    <message>
        <source>设置文件 %1 %2，保持原样未动</source>
        <translation>The settings file %1 %2; it is left as it is</translation>
    </message>
    <message>
        <source>不是普通文件</source>
        <translation>is not a regular file</translation>
    </message>
    <message>
        <source>大于 64 KiB</source>
        <translation>is larger than 64 KiB</translation>
    </message>
    <message>
        <source>找不到文件</source>
        <translation>File not found</translation>
    </message>
    <message>
        <source>文件拒绝访问</source>
        <translation>File access denied</translation>
    </message>
    <message>
        <source>磁盘已满</source>
        <translation>Disk full</translation>
    </message>
    <message>
        <source>读取超出文件末尾</source>
        <translation>Read beyond end of file</translation>
    </message>
    <message>
        <source>输入输出错误 %1</source>
        <translation>I/O error %1</translation>
    </message>
</context>
</TS>
