// Stations.ini: per-station options keyed by the station's identity, defaults where a station
// cannot be matched for certain, and what is remembered per address and port.
#include "app/StationSettings.h"

#include "platform/exception.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

Station station(const QString& name, const QString& address, const QString& user = "u")
{
    return {.name = name, .address = address, .user = user, .password = "p"};
}

QList<StationOptions> optionsOf(const QList<LoadedStation>& loaded)
{
    QList<StationOptions> options;
    for (const LoadedStation& station : loaded)
        options << station.options;
    return options;
}

QList<StationMatch> matchesOf(const QList<LoadedStation>& loaded)
{
    QList<StationMatch> matches;
    for (const LoadedStation& station : loaded)
        matches << station.match;
    return matches;
}

class StationSettingsTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_folder.isValid()); }
    QString path() const { return m_folder.filePath("Stations.ini"); }

    QTemporaryDir m_folder;
};

TEST_F(StationSettingsTest, RoundTripKeysAndDefaults)
{
    const StationSettings settings(path());
    const QList<Station> stations{station("A", "10.0.0.1"), station("B", "::1"),
                                  station("C", "ftp.example")};
    EXPECT_EQ(settings.load(stations).value(0).options, StationOptions{}) << "no file";
    EXPECT_EQ(StationOptions{}.tls, TlsMode::Auto);

    const QList<StationOptions> stored{
        {2121, TransferMode::Active},
        {2200, TransferMode::Passive, true, TlsMode::Require, EncodingChoice::Gbk},
        {990, TransferMode::Auto, false, TlsMode::Implicit, EncodingChoice::Utf8, Protocol::Sftp}};
    settings.save(
        {{stations[0], stored[0]}, {stations[1], stored[1], false}, {stations[2], stored[2]}});
    const QList<LoadedStation> loaded = settings.load(stations);
    EXPECT_EQ(optionsOf(loaded), stored);
    EXPECT_EQ(matchesOf(loaded), QList<StationMatch>(3, StationMatch::Found));
    EXPECT_EQ(loaded[1].ticked, false);
    EXPECT_EQ(loaded[0].ticked, true);
    EXPECT_EQ(settings.load({station("D", "10.0.0.2")}).value(0).match, StationMatch::New);

    // The keys as another reader of the file sees them: one group per station, named by it.
    QSettings raw(path(), QSettings::IniFormat);
    const QStringList groups = raw.childGroups();
    ASSERT_EQ(groups.size(), 3);
    raw.beginGroup(groups.filter("10.0.0.1").value(0));
    EXPECT_EQ(raw.value("name").toString(), "A");
    EXPECT_EQ(raw.value("user").toString(), "u");
    EXPECT_EQ(raw.value("port").toString(), "2121");
    EXPECT_EQ(raw.value("mode").toString(), "active");
    // Written off as well as on: the file says what the grid showed.
    EXPECT_EQ(raw.value("tempName").toString(), "false");
    EXPECT_EQ(raw.value("tls").toString(), "auto");
    EXPECT_EQ(raw.value("protocol").toString(), "ftp");
    EXPECT_EQ(raw.value("encoding").toString(), "auto");
    EXPECT_EQ(raw.value("ticked").toString(), "true");
    raw.endGroup();
    raw.beginGroup(groups.filter("ftp.example").value(0));
    EXPECT_EQ(raw.value("protocol").toString(), "sftp");
    EXPECT_EQ(raw.value("tls").toString(), "implicit");
    EXPECT_EQ(raw.value("encoding").toString(), "utf-8");
    raw.endGroup();

    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // Unreadable values fall back to the defaults, key by key.
    {
        QSettings edit(path(), QSettings::IniFormat);
        for (const char* key : {"/port", "/mode", "/tls", "/protocol", "/encoding"})
            edit.setValue(groups.filter("10.0.0.1").value(0) + key, "99999");
        // Without a port, a station gets its protocol's and TLS choice's default.
        edit.remove(groups.filter("%3A%3A1").value(0) + "/port");
        edit.remove(groups.filter("ftp.example").value(0) + "/port");
    }
    EXPECT_EQ(settings.load(stations).value(0).options, StationOptions{});
    EXPECT_EQ(settings.load(stations).value(1).options.port, 21);
    EXPECT_EQ(settings.load(stations).value(2).options.port, 22);
}

