#!/usr/bin/env python3
"""Regenerates translations/zarvel_en.ts and zarvel_zh_CN.ts from the sources.

lupdate collects every marked text; texts written in Chinese go to the English file, texts
written in English (the platform layer's messages) to the Chinese file, each with its
translation from the tables below. A text without a translation stops the script.
"""
import pathlib
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

ROOT = pathlib.Path(__file__).resolve().parent.parent
LUPDATE = "/usr/lib/qt6/bin/lupdate"
CJK = re.compile("[\u3000-\u303f\u4e00-\u9fff\uff00-\uffef\u2605\u2606]")

INTRO_ZH = ("Zarvel简介：\n      在我们日常工作中会频繁接触各种通知\n、公文。而电话通常又不能详细的表达通知\n"
            "的全部内容，因此我们编写了这个通知传递\n软件。该软件主要有以下特点：\n"
            "      i)  操作简便，只需简单了解即可操作。\n      ii)  可以清楚的选择多个文件进行传递。\n"
            "有清楚的传送记录。\n      iii)  支持多种文件格式。\n      由于我们时间及水平有限，错误之处在\n"
            "所难免，请谅解。如果发现软件中出现异常\n，请及时与我们联系。再次感谢对本软件的\n使用！\n\n\n"
            "                                                  Tellumar")
# Paragraphs without inner line breaks: the pane wraps them at its own width.
INTRO_EN = ("About Zarvel:\n      In our daily work we constantly deal with notices and official "
            "documents, and a phone call seldom conveys a notice in full, so we wrote this notice "
            "transfer program. Its main features:\n      i)  Simple to use, learned in minutes.\n"
            "      ii)  Several files can be chosen clearly and sent at once, with a clear send log.\n"
            "      iii)  Many file formats are supported.\n      Our time and skill are limited, so "
            "mistakes may remain; please bear with us. If the program misbehaves, please contact "
            "us. Thank you again for using it!\n\n\n"
            "                                        Tellumar")

