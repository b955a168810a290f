// The main window: notice page, stations page, settings page, information pane and buttons.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QWidget>

#include <array>
#include <memory>

class QLabel;
class TOvoCommandLabel;
class TOvoExplorerTree;
class TOvoExplorerView;
class TOvoLabel;
class TNMFTP;

namespace Ui {
class TForm1;
}

// State of the main window's unit: one window per process owns it.
namespace unit1 {

constexpr int selectedFilesCapacity = 500;

// Entries 1 to SelectedCount hold lower-case file names without folder.
extern std::array<QString, selectedFilesCapacity + 1> SelectedFiles;
extern qint32 SelectedCount;
extern QString SourceDirectory;
extern quint8 StopRequested;
// The settings password as stored (GBK bytes), compared byte for byte.
extern QByteArray SettingsPassword;

// Back to the start values: texts empty, numbers zero, flag false.
void resetUnitState();

} // namespace unit1

class TForm1 : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm1)

public:
    using base = QWidget;

    // Builds the window from its description and runs FormCreate; the settings
    // files are read from platform::programFolder().
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormDestroy();
    void TabSheet1Show();
    void TabSheet2Show();
    void RadioButton4Click();
    void RadioButton5Click();
    void OvoExplorerView1Click();
    void OvoExplorerView1DblClick();
    void OvoExplorerView1MouseUp();
    void OvoExplorerTree1Change();
    void RadioButton3Enter();
    void RadioButton1Click();
    void RadioButton2Click();
    void BitBtn1Click();
    void StringGrid1Exit();
    void Button1Click();
    void Button2Click();
    void Button3Click();

    void wireHandlers();
    void onFocusChanged(QWidget* previous, QWidget* current);
    bool isInGrid(const QWidget* widget) const;
    void commitGridEditor();

    void readDirtCfg();
    void readAddfCfg(bool rebuild);
    void saveStations();
    void writeDirtCfg();

    // Cells of rows 1 on, columns 1 on; the fixed row and column are only written.
    QString gridCell(int column, int row) const;
    void setGridCell(int column, int row, const QString& text);
    int gridRowCount() const;
    void setGridRowCount(int rows);

    // The settings page shows one view: the password prompt (nullptr), the tree or the grid.
    void showSettingsView(QWidget* view);
    void setGrowingLabel(QLabel* label, const QString& text);
    void loadIntoPane(const QString& path);
    void clearPane();
    void addPaneLine(const QString& text);
    void sendToStation();
    void reportNetworkError();
    void disconnectStation();
    void cancelNetworkWait();
    QString localFilePath(const QString& name) const;

    // Components placed where the window description holds their placeholders.
    void placeComponents();

    std::unique_ptr<Ui::TForm1> m_ui;
    TOvoExplorerView* OvoExplorerView1 = nullptr;
    TOvoExplorerTree* OvoExplorerTree1 = nullptr;
    TOvoLabel* OvoLabel1 = nullptr;
    TOvoLabel* OvoLabel2 = nullptr;
    TOvoCommandLabel* OvoCommandLabel1 = nullptr;
    TOvoCommandLabel* OvoCommandLabel2 = nullptr;
    TNMFTP* NMFTP1 = nullptr;

    QMetaObject::Connection m_focusConnection;
    QColor m_paneColor;
    int m_paneLines = 0;
    bool m_sending = false;
    bool m_closeAfterRun = false;
    bool m_unlocked = false;
    bool m_formDestroyDone = false;
};
