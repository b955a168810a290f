// The main window: notice page, stations page, settings page, information pane and buttons.
#pragma once

#include "app/FolderFile.h"
#include "app/NoticeSelection.h"
#include "app/StationFile.h"
#include "app/StationSettings.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

class QMessageBox;
class FtpClient;
class NoticeList;
class RunCoordinator;
class RunView;
class SettingsGate;
class StationChecklist;

namespace Ui {
class MainWindow;
}

class MainWindow : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    using base = QWidget;

    // Builds the window from its description and runs prepareWindow; the settings
    // files are read from the settings folder (settingsfiles::path()).
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The notices that Send would upload now: the highlighted files of the notice list.
    NoticeSelection noticeSelection() const;
    // Send's first step: with no notice highlighted, says so in the pane and returns true
    // (the run is not started).
    bool reportEmptySelection();

signals:
    // A run has started; its signals tell the stations' progress and results. It is deleted
    // after its runFinished().
    void runStarted(RunCoordinator* run, const QList<Station>& stations);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void prepareWindow();
    void showNoticePage();
    void showStationsPage();
    void showTextFilesOnly();
    void showAllFiles();
    void previewClickedTextFile();
    void previewFocusedFile();
    void showChosenFolder();
    void showPasswordPrompt();
    void showFolderTree();
    void showStationGrid();
    void leaveStationGrid();
    void sendNotices();
    void requestStop();
    // The run has ended: Send again, the retry ticks and line; the window closes if asked.
    void endRun();
    // Closing during a run: asks, and on Yes ends the run as two presses of Stop and closes.
    void askToAbandonRun();

    void wireHandlers();
    void onFocusChanged(QWidget* previous, QWidget* current);

    void readFolderSettings();
    void readStations(bool rebuild);
    void saveStations();
    // The stations of Addf.cfg as last read or saved, their options and the list's items.
    void showStationList(const QList<Station>& stations, const QList<LoadedStation>& options);
    void saveTicks();
    void writeFolderSettings();
    FolderSettings shownFolderSettings() const;

    // The settings page shows one view: the password prompt (nullptr), the tree or the grid.
    void showSettingsView(QWidget* view);
    void showSelectionCount();
    // The window's size (and whether it was maximised) in Window.ini beside the other files.
    void restoreWindowSize();
    void saveWindowSize() const;
    void previewFile(const QString& path);

    // The run view, the window's settings of its generic controls, the helpers over the form.
    void placeComponents();

    std::unique_ptr<Ui::MainWindow> m_ui;
    FtpClient* m_ftpClient = nullptr;

    QMetaObject::Connection m_focusConnection;
    NoticeList* m_notices = nullptr;
    std::unique_ptr<StationChecklist> m_stationChecklist;
    // Addf.cfg's stations and their Stations.ini options, as last read or saved; item i of
    // the check list is station i.
    QList<Station> m_stations;
    QList<LoadedStation> m_stationOptions;
    // For each grid row (from 0), the station it showed when last read or saved; -1 for none.
    QList<qsizetype> m_rowStation;
    SettingsGate* m_gate = nullptr;
    // The run in progress, if any.
    RunCoordinator* m_run = nullptr;
    RunView* m_runView = nullptr;
    // The last run, deleted once the window's loop gets to it.
    QPointer<RunCoordinator> m_endedRun;
    // The title between runs; a run shows its progress in front of it.
    QString m_usualTitle;
    // The stations page's ticked items that the run in progress sends to, in its order.
    QList<int> m_runItems;
    bool m_closeAfterRun = false;
    // Asks whether a run is to be broken off when the window is closed during it.
    QMessageBox* m_abandonQuestion = nullptr;
    bool m_folderFileSaved = false;
    // Dirt.cfg as read at start and the window's values right after; a file that exists but
    // could not be read is never saved over.
    FolderSettings m_folderRead;
    FolderSettings m_folderShown;
    bool m_folderFileUnreadable = false;
};
