// Where the settings live (beside the program or in the user's folders) and which settings
// files are refused.
#include "platform/exception.h"
#include "platform/files.h"
#include "tests/support/TempTree.h"
#include "tests/support/UserFolders.h"

#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

unsigned modeOf(const QString& path)
{
    struct stat info {};
    return ::stat(native(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

template <typename Action>
QString failureOf(Action&& action)
{
    try {
        action();
    } catch (const platform::Exception& error) {
        return error.message();
    }
    return QStringLiteral("<no error>");
}

} // namespace

TEST(SettingsPlace, PortableBesideTheProgramUnlessItsFolderIsReadOnlyOrASystemFolder)
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
        QByteArray settingsFile; // placed beside the program when not empty
        unsigned mode;
        bool portable;
    };
    const Row rows[] = {
        {.folder = "own", .settingsFile = {}, .mode = 0755, .portable = true},
        {.folder = "own-kept", .settingsFile = "Addf.cfg", .mode = 0755, .portable = true},
        // Root may write anywhere: a folder whose bits forbid writing still counts as read-only.
        {.folder = "read-only", .settingsFile = {}, .mode = 0555, .portable = false},
        {.folder = "read-only-kept", .settingsFile = "Dirt.cfg", .mode = 0555, .portable = false},
        {.folder = "system/bin", .settingsFile = {}, .mode = 0755, .portable = false},
        // An existing installation in a folder it may write keeps working as it did.
        {.folder = "system/kept", .settingsFile = "Dirt.cfg", .mode = 0755, .portable = true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.folder);
        const QString folder = tree.addFolder(QLatin1String(row.folder));
        if (!row.settingsFile.isEmpty())
            tree.addFile(QLatin1String(row.folder) + u'/' + QLatin1String(row.settingsFile));
        ::chmod(native(folder).constData(), row.mode);
        platform::setProgramFolder(folder);
        const platform::SettingsPlace place = platform::settingsPlace();
        EXPECT_EQ(place.portable, row.portable);
        EXPECT_EQ(place.settings, row.portable ? folder + "/" : user.config() + "/Zarvel/");
        EXPECT_EQ(place.logs, row.portable ? folder + "/logs/" : user.state() + "/Zarvel/logs/");
        ::chmod(native(folder).constData(), 0755);
    }

    // Unset or relative XDG variables fall back to the home folder's usual places.
    platform::setProgramFolder(tree.path("system/bin"));
    qputenv("XDG_CONFIG_HOME", "relative/config");
    qunsetenv("XDG_STATE_HOME");
    EXPECT_EQ(platform::settingsPlace().settings, user.home() + "/.config/Zarvel/");
    EXPECT_EQ(platform::settingsPlace().logs, user.home() + "/.local/state/Zarvel/logs/");

    platform::setSystemFolders({});
    for (const char* folder : {"/usr/bin", "/opt/zarvel/bin", "/snap/zarvel/x1", "/lib"})
        EXPECT_TRUE(platform::isSystemFolder(QLatin1String(folder))) << folder;
    for (const char* folder : {"/usrlocal", "/home/u/zarvel", "/tmp/x"})
        EXPECT_FALSE(platform::isSystemFolder(QLatin1String(folder))) << folder;
}

TEST(SettingsPlace, FirstStartInTheUserFolderCopiesTheFilesBesideTheProgramOnce)
{
    testsupport::UserFolders user;
    testsupport::TempTree tree;
    const QString program = tree.addFolder("program");
    tree.addFile("program/Dirt.cfg", "nil\r\n.\r\npw\r\n");
    tree.addFile("program/Addf.cfg", QByteArray(68, 'a'));
    ::chmod(native(program).constData(), 0555);
    platform::setProgramFolder(program);
    const auto restore = qScopeGuard([&] {
        platform::setProgramFolder({});
        ::chmod(native(program).constData(), 0755);
    });

    const QString folder = user.config() + "/Zarvel/";
    EXPECT_EQ(platform::settingsFolder(), folder);
    EXPECT_EQ(modeOf(user.config()), 0700u) << "created parents are private too";
    EXPECT_EQ(modeOf(folder), 0700u);
    for (const char* name : {"Dirt.cfg", "Addf.cfg"}) {
        EXPECT_EQ(contentOf(folder + name), contentOf(program + "/" + name)) << name;
        EXPECT_EQ(modeOf(folder + name), 0600u) << name;
    }

    // Later starts leave the user's files alone, whatever lies beside the program.
    ::chmod(native(program).constData(), 0755);
    tree.addFile("program/Dirt.cfg", "changed\r\n");
    ::chmod(native(program).constData(), 0555);
    EXPECT_EQ(platform::settingsFolder(), folder);
    EXPECT_EQ(contentOf(folder + "Dirt.cfg"), "nil\r\n.\r\npw\r\n");

    EXPECT_EQ(platform::logFolder(), user.state() + "/Zarvel/logs/");
    EXPECT_EQ(modeOf(user.state() + "/Zarvel/logs"), 0700u);
}

TEST(SettingsFiles, FifosDevicesAndOversizedFilesAreRefusedAtOnceAndLeftAsTheyAre)
{
    testsupport::TempTree tree;
    const QString fifo = tree.path("fifo.cfg");
    ASSERT_EQ(::mkfifo(native(fifo).constData(), 0600), 0);
    const QString device = tree.path("zero.cfg");
    ASSERT_EQ(::symlink("/dev/zero", native(device).constData()), 0);
    const QString big = tree.addFile("big.cfg", QByteArray(platform::settingsFileLimit + 1, 'x'));
    const QString limit = tree.addFile("limit.cfg", QByteArray(platform::settingsFileLimit, 'y'));
    const QString linked = tree.path("linked.cfg");
    ASSERT_EQ(::symlink(native(limit).constData(), native(linked).constData()), 0);
    tree.addFolder("folder.cfg");

    QElapsedTimer clock;
    clock.start();
    const QString notRegular = "The settings file %1 is not a regular file; it is left as it is";
    EXPECT_EQ(failureOf([&] { platform::readSettingsFile(fifo); }), notRegular.arg(fifo));
    EXPECT_EQ(failureOf([&] { platform::readSettingsFile(device); }), notRegular.arg(device));
    EXPECT_EQ(failureOf([&] { platform::readSettingsFile(big); }),
              "The settings file " + big + " is larger than 64 KiB; it is left as it is");
    EXPECT_EQ(failureOf([&] { platform::readSettingsFile(tree.path("folder.cfg")); }),
              "File access denied");
    EXPECT_EQ(failureOf([&] { platform::readSettingsFile(tree.path("none.cfg")); }),
              "File not found");
    EXPECT_EQ(platform::readSettingsFile(limit).size(), platform::settingsFileLimit);
    EXPECT_EQ(platform::readSettingsFile(linked).size(), platform::settingsFileLimit);

    // A save does not replace them either.
    EXPECT_EQ(failureOf([&] { platform::saveSettingsFile(fifo, "x"); }), notRegular.arg(fifo));
    EXPECT_EQ(failureOf([&] { platform::saveSettingsFile(big, "x"); }),
              "The settings file " + big + " is larger than 64 KiB; it is left as it is");
    EXPECT_LT(clock.elapsed(), 5000) << "nothing waits on the FIFO";
    struct stat info {};
    ASSERT_EQ(::stat(native(fifo).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(contentOf(big).size(), platform::settingsFileLimit + 1);
    platform::saveSettingsFile(limit, "small");
    EXPECT_EQ(contentOf(limit), "small");
}
