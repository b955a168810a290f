// The settings page behind its password: states, Enter as OK, the views.
#include "WindowFixture.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
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
