// The settings page behind its password: states, Enter as OK, the views.
#include "WindowFixture.h"

#include "app/PasswordDialog.h"
#include "platform/codepage.h"
#include "tests/support/WaitFor.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

// Page states as flags: prompt (passwordPrompt and field), OK, wrong-password label, tree, grid,
// unlocked.
const QString lockedPrompt = "110000", lockedWrong = "111000", treeView = "000101",
              gridView = "000011", unlockedPrompt = "100001";

class GateTest : public WindowTest {
protected:
    QString state() const
    {
        QString flags;
        for (bool on :
             {child<QWidget>("passwordEdit")->isVisible()
                  && child<QWidget>("passwordPrompt")->isVisible(),
              child<QWidget>("unlockButton")->isVisible(),
              child<QWidget>("wrongPasswordLabel")->isVisible(),
              child<QWidget>("folderTree")->isVisible(), child<QWidget>("stationGrid")->isVisible(),
              child<QWidget>("localFolderButton")->isEnabled()
                  && child<QWidget>("stationSettingsButton")->isEnabled()})
            flags += on ? u'1' : u'0';
        return flags;
    }

    // Types the two fields of the open password dialog and presses one of its buttons;
    // returns the dialog's reason for refusing, empty when it closed.
    QString changePassword(const QString& first, const QString& second,
                           QDialogButtonBox::StandardButton button = QDialogButtonBox::Ok)
    {
        EXPECT_TRUE(child<QWidget>("changePasswordButton")->isVisible());
        QTest::mouseClick(child<QPushButton>("changePasswordButton"), Qt::LeftButton);
        auto* dialog = m_form->findChild<PasswordDialog*>();
        EXPECT_TRUE(dialog && dialog->isVisible());
        if (!dialog)
            return "<no dialog>";
        QStringList captions;
        for (const QLabel* label : dialog->findChildren<QLabel*>())
            captions << label->text();
        EXPECT_TRUE(captions.contains("新口令：") && captions.contains("再次输入新口令："));
        typeText(dialog->findChild<QLineEdit*>("newPasswordEdit"), first);
        typeText(dialog->findChild<QLineEdit*>("repeatedPasswordEdit"), second);
        QTest::mouseClick(dialog->findChild<QDialogButtonBox*>()->button(button), Qt::LeftButton);
        if (dialog->isVisible()) {
            const QString reason = dialog->findChild<QLabel*>("passwordProblemLabel")->text();
            delete dialog;
            return reason;
        }
        return {};
    }
};

} // namespace

