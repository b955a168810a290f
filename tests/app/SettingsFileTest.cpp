// Raw bytes in and out of the settings file under test.
#include "SettingsFileTest.h"

#include <QFile>

void SettingsFileTest::write(const QByteArray& bytes) const
{
    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray SettingsFileTest::read() const
{
    QFile file(path());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}
