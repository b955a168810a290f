// A notice file as the information pane shows it.
#pragma once

#include <QString>

// True when the path's extension, from the last "." after the last "/", is ".txt" in any
// letter case.
bool isTextNotice(const QString& path);

// The notice up to its first NUL byte, as UTF-8 when it is valid UTF-8, else as GBK; CR,
// LF and CR LF each end a line. Fails with "Cannot open file <path>", or with "Text
// exceeds memo capacity" for a text the pane cannot hold.
QString readNoticeText(const QString& path);
