// The language the texts are shown in: Chinese (the source) or English.
#pragma once

#include <QString>

namespace language {

// "zh_CN" or "en": LANGUAGE when it names one, else the system locale (zh_* is Chinese).
QString chosen();
// Installs the translators for `name` ("zh_CN" or "en") into the running application.
void install(const QString& name);

} // namespace language
