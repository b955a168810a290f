// Stations.ini through QSettings in INI format.
#include "app/StationSettings.h"

#include <QFile>
#include <QSettings>

#include <utility>

namespace {

const QString portKey = QStringLiteral("port");
const QString modeKeyName = QStringLiteral("mode");
const QString tempNameKey = QStringLiteral("tempName");

// An address holds ":" (IPv6) and "." which QSettings would read as structure: percent-encode it.
QString groupName(const QString& address)
{
    return QString::fromLatin1(address.trimmed().toUtf8().toPercentEncoding());
}

} // namespace

QString modeKey(TransferMode mode)
{
    switch (mode) {
    case TransferMode::Active: return QStringLiteral("active");
    case TransferMode::Passive: return QStringLiteral("passive");
    case TransferMode::Auto: break;
    }
    return QStringLiteral("auto");
}

TransferMode modeFromKey(const QString& key)
{
    const QString text = key.trimmed().toLower();
    if (text == u"active")
        return TransferMode::Active;
    if (text == u"passive")
        return TransferMode::Passive;
    return TransferMode::Auto;
}

StationSettings::StationSettings(QString path)
    : m_path(std::move(path))
{
}

StationOptions StationSettings::load(const QString& address) const
{
    StationOptions options;
    QSettings file(m_path, QSettings::IniFormat);
    file.beginGroup(groupName(address));
    bool ok = false;
    const uint port = file.value(portKey).toUInt(&ok);
    if (ok && port > 0 && port <= 65535)
        options.port = static_cast<quint16>(port);
    options.mode = modeFromKey(file.value(modeKeyName).toString());
    options.tempName = file.value(tempNameKey, false).toBool();
    return options;
}

QList<StationOptions> StationSettings::load(const QList<Station>& stations) const
{
    QList<StationOptions> options;
    for (const Station& station : stations)
        options << load(station.address);
    return options;
}

void StationSettings::save(const QList<std::pair<QString, StationOptions>>& stations) const
{
    {
        QSettings file(m_path, QSettings::IniFormat);
        for (const auto& [address, options] : stations) {
            if (address.trimmed().isEmpty())
                continue;
            file.beginGroup(groupName(address));
            file.setValue(portKey, options.port);
            file.setValue(modeKeyName, modeKey(options.mode));
            // Every key of every station, so that the file says what the grid shows.
            file.setValue(tempNameKey, options.tempName);
            file.endGroup();
        }
        file.sync();
    }
    // The file sits beside the passwords of Addf.cfg: owner only, like that one.
    QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}
