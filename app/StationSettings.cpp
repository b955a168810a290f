// Stations.ini through QSettings in INI format.
#include "app/StationSettings.h"

#include "platform/files.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <QSettings>

#include <algorithm>
#include <memory>
#include <utility>

namespace {

const QString portKey = QStringLiteral("port");
const QString modeKeyName = QStringLiteral("mode");
const QString tempNameKey = QStringLiteral("tempName");
const QString tlsKeyName = QStringLiteral("tls");
const QString protocolKeyName = QStringLiteral("protocol");
const QString encodingKeyName = QStringLiteral("encoding");
const QString tickedKey = QStringLiteral("ticked");
const QString nameKey = QStringLiteral("name");
const QString addressKey = QStringLiteral("address");
const QString userKey = QStringLiteral("user");
const QString certificateKey = QStringLiteral("certificate");
const QString hostKeyKey = QStringLiteral("hostKey");
const QString encryptedKey = QStringLiteral("encrypted");
const QString stationPrefix = QStringLiteral("station ");
const QString endpointPrefix = QStringLiteral("endpoint ");
const QString runGroup = QStringLiteral("run");
const QString parallelKey = QStringLiteral("run/parallelStations");

// Values hold ":" (IPv6), "/" and spaces, which QSettings would read as structure.
QString encoded(const QString& text)
{
    return QString::fromLatin1(text.toUtf8().toPercentEncoding());
}

QString identity(const Station& station)
{
    return stationPrefix + encoded(station.name) + u' ' + encoded(station.address.trimmed()) + u' '
        + encoded(station.user);
}

// Before stations had identities, a group was named by the address alone.
QString addressGroup(const QString& address)
{
    return encoded(address.trimmed());
}

bool isAddressGroup(const QString& group)
{
    return !group.startsWith(stationPrefix) && !group.startsWith(endpointPrefix)
        && group != runGroup;
}

QString endpointGroup(const QString& address, quint16 port)
{
    return endpointPrefix + encoded(address.trimmed()) + u' ' + QString::number(port);
}

// The file sits beside the passwords of Addf.cfg: owner only, like that one.
void restrictToOwner(const QString& path)
{
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// QSettings on the file once it has passed the checks of every settings file: a FIFO or a
// huge file in its place is refused (InOutError) before QSettings would block or read it.
std::unique_ptr<QSettings> openChecked(const QString& path)
{
    if (platform::fileExists(path))
        platform::readSettingsFile(path);
    return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

void finishWriting(QSettings& file, const QString& path)
{
    file.sync();
    restrictToOwner(path);
}

StationOptions readOptions(const QSettings& file, const QString& group)
{
    StationOptions options;
    // Files written before stations had a protocol or an encoding are FTP with auto names.
    options.protocol = protocolFromKey(file.value(group + u'/' + protocolKeyName).toString());
    options.mode = modeFromKey(file.value(group + u'/' + modeKeyName).toString());
    options.tempName = file.value(group + u'/' + tempNameKey, false).toBool();
    options.tls = tlsFromKey(file.value(group + u'/' + tlsKeyName).toString());
    options.encoding = encodingFromKey(file.value(group + u'/' + encodingKeyName).toString());
    bool ok = false;
    const uint port = file.value(group + u'/' + portKey).toUInt(&ok);
    options.port = ok && port > 0 && port <= 65535 ? static_cast<quint16>(port)
                                                   : defaultPort(options.protocol, options.tls);
    return options;
}

void writeEntry(QSettings& file, const QString& group, const StationEntry& entry)
{
    file.beginGroup(group);
    file.setValue(nameKey, entry.station.name);
    file.setValue(addressKey, entry.station.address.trimmed());
    file.setValue(userKey, entry.station.user);
    // Every key of every station, so that the file says what the grid shows.
    file.setValue(protocolKeyName, protocolKey(entry.options.protocol));
    file.setValue(portKey, entry.options.port);
    file.setValue(modeKeyName, modeKey(entry.options.mode));
    file.setValue(tempNameKey, entry.options.tempName);
    file.setValue(tlsKeyName, tlsKey(entry.options.tls));
    file.setValue(encodingKeyName, encodingKey(entry.options.encoding));
    file.setValue(tickedKey, entry.ticked);
    file.endGroup();
}

// The group that holds each station's options, empty where none does for certain.
QList<LoadedStation> match(const QSettings& file, const QList<Station>& stations,
                           const QStringList& keys)
{
    const QStringList groups = file.childGroups();
    QHash<QString, int> groupsOf;
    QSet<QString> addressesOfGroups;
    for (const QString& group : groups) {
        if (group.startsWith(stationPrefix)) {
            ++groupsOf[group.section(u'#', 0, 0)];
            addressesOfGroups << file.value(group + u'/' + addressKey).toString().trimmed();
        } else if (isAddressGroup(group)) {
            addressesOfGroups << QString::fromUtf8(
                QByteArray::fromPercentEncoding(group.toLatin1()));
        }
    }
    QHash<QString, int> recordsOf;
    QHash<QString, int> stationsAt;
    for (qsizetype index = 0; index < stations.size(); ++index) {
        ++recordsOf[keys[index].section(u'#', 0, 0)];
        ++stationsAt[stations[index].address.trimmed()];
    }

    QList<LoadedStation> loaded;
    for (qsizetype index = 0; index < stations.size(); ++index) {
        LoadedStation station;
        const QString identityKey = keys[index].section(u'#', 0, 0);
        const QString address = stations[index].address.trimmed();
        const QString oldGroup = addressGroup(address);
        QString group;
        if (groupsOf.value(identityKey) > 0) {
            // Repeated identities are told apart by their order only while their count holds.
            if (groupsOf.value(identityKey) == recordsOf.value(identityKey)
                && groups.contains(keys[index]))
                group = keys[index];
        } else if (groups.contains(oldGroup) && stationsAt.value(address) == 1) {
            group = oldGroup;
        }
        if (!group.isEmpty()) {
            station.match = StationMatch::Found;
            station.options = readOptions(file, group);
            station.ticked = file.value(group + u'/' + tickedKey, true).toBool();
        } else if (addressesOfGroups.contains(address)) {
            station.match = StationMatch::Uncertain;
        }
        loaded << station;
    }
    return loaded;
}

} // namespace

QStringList stationKeys(const QList<Station>& stations)
{
    QStringList keys;
    QHash<QString, int> seen;
    for (const Station& station : stations) {
        const QString key = identity(station);
        const int occurrence = ++seen[key];
        keys << (occurrence == 1 ? key : key + u'#' + QString::number(occurrence));
    }
    return keys;
}

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
    case TlsMode::Implicit: return QStringLiteral("implicit");
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
    if (text == u"implicit")
        return TlsMode::Implicit;
    return TlsMode::Auto;
}

QString protocolKey(Protocol protocol)
{
    return protocol == Protocol::Sftp ? QStringLiteral("sftp") : QStringLiteral("ftp");
}

Protocol protocolFromKey(const QString& key)
{
    return key.trimmed().toLower() == u"sftp" ? Protocol::Sftp : Protocol::Ftp;
}

QString encodingKey(EncodingChoice encoding)
{
    switch (encoding) {
    case EncodingChoice::Utf8: return QStringLiteral("utf-8");
    case EncodingChoice::Gbk: return QStringLiteral("gbk");
    case EncodingChoice::Auto: break;
    }
    return QStringLiteral("auto");
}

EncodingChoice encodingFromKey(const QString& key)
{
    const QString text = key.trimmed().toLower();
    if (text == u"utf-8" || text == u"utf8")
        return EncodingChoice::Utf8;
    if (text == u"gbk")
        return EncodingChoice::Gbk;
    return EncodingChoice::Auto;
}

quint16 defaultPort(Protocol protocol, TlsMode tls)
{
    if (protocol == Protocol::Sftp)
        return 22;
    return tls == TlsMode::Implicit ? 990 : 21;
}

StationSettings::StationSettings(QString path)
    : m_path(std::move(path))
{
}

QList<LoadedStation> StationSettings::load(const QList<Station>& stations) const
{
    const auto file = openChecked(m_path);
    return match(*file, stations, stationKeys(stations));
}

void StationSettings::save(const QList<StationEntry>& entries) const
{
    const auto file = openChecked(m_path);
    QList<Station> stations;
    QSet<QString> endpoints;
    for (const StationEntry& entry : entries) {
        stations << entry.station;
        endpoints << endpointGroup(entry.station.address, entry.options.port);
    }
    const QStringList keys = stationKeys(stations);
    for (const QString& group : file->childGroups()) {
        // An old group's certificate was seen at its address and port: it stays pinned there.
        if (isAddressGroup(group)) {
            const QByteArray print = file->value(group + u'/' + certificateKey).toByteArray();
            const QString address =
                QString::fromUtf8(QByteArray::fromPercentEncoding(group.toLatin1()));
            const QString pin =
                endpointGroup(address, readOptions(*file, group).port) + u'/' + certificateKey;
            if (!print.isEmpty() && !file->contains(pin))
                file->setValue(pin, QString::fromLatin1(print));
        }
    }
    for (const QString& group : file->childGroups())
        if (isAddressGroup(group) || (group.startsWith(stationPrefix) && !keys.contains(group))
            || (group.startsWith(endpointPrefix) && !endpoints.contains(group)))
            file->remove(group);
    for (qsizetype index = 0; index < entries.size(); ++index)
        writeEntry(*file, keys[index], entries[index]);
    finishWriting(*file, m_path);
}

void StationSettings::saveTicks(const QList<Station>& stations, const QList<bool>& ticks) const
{
    const auto file = openChecked(m_path);
    const QStringList keys = stationKeys(stations);
    const QList<LoadedStation> loaded = match(*file, stations, keys);
    for (qsizetype index = 0; index < stations.size() && index < ticks.size(); ++index) {
        if (loaded[index].match == StationMatch::Uncertain
            || (loaded[index].match == StationMatch::Found && loaded[index].ticked == ticks[index]))
            continue;
        writeEntry(*file, keys[index], {stations[index], loaded[index].options, ticks[index]});
    }
    finishWriting(*file, m_path);
}

QByteArray StationSettings::certificate(const QString& address, quint16 port) const
{
    const auto file = openChecked(m_path);
    const QString pin = endpointGroup(address, port) + u'/' + certificateKey;
    if (file->contains(pin))
        return file->value(pin).toString().trimmed().toLatin1();
    // An old file pinned it for the address, as seen on the port stored beside it.
    const QString old = addressGroup(address);
    if (readOptions(*file, old).port != port)
        return {};
    return file->value(old + u'/' + certificateKey).toString().trimmed().toLatin1();
}

void StationSettings::rememberCertificate(const QString& address, quint16 port,
                                          const QByteArray& fingerprint) const
{
    setEndpointValue(address, port, certificateKey, fingerprint);
}

void StationSettings::forgetCertificate(const QString& address, quint16 port) const
{
    const auto file = openChecked(m_path);
    file->remove(endpointGroup(address, port) + u'/' + certificateKey);
    if (readOptions(*file, addressGroup(address)).port == port)
        file->remove(addressGroup(address) + u'/' + certificateKey);
    finishWriting(*file, m_path);
}

QByteArray StationSettings::hostKey(const QString& address, quint16 port) const
{
    const auto file = openChecked(m_path);
    return file->value(endpointGroup(address, port) + u'/' + hostKeyKey)
        .toString()
        .trimmed()
        .toLatin1();
}

void StationSettings::rememberHostKey(const QString& address, quint16 port,
                                      const QByteArray& fingerprint) const
{
    setEndpointValue(address, port, hostKeyKey, fingerprint);
}

void StationSettings::forgetHostKey(const QString& address, quint16 port) const
{
    setEndpointValue(address, port, hostKeyKey, {});
}

void StationSettings::setEndpointValue(const QString& address, quint16 port, const QString& key,
                                       const QByteArray& value) const
{
    const auto file = openChecked(m_path);
    const QString name = endpointGroup(address, port) + u'/' + key;
    if (value.isEmpty())
        file->remove(name);
    else
        file->setValue(name, QString::fromLatin1(value));
    finishWriting(*file, m_path);
}

bool StationSettings::wasEncrypted(const QString& address, quint16 port) const
{
    const auto file = openChecked(m_path);
    return file->value(endpointGroup(address, port) + u'/' + encryptedKey, false).toBool();
}

void StationSettings::rememberEncrypted(const QString& address, quint16 port) const
{
    const auto file = openChecked(m_path);
    file->setValue(endpointGroup(address, port) + u'/' + encryptedKey, true);
    finishWriting(*file, m_path);
}

RunSettings StationSettings::runSettings() const
{
    const auto file = openChecked(m_path);
    const auto number = [&file](const QString& key, int fallback, int lowest, int highest) {
        bool ok = false;
        const int value = file->value(runGroup + u'/' + key).toInt(&ok);
        return ok && value >= lowest && value <= highest ? value : fallback;
    };
    const RunSettings defaults;
    return {
        .parallelStations = number(QStringLiteral("parallelStations"), defaults.parallelStations, 1,
                                   RunSettings::maxParallelStations),
        .connectLimitSeconds =
            number(QStringLiteral("connectLimitSeconds"), defaults.connectLimitSeconds, 1, 3600),
        .idleLimitSeconds =
            number(QStringLiteral("idleLimitSeconds"), defaults.idleLimitSeconds, 1, 3600)};
}

void StationSettings::saveParallelStations(int count) const
{
    const auto file = openChecked(m_path);
    file->setValue(parallelKey, std::clamp(count, 1, RunSettings::maxParallelStations));
    finishWriting(*file, m_path);
}