// Stations saved from a grid, then Addf.cfg as another copy or a backup may hold it.
TEST_F(StationSettingsTest, OptionsFollowTheStationAndNeverServeAnother)
{
    const StationSettings settings(path());
    const Station a = station("A", "10.0.0.1"), b = station("B", "10.0.0.1"),
                  c = station("C", "10.0.0.2"), twin = station("T", "10.0.0.3");
    const StationOptions forA{2121, TransferMode::Active, true, TlsMode::Require};
    const StationOptions forB{2222, TransferMode::Passive};
    const StationOptions forC{21, TransferMode::Auto, false, TlsMode::Off};
    const StationOptions firstTwin{21}, secondTwin{2121};
    settings.save({{a, forA}, {b, forB}, {c, forC}, {twin, firstTwin}, {twin, secondTwin}});

    using M = StationMatch;
    const StationOptions none{};
    const struct {
        const char* what;
        QList<Station> file;
        QList<StationOptions> options;
        QList<StationMatch> matches;
    } cases[] = {
        {"as saved",
         {a, b, c, twin, twin},
         {forA, forB, forC, firstTwin, secondTwin},
         {M::Found, M::Found, M::Found, M::Found, M::Found}},
        {"reordered", {c, b, a}, {forC, forB, forA}, {M::Found, M::Found, M::Found}},
        {"A renamed elsewhere: B keeps its own, A2 gets none of B's",
         {station("A2", "10.0.0.1"), b},
         {none, forB},
         {M::Uncertain, M::Found}},
        {"A's user changed elsewhere", {station("A", "10.0.0.1", "v")}, {none}, {M::Uncertain}},
        {"one twin deleted elsewhere: which one is unknown", {twin}, {none}, {M::Uncertain}},
        {"a third twin added elsewhere",
         {twin, twin, twin},
         {none, none, none},
         {M::Uncertain, M::Uncertain, M::Uncertain}},
        {"a new address", {station("N", "10.0.0.9")}, {none}, {M::New}},
    };
    for (const auto& row : cases) {
        const QList<LoadedStation> loaded = settings.load(row.file);
        EXPECT_EQ(optionsOf(loaded), row.options) << row.what;
        EXPECT_EQ(matchesOf(loaded), row.matches) << row.what;
    }

    // Saving the grid's model with A deleted and B renamed: A's group goes, B's options move.
    const Station renamed = station("B2", "10.0.0.1");
    settings.save({{renamed, forB}, {c, forC}});
    EXPECT_EQ(QSettings(path(), QSettings::IniFormat).childGroups().size(), 2);
    EXPECT_EQ(optionsOf(settings.load({a, renamed, c})), (QList<StationOptions>{none, forB, forC}));

    // Ticks are stored for stations that are certain or new, never for an uncertain one.
    settings.saveTicks({renamed, c, station("N", "10.0.0.9"), station("X", "10.0.0.2")},
                       {false, true, false, false});
    const QList<LoadedStation> ticked = settings.load({renamed, c, station("N", "10.0.0.9")});
    EXPECT_EQ(ticked[0].ticked, false);
    EXPECT_EQ(ticked[0].options, forB);
    EXPECT_EQ(ticked[2].ticked, false);
    EXPECT_EQ(ticked[2].match, M::Found);
    EXPECT_EQ(settings.load({station("X", "10.0.0.2")}).value(0).match, M::Uncertain);
}

TEST_F(StationSettingsTest, AnOldFileKeyedByAddressIsReadWhereOnlyOneStationHasTheAddress)
{
    {
        // As the window wrote it when a group was named by the address alone.
        QSettings old(path(), QSettings::IniFormat);
        old.setValue("10.0.0.1/port", 2121);
        old.setValue("10.0.0.1/mode", "passive");
        old.setValue("10.0.0.1/certificate", "AB:CD");
        old.setValue("%3A%3A1/tls", "off");
    }
    const StationSettings settings(path());
    const Station one = station("A", "10.0.0.1"), v6 = station("V", "::1");
    // Neither a protocol nor an encoding in the file: FTP with names as the server says.
    EXPECT_EQ(settings.load({one, v6}).value(0).options,
              (StationOptions{2121, TransferMode::Passive, false, TlsMode::Auto,
                              EncodingChoice::Auto, Protocol::Ftp}));
    EXPECT_EQ(settings.load({one, v6}).value(1).options.tls, TlsMode::Off);
    // Two stations at the address: neither gets the group.
    const QList<LoadedStation> shared = settings.load({one, station("B", " 10.0.0.1")});
    EXPECT_EQ(matchesOf(shared),
              (QList<StationMatch>{StationMatch::Uncertain, StationMatch::Uncertain}));
    EXPECT_EQ(optionsOf(shared), QList<StationOptions>(2));

    // The old certificate was seen on the group's port; after a save it is pinned there.
    EXPECT_EQ(settings.certificate("10.0.0.1", 2121), QByteArray("AB:CD"));
    EXPECT_EQ(settings.certificate("10.0.0.1", 21), QByteArray());
    settings.save({{station("B", "10.0.0.1"), {21}}, {one, {2121}}});
    EXPECT_EQ(settings.certificate("10.0.0.1", 2121), QByteArray("AB:CD"));
    EXPECT_EQ(settings.certificate("10.0.0.1", 21), QByteArray());
    const QStringList groups = QSettings(path(), QSettings::IniFormat).childGroups();
    EXPECT_FALSE(groups.contains("10.0.0.1")) << "the old group is gone";
    EXPECT_EQ(groups.size(), 3) << groups.join('|').toStdString();
}

