// The two settings files: what is read at start and on the stations page, the bytes written.
#include "WindowFixture.h"

#include "app/StationGrid.h"
#include "app/StationSettings.h"
#include "controls/explorer/FolderTree.h"
#include "platform/codepage.h"
#include "tests/support/WaitFor.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTableWidget>
#include <QTest>
#include <QTextEdit>

namespace {

QByteArray gbk(const QString& text)
{
    return platform::toCodePage(text);
}

// The stations of the checked list, unticked ones marked.
QStringList stations(QListWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text()
                + (list->item(i)->checkState() == Qt::Checked ? "" : " (unticked)");
    return texts;
}

} // namespace

TEST_F(WindowTest, FolderFileFillsTheRemoteFolderAndEmptyLinesAreWrittenBackAsDots)
{
    struct Row {
        QByteArray file;
        QString remote;   // remoteFolderEdit afterwards
        QByteArray saved; // Dirt.cfg after the program ends, settings page never unlocked
    };
    const QList<Row> rows = {
        {.file = "nil\r\nout/box\r\nsecret\r\n",
         .remote = "out/box",
         .saved = ".\r\nout/box\r\nsecret\r\n"},
        {.file = ".\r\n\r\n\r\n", .remote = ".", .saved = ".\r\n.\r\n\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file.toStdString());
        writeSettings("Dirt.cfg", row.file);
        open();
        EXPECT_EQ(child<QLineEdit>("remoteFolderEdit")->text(), row.remote);
        EXPECT_EQ(child<QLabel>("noticeFolderLabel")->text(), QString());
        destroy();
        EXPECT_EQ(readSettings("Dirt.cfg"), row.saved);
    }
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(WindowTest, FolderLineSelectsTheTreeFolderOrTheRootWhenGoneAndIsWrittenBack)
{
    QDir().mkdir(m_folder.filePath("notices"));
    const QByteArray notices = QFile::encodeName(m_folder.filePath("notices")) + "/";
    const QByteArray gone = QFile::encodeName(m_folder.filePath("gone")) + "/";
    for (const auto& [line, selected] :
         {std::pair{notices, notices}, std::pair{gone, QByteArray("/")}}) {
        writeSettings("Dirt.cfg", line + "\r\n.\r\n\r\n");
        open();
        EXPECT_EQ(child<QLabel>("noticeFolderLabel")->text(), QFile::decodeName(selected));
        EXPECT_EQ(child<QLabel>("settingsFolderLabel")->text(), QFile::decodeName(selected));
        EXPECT_GT(child<QLabel>("noticeFolderLabel")->width(), selected.size())
            << "the label grows with its text";
        destroy();
        EXPECT_EQ(readSettings("Dirt.cfg"), selected + "\r\n.\r\n\r\n");
    }
}

TEST_F(WindowTest, PasswordIsWrittenBackUnchangedUnlessThePageWasUnlocked)
{
    writeSettings("Dirt.cfg", ".\r\n.\r\nold pw\r\n");
    open();
    // A wrong password typed while locked never becomes the password.
    unlock("guess");
    EXPECT_TRUE(child<QLabel>("wrongPasswordLabel")->isVisible());
    destroy();
    EXPECT_EQ(readSettings("Dirt.cfg"), QByteArray(".\r\n.\r\nold pw\r\n"));

    // Unlocking alone changes nothing either (the gate test sets a new one in its dialog).
    open();
    unlock("old pw");
    ASSERT_FALSE(child<QPushButton>("unlockButton")->isVisible());
    destroy();
    EXPECT_EQ(readSettings("Dirt.cfg"), QByteArray(".\r\n.\r\nold pw\r\n"));
}

TEST_F(WindowTest, ASecondWindowClosedLaterKeepsWhatTheFirstChanged)
{
    writeSettings("Dirt.cfg", ".\r\nin\r\npw\r\n");
    open();
    // Another window saves a new remote folder and password meanwhile.
    writeSettings("Dirt.cfg", ".\r\nother\r\nnew\r\n");
    destroy();
    EXPECT_EQ(readSettings("Dirt.cfg"), QByteArray(".\r\nother\r\nnew\r\n"));
    // What this window changed is its own; the rest stays the other's.
    open();
    writeSettings("Dirt.cfg", ".\r\nthird\r\nnewer\r\n");
    child<QLineEdit>("remoteFolderEdit")->setText("mine");
    destroy();
    EXPECT_EQ(readSettings("Dirt.cfg"), QByteArray(".\r\nmine\r\nnewer\r\n"));
}

TEST_F(WindowTest, AFolderFileThatCannotBeReadKeepsTheSettingsPageLockedAndIsNotSaved)
{
    // Too large to be a folder file: refused, whoever runs the test.
    const QByteArray big = ".\r\nin\r\n" + QByteArray(70 * 1024, 'x');
    writeSettings("Dirt.cfg", big);
    open();
    unlock("");
    EXPECT_FALSE(child<QRadioButton>("stationSettingsButton")->isEnabled()) << "still locked";
    auto* line = child<QLabel>("settingsLockedLabel");
    EXPECT_TRUE(line->isVisible());
    EXPECT_TRUE(line->text().contains(settingsFile("Dirt.cfg"))) << line->text().toStdString();
    destroy();
    EXPECT_EQ(readSettings("Dirt.cfg"), big);
    EXPECT_EQ(m_errors.size(), 1) << "at start only";
}

TEST_F(WindowTest, LineBreaksAndNulsAreRefusedWhereTheyAreTypedWithAMessage)
{
    const QString refused = QStringLiteral("不能输入换行符或空字符，输入未被接受");
    const auto paneLines = [this] { return child<QTextEdit>("logPane")->toPlainText(); };
    writeSettings("Dirt.cfg", ".\r\nin\r\n\r\n");
    open();
    openGrid();
    for (const QString& text :
         {QStringLiteral("p\nUSER x"), QStringLiteral("p\r"), QStringLiteral("a") + QChar(0)}) {
        SCOPED_TRACE(text.toStdString());
        typeIntoGrid(4, 1, "ok");
        QApplication::clipboard()->setText(text);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
        QTest::mouseClick(child<QRadioButton>("localFolderButton"), Qt::LeftButton);
        EXPECT_EQ(gridText(4, 1), "ok");
        EXPECT_TRUE(paneLines().contains(refused));
        child<QTextEdit>("logPane")->clear();
        clickTab(1);
        auto* remote = child<QLineEdit>("remoteFolderEdit");
        remote->setFocus();
        remote->selectAll();
        QTest::keyClick(remote, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(remote->text(), "in");
        EXPECT_TRUE(paneLines().contains(refused));
        child<QTextEdit>("logPane")->clear();
        openGrid();
    }
    // A folder whose name holds a line break is not taken from the tree.
    const QString odd = m_folder.filePath("a\nb");
    ASSERT_TRUE(QDir().mkdir(odd));
    child<FolderTree>("folderTree")->setDirectory(odd);
    EXPECT_NE(child<QLabel>("settingsFolderLabel")->text(), odd);
    EXPECT_TRUE(paneLines().contains(refused));
    destroy();
    EXPECT_EQ(readSettings("Dirt.cfg").count('\r'), 3) << readSettings("Dirt.cfg").toStdString();
}

TEST_F(WindowTest, StationFileFillsGridAndCheckedListOnEveryShowOfTheStationsPage)
{
    writeSettings("Addf.cfg",
                  hostRecord(gbk(QStringLiteral("总部")), "127.0.0.2", "clerk", "pw1")
                      + hostRecord("b", "127.0.0.3", "u", "p")
                      + hostRecord("c", "10.0.0.4", "x", "y"));

    open();
    auto* list = child<QListWidget>("stationList");
    EXPECT_EQ(stations(list), (QStringList{QStringLiteral("总部"), "b", "c"}));
    EXPECT_EQ(gridText(1, 1), QStringLiteral("总部"));
    EXPECT_EQ(gridText(2, 1), "127.0.0.2");
    EXPECT_EQ(gridText(4, 2), "p");
    EXPECT_EQ(gridText(2, 3), "10.0.0.4");
    EXPECT_EQ(gridText(1, 4), QString());
    EXPECT_TRUE(m_errors.isEmpty());

    // Shows the stations page again with `bytes` as the station file (none when null).
    const auto reshow = [this](const QByteArray& bytes) {
        clickTab(0);
        QFile::remove(settingsFile("Addf.cfg"));
        if (!bytes.isNull())
            writeSettings("Addf.cfg", bytes);
        clickTab(1);
    };
    // Ticks follow stations, not places in the list, and are remembered across restarts.
    const QByteArray headquarters =
        hostRecord(gbk(QStringLiteral("总部")), "127.0.0.2", "clerk", "pw1");
    list->item(0)->setCheckState(Qt::Unchecked);
    reshow(hostRecord("b", "127.0.0.3", "u", "p") + headquarters);
    EXPECT_EQ(stations(list), (QStringList{"b", QStringLiteral("总部 (unticked)")}));
    destroy();
    open();
    list = child<QListWidget>("stationList");
    EXPECT_EQ(stations(list), (QStringList{"b", QStringLiteral("总部 (unticked)")}));
    reshow(hostRecord("c", "3.3.3.3", "u", "p"));
    EXPECT_EQ(stations(list), QStringList{"c"}) << "a deleted station leaves no tick behind";
    EXPECT_EQ(gridText(1, 2), QString()) << "rows 1 to 9 are cleared first";
    list->item(0)->setCheckState(Qt::Unchecked);
    // A file without a complete record, or none at all, leaves grid and list as they are.
    reshow(QByteArray(67, 'x'));
    EXPECT_EQ(stations(list), QStringList{"c (unticked)"});
    EXPECT_EQ(gridText(2, 1), "3.3.3.3");
    reshow(QByteArray());
    EXPECT_EQ(stations(list), QStringList{"c (unticked)"});
    // A station added to the file comes ticked.
    reshow(hostRecord("c", "3.3.3.3", "u", "p") + hostRecord("d", "4.4.4.4", "u", "p"));
    EXPECT_EQ(stations(list), (QStringList{"c (unticked)", "d"}));
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(WindowTest, MoreThanNineStationsAreAllKeptAndSaved)
{
    QByteArray file;
    for (int i = 1; i <= 11; ++i)
        file +=
            hostRecord("s" + QByteArray::number(i), "10.0.0." + QByteArray::number(i), "u", "p");
    writeSettings("Addf.cfg", file);
    open();
    EXPECT_EQ(child<QListWidget>("stationList")->count(), 11);
    auto* grid = child<QTableWidget>("stationGrid");
    EXPECT_EQ(grid->rowCount(), 11);
    EXPECT_EQ(grid->verticalHeaderItem(10)->text(), "11");
    EXPECT_EQ(gridText(1, 11), "s11");

    openGrid();
    typeIntoGrid(1, 10, "ten");
    clickTab(1);
    QByteArray expected = file;
    expected.replace(9 * 68, 68, hostRecord("ten", "10.0.0.10", "u", "p"));
    EXPECT_EQ(readSettings("Addf.cfg"), expected);
}

TEST_F(WindowTest, GridSavesCarryEachStationsOptionsAndTickAndTheListTicksAllOrNone)
{
    // Two stations at one address on different ports, and a third.
    const Station a{"A", "127.0.0.2", "u", "p"}, b{"B", "127.0.0.2", "u", "p"};
    writeSettings("Addf.cfg",
                  hostRecord("A", "127.0.0.2", "u", "p") + hostRecord("B", "127.0.0.2", "u", "p")
                      + hostRecord("C", "127.0.0.3", "u", "p"));
    StationSettings(settingsFile("Stations.ini"))
        .save({{a, {2121, TransferMode::Active}}, {b, {2222, TransferMode::Passive}}});
    open();
    auto* list = child<QListWidget>("stationList");
    list->item(1)->setCheckState(Qt::Unchecked);
    openGrid();
    EXPECT_EQ(gridText(5, 1), "2121");
    EXPECT_EQ(gridText(5, 2), "2222");
    // A deleted (its row cleared), B renamed: B's options and tick go with it.
    typeRow(1, {"", "", "", ""});
    typeIntoGrid(1, 2, "B2");
    clickTab(1);
    EXPECT_EQ(stations(list), (QStringList{"B2 (unticked)", "C"}));
    const StationSettings settings(settingsFile("Stations.ini"));
    const QList<LoadedStation> loaded =
        settings.load({{"B2", "127.0.0.2", "u", "p"}, {"C", "127.0.0.3", "u", "p"}});
    EXPECT_EQ(loaded[0].options, (StationOptions{2222, TransferMode::Passive}));
    EXPECT_FALSE(loaded[0].ticked);
    EXPECT_EQ(QSettings(settingsFile("Stations.ini"), QSettings::IniFormat).childGroups().size(), 2)
        << "A's group is gone";

    // "全选 / 全不选" from the keyboard: all when some are unticked, then none.
    QTest::keyClick(m_form.get(), Qt::Key_A, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return stations(list) == QStringList{"B2", "C"}; }));
    child<QPushButton>("tickAllButton")->click();
    EXPECT_EQ(stations(list), (QStringList{"B2 (unticked)", "C (unticked)"}));
    EXPECT_FALSE(settings.load({{"C", "127.0.0.3", "u", "p"}}).value(0).ticked) << "remembered";
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(WindowTest, LeavingTheGridSavesRowsByTheirRules)
{
    open();
    openGrid();
    ASSERT_TRUE(child<QWidget>("stationGrid")->isVisible());

    typeRow(1, {"+", "127.0.0.2", "clerk", "pw"}); // row 1: nothing above, kept as typed
    typeRow(2, {QStringLiteral("九个汉字的站点名称呀"), "+", "+", "other"}); // 20 bytes: 16 taken
    typeRow(3, {"+", "+", "+", "+"}); // "+" under a row that had "+"
    typeRow(4, {"dropped"});          // address empty: not saved
    typeRow(5, {"blank", " "});       // address one blank: not saved
    typeRow(6, {"a", "9.9.9.9", "u"});
    // Leaving the grid (a click on another control of the page) saves it.
    QTest::mouseClick(child<QRadioButton>("localFolderButton"), Qt::LeftButton);

    EXPECT_EQ(gridText(1, 3), QStringLiteral("九个汉字的站点名")) << "replaced in the grid itself";
    EXPECT_EQ(gridText(4, 3), "other");
    EXPECT_EQ(gridText(1, 1), "+");
    EXPECT_EQ(gridText(1, 4), "dropped") << "a skipped row keeps its cells";

    const QByteArray name = gbk(QStringLiteral("九个汉字的站点名称呀")).left(16);
    QByteArray expected = hostRecord("+", "127.0.0.2", "clerk", "pw")
        + hostRecord(name, "127.0.0.2", "clerk", "other")
        + hostRecord(name, "127.0.0.2", "clerk", "other");
    const QByteArray saved = readSettings("Addf.cfg");
    ASSERT_EQ(saved.size(), 4 * 68);
    EXPECT_EQ(saved.left(3 * 68), expected);

    // The stations page then shows the saved stations.
    clickTab(1);
    EXPECT_EQ(stations(child<QListWidget>("stationList")),
              (QStringList{"+", platform::fromCodePage(name), platform::fromCodePage(name), "a"}));
}

TEST_F(WindowTest, ClosingWithTheFocusInTheGridKeepsItsEdits)
{
    open();
    openGrid();
    typeRow(1, {"last", "127.0.0.9"});
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_X, Qt::AltModifier);
    ASSERT_TRUE(testsupport::waitFor([&] { return !m_form->isVisible(); }))
        << "Alt+X closes the dialog";
    EXPECT_EQ(readSettings("Addf.cfg"), hostRecord("last", "127.0.0.9", "", ""));
    EXPECT_EQ(readSettings("Dirt.cfg"), QByteArray(".\r\n.\r\n\r\n"));

    // Closed from outside while another window is active: the edit is kept all the same.
    open();
    openGrid();
    typeIntoGrid(1, 1, "later");
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_EQ(QApplication::focusWidget(), nullptr);
    m_form->close();
    EXPECT_EQ(readSettings("Addf.cfg"), hostRecord("later", "127.0.0.9", "", ""));
}

TEST_F(WindowTest, FromTheGridStraightToTheStationsPageShowsTheSavedStationsNamesCutWhole)
{
    writeSettings("Addf.cfg",
                  hostRecord("a", "1.1.1.1", "u", "p") + hostRecord("b", "2.2.2.2", "u", "p"));
    open();
    openGrid();
    typeIntoGrid(2, 1, ""); // a blank address removes the station
    typeIntoGrid(1, 2,
                 QStringLiteral("a九个汉字的站点名称")); // 1 + 18 bytes: cut before a lead byte
    clickTab(1);
    const QString cut = QStringLiteral("a九个汉字的站点");
    EXPECT_EQ(readSettings("Addf.cfg"), hostRecord(gbk(cut), "2.2.2.2", "u", "p"));
    EXPECT_EQ(stations(child<QListWidget>("stationList")), QStringList{cut});
    EXPECT_EQ(gridText(1, 1), cut);
    EXPECT_EQ(gridText(1, 2), QString());
}

TEST_F(WindowTest, ProtocolEncodingAndImplicitTlsSurviveASaveAndAnOldFileReadsAsFtpAuto)
{
    const Station a{"A", "10.0.0.1", "u", "p"}, b{"B", "10.0.0.2", "u", "p"},
        c{"C", "10.0.0.3", "u", "p"};
    writeSettings("Addf.cfg",
                  hostRecord("A", "10.0.0.1", "u", "p") + hostRecord("B", "10.0.0.2", "u", "p")
                      + hostRecord("C", "10.0.0.3", "u", "p"));
    {
        // As a window wrote it before stations had a protocol or an encoding.
        StationSettings(settingsFile("Stations.ini")).save({{a, {2121, TransferMode::Passive}}});
        QSettings old(settingsFile("Stations.ini"), QSettings::IniFormat);
        for (const QString& group : old.childGroups()) {
            old.remove(group + "/protocol");
            old.remove(group + "/encoding");
        }
    }
    ASSERT_FALSE(readSettings("Stations.ini").contains("protocol"));
    open();
    openGrid();
    // Port, mode, TLS, protocol and encoding as each row shows them.
    const auto shown = [this](int row) {
        return QStringList{gridText(5, row), gridText(6, row), gridText(8, row), gridText(9, row),
                           gridText(10, row)};
    };
    EXPECT_EQ(shown(1),
              (QStringList{"2121", QStringLiteral("被动"), "auto", "FTP", QStringLiteral("自动")}));
    EXPECT_EQ(shown(2), (QStringList{"21", "auto", "auto", "FTP", QStringLiteral("自动")}));

    // The clerk's choices, made in the grid, reach the file when the grid is left.
    chooseInGrid(9, 1, "SFTP");
    chooseInGrid(8, 2, QStringLiteral("隐式"));
    chooseInGrid(10, 2, "GBK", true);
    chooseInGrid(10, 3, "UTF-8");
    chooseInGrid(9, 3, "SFTP");
    QTest::mouseClick(child<QRadioButton>("localFolderButton"), Qt::LeftButton);
    const QList<StationOptions> expected{
        {2121, TransferMode::Passive, false, TlsMode::Auto, EncodingChoice::Auto, Protocol::Sftp},
        {990, TransferMode::Auto, false, TlsMode::Implicit, EncodingChoice::Gbk, Protocol::Ftp},
        {22, TransferMode::Auto, false, TlsMode::Auto, EncodingChoice::Utf8, Protocol::Sftp}};
    const QList<LoadedStation> loaded =
        StationSettings(settingsFile("Stations.ini")).load({a, b, c});
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(loaded.value(row).options, expected[row]) << row;
    const QByteArray file = readSettings("Stations.ini");
    for (const char* key : {"protocol=sftp", "tls=implicit", "encoding=gbk", "encoding=utf-8"})
        EXPECT_TRUE(file.contains(key)) << key;

    // A new window shows them as they were chosen, the kept FTP choices of SFTP rows too.
    destroy();
    open();
    openGrid();
    EXPECT_EQ(
        shown(1),
        (QStringList{"2121", QStringLiteral("被动"), "auto", "SFTP", QStringLiteral("自动")}));
    EXPECT_EQ(shown(2), (QStringList{"990", "auto", QStringLiteral("隐式"), "FTP", "GBK"}));
    EXPECT_EQ(shown(3), (QStringList{"22", "auto", "auto", "SFTP", "UTF-8"}));
    EXPECT_EQ(child<StationGrid>("stationGrid")->options().mid(0, 3), expected);
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}
