// Text that came from a server, made safe to show and to log.
#pragma once

#include <QString>

namespace platform {

// `text` without what a terminal or a log reader would obey instead of show: ANSI escape
// sequences (CSI, OSC and two-byte ones) are removed; CR, LF and other C0 controls (tab
// aside), DEL and C1 controls become one blank each, so a reply never starts a new line.
QString printableText(const QString& text);

} // namespace platform
