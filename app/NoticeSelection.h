// The notices selected for sending: lower-case names and the folder they lie in.
#pragma once

#include <QString>

// Lower-cases the letters A to Z only, as notice names have always been compared.
QString lowerAscii(QString text);