EN = {
    "Zarvel   0.0.1版": "Zarvel   version 0.0.1",
    "通知文件": "Notices",
    "文本文件": "Texts",
    "所有文件": "All files",
    "本地目录为：": "Local folder:",
    "对方主机": "Stations",
    "对方目录为：": "Remote dir:",
    "系统设置": "Settings",
    "进入设置 ": "Unlock ",
    "本地目录": "Local",
    "对方设置": "Stations",
    "请输入系统设置口令：    ": "Settings password:",
    "口令错误！": "Wrong!",
    INTRO_ZH: INTRO_EN,
    "传送记录(&L)": "Send &log",
    "传送(&S)": "&Send",
    "停止(&C)": "Stop (&C)",
    "退出(&X)": "E&xit",
    "欢迎光临：": "Visit us:",
    "给我来信：": "Write to us:",
    "不是文本文件，无法预览": "Not a text file, cannot preview it",
    "连接被拒绝": "connection refused",
    "%1 秒内没有回应": "no answer within %1 s",
    "无法到达该地址": "address unreachable",
    "连接被对方重置": "connection reset by the peer",
    "服务器关闭了连接": "the server closed the connection",
    "找不到该主机名": "host name not found",
    "已停止": "stopped",
    "★☆         您共选择了 %1 个文件         ☆★": "**         You chose %1 file(s)         **",
    "开始向  %1  传送...": "Sending to  %1 ...",
    "++++++++++++++++++++++++++      传送成功！": "++++++++++++++++++++++++++      Sent successfully!",
    "------------------------------ 网络错误，请查明原因！":
        "------------------------------ Network error, please find the cause!",
    "---------------------------------------------------       用户终止！":
        "---------------------------------------------------       Stopped by the user!",
    "        --------======  传送完毕  ======--------": "        --------======  Sending finished  ======--------",
    "另有 %1 个选中的文件超出 %2 个的上限，不传送":
        "%1 more chosen file(s) exceed the limit of %2 and are not sent",
    "找不到文件 %1，不传送": "File %1 not found, not sent",
    "无法读取文件 %1，不传送": "File %1 cannot be read, not sent",
    "文件名 %1 含换行符，不传送": "File name %1 contains a line break, not sent",
    "%1  已传送 %2 字节": "%1  sent %2 bytes",
    "%1  未传送": "%1  not sent",
    "：": ": ",
    "文件名 %1 无法用服务器的编码（%2）表示": "File name %1 cannot be written in the server's encoding (%2)",
    "无法打开本地文件": "cannot open the local file",
    "连接": "Connection to",
    "数据连接": "Data connection to",
    "%1 %2:%3 失败：%4": "%1 %2:%3 failed: %4",
    "该站点没有 IP 地址": "The station has no IP address",
    "对方目录名含 %1 无法表示的字符": "The remote folder name has characters %1 cannot represent",
    "无法解析主机名 %1": "Cannot resolve host name %1",
    "文件名编码：%1": "File name encoding: %1",
    "改用主动模式：%1": "Switching to active mode: %1",
    "正在结束当前文件，再按一次停止立即中断": "Finishing the current file; press Stop again to break off now",
    "已勾选未完成的站点，再按传送(S)即可重发": "Unfinished stations are ticked; press Send (S) again to resend",
    "传送记录无法写入 %1：%2": "The send log cannot be written to %1: %2",
    "[%1:%2 用户 %3]": "[%1:%2 user %3]",
    "服务器名": "Server",
    "IP地址": "IP address",
    "用户名": "User",
    "口令": "Password",
    "端口": "Port",
    "模式": "Mode",
    "主动": "active",
    "被动": "passive",
    "，未核对（服务器不支持 SIZE）": ", not checked (the server has no SIZE)",
    "，已核对": ", checked",
    "%1  已传送 %2 字节，核对不符，未送达": "%1  %2 bytes sent, check failed, not delivered",
    "%1  已传送 %2 字节，改名被拒绝，临时文件 %1.part 留在服务器上":
        "%1  %2 bytes sent, rename refused, temporary file %1.part left on the server",
    "[站点 %1，文件 %2，%3 字节，%4]": "[station %1, file %2, %3 bytes, %4]",
    "未核对": "not checked",
    "已用 %1 核对": "checked by %1",
    "%1 核对未通过": "%1 check failed",
    "，临时名 %1": ", temporary name %1",
    "，已核对（%1）": ", checked (%1)",
    "服务器上文件的 %1 与发送的内容不符，文件不完整":
        "the file's %1 on the server differs from what was sent: incomplete",
    "服务器无法核对文件的 %1：%2": "the server cannot check the file's %1: %2",
    "临时名": "Temp name",
    "先传临时名再改名": "Upload under a temporary name, then rename",
    "服务器上的文件为 %1 字节，已发送 %2 字节，文件不完整":
        "the file on the server has %1 bytes, %2 bytes were sent: incomplete",
    "服务器无法核对文件大小：%1": "the server cannot check the file size: %1",
    "尚未设置口令：直接按 OK 进入": "No password set yet: just press OK",
    "未选择，请在“系统设置”页选择": "none yet, choose it in Settings",
    "修改口令(&P)...": "Change &password...",
    "修改系统设置口令": "Change the settings password",
    "确定": "OK",
    "取消": "Cancel",
    "新口令：": "New password:",
    "再次输入新口令：": "New password again:",
    "两次输入的新口令不一致，口令未修改": "The two new passwords differ; the password is unchanged",
    "新口令含有无法保存的字符，口令未修改":
        "The new password has characters that cannot be stored; the password is unchanged",
    "此处没有通知文件。\n\n请打开“系统设置”页，输入口令，选“本地目录”，再在目录树中选择通知所在的文件夹。":
        "No notices here.\n\nTo choose their folder, open the Settings tab, enter the password, "
        "pick Local and select the folder in the tree.",
    "已加密 %1": "Encrypted: %1",
    "未加密（该站点设为不加密）": "Not encrypted (the station is set to go without TLS)",
    "未加密（服务器不支持 TLS）": "Not encrypted (the server does not support TLS)",
    "已记住站点证书 SHA-256 %1": "Station certificate remembered: SHA-256 %1",
    "站点证书已改变：记住的 %1，现在的 %2；未登录。如证书确实更换，请在系统设置中忘记旧证书":
        "The station's certificate has changed: remembered %1, now %2; not logged in. If the "
        "certificate really was replaced, forget the old one in Settings",
    "[站点 %1，未加密]": "[station %1, not encrypted]",
    "[站点 %1，已加密 %2，证书 SHA-256 %3]": "[station %1, encrypted %2, certificate SHA-256 %3]",
    "[站点 %1，已加密 %2，系统信任的证书 SHA-256 %3]":
        "[station %1, encrypted %2, certificate trusted by the system, SHA-256 %3]",
    "加密": "TLS",
    "必须": "require",
    "关闭": "off",
    "忘记证书(&F)...": "&Forget certificate...",
    "该站点没有记住的证书": "No certificate remembered for this station",
    "忘记证书": "Forget certificate",
    "忘记站点 %1（%2）记住的证书？\n\nSHA-256 %3\n\n下次连接时将记住该站点那时出示的证书。":
        "Forget the certificate remembered for station %1 (%2)?\n\nSHA-256 %3\n\n"
        "The next connection remembers the certificate the station shows then.",
    "忘记(&F)": "&Forget",
    # Station identity, ticks, encryption history and settings-file input checks.
    "全选 / 全不选(&A)": "&All / none",
    "站点文件已在别处修改，无法确定该站点的设置；按默认设置连接（auto，端口 21）":
        "The station file was changed elsewhere and this station's settings are uncertain; "
        "connecting with the defaults (auto, port 21)",
    "站点曾使用加密连接，现在服务器拒绝加密；未登录":
        "The station was encrypted before and the server now refuses encryption; not logged in",
    "无法读取 %1：%2；系统设置保持锁定": "Cannot read %1: %2; the settings stay locked",
    "不能输入换行符或空字符，输入未被接受": "A line break or NUL cannot be entered; input refused",
    "用户名或口令含有换行符或空字符，未登录": "The user name or password holds a line break or NUL; not logged in",
    # Send run: what reaches the station, incomplete and unchecked files, closing during a run.
    "%1  已发送 %2 / %3 字节；%4": "%1  sent %2 / %3 bytes; %4",
    "站点上的 %1 不完整": "%1 on the station is incomplete",
    "临时文件 %1 留在站点上": "temporary file %1 left on the station",
    "文件 %1 在站点上同名（%2），都不传送":
        "files %1 have one name on the station (%2); none of them is sent",
    "、": ", ",
    "文件名 %1 含路径分隔符或只有点，不传送":
        "File name %1 contains a path separator or only dots, not sent",
    "%1  已传送 %2 字节，未核对（服务器无法核对：%3）":
        "%1  sent %2 bytes, not checked (the server could not check it: %3)",
    "------------------------------ %1 / %2 个文件未送达，请查明原因！":
        "------------------------------ %1 / %2 files did not arrive, please find the cause!",
    "来自 %1 的数据连接已拒绝：不是服务器": "data connection from %1 refused: not the server",
    "---------------------------------------------------       窗口关闭，传送中断！":
        "---------------------------------------------------       Window closed, sending broken off!",
    "不是普通文件": "not a regular file",
    "正在传送，确定要中断并退出吗？": "Sending is in progress. Break it off and exit?",
    # The run view: stations' rows while a run goes, the summary and the results table after it.
    "总进度 %p%": "Overall %p%",
    "站点": "Station",
    "状态": "State",
    "进度": "Progress",
    "详情": "Details",
    "等待": "waiting",
    "连接中": "connecting",
    "登录": "logging in",
    "传送 %1": "sending %1",
    "核对": "checking",
    "完成": "done",
    "失败": "failed",
    "等待服务器回应 %1 / %2 秒": "waiting for the server %1 / %2 s",
    "%1/秒，剩余 %2": "%1/s, %2 left",
    "%1 秒": "%1 s",
    "%1 分 %2 秒": "%1 min %2 s",
    "%1 小时 %2 分": "%1 h %2 min",
    "%1 个站点：%2 个完成": "%1 stations: %2 done",
    "%1 个站点：%2 个完成，%3 个未完成（%4）": "%1 stations: %2 done, %3 unfinished (%4)",
    "复制结果": "Copy results",
    "以制表符分隔的文本复制结果表（Ctrl+C）": "Copy the results table as tab-separated text (Ctrl+C)",
    "✔ 已送达，已核对": "✔ delivered, checked",
    "✓ 已送达，未核对": "✓ delivered, not checked",
    "✗ 未送达": "✗ not delivered",
    # The growing window: selection count, find bar, the grid's refusals, stations at once.
    "已选 %1 个文件": "%1 selected",
    "没有选中要传送的通知文件：请先在“通知文件”页中选中它们":
        "No notice is highlighted: highlight the files to send on the Notices page first",
    "查找（Enter 或 F3：下一个，Esc：关闭）": "Find (Enter or F3: next, Esc: close)",
    "端口须是 1 到 65535 之间的数": "The port must be a number from 1 to 65535",
    "每格最多 16 字节（8 个汉字）：多出的部分已截去":
        "A cell holds at most 16 bytes (8 Chinese characters): the rest was cut off",
    "“%1”既不是 IP 地址，也不是主机名，未被接受":
        "\"%1\" is neither an IP address nor a host name; not accepted",
    "同时传送的站点数": "Stations at once",
    # Stations side by side: the steps of cause lines, a session that failed unexpectedly.
    "登录失败：%1": "login failed: %1",
    "进入对方目录失败：%1": "cannot enter the remote folder: %1",
    "设置传送类型失败：%1": "cannot set the transfer type: %1",
    "意外错误：%1": "unexpected error: %1",
    # SSH stations: host keys, and a station of another protocol.
    "已记住主机密钥 %1": "Host key remembered: %1",
    "主机密钥已改变：记住的 %1，现在的 %2；未发送密码。如主机密钥确实更换，请在系统设置中忘记旧主机密钥":
        "The host key has changed: remembered %1, now %2; no password was sent. If the "
        "host key really was replaced, forget the old one in Settings",
    "此处不能使用该站点的协议": "The station's protocol cannot be used here",
    "[站点 %1，已加密 %2，主机密钥 %3]": "[station %1, encrypted %2, host key %3]",
    "[站点 %1，已加密 %2，known_hosts 中的主机密钥 %3]":
        "[station %1, encrypted %2, host key from known_hosts %3]",
    # The station grid's protocol, encoding and implicit TLS; forgetting an SFTP host key.
    "隐式": "implicit",
    "自动": "auto",
    "协议": "Protocol",
    "编码": "Encoding",
    "SFTP 站点不用此项": "Not used by an SFTP station",
    "加密（TLS）：auto 服务器支持时加密；必须 不加密就不登录；关闭 不加密；隐式 从连接起就加密（端口 990）。"
    "右键单击行号可忘记记住的证书":
        "Encryption (TLS): auto encrypts when the server supports it; require logs in only "
        "encrypted; off never encrypts; implicit encrypts from the first byte (port 990). "
        "Right-click a row number to forget a remembered certificate",
    "FTP 或 SFTP；端口随之改为 21 或 22，除非端口是自己填的。右键单击行号可忘记 SFTP 站点记住的主机密钥":
        "FTP or SFTP; the port follows (21 or 22) unless you typed it. Right-click a row number "
        "to forget the host key remembered for an SFTP station",
    "文件名编码：自动 服务器声明支持 UTF8 时用 UTF-8，否则用 GBK。SFTP 的文件名总是 UTF-8":
        "Encoding of file names: auto uses UTF-8 when the server announces UTF8, else GBK. "
        "SFTP names are always UTF-8",
    "忘记主机密钥(&F)...": "&Forget host key...",
    "该站点没有记住的主机密钥": "No host key remembered for this station",
    "忘记主机密钥": "Forget host key",
    "忘记站点 %1（%2）记住的主机密钥？\n\n%3\n\n下次连接时将记住该站点那时出示的主机密钥。":
        "Forget the host key remembered for station %1 (%2)?\n\n%3\n\n"
        "The next connection remembers the key the station shows then.",
    # The lower layers' failures, worded by the window from their codes (app/FailureTexts.cpp).
    "不是 FTP 服务器：%1": "Not an FTP server: %1",
    "回应代码 %1 超出范围": "Reply code %1 is out of range",
    "回应超过 %1 字节": "The reply is longer than %1 bytes",
    "无法从回应中读出被动模式的地址：%1": "Cannot read the passive address in the reply: %1",
    "EPSV 的回应中没有数据端口：%1": "No data port in the reply to EPSV: %1",
    "%1 命令含换行符，未发送": "Line break in the %1 command; nothing was sent",
    "不是 SSH 服务器：%1": "Not an SSH server: %1",
    "无法开始 SSH 会话": "Cannot start an SSH session",
    "无法设置 SSH 会话：%1": "Cannot set up the SSH session: %1",
    "无法移交套接字": "the socket cannot be handed over",
    "服务器不接受密码登录（它接受：%1）": "The server does not offer password login (it offers: %1)",
    "用户 %1 登录被拒绝：用户名或密码错误（服务器接受：%2）": "Login refused for user %1: wrong user name or password (the server offers: %2)",
    "未设密码，而服务器不接受密钥登录（它接受：%1）": "No password given, and the server offers no key login (it offers: %1)",
    "用户 %1 登录被拒绝：您的 SSH 密钥都未被接受（服务器接受：%2）": "Login refused for user %1: none of your SSH keys was accepted (the server offers: %2)",
    "服务器不提供 SFTP：%1": "The server offers no SFTP: %1",
    "服务器的 SFTP 未能启动": "The server's SFTP did not start",
    "服务器对“%1”给出了意外的 SFTP 回应": "The server sent an unexpected SFTP reply to %1",
    "服务器给出了意外的 SFTP 回应": "The server sent an unexpected SFTP reply",
    "服务器没有给出 %1 的目录": "The server named no folder for %1",
    "无法进入目录 %1：%2": "Cannot change to folder %1: %2",
    "不是目录": "not a folder",
    "无法存放 %1：%2": "Cannot store %1: %2",
    "无法把 %1.part 改名为 %2：%3": "Cannot rename %1.part to %2: %3",
    "连接 %1 失败：%2": "Connection to %1 failed: %2",
    "数据连接 %1 失败：%2": "Data connection to %1 failed: %2",
    "行过长：%1 字节内没有行尾": "Line too long: no line end within %1 bytes",
    "要发送的文本过长：%1 字节，最多 65535 字节": "Text to send is too long: %1 bytes, at most 65535 allowed",
    "无法建立数据连接": "Error creating Data Connection",
    "未连接": "Not Connected",
    "已经连接": "Already connected",
    "发送已中止": "Socket send aborted",
    "超时": "timed out",
    "权限不足": "permission denied",
    "打开的文件过多": "too many open files",
    "缓冲区空间不足": "no buffer space available",
    "地址已被占用": "address already in use",
    "无法使用所请求的地址": "cannot assign requested address",
    "协议不支持该地址族": "address family not supported by protocol",
    "网络已断开": "network is down",
    "网络不可达": "network is unreachable",
    "没有到主机的路由": "no route to host",
    "%1；服务器说：%2": "%1; the server says: %2",
    "服务器拒绝 %1：%2": "The server refuses %1: %2",
    "%1 的证书已改变：记住的 %2，现在的 %3": "The certificate of %1 has changed: remembered %2, presented %3",
    "%1 的证书已于 %2 过期": "The certificate of %1 expired on %2",
    "%1 的证书在 %2 之前无效": "The certificate of %1 is not valid before %2",
    "到 %1:%2 的数据连接未经 TLS 关闭就断开了：%3": "The data connection to %1:%2 ended without a TLS close: %3",
    "到 %1 的数据连接出示的证书不是服务器的：%2，而不是 %3；未发送任何内容": "The data connection to %1 presented another certificate than the server: %2 instead of %3; nothing was sent",
    "PASV：%1；EPSV：%2": "PASV: %1; EPSV: %2",
    "与 %1 的 TLS 握手失败：%2": "TLS handshake with %1 failed: %2",
    "到 %1 的数据连接 TLS 握手失败：%2": "TLS handshake on the data connection to %1 failed: %2",
    "到 %1 的连接 TLS 出错：%2": "TLS failed on the connection to %1: %2",
    "到 %1 的数据连接 TLS 出错：%2": "TLS failed on the data connection to %1: %2",
    "无法准备 TLS：%1": "Cannot set up TLS: %1",
    "服务器在握手时关闭了连接": "the server closed the connection during the handshake",
    "服务器未加密应答：%1": "the server answered in clear: %1",
    "服务器在结束 TLS 时关闭了连接": "the server closed the connection during the TLS close",
    "服务器在握手时结束了 TLS": "the server ended TLS during the handshake",
    "服务器在结束 TLS 时结束了 TLS": "the server ended TLS during the TLS close",
    "握手失败": "the handshake failed",
    "结束 TLS 失败": "the TLS close failed",
    "接收失败": "receiving failed",
    "发送失败": "sending failed",
}

