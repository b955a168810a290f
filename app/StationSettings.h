// Stations.ini beside Addf.cfg: what the 68-byte records have no room for, per station.
#pragma once

#include "app/StationFile.h"
#include "ftp/FtpClient.h"

#include <QByteArray>
#include <QString>

// A station's connection choices; a station without an entry gets these defaults.
struct StationOptions {
    quint16 port = 21;
    TransferMode mode = TransferMode::Auto;
    // Store under a temporary name and rename once checked (key tempName).
    bool tempName = false;
    // Whether the session is encrypted (key tls: auto, require, off).
    TlsMode tls = TlsMode::Auto;

    bool operator==(const StationOptions&) const = default;
};

// One INI group per station, keyed by its address; each choice is one key of the group, and
// so is the certificate remembered for the station (key certificate), which save() leaves alone.
class StationSettings {
public:
    explicit StationSettings(QString path);

    // The options stored for `address`; defaults for a key that is missing or unreadable.
    StationOptions load(const QString& address) const;
    // The options of each station, in order.
    QList<StationOptions> load(const QList<Station>& stations) const;
    // Stores the options of several stations at once; the file is readable by its owner only.
    void save(const QList<std::pair<QString, StationOptions>>& stations) const;

    // The SHA-256 fingerprint ("AB:CD:...") of the certificate remembered for `address`;
    // empty when none is.
    QByteArray certificate(const QString& address) const;
    void rememberCertificate(const QString& address, const QByteArray& fingerprint) const;
    void forgetCertificate(const QString& address) const;

private:
    QString m_path;
};

// The text of a mode in the file ("auto", "active", "passive") and back; Auto for any other text.
QString modeKey(TransferMode mode);
TransferMode modeFromKey(const QString& key);
// The same for the TLS choice ("auto", "require", "off"); Auto for any other text.
QString tlsKey(TlsMode mode);
TlsMode tlsFromKey(const QString& key);
