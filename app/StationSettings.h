// Stations.ini beside Addf.cfg: what the 68-byte records have no room for, per station.
#pragma once

#include "app/StationFile.h"
#include "ftp/StationSession.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// A station's connection choices; a station without an entry gets these defaults.
struct StationOptions {
    quint16 port = 21;
    TransferMode mode = TransferMode::Auto;
    // Store under a temporary name and rename once checked (key tempName).
    bool tempName = false;
    // Whether the session is encrypted (key tls: auto, require, off).
    TlsMode tls = TlsMode::Auto;
    // How FTP names are encoded (key encoding: auto, utf-8, gbk); SFTP names are UTF-8.
    EncodingChoice encoding = EncodingChoice::Auto;
    // FTP (over TLS or not) or SFTP (key protocol: ftp, sftp).
    Protocol protocol = Protocol::Ftp;

    bool operator==(const StationOptions&) const = default;
};

// One station of the grid's whole model, as a save stores it.
struct StationEntry {
    Station station;
    StationOptions options{};
    bool ticked = true;
};

// The run's own settings (group "run"): how many stations go at once, and the limits of the
// waits for a server.
struct RunSettings {
    static constexpr int maxParallelStations = 9;
    int parallelStations = 4;     // 1..9
    int connectLimitSeconds = 20; // connecting and the greeting
    int idleLimitSeconds = 60;    // every later wait
};

// How a station of Addf.cfg found its options in the file.
enum class StationMatch {
    // Its own group (or, in an old file, the group of its address, which no other station has).
    Found,
    // Nothing in the file names its address: the defaults are all it ever had.
    New,
    // Groups for its address exist but none is certainly its own (Addf.cfg was edited
    // elsewhere): the defaults, never another station's options.
    Uncertain,
};

struct LoadedStation {
    StationOptions options{};
    bool ticked = true;
    StationMatch match = StationMatch::New;
};

// One INI group per station, named by its identity: name, address and user, with "#2", "#3"
// for later records that repeat all three. A group is a station's only when the file has as
// many groups of that identity as Addf.cfg has records of it. Certificates and "was ever
// encrypted" belong to the server at an address and port: one group per endpoint.
class StationSettings {
public:
    explicit StationSettings(QString path);

    // The options and tick of each station of Addf.cfg, in order (`stations` is the whole file).
    QList<LoadedStation> load(const QList<Station>& stations) const;
    // Replaces every station group with the grid's whole model: groups of stations no longer
    // there go, and so do pins of endpoints that no station uses. Owner-only file.
    void save(const QList<StationEntry>& entries) const;
    // Stores the ticks of the stations whose options are certain (or new); the rest are left.
    void saveTicks(const QList<Station>& stations, const QList<bool>& ticks) const;

    // The group "run"; a missing or unusable value is its default.
    RunSettings runSettings() const;
    void saveParallelStations(int count) const;

    // The SHA-256 fingerprint ("AB:CD:...") remembered for the server at address:port;
    // empty when none is.
    QByteArray certificate(const QString& address, quint16 port) const;
    void rememberCertificate(const QString& address, quint16 port,
                             const QByteArray& fingerprint) const;
    void forgetCertificate(const QString& address, quint16 port) const;
    // The host key's fingerprint ("SHA256:...") remembered for the SSH server at address:port;
    // empty when none is.
    QByteArray hostKey(const QString& address, quint16 port) const;
    void rememberHostKey(const QString& address, quint16 port, const QByteArray& fingerprint) const;
    void forgetHostKey(const QString& address, quint16 port) const;
    // Whether a session with the server at address:port was ever encrypted.
    bool wasEncrypted(const QString& address, quint16 port) const;
    void rememberEncrypted(const QString& address, quint16 port) const;

private:
    // A fingerprint kept for the server at address:port; an empty one is removed.
    void setEndpointValue(const QString& address, quint16 port, const QString& key,
                          const QByteArray& value) const;

    QString m_path;
};

// The group names of the stations of a whole Addf.cfg, in order: each station's identity.
QStringList stationKeys(const QList<Station>& stations);

// The text of a mode in the file ("auto", "active", "passive") and back; Auto for any other text.
QString modeKey(TransferMode mode);
TransferMode modeFromKey(const QString& key);
// The same for the TLS choice ("auto", "require", "off"); Auto for any other text.
QString tlsKey(TlsMode mode);
TlsMode tlsFromKey(const QString& key);
// The same for the protocol ("ftp", "sftp"; Ftp for any other text) and the name encoding
// ("auto", "utf-8", "gbk"; Auto for any other text).
QString protocolKey(Protocol protocol);
Protocol protocolFromKey(const QString& key);
QString encodingKey(EncodingChoice encoding);
EncodingChoice encodingFromKey(const QString& key);
// The port a station gets unless it says otherwise: 21, 22 for SFTP, 990 for implicit TLS.
quint16 defaultPort(Protocol protocol, TlsMode tls);
