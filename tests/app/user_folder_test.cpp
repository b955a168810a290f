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

mode_t modeOf(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode : 0;
}

} // namespace

TEST_F(WindowTest, ReadOnlyProgramFolderKeepsTheSettingsInTheUserFolder)
{
    testsupport::UserFolders user;
    writeSettings("Dirt.cfg", ".\r\nseed\r\n\r\n");
    writeSettings("Addf.cfg", hostRecord("a", "127.0.0.2", "u", "p"));
    // Root writes anyway: the folder's bits alone make it read-only for the program.
    const QByteArray program = QFile::encodeName(m_folder.path());
    ASSERT_EQ(::chmod(program.constData(), 0555), 0);
    const auto writable = qScopeGuard([&] { ::chmod(program.constData(), 0755); });

    open();
    EXPECT_EQ(child<QLineEdit>("remoteFolderEdit")->text(), "seed") << "copied at first start";
    child<QLineEdit>("remoteFolderEdit")->setText("later");
    openGrid();
    typeRow(2, {"b", "127.0.0.3", "v", "q"});
    clickTab(0);
    destroy();

    const QString folder = user.config() + "/Zarvel/";
    EXPECT_EQ(contentOf(folder + "Dirt.cfg"), ".\r\nlater\r\n\r\n");
    EXPECT_EQ(contentOf(folder + "Addf.cfg").size(), 2 * 68);
    EXPECT_EQ(readSettings("Dirt.cfg"), ".\r\nseed\r\n\r\n") << "the originals stay";
    EXPECT_EQ(modeOf(folder) & 0777, 0700u);
    EXPECT_EQ(modeOf(folder + "Addf.cfg") & 0777, 0600u);

    open();
    EXPECT_EQ(child<QLineEdit>("remoteFolderEdit")->text(), "later") << "read back, not copied";
    EXPECT_EQ(child<QListWidget>("stationList")->count(), 2);
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
}

TEST_F(WindowTest, AFifoOrAnOversizedSettingsFileIsRefusedWithoutWaitingAndLeftAsItIs)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(settingsFile("Dirt.cfg")).constData(), 0600), 0);
    writeSettings("Addf.cfg", QByteArray(70000, 'x'));
    const QString refused = QStringLiteral("设置文件 %1 %2，保持原样未动。");
    const QString fifo = refused.arg(settingsFile("Dirt.cfg"), QStringLiteral("不是普通文件"));

    QElapsedTimer clock;
    clock.start();
    open();
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(m_errors, QStringList{fifo});
    clickTab(1);
    EXPECT_EQ(m_errors.last(),
              refused.arg(settingsFile("Addf.cfg"), QStringLiteral("大于 64 KiB")));
    destroy();
    EXPECT_EQ(m_errors.size(), 2) << "the end does not even try to save over it";
    EXPECT_TRUE(S_ISFIFO(modeOf(settingsFile("Dirt.cfg"))));
    EXPECT_EQ(readSettings("Addf.cfg").size(), 70000);
}
