<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
  <context>
    <name>FolderTree</name>
    <message>
      <source>Invalid Directory Name</source>
      <translation>无效的目录名</translation>
    </message>
  </context>
  <context>
    <name>NoticeText</name>
    <message>
      <source>Text exceeds memo capacity</source>
      <translation>文本超出备注框容量</translation>
    </message>
    <message>
      <source>Cannot open file %1</source>
      <translation>无法打开文件 %1</translation>
    </message>
  </context>
  <context>
    <name>platform</name>
    <message>
      <source>Unknown exception</source>
      <translation>未知异常</translation>
    </message>
    <message>
      <source>.</source>
      <translation>。</translation>
    </message>
    <message>
      <source>The settings file %1 %2; it is left as it is</source>
      <translation>设置文件 %1 %2，保持原样未动</translation>
    </message>
    <message>
      <source>is not a regular file</source>
      <translation>不是普通文件</translation>
    </message>
    <message>
      <source>is larger than 64 KiB</source>
      <translation>大于 64 KiB</translation>
    </message>
    <message>
      <source>File not found</source>
      <translation>找不到文件</translation>
    </message>
    <message>
      <source>File access denied</source>
      <translation>文件拒绝访问</translation>
    </message>
    <message>
      <source>Disk full</source>
      <translation>磁盘已满</translation>
    </message>
    <message>
      <source>I/O error %1</source>
      <translation>输入输出错误 %1</translation>
    </message>
    <message>
      <source>Read beyond end of file</source>
      <translation>读取超出文件末尾</translation>
    </message>
  </context>
</TS>
