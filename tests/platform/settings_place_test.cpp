// Where the settings live: beside the program or in the user's folders.
#include "platform/files.h"
#include "tests/support/TempTree.h"
#include "tests/support/UserFolders.h"

#include <QFile>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// The program's files that mark a portable installation.
const QStringList settingsFiles{"Dirt.cfg", "Addf.cfg"};

} // namespace

TEST(SettingsPlace, BesideTheProgramUnlessItsFolderIsReadOnlyOrASystemFolder)
{
    testsupport::UserFolders user;
    testsupport::TempTree tree;
    const auto restore = qScopeGuard([] {
        platform::setProgramFolder({});
        platform::setSystemFolders({});
    });
    platform::setSystemFolders({tree.path("system")});
    struct Row {
        const char* folder;
        bool holdsSettings;
        unsigned mode; // root writes anyway: the bits alone make a folder read-only
        bool portable;
    };
    const Row rows[] = {{"own", false, 0755, true},         {"own-kept", true, 0755, true},
                        {"read-only", false, 0555, false},  {"read-only-kept", true, 0555, false},
                        {"system/bin", false, 0755, false}, {"system/kept", true, 0755, true}};
    for (const Row& row : rows) {
        const QString folder = tree.addFolder(QLatin1String(row.folder));
        if (row.holdsSettings)
            tree.addFile(QLatin1String(row.folder) + "/Dirt.cfg");
        ::chmod(QFile::encodeName(folder).constData(), row.mode);
        platform::setProgramFolder(folder);
        const platform::SettingsPlace place = platform::settingsPlace(settingsFiles);
        EXPECT_EQ(place.settings, row.portable ? folder + "/" : user.config() + "/Zarvel/")
            << row.folder;
        EXPECT_EQ(place.logs, row.portable ? folder + "/logs/" : user.state() + "/Zarvel/logs/")
            << row.folder;
        ::chmod(QFile::encodeName(folder).constData(), 0755);
    }

    // Relative or unset XDG variables: the usual folders in the home folder.
    platform::setProgramFolder(tree.path("system/bin"));
    qputenv("XDG_CONFIG_HOME", "relative");
    qunsetenv("XDG_STATE_HOME");
    EXPECT_EQ(platform::settingsPlace(settingsFiles).settings, user.home() + "/.config/Zarvel/");
    EXPECT_EQ(platform::logFolder(settingsFiles), user.home() + "/.local/state/Zarvel/logs/");
    platform::setSystemFolders({});
    EXPECT_TRUE(platform::isSystemFolder("/usr/bin") && platform::isSystemFolder("/opt/z"));
    EXPECT_FALSE(platform::isSystemFolder("/usrlocal") || platform::isSystemFolder("/home/u"));
}
