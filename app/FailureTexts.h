// The lower layers' failures in the reader's language, worded from their codes.
#pragma once

#include "ftp/FtpReasons.h"
#include "platform/exception.h"

#include <QString>

namespace failuretexts {

// This program's own words translated; the other side's words (a reply, a greeting,
// OpenSSL's) as they came, and the system's where no translation has them.
QString text(const platform::Reason& reason);
// An exception's reason worded so, or its message when it has none.
QString text(const platform::Exception& error);

} // namespace failuretexts
