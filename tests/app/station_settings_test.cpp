// Stations.ini: per-station port, transfer mode and TLS, defaults for stations without an entry,
// and the certificates remembered per station.
#include "app/StationSettings.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

TEST(StationSettingsTest, RoundTripKeysAndDefaults)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath("Stations.ini");
    const StationSettings settings(path);
    EXPECT_EQ(settings.load("10.0.0.1"), StationOptions{}) << "no file: port 21, auto, TLS auto";
    EXPECT_EQ(StationOptions{}.tls, TlsMode::Auto);

    settings.save({{"10.0.0.1", {2121, TransferMode::Active}},
                   {"::1", {21, TransferMode::Passive, true, TlsMode::Require}},
                   {"ftp.example", {990, TransferMode::Auto, false, TlsMode::Off}}});
    EXPECT_EQ(settings.load("10.0.0.1"), (StationOptions{2121, TransferMode::Active, false}));
    EXPECT_EQ(settings.load("::1"),
              (StationOptions{21, TransferMode::Passive, true, TlsMode::Require}));
    EXPECT_EQ(settings.load("ftp.example"),
              (StationOptions{990, TransferMode::Auto, false, TlsMode::Off}));
    EXPECT_EQ(settings.load("10.0.0.2"), StationOptions{}) << "a station without an entry";

    // The keys as another reader of the file sees them.
    QSettings raw(path, QSettings::IniFormat);
    const QStringList groups = raw.childGroups();
    ASSERT_EQ(groups.size(), 3);
    raw.beginGroup(groups.filter("10.0.0.1").value(0));
    EXPECT_EQ(raw.value("port").toString(), "2121");
    EXPECT_EQ(raw.value("mode").toString(), "active");
    // Written off as well as on: the file says what the grid showed.
    EXPECT_EQ(raw.value("tempName").toString(), "false");
    EXPECT_EQ(raw.value("tls").toString(), "auto");
    raw.endGroup();
    raw.beginGroup(groups.filter("%3A%3A1").value(0));
    EXPECT_EQ(raw.value("tempName").toString(), "true");
    EXPECT_EQ(raw.value("tls").toString(), "require");
    raw.endGroup();
    EXPECT_EQ(raw.value(groups.filter("ftp.example").value(0) + "/tls").toString(), "off");

    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // Unreadable values fall back to the defaults, key by key.
    {
        QSettings edit(path, QSettings::IniFormat);
        edit.setValue(groups.filter("10.0.0.1").value(0) + "/port", "99999");
        edit.setValue(groups.filter("10.0.0.1").value(0) + "/mode", "sideways");
        edit.setValue(groups.filter("10.0.0.1").value(0) + "/tls", "maybe");
    }
    EXPECT_EQ(settings.load("10.0.0.1"), StationOptions{});
}

TEST(StationSettingsTest, ACertificateIsRememberedPerStationUntilForgotten)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath("Stations.ini");
    const StationSettings settings(path);
    const QByteArray print = "AB:CD:" + QByteArray("01:").repeated(29) + "EF";
    EXPECT_EQ(settings.certificate("127.0.0.2"), QByteArray()) << "no file";

    settings.rememberCertificate("127.0.0.2", print);
    settings.rememberCertificate("::1", "11:22");
    EXPECT_EQ(settings.certificate("127.0.0.2"), print);
    EXPECT_EQ(settings.certificate(" 127.0.0.2 "), print) << "the address as the grid may hold it";
    EXPECT_EQ(settings.certificate("::1"), QByteArray("11:22"));
    EXPECT_EQ(settings.certificate("127.0.0.3"), QByteArray());

    // Saving the grid's options keeps the certificate, and the options stay the grid's.
    settings.save({{"127.0.0.2", {2121, TransferMode::Passive, false, TlsMode::Require}}});
    EXPECT_EQ(settings.certificate("127.0.0.2"), print);
    EXPECT_EQ(settings.load("127.0.0.2"),
              (StationOptions{2121, TransferMode::Passive, false, TlsMode::Require}));
    {
        QSettings raw(path, QSettings::IniFormat);
        const QString group = raw.childGroups().filter("127.0.0.2").value(0);
        EXPECT_EQ(raw.value(group + "/certificate").toByteArray(), print);
    }

    // Forgotten for one station only; the other keys of its group stay.
    settings.forgetCertificate("127.0.0.2");
    EXPECT_EQ(settings.certificate("127.0.0.2"), QByteArray());
    EXPECT_EQ(settings.certificate("::1"), QByteArray("11:22"));
    EXPECT_EQ(settings.load("127.0.0.2").port, 2121);
    settings.forgetCertificate("10.9.9.9"); // none there: nothing happens
    EXPECT_EQ(settings.certificate("::1"), QByteArray("11:22"));
}

} // namespace