TEST_F(GateTest, PasswordIsComparedByteForByteAndEnterActsAsOkWhileVisible)
{
    writeSettings("Dirt.cfg", ".\r\n.\r\nPass word\r\n");
    open();
    clickTab(2);
    EXPECT_EQ(state(), lockedPrompt);

    auto* field = child<QLineEdit>("passwordEdit");
    for (const QString& wrong :
         {QStringLiteral("pass word"), QStringLiteral("Pass word "), QStringLiteral("Password")}) {
        unlock(wrong);
        EXPECT_EQ(state(), lockedWrong) << wrong.toStdString();
        EXPECT_EQ(field->selectedText(), wrong) << "the whole text is selected for the next try";
    }
    EXPECT_EQ(child<QLabel>("wrongPasswordLabel")->text(), QStringLiteral("口令错误！"));

    // Focus entering "进入设置 " shows the prompt again and keeps the wrong-password label.
    child<QWidget>("enterSettingsButton")->setFocus();
    EXPECT_EQ(state(), lockedWrong);

    // Enter in the password field clicks OK.
    field->setFocus();
    field->selectAll();
    typeText(field, QStringLiteral("Pass word"));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(state(), treeView);
    EXPECT_TRUE(child<QRadioButton>("localFolderButton")->isChecked());
    EXPECT_FALSE(child<QRadioButton>("enterSettingsButton")->isChecked());

    QTest::mouseClick(child<QRadioButton>("stationSettingsButton"), Qt::LeftButton);
    EXPECT_EQ(state(), gridView);
    QTest::mouseClick(child<QRadioButton>("localFolderButton"), Qt::LeftButton);
    EXPECT_EQ(state(), treeView);
    QTest::mouseClick(child<QRadioButton>("enterSettingsButton"), Qt::LeftButton);
    EXPECT_EQ(state(), unlockedPrompt);

    // Now OK is hidden: Enter in the field does nothing, a wrong text changes nothing.
    field->selectAll();
    typeText(field, QStringLiteral("nonsense"));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(state(), unlockedPrompt);
    QTest::mouseClick(child<QRadioButton>("stationSettingsButton"), Qt::LeftButton);
    EXPECT_EQ(state(), gridView);

    // Leaving the page and coming back keeps its state.
    clickTab(0);
    clickTab(2);
    EXPECT_EQ(state(), gridView);
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(GateTest, EnterUnlocksOnlyInTheShownPromptAndAnEmptyFieldMatchesAnEmptyPassword)
{
    writeSettings("Dirt.cfg", ".\r\n.\r\n\r\n");
    open();
    // OK is not visible while another page is shown.
    clickTab(1);
    child<QWidget>("remoteFolderEdit")->setFocus();
    QTest::keyClick(child<QWidget>("remoteFolderEdit"), Qt::Key_Return);
    clickTab(2);
    EXPECT_EQ(state(), lockedPrompt);
    // With Shift, Enter is no default-button press.
    auto* field = child<QLineEdit>("passwordEdit");
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(state(), lockedPrompt);
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(state(), treeView);
}

TEST_F(GateTest, GridEditsInPlaceAndTabMovesFromCellToCell)
{
    open();
    openGrid();
    typeIntoGrid(1, 2, "one");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    typeText(QApplication::focusWidget(), "two");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    typeText(QApplication::focusWidget(), "three");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    typeText(QApplication::focusWidget(), "2");
    QTest::mouseClick(child<QRadioButton>("localFolderButton"), Qt::LeftButton);
    EXPECT_EQ(gridText(1, 2), "one");
    EXPECT_EQ(gridText(2, 2), "2") << "the editor opens with the cell's text selected";
    EXPECT_EQ(gridText(3, 2), "three");
    EXPECT_EQ(readSettings("Addf.cfg"), hostRecord("one", "2", "three", ""));
}

TEST_F(GateTest, PromptSaysWhenNoPasswordIsSetYet)
{
    struct Row {
        QByteArray folderFile; // none when empty
        bool hint;
    };
    const Row rows[] = {{.folderFile = "", .hint = true},
                        {.folderFile = ".\r\n.\r\n\r\n", .hint = true},
                        {.folderFile = ".\r\n.\r\n \r\n", .hint = false},
                        {.folderFile = ".\r\n.\r\nsecret\r\n", .hint = false}};
    for (const Row& row : rows) {
        QFile::remove(settingsFile("Dirt.cfg"));
        if (!row.folderFile.isEmpty())
            writeSettings("Dirt.cfg", row.folderFile);
        open();
        clickTab(2);
        EXPECT_EQ(child<QWidget>("emptyPasswordHint")->isVisible(), row.hint)
            << row.folderFile.constData();
        EXPECT_FALSE(child<QWidget>("changePasswordButton")->isVisible()) << "locked";
        destroy();
    }
}

TEST_F(GateTest, NewPasswordIsTypedTwiceAndOnlyTwoEqualStorableTextsChangeIt)
{
    writeSettings("Dirt.cfg", ".\r\n.\r\nold pw\r\n");
    open();
    unlock("old pw");
    child<QWidget>("enterSettingsButton")->setFocus();
    // The unlocked prompt offers the change; its field no longer sets the password.
    EXPECT_EQ(state(), unlockedPrompt);
    EXPECT_FALSE(child<QLineEdit>("passwordEdit")->isEnabled());

    struct Row {
        QString first;
        QString second;
        QString refusal;
    };
    const Row refused[] = {
        {.first = "新口令", .second = "新口令 ", .refusal = "两次输入的新口令不一致，口令未修改"},
        {.first = "abc", .second = "", .refusal = "两次输入的新口令不一致，口令未修改"},
        {.first = "a\tb", .second = "a\tb", .refusal = "新口令含有无法保存的字符，口令未修改"},
        {.first = "\U0001F600",
         .second = "\U0001F600",
         .refusal = "新口令含有无法保存的字符，口令未修改"}};
    for (const Row& row : refused)
        EXPECT_EQ(changePassword(row.first, row.second), row.refusal) << row.first.toStdString();
    EXPECT_EQ(changePassword("same", "same", QDialogButtonBox::Cancel), QString());
    ASSERT_TRUE(testsupport::waitFor([&] {
        return m_form->findChild<PasswordDialog*>() == nullptr;
    })) << "the canceled dialog is gone";
    destroy();
    EXPECT_EQ(readSettings("Dirt.cfg"), QByteArray(".\r\n.\r\nold pw\r\n"))
        << "a refused or canceled change keeps the password";

    open();
    unlock("old pw");
    child<QWidget>("enterSettingsButton")->setFocus();
    EXPECT_EQ(changePassword("新口令", "新口令"), QString());
    destroy();
    EXPECT_EQ(readSettings("Dirt.cfg"),
              QByteArray(".\r\n.\r\n") + platform::toCodePage(QStringLiteral("新口令")) + "\r\n");

    // The stored GBK bytes unlock the page; the old password no longer does.
    open();
    unlock("old pw");
    EXPECT_EQ(state(), lockedWrong);
    unlock(QStringLiteral("新口令"));
    EXPECT_EQ(state(), treeView);
    EXPECT_TRUE(m_errors.isEmpty());
}