TEST_F(StationSettingsTest, CertificatesAndEncryptionAreRememberedPerAddressAndPort)
{
    const StationSettings settings(path());
    const QByteArray print = "AB:CD:" + QByteArray("01:").repeated(29) + "EF";
    EXPECT_EQ(settings.certificate("127.0.0.2", 21), QByteArray()) << "no file";

    settings.rememberCertificate("127.0.0.2", 21, print);
    settings.rememberCertificate("::1", 990, "11:22");
    settings.rememberEncrypted("127.0.0.2", 2121);
    EXPECT_EQ(settings.certificate(" 127.0.0.2 ", 21), print)
        << "the address as the grid may hold it";
    EXPECT_EQ(settings.certificate("127.0.0.2", 2121), QByteArray()) << "another server";
    EXPECT_EQ(settings.certificate("::1", 990), QByteArray("11:22"));
    EXPECT_TRUE(settings.wasEncrypted("127.0.0.2", 2121));
    EXPECT_FALSE(settings.wasEncrypted("127.0.0.2", 21));

    // Saving keeps the pins of the endpoints stations use, and only those.
    settings.save({{station("A", "127.0.0.2"), {21}}, {station("B", "127.0.0.2"), {2121}}});
    EXPECT_EQ(settings.certificate("127.0.0.2", 21), print);
    EXPECT_TRUE(settings.wasEncrypted("127.0.0.2", 2121));
    EXPECT_EQ(settings.certificate("::1", 990), QByteArray()) << "no station there any more";

    settings.forgetCertificate("127.0.0.2", 21);
    EXPECT_EQ(settings.certificate("127.0.0.2", 21), QByteArray());
    EXPECT_EQ(settings.load({station("A", "127.0.0.2")}).value(0).match, StationMatch::Found);

    // Host keys the same way, each beside the other: forgetting one leaves the other.
    const QByteArray key = "SHA256:q1C4j3lZ+HMUxb/Ft0dIPLKS0yBKbsZZ3mSbK8x5vA8";
    settings.rememberCertificate("127.0.0.2", 22, print);
    settings.rememberHostKey("127.0.0.2", 22, key);
    settings.rememberHostKey("127.0.0.2", 2222, key);
    EXPECT_EQ(settings.hostKey("127.0.0.2", 22), key);
    EXPECT_EQ(settings.hostKey("127.0.0.2", 21), QByteArray()) << "another server";
    settings.save(
        {{station("S", "127.0.0.2"),
          {22, TransferMode::Auto, false, TlsMode::Auto, EncodingChoice::Auto, Protocol::Sftp}}});
    EXPECT_EQ(settings.hostKey("127.0.0.2", 22), key) << "saving the grid keeps it";
    EXPECT_EQ(settings.hostKey("127.0.0.2", 2222), QByteArray()) << "no station there any more";
    settings.forgetHostKey("127.0.0.2", 22);
    EXPECT_EQ(settings.hostKey("127.0.0.2", 22), QByteArray());
    EXPECT_EQ(settings.certificate("127.0.0.2", 22), print);
}

TEST_F(StationSettingsTest, AFileThatIsNoRegularFileOrTooLargeIsRefusedWithoutWaiting)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(path()).constData(), 0600), 0);
    const StationSettings settings(path());
    EXPECT_THROW(settings.load({station("A", "10.0.0.1")}), platform::InOutError);
    EXPECT_THROW(settings.save({{station("A", "10.0.0.1")}}), platform::InOutError);
    QFile::remove(path());
    QFile big(path());
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    big.write("[x]\nport=21\n" + QByteArray(70 * 1024, '#'));
    big.close();
    EXPECT_THROW(settings.certificate("10.0.0.1", 21), platform::InOutError);
}

} // namespace

TEST_F(StationSettingsTest, TheRunGroupHoldsNAndTheLimitsAndOutlivesASaveOfTheStations)
{
    const StationSettings settings(path());
    EXPECT_EQ(settings.runSettings().parallelStations, 4);
    EXPECT_EQ(settings.runSettings().connectLimitSeconds, 20);
    EXPECT_EQ(settings.runSettings().idleLimitSeconds, 60);
    struct Row {
        const char* parallel;
        const char* connect;
        int parallelRead;
        int connectRead;
    };
    for (const Row& row : {Row{"1", "5", 1, 5}, Row{"9", "20", 9, 20}, Row{"10", "0", 4, 20},
                           Row{"x", "-3", 4, 20}}) {
        {
            QSettings file(path(), QSettings::IniFormat);
            file.setValue("run/parallelStations", row.parallel);
            file.setValue("run/connectLimitSeconds", row.connect);
            file.setValue("run/idleLimitSeconds", 7);
        }
        // A save of the grid's stations leaves the group alone.
        settings.save({{station("A", "10.0.0.1"), {}, true}});
        EXPECT_EQ(settings.runSettings().parallelStations, row.parallelRead) << row.parallel;
        EXPECT_EQ(settings.runSettings().connectLimitSeconds, row.connectRead) << row.connect;
        EXPECT_EQ(settings.runSettings().idleLimitSeconds, 7);
    }
    settings.saveParallelStations(12);
    EXPECT_EQ(settings.runSettings().parallelStations, 9);
}
