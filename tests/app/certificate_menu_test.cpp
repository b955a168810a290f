// The station grid's TLS column and forgetting a remembered certificate or host key, as a user
// does them.
#include "WindowFixture.h"

#include "app/StationFile.h"
#include "app/StationSettings.h"
#include "tests/support/WaitFor.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QWindow>

namespace {

const QByteArray print = "AB:CD:" + QByteArray("01:").repeated(29) + "EF";

class CertificateMenuTest : public WindowTest {
protected:
    QTableWidget* grid() const { return child<QTableWidget>("stationGrid"); }

    // Right-clicks the name cell of `row` (from 1), or its number, and returns the menu that
    // opens.
    QMenu* rightClick(int row, bool onNumber)
    {
        const QModelIndex name = grid()->model()->index(row - 1, 0);
        grid()->scrollTo(name);
        const QRect cell = grid()->visualRect(name);
        const QHeaderView* numbers = grid()->verticalHeader();
        const QPoint at = onNumber ? numbers->mapTo(m_form.get(),
                                                    QPoint(numbers->width() / 2,
                                                           numbers->sectionViewportPosition(row - 1)
                                                               + numbers->sectionSize(row - 1) / 2))
                                   : grid()->viewport()->mapTo(m_form.get(), cell.center());
        QTest::mouseClick(m_form->windowHandle(), Qt::RightButton, {}, at);
        return openMenu();
    }

    // The grid's menu once it shows.
    QMenu* openMenu() const
    {
        QMenu* menu = nullptr;
        EXPECT_TRUE(testsupport::waitFor([&] {
            for (QMenu* open : grid()->findChildren<QMenu*>())
                if (open->isVisible())
                    menu = open;
            return menu != nullptr;
        })) << "the grid's menu opens";
        return menu;
    }

    // Chooses "忘记…" in `menu`, then `button` in the question that follows; returns the
    // question's text.
    QString forgetAndAnswer(QMenu* menu, const QString& button)
    {
        QAction* forget = menu->actions().value(0);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(forget).center());
        QMessageBox* box = question();
        if (!box)
            return {};
        const QString text = box->windowTitle() + u'|' + box->text();
        for (QAbstractButton* shown : box->buttons())
            if (shown->text() == button)
                QTest::mouseClick(shown, Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([box] { return !box->isVisible(); }, 2000));
        return text;
    }

    QMessageBox* question() const
    {
        QMessageBox* box = nullptr;
        EXPECT_TRUE(testsupport::waitFor([&] {
            for (QMessageBox* open : m_form->findChildren<QMessageBox*>())
                if (open->isVisible())
                    box = open;
            return box != nullptr;
        })) << "a question opens";
        return box;
    }
};

} // namespace

TEST_F(CertificateMenuTest, TlsIsChosenFromAListAndACertificateIsForgottenOnceConfirmed)
{
    writeSettings("Addf.cfg",
                  hostRecord("A", "127.0.0.2", "u", "p") + hostRecord("B", "127.0.0.3", "u", "p"));
    const StationSettings settings(settingsFile("Stations.ini"));
    const QList<Station> stations = StationFile(settingsFile("Addf.cfg")).load();
    settings.save({{stations[1], {21, TransferMode::Auto, false, TlsMode::Require}}});
    settings.rememberCertificate("127.0.0.2", 21, print);
    open();
    openGrid();
    EXPECT_EQ(grid()->horizontalHeaderItem(7)->text(), QStringLiteral("加密"));
    EXPECT_EQ(gridText(8, 1), "auto") << "a station without an entry";
    EXPECT_EQ(gridText(8, 2), QStringLiteral("必须"));

    // The choice is made from a list, with the arrow keys.
    const QModelIndex tls = grid()->model()->index(0, 7);
    grid()->scrollTo(tls);
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, grid()->visualRect(tls).center());
    auto* list = qobject_cast<QComboBox*>(QApplication::focusWidget());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), 4);
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(list->currentText(), QStringLiteral("关闭"));
    QTest::mouseClick(child<QRadioButton>("localFolderButton"), Qt::LeftButton);
    EXPECT_EQ(settings.load(stations)[0].options,
              (StationOptions{21, TransferMode::Auto, false, TlsMode::Off}));
    EXPECT_EQ(settings.load(stations)[1].options.tls, TlsMode::Require);
    EXPECT_EQ(settings.certificate("127.0.0.2", 21), print) << "saving the grid keeps it";
    QTest::mouseClick(child<QRadioButton>("stationSettingsButton"), Qt::LeftButton);
    ASSERT_TRUE(grid()->isVisible());

    // A station with nothing remembered: nothing to forget.
    QMenu* menu = rightClick(2, false);
    ASSERT_NE(menu, nullptr);
    EXPECT_FALSE(menu->actions().value(0)->isEnabled());
    menu->close();
    // Asked first: Cancel keeps the certificate, Forget removes it. The menu is on the row
    // number too, where no cell editor has a menu of its own.
    struct Row {
        QString button;
        QByteArray left;
        bool onNumber;
    };
    const Row rows[] = {{.button = QStringLiteral("取消"), .left = print, .onNumber = false},
                        {.button = QStringLiteral("忘记(&F)"), .left = {}, .onNumber = true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.button.toStdString());
        menu = rightClick(1, row.onNumber);
        ASSERT_NE(menu, nullptr);
        ASSERT_TRUE(menu->actions().value(0)->isEnabled());
        const QString asked = forgetAndAnswer(menu, row.button);
        EXPECT_TRUE(asked.contains(QString::fromLatin1(print)) && asked.contains("127.0.0.2"))
            << asked.toStdString();
        EXPECT_EQ(settings.certificate("127.0.0.2", 21), row.left);
    }
    EXPECT_EQ(settings.load(stations)[0].options.tls, TlsMode::Off) << "only the certificate went";
    // From the keyboard, the menu key and Shift+F10 open the current row's menu.
    settings.rememberCertificate("127.0.0.2", 21, print);
    for (const auto& [key, modifiers] :
         {std::pair{Qt::Key_Menu, Qt::NoModifier}, std::pair{Qt::Key_F10, Qt::ShiftModifier}}) {
        for (int row : {1, 2}) {
            grid()->setCurrentCell(row - 1, 0);
            QTest::keyClick(grid(), key, modifiers);
            menu = openMenu();
            ASSERT_NE(menu, nullptr) << row;
            EXPECT_EQ(menu->actions().value(0)->isEnabled(), row == 1) << row;
            menu->close();
        }
    }
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}

