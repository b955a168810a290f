// Stations.ini through QSettings in INI format.
#include "app/StationSettings.h"

#include <QFile>
#include <QSettings>

#include <utility>

namespace {

const QString portKey = QStringLiteral("port");
const QString modeKeyName = QStringLiteral("mode");
const QString tempNameKey = QStringLiteral("tempName");
const QString tlsKeyName = QStringLiteral("tls");
const QString certificateKey = QStringLiteral("certificate");

// An address holds ":" (IPv6) and "." which QSettings would read as structure: percent-encode it.
QString groupName(const QString& address)
{
    return QString::fromLatin1(address.trimmed().toUtf8().toPercentEncoding());
}

// The file sits beside the passwords of Addf.cfg: owner only, like that one.
void restrictToOwner(const QString& path)
{
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
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

QString tlsKey(TlsMode mode)
{
    switch (mode) {
    case TlsMode::Require: return QStringLiteral("require");
    case TlsMode::Off: return QStringLiteral("off");
    case TlsMode::Auto: break;
    }
    return QStringLiteral("auto");
}

TlsMode tlsFromKey(const QString& key)
{
    const QString text = key.trimmed().toLower();
    if (text == u"require")
        return TlsMode::Require;
    if (text == u"off")
        return TlsMode::Off;
    return TlsMode::Auto;
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
    options.tls = tlsFromKey(file.value(tlsKeyName).toString());
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
            file.setValue(tlsKeyName, tlsKey(options.tls));
            file.endGroup();
        }
        file.sync();
    }
    restrictToOwner(m_path);
}

QByteArray StationSettings::certificate(const QString& address) const
{
    const QSettings file(m_path, QSettings::IniFormat);
    return file.value(groupName(address) + u'/' + certificateKey).toString().trimmed().toLatin1();
}

void StationSettings::rememberCertificate(const QString& address,
                                          const QByteArray& fingerprint) const
{
    {
        QSettings file(m_path, QSettings::IniFormat);
        file.setValue(groupName(address) + u'/' + certificateKey, QString::fromLatin1(fingerprint));
        file.sync();
    }
    restrictToOwner(m_path);
}

void StationSettings::forgetCertificate(const QString& address) const
{
    {
        QSettings file(m_path, QSettings::IniFormat);
        file.remove(groupName(address) + u'/' + certificateKey);
        file.sync();
    }
    restrictToOwner(m_path);
}
