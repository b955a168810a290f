// Readable test failure messages for Qt texts.
#pragma once

#include <QString>
#include <QStringList>

#include <ostream>

void PrintTo(const QString& text, std::ostream* out);
void PrintTo(const QStringList& texts, std::ostream* out);