TEST_F(CertificateMenuTest,
       AnSftpStationsHostKeyIsForgottenOnceConfirmedAndAnFtpStationsCertificate)
{
    writeSettings("Addf.cfg",
                  hostRecord("S", "127.0.0.2", "u", "p") + hostRecord("F", "127.0.0.2", "u", "p"));
    const StationSettings settings(settingsFile("Stations.ini"));
    const QList<Station> stations = StationFile(settingsFile("Addf.cfg")).load();
    // Both on port 22 of one address: the protocol alone says which of the two is meant.
    settings.save(
        {{stations[0],
          {22, TransferMode::Auto, false, TlsMode::Auto, EncodingChoice::Auto, Protocol::Sftp}},
         {stations[1], {22}}});
    const QByteArray key = "SHA256:q1C4j3lZ+HMUxb/Ft0dIPLKS0yBKbsZZ3mSbK8x5vA8";
    open();
    openGrid();

    // Nothing remembered yet: the SFTP row's menu says it has no host key.
    QMenu* menu = rightClick(1, false);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->actions().value(0)->text(), QStringLiteral("忘记主机密钥(&F)..."));
    EXPECT_FALSE(menu->actions().value(0)->isEnabled());
    EXPECT_EQ(menu->actions().value(1)->text(), QStringLiteral("该站点没有记住的主机密钥"));
    menu->close();

    settings.rememberHostKey("127.0.0.2", 22, key);
    settings.rememberCertificate("127.0.0.2", 22, print);
    // Row 1 (SFTP) asks about its host key, row 2 (FTP) about its certificate; each forgets
    // only its own.
    const QString sha256 = QString::fromLatin1(key), sha = "SHA-256 " + QString::fromLatin1(print);
    const struct Row {
        int row;
        QString button;
        QByteArray keyLeft, certificateLeft;
    } rows[] = {{1, QStringLiteral("取消"), key, print},
                {1, QStringLiteral("忘记(&F)"), {}, print},
                {2, QStringLiteral("忘记(&F)"), {}, {}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.button.toStdString() + " on row " + std::to_string(row.row));
        menu = rightClick(row.row, true);
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->actions().value(0)->text(),
                  row.row == 1 ? QStringLiteral("忘记主机密钥(&F)...")
                               : QStringLiteral("忘记证书(&F)..."));
        ASSERT_TRUE(menu->actions().value(0)->isEnabled());
        const QString asked = forgetAndAnswer(menu, row.button);
        EXPECT_TRUE(asked.startsWith(row.row == 1 ? QStringLiteral("忘记主机密钥|")
                                                  : QStringLiteral("忘记证书|"))
                    && asked.contains(row.row == 1 ? sha256 : sha) && asked.contains("127.0.0.2"))
            << asked.toStdString();
        EXPECT_EQ(settings.hostKey("127.0.0.2", 22), row.keyLeft);
        EXPECT_EQ(settings.certificate("127.0.0.2", 22), row.certificateLeft);
    }
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('|').toStdString();
}
