// The network and FTP layers' own messages, which are English, in the reader's language.
#pragma once

#include <QString>

namespace nettexts {

// `message` in the language of the installed translation when it has one of the known forms
// ("Not an FTP server: …", a socket error, …), its parts translated too; else unchanged.
QString translated(const QString& message);

} // namespace nettexts
