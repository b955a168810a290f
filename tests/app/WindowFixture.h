// A fresh main window per test, its settings folder a temporary folder and its error box hooked.
#pragma once

#include "app/MainWindow.h"

#include "platform/application.h"
#include "tests/support/QtPrinters.h"

#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

class QComboBox;
class QTabBar;
class QTableWidget;

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Builds and shows the window (prepareWindow reads the settings files now).
    MainWindow& open();
    // Destroys the window as the program's end does.
    void destroy() { m_form.reset(); }

    template <typename Widget>
    Widget* child(const char* name) const
    {
        auto* widget = m_form->findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    QString settingsFile(const QString& name) const { return m_folder.filePath(name); }
    void writeSettings(const QString& name, const QByteArray& bytes) const;
    QByteArray readSettings(const QString& name) const;

    void clickTab(int index);
    void unlock(const QString& password);
    // Unlocks a page whose password is empty and shows the station grid.
    void openGrid();
    // Types into cell (column, row) of the station grid as a user would (row 1 = first station).
    void typeIntoGrid(int column, int row, const QString& text);
    // Types each non-null text of `cells` into its column of `row`.
    void typeRow(int row, const QStringList& cells);
    QString gridText(int column, int row) const;
    // Chooses `text` in choice cell (column, row) as a user does: a click opens the list, then
    // the arrow keys move through it and Enter closes it, or (`mouse`) a click on the item in
    // its popup.
    void chooseInGrid(int column, int row, const QString& text, bool mouse = false);
    // The grid's choice list once it has the focus; null when none opens.
    static QComboBox* shownChoiceList();
    // Enter closes a cell's list a moment later; the next click comes later still, as a user's
    // does (a click at once would be taken as the one that closed it).
    void waitForClosedList() const;

    QTemporaryDir m_folder;
    QStringList m_errors;
    std::unique_ptr<MainWindow> m_form;

private:
    platform::ErrorBoxHook m_previousHook;
    QString m_previousDirectory;
};

// Types `text` into the focused `widget`.
void typeText(QWidget* widget, const QString& text);

// A station record of the station file, fields as GBK texts.
QByteArray hostRecord(const QByteArray& name, const QByteArray& address, const QByteArray& user,
                      const QByteArray& password);