# Where one Chinese text has other English words in one context: the system's words for a
# reset connection.
EN_IN_CONTEXT = {
    ("FailureTexts", "连接被对方重置"): "connection reset by peer",
}

ZH = {
    "Invalid Directory Name": "无效的目录名",
    "Text exceeds memo capacity": "文本超出备注框容量",
    "Cannot open file %1": "无法打开文件 %1",
    "Unknown exception": "未知异常",
    ".": "。",
    "The settings file %1 %2; it is left as it is": "设置文件 %1 %2，保持原样未动",
    "is not a regular file": "不是普通文件",
    "is larger than 64 KiB": "大于 64 KiB",
    "File not found": "找不到文件",
    "File access denied": "文件拒绝访问",
    "Disk full": "磁盘已满",
    "I/O error %1": "输入输出错误 %1",
    "Read beyond end of file": "读取超出文件末尾",
    "Not an FTP server: %1": "不是 FTP 服务器：%1",
    "Reply code %1 is out of range": "回应代码 %1 超出范围",
    "The reply is longer than %1 bytes": "回应超过 %1 字节",
    "Cannot read the passive address in the reply: %1": "无法从回应中读出被动模式的地址：%1",
    "No data port in the reply to EPSV: %1": "EPSV 的回应中没有数据端口：%1",
    "Line break in the %1 command; nothing was sent": "%1 命令含换行符，未发送",
    "Connection to %1 failed: %2": "连接 %1 失败：%2",
    "Data connection to %1 failed: %2": "数据连接 %1 失败：%2",
    "Line too long: no line end within %1 bytes": "行过长：%1 字节内没有行尾",
    "Text to send is too long: %1 bytes, at most 65535 allowed": "要发送的文本过长：%1 字节，最多 65535 字节",
    "Error creating Data Connection": "无法建立数据连接",
    "Not Connected": "未连接",
    "Already connected": "已经连接",
    "Socket send aborted": "发送已中止",
    "timed out": "超时",
    "permission denied": "权限不足",
    "too many open files": "打开的文件过多",
    "no buffer space available": "缓冲区空间不足",
    "address already in use": "地址已被占用",
    "cannot assign requested address": "无法使用所请求的地址",
    "address family not supported by protocol": "协议不支持该地址族",
    "network is down": "网络已断开",
    "network is unreachable": "网络不可达",
    "no route to host": "没有到主机的路由",
    "connection refused": "连接被拒绝",
    "connection reset by peer": "连接被对方重置",
    "%1; the server says: %2": "%1；服务器说：%2",
    "The server refuses %1: %2": "服务器拒绝 %1：%2",
    "The certificate of %1 has changed: remembered %2, presented %3":
        "%1 的证书已改变：记住的 %2，现在的 %3",
    "The certificate of %1 expired on %2": "%1 的证书已于 %2 过期",
    "The certificate of %1 is not valid before %2": "%1 的证书在 %2 之前无效",
    "The data connection to %1:%2 ended without a TLS close: %3":
        "到 %1:%2 的数据连接未经 TLS 关闭就断开了：%3",
    "TLS handshake with %1 failed: %2": "与 %1 的 TLS 握手失败：%2",
    "TLS handshake on the data connection to %1 failed: %2": "到 %1 的数据连接 TLS 握手失败：%2",
    "TLS failed on the connection to %1: %2": "到 %1 的连接 TLS 出错：%2",
    "TLS failed on the data connection to %1: %2": "到 %1 的数据连接 TLS 出错：%2",
    "Cannot set up TLS: %1": "无法准备 TLS：%1",
    "the server closed the connection during the handshake": "服务器在握手时关闭了连接",
    "the server answered in clear: %1": "服务器未加密应答：%1",
    # SFTP stations: what the session says, in the window's words.
    "Not an SSH server: %1": "不是 SSH 服务器：%1",
    "Cannot start an SSH session": "无法开始 SSH 会话",
    "Cannot set up the SSH session: %1": "无法设置 SSH 会话：%1",
    "the socket cannot be handed over": "无法移交套接字",
    "The server does not offer password login (it offers: %1)": "服务器不接受密码登录（它接受：%1）",
    "Login refused for user %1: wrong user name or password (the server offers: %2)":
        "用户 %1 登录被拒绝：用户名或密码错误（服务器接受：%2）",
    "No password given, and the server offers no key login (it offers: %1)":
        "未设密码，而服务器不接受密钥登录（它接受：%1）",
    "Login refused for user %1: none of your SSH keys was accepted (the server offers: %2)":
        "用户 %1 登录被拒绝：您的 SSH 密钥都未被接受（服务器接受：%2）",
    "The server offers no SFTP: %1": "服务器不提供 SFTP：%1",
    "The server's SFTP did not start": "服务器的 SFTP 未能启动",
    "The server sent an unexpected SFTP reply to %1": "服务器对“%1”给出了意外的 SFTP 回应",
    "The server sent an unexpected SFTP reply": "服务器给出了意外的 SFTP 回应",
    "The server named no folder for %1": "服务器没有给出 %1 的目录",
    "Cannot change to folder %1: %2": "无法进入目录 %1：%2",
    "not a folder": "不是目录",
    "Cannot store %1: %2": "无法存放 %1：%2",
    "Cannot rename %1.part to %2: %3": "无法把 %1.part 改名为 %2：%3",
    "the server closed the connection during the TLS close": "服务器在结束 TLS 时关闭了连接",
    "the server ended TLS during the handshake": "服务器在握手时结束了 TLS",
    "the server ended TLS during the TLS close": "服务器在结束 TLS 时结束了 TLS",
    "the handshake failed": "握手失败",
    "the TLS close failed": "结束 TLS 失败",
    "receiving failed": "接收失败",
    "sending failed": "发送失败",
    # The data connection's party and a refused way with its fallback.
    "The data connection to %1 presented another certificate than the server: %2 instead of %3; "
    "nothing was sent": "到 %1 的数据连接出示的证书不是服务器的：%2，而不是 %3；未发送任何内容",
    "PASV: %1; EPSV: %2": "PASV：%1；EPSV：%2",
}


