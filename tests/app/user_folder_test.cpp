// The window's settings in the user's folder when the program's folder is read-only, beside
// the program when it is the user's own, and settings files it refuses.
#include "WindowFixture.h"

#include "tests/support/UserFolders.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QScopeGuard>

#include <sys/stat.h>

namespace {

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList stationNames(const QListWidget* list)
{
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}

} // namespace

TEST_F(WindowTest, ReadOnlyProgramFolderKeepsTheSettingsInTheUserFolder)
{
    testsupport::UserFolders user;
    const QByteArray seedFolders = ".\r\nseed\r\n\r\n";
    const QByteArray seedStations = hostRecord("a", "127.0.0.2", "u", "p");
    writeSettings("Dirt.cfg", seedFolders);
    writeSettings("Addf.cfg", seedStations);
    // Root writes anyway: the folder's bits alone make it read-only for the program.
    const QByteArray program = QFile::encodeName(m_folder.path());
    ASSERT_EQ(::chmod(program.constData(), 0555), 0);
    const auto writable = qScopeGuard([&] { ::chmod(program.constData(), 0755); });

    open();
    EXPECT_EQ(child<QLineEdit>("remoteFolderEdit")->text(), "seed") << "copied on first start";
    EXPECT_EQ(stationNames(child<QListWidget>("stationList")), QStringList{"a"});
    child<QLineEdit>("remoteFolderEdit")->setText("later");
    openGrid();
    typeRow(2, {"b", "127.0.0.3", "v", "q"});
    clickTab(0);
    destroy();

    const QString folder = user.config() + "/Zarvel/";
    EXPECT_EQ(contentOf(folder + "Dirt.cfg"), ".\r\nlater\r\n\r\n");
    EXPECT_EQ(contentOf(folder + "Addf.cfg"),
              seedStations + hostRecord("b", "127.0.0.3", "v", "q"));
    EXPECT_EQ(readSettings("Dirt.cfg"), seedFolders) << "the originals stay";
    EXPECT_EQ(readSettings("Addf.cfg"), seedStations);

    open();
    EXPECT_EQ(child<QLineEdit>("remoteFolderEdit")->text(), "later");
    EXPECT_EQ(stationNames(child<QListWidget>("stationList")), (QStringList{"a", "b"}));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(WindowTest, TheUsersOwnProgramFolderKeepsTheSettingsBesideTheProgram)
{
    testsupport::UserFolders user;
    open();
    child<QLineEdit>("remoteFolderEdit")->setText("out");
    destroy();
    EXPECT_EQ(readSettings("Dirt.cfg"), ".\r\nout\r\n\r\n");
    EXPECT_FALSE(QFile::exists(user.config())) << "the user's folders stay untouched";
    open();
    EXPECT_EQ(child<QLineEdit>("remoteFolderEdit")->text(), "out");
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(WindowTest, AFifoOrAnOversizedSettingsFileIsRefusedWithoutWaitingAndLeftAsItIs)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(settingsFile("Dirt.cfg")).constData(), 0600), 0);
    const QByteArray big(70000, 'x');
    writeSettings("Addf.cfg", big);
    const QString refused = "The settings file %1 %2; it is left as it is.";
    const QString fifo = refused.arg(settingsFile("Dirt.cfg"), "is not a regular file");

    QElapsedTimer clock;
    clock.start();
    open();
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(m_errors, QStringList{fifo});
    clickTab(1);
    EXPECT_EQ(m_errors.last(), refused.arg(settingsFile("Addf.cfg"), "is larger than 64 KiB"));
    destroy();
    EXPECT_EQ(m_errors.last(), fifo) << "the end does not save over it either";

    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(settingsFile("Dirt.cfg")).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(readSettings("Addf.cfg"), big);
}
