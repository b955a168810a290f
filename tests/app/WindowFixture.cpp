// The window fixture: temporary settings folder, hooked error box, user-like input helpers.
#include "WindowFixture.h"

#include "platform/codepage.h"
#include "platform/files.h"
#include "tests/support/WaitFor.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

void WindowTest::SetUp()
{
    ASSERT_TRUE(m_folder.isValid());
    // The explorer view starts in the current directory and keeps it current.
    m_previousDirectory = QDir::currentPath();
    QDir::setCurrent(m_folder.path());
    platform::setProgramFolder(m_folder.path());
    m_previousHook = platform::setErrorBoxHook([this](const QString& text) { m_errors << text; });
}

void WindowTest::TearDown()
{
    m_form.reset();
    platform::setErrorBoxHook(m_previousHook);
    platform::setProgramFolder({});
    QDir::setCurrent(m_previousDirectory);
}

MainWindow& WindowTest::open()
{
    m_form = std::make_unique<MainWindow>();
    m_form->show();
    QApplication::setActiveWindow(m_form.get());
    EXPECT_TRUE(QTest::qWaitForWindowExposed(m_form.get()));
    return *m_form;
}

void WindowTest::writeSettings(const QString& name, const QByteArray& bytes) const
{
    QFile file(settingsFile(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray WindowTest::readSettings(const QString& name) const
{
    QFile file(settingsFile(name));
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

void WindowTest::clickTab(int index)
{
    auto* pages = child<QTabWidget>("pages");
    QTabBar* bar = pages->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    EXPECT_TRUE(testsupport::waitFor([pages, index] { return pages->currentIndex() == index; }))
        << "page " << index << " shown";
}

void WindowTest::unlock(const QString& password)
{
    clickTab(2);
    auto* field = child<QLineEdit>("passwordEdit");
    field->setFocus();
    field->selectAll();
    typeText(field, password);
    QTest::mouseClick(child<QPushButton>("unlockButton"), Qt::LeftButton);
}

void WindowTest::openGrid()
{
    unlock("");
    QTest::mouseClick(child<QRadioButton>("stationSettingsButton"), Qt::LeftButton);
}

void WindowTest::typeRow(int row, const QStringList& cells)
{
    for (int column = 0; column < cells.size(); ++column)
        if (!cells[column].isNull())
            typeIntoGrid(column + 1, row, cells[column]);
}

void WindowTest::typeIntoGrid(int column, int row, const QString& text)
{
    auto* grid = child<QTableWidget>("stationGrid");
    const QModelIndex index = grid->model()->index(row - 1, column - 1);
    grid->scrollTo(index);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
    QWidget* editor = QApplication::focusWidget();
    ASSERT_TRUE(editor && grid->isAncestorOf(editor))
        << "the cell editor opens on the current cell";
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(editor, Qt::Key_Delete);
    else
        typeText(editor, text);
}

void typeText(QWidget* widget, const QString& text)
{
    // One key event carrying the whole text, as an input method delivers Chinese text.
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
}

QString WindowTest::gridText(int column, int row) const
{
    auto* grid = child<QTableWidget>("stationGrid");
    const QTableWidgetItem* item = grid->item(row - 1, column - 1);
    return item ? item->text() : QString();
}

QComboBox* WindowTest::shownChoiceList()
{
    QComboBox* list = nullptr;
    // A click on the current cell opens its list only after the double-click time.
    EXPECT_TRUE(testsupport::waitFor([&list] {
        return (list = qobject_cast<QComboBox*>(QApplication::focusWidget()));
    })) << "a choice list opens";
    return list;
}

void WindowTest::waitForClosedList() const
{
    auto* grid = child<QTableWidget>("stationGrid");
    EXPECT_TRUE(QTest::qWaitFor([grid] { return QApplication::focusWidget() == grid; }));
    QTest::qWait(20);
}

void WindowTest::chooseInGrid(int column, int row, const QString& text, bool mouse)
{
    auto* grid = child<QTableWidget>("stationGrid");
    const QModelIndex index = grid->model()->index(row - 1, column - 1);
    grid->scrollTo(index);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
    QComboBox* list = shownChoiceList();
    ASSERT_NE(list, nullptr) << "a list opens on " << column << "," << row;
    ASSERT_GE(list->findText(text), 0) << text.toStdString();
    if (mouse) {
        QTest::mouseClick(list, Qt::LeftButton);
        QAbstractItemView* items = list->view();
        ASSERT_TRUE(QTest::qWaitFor([items] { return items->isVisible(); }));
        const QModelIndex item = items->model()->index(list->findText(text), 0);
        // The popup ignores a release as quick as the click that opened it.
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        QTest::mouseClick(items->viewport(), Qt::LeftButton, {}, items->visualRect(item).center());
        EXPECT_TRUE(QTest::qWaitFor([items] { return !items->isVisible(); }));
        EXPECT_EQ(list->currentText(), text);
        return;
    }
    QTest::keyClick(list, Qt::Key_Home);
    for (int step = 0; step < list->count() && list->currentText() != text; ++step)
        QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    waitForClosedList();
}

QByteArray hostRecord(const QByteArray& name, const QByteArray& address, const QByteArray& user,
                      const QByteArray& password)
{
    QByteArray record;
    for (const QByteArray& field : {name, address, user, password})
        record += char(field.size()) + field.leftJustified(16, '\0', true);
    return record;
}