def split(collected, language, table, wanted):
    tree = ET.parse(collected)
    root = tree.getroot()
    root.set("language", language)
    root.set("sourcelanguage", "zh_CN" if language == "en" else "en")
    missing = []
    for context in list(root.iter("context")):
        for message in list(context.iter("message")):
            source = message.find("source").text or ""
            if not wanted(source):
                context.remove(message)
                continue
            translation = message.find("translation")
            translation.attrib.clear()
            in_context = EN_IN_CONTEXT.get((context.findtext("name"), source))
            if source not in table and not in_context:
                missing.append(source)
                continue
            translation.text = in_context or table[source]
        if not context.findall("message"):
            root.remove(context)
    if missing:
        sys.exit("no translation for: " + ", ".join(map(repr, missing)))
    ET.indent(tree)
    out = ROOT / "translations" / f"zarvel_{language}.ts"
    with open(out, "wb") as file:
        file.write(b'<?xml version="1.0" encoding="utf-8"?>\n<!DOCTYPE TS>\n')
        tree.write(file, encoding="utf-8", xml_declaration=False)
        file.write(b"\n")


def main():
    with tempfile.TemporaryDirectory() as folder:
        collected = pathlib.Path(folder) / "all.ts"
        subprocess.run([LUPDATE, "-silent", "-no-obsolete", "-locations", "none", "-I", ".",
                        "app", "controls", "platform", "-ts", str(collected)],
                       cwd=ROOT, check=True)
        split(collected, "en", EN, lambda text: bool(CJK.search(text)))
        split(collected, "zh_CN", ZH, lambda text: not CJK.search(text))


if __name__ == "__main__":
    main()
