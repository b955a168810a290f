// A notice file as the information pane shows it.
#pragma once

#include <QString>

// True when the path's extension, from the last "." after the last "/", is ".txt" in any
// letter case.
bool isTextNotice(const QString& path);

// The notice up to its first NUL byte, as UTF-8 when it is valid UTF-8, as UTF-16 after a
// UTF-16 byte order mark, else as GBK; CR, LF and CR LF each end a line. Fails with "Cannot
// open file <path>", with "不是文本文件，无法预览" for a binary file (a PDF, an image, NUL
// bytes inside its first KiB), or with "Text exceeds memo capacity" for a text the pane
// cannot hold.
QString readNoticeText(const QString& path);
