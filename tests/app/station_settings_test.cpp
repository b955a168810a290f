// Stations.ini: per-station port and transfer mode, defaults for stations without an entry.
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
    EXPECT_EQ(settings.load("10.0.0.1"), StationOptions{}) << "no file: port 21, auto";

    settings.save({{"10.0.0.1", {2121, TransferMode::Active}},
                   {"::1", {21, TransferMode::Passive, true}},
                   {"ftp.example", {990, TransferMode::Auto}}});
    EXPECT_EQ(settings.load("10.0.0.1"), (StationOptions{2121, TransferMode::Active, false}));
    EXPECT_EQ(settings.load("::1"), (StationOptions{21, TransferMode::Passive, true}));
    EXPECT_EQ(settings.load("ftp.example"), (StationOptions{990, TransferMode::Auto, false}));
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
    raw.endGroup();
    raw.beginGroup(groups.filter("%3A%3A1").value(0));
    EXPECT_EQ(raw.value("tempName").toString(), "true");
    raw.endGroup();

    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // Unreadable values fall back to the defaults, key by key.
    {
        QSettings edit(path, QSettings::IniFormat);
        edit.setValue(groups.filter("10.0.0.1").value(0) + "/port", "99999");
        edit.setValue(groups.filter("10.0.0.1").value(0) + "/mode", "sideways");
    }
    EXPECT_EQ(settings.load("10.0.0.1"), StationOptions{});
}

} // namespace
